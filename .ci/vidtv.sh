#!/usr/bin/env bash
# The DVB tuner library against a real kernel: the kernel's virtual DVB driver (vidtv) in a
# QEMU guest running Debian's kernel (.ci/guest/guest.sh), with the modules provisioned by
# .ci/env/vidtv.sh and two valid frequencies, one in each Ku band.
# In the guest the real build/vesker and build/liblumorath-dvb.so (and the host's shared
# libraries) run: the device list shows vidtv's frontend, a scan of two intervals finds
# exactly vidtv's two carriers and writes the report and the list, the satellite-equipment
# calls succeed, and a second program finds the frontend held and says so in one line. After
# each lock the scan reads vidtv's PAT and NIT through the kernel's demux: vidtv's NIT names
# its network and lists its transport stream but gives no delivery parameters, so nothing is
# taken from it and the records stay as the driver reported them. The library says on standard
# error what the sweep costs and the network it read, and nothing else.
source "$(dirname "$0")/leg.sh"
leg_begin vidtv
linux_build vesker lumorath-dvb

guest_prepare > /dev/null || leg_fail "no QEMU guest here ($guest_unavailable_reason)"
provision_vidtv || leg_fail "no vidtv modules for the guest's kernel"

# vidtv's valid satellite frequencies, kHz: one below and one above the universal LNB's
# 11700 MHz switch. The bridge converts them to IFs through 9750/10600 MHz, and with no
# frequency shift allowed only these exact IFs lock: step starts of the scan below.
low_khz=11050000
high_khz=12050000

# ---- the run in the guest --------------------------------------------------------------
run=$repository/build-ci/vidtv-run
rm -rf "$run" && mkdir -p "$run/reports"
# The scan: the device chosen at the prompt, an uncommitted switch (raw messages, repeated), a
# committed switch and a tone burst at start, the committed switch again
# at every interval; two intervals of one polarization around the two carriers.
cat > "$run/scan.ini" <<INI
[SatInfo]
SatName=vidtv
LOF1=9750
LOF2=10600
LOFSW=11700
DiSEqC=1
ToneBurst=1
DiSEqC11=3
[Options]
IniFormat=5
ReportDir=$run/reports
TPDir=$run/reports
[Scan0]
Pol=H
Start=11030
Stop=11070
Step=5
[Scan1]
Pol=H
Start=12030
Stop=12070
Step=5
INI
sed -e 's/^\[Options\]/[Options]\nDevice=0/' "$run/scan.ini" > "$run/busy.ini"
cat > "$run/guest.sh" <<GUEST
set -u
failed=0
check() { if eval "\$2"; then echo "vidtv: ok: \$1"; else echo "vidtv: FAILED: \$1"; failed=1; fi; }
cd $run
# One rate and a short wait per attempt keep the empty steps quick (vidtv locks at once).
export LUMORATH_LIBRARY=$repository/build/liblumorath-dvb.so
export LUMORATH_DVB_SYMBOL_RATES=27500 LUMORATH_DVB_LOCK_TIMEOUT=300
for i in \$(seq 50); do [ -e /dev/dvb/adapter0/frontend0 ] && break; sleep 0.1; done
ls -l /dev/dvb/adapter0
echo 0 | $repository/build/vesker scan.ini > scan.out 2> scan.err
status=\$?
echo "--- vesker scan.ini (device typed at the prompt), exit \$status"
cat scan.out
echo "--- standard error:"
cat scan.err
echo "--- list:"
cat reports/*.ini
check "the scan exits 0" '[ \$status -eq 0 ]'
check "the device list shows vidtv's frontend" \
  "grep -q '^Device 0: Dummy demod for DVB-T/T2/C/S/S2 (adapter0/frontend0, symbol-rate sweep, depth normal, tables read)' scan.out"
check "exactly vidtv's two carriers" "grep -q '^Total tranponders found = 2' scan.out && \
  grep -q '^11050 Mhz ... 11050.000 Mhz, 27500 KS' scan.out && grep -q '^12050 Mhz ... 12050.000 Mhz, 27500 KS' scan.out"
check "the report and the list are written" '[ \$(ls reports | wc -l) -eq 2 ]'
check "the satellite-equipment calls succeed" "! grep -q 'failed !\\|not supported' scan.out"
check "the library says on standard error what a pass of the two intervals and the tables cost" \
  "grep -q '^Lumorath DVB: adapter0/frontend0: a pass of this scan (2 intervals) takes up to .*, swept with the rates configured; reading the tables adds up to 1 s a lock and 11 s a network\$' scan.err && \
   grep -q '^Tuner library: a pass of this scan is modelled at .* on a real tuner\$' scan.err"
# vidtv's own tables after the first lock, through the kernel's demux: transport stream 0x4081
# of network 0xff44 "LinuxTV.org" (vidtv_bridge.c), whose NIT has no delivery descriptor; the
# second carrier carries the same network, read once.
check "the transport stream id and network id read in the scan, and nothing else said" \
  "grep -q '^Lumorath DVB: /dev/dvb/adapter0/frontend0: 11050.000 MHz carries transport stream 16513; its network 65348 \"LinuxTV.org\" lists 1 transport stream (0 with satellite delivery parameters)\$' scan.err && \
   [ \$(grep -c '^Lumorath DVB:' scan.err) -eq 2 ]"
# A second program holds the frontend open for writing.
exec 3<>/dev/dvb/adapter0/frontend0
$repository/build/vesker busy.ini > busy.out 2> busy.err
status=\$?
exec 3>&-
echo "--- vesker busy.ini while another program holds the frontend, exit \$status"
cat busy.out busy.err
check "a held frontend: Can't start, exit -3" "[ \$status -eq 253 ] && grep -q \"^Can't start device 0 !\" busy.out"
check "one clear line on standard error" \
  "[ \$(wc -l < busy.err) -eq 1 ] && grep -q 'frontend0 is in use by another program' busy.err"
exit \$failed
GUEST

start=$SECONDS
status=0
run_in_guest --timeout 240 --modules "$VIDTV_MODULES" \
  --modparams "dvb-vidtv-bridge vidtv_valid_dvb_s_freqs=$low_khz,$high_khz max_frequency_shift_hz=0" \
  "bash $run/guest.sh" | tee "$run/guest.txt" || status=$?
echo "vidtv: guest run in $((SECONDS - start)) s, status $status"
case $status in
  0) leg_note "in the QEMU guest ($GUEST_KVER): $(grep -c '^vidtv: ok: ' "$run/guest.txt") checks ok" ;;
  124) leg_fail "the guest was stopped after 240 s" ;;
  125) leg_fail "the guest could not be set up (status 125)" ;;
  *) leg_fail "$(grep -c '^vidtv: FAILED: ' "$run/guest.txt") checks failed: $(grep -m1 '^vidtv: FAILED: ' "$run/guest.txt")" ;;
esac
