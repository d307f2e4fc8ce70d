#!/usr/bin/env bash
# The DVB tuner library against a real kernel: the kernel's virtual DVB driver (vidtv) in a
# QEMU guest running Debian's kernel (.ci/guest/guest.sh). Debian builds no vidtv, so its
# three modules are built here out of tree from Debian's linux-source package, against
# linux-headers of the guest's kernel, with two valid frequencies, one in each Ku band.
# In the guest the real build/vesker and build/liblumorath-dvb.so (and the host's shared
# libraries) run: the device list shows vidtv's frontend, a scan of two intervals finds
# exactly vidtv's two carriers and writes the report and the list, the satellite-equipment
# calls succeed, the library says on standard error what the sweep costs and nothing else, and
# a second program finds the frontend held and says so in one line.
# Needs the Linux build (build/). Skipped with one line when no guest can be had here.
set -uo pipefail
cd "$(dirname "$0")/.."
repository=$PWD
source .ci/guest/guest.sh

skip() {
  echo "== vidtv: not run: $*"
  exit 0
}

[ -x build/vesker ] && [ -f build/liblumorath-dvb.so ] || {
  echo "vidtv: build/vesker or build/liblumorath-dvb.so is missing (the Linux build comes first)"
  exit 1
}
guest_available || skip "${guest_unavailable_reason:-no guest}"
install_missing gcc make xz-utils > /dev/null || skip "gcc, make or xz-utils cannot be installed"

# vidtv's valid satellite frequencies, kHz: one below and one above the universal LNB's
# 11700 MHz switch. The bridge converts them to IFs through 9750/10600 MHz, and with no
# frequency shift allowed only these exact IFs lock: step starts of the scan below.
low_khz=11050000
high_khz=12050000

# ---- vidtv, built out of tree from linux-source-X.Y -------------------------------------
series=$(echo "$GUEST_KVER" | sed -E 's/^([0-9]+\.[0-9]+).*/\1/')
source_dir=$GUEST_CACHE/vidtv-src-$series
if [ ! -f "$source_dir/vidtv_bridge.c" ]; then
  echo "vidtv: fetching linux-source-$series for drivers/media/test-drivers/vidtv"
  mkdir -p "$GUEST_CACHE/debs"
  (cd "$GUEST_CACHE/debs" && rm -f linux-source-"$series"_*.deb &&
     apt-get download -q "linux-source-$series" </dev/null > /dev/null) ||
    skip "apt-get download linux-source-$series failed"
  rm -rf "$source_dir.part" && mkdir -p "$source_dir.part"
  dpkg-deb --fsys-tarfile "$(ls "$GUEST_CACHE"/debs/linux-source-"$series"_*.deb | tail -1)" |
    tar -xO "./usr/src/linux-source-$series.tar.xz" |
    tar -xJ -C "$source_dir.part" --strip-components=5 --wildcards \
      "linux-source-$series/drivers/media/test-drivers/vidtv/*" ||
    skip "linux-source-$series holds no vidtv sources"
  rm -rf "$source_dir" && mv "$source_dir.part" "$source_dir"
  rm -f "$GUEST_CACHE"/debs/linux-source-*.deb
fi
build_dir=$GUEST_CACHE/vidtv-build-$GUEST_KVER
if [ ! -f "$build_dir/dvb-vidtv-bridge.ko" ]; then
  rm -rf "$build_dir" && mkdir -p "$build_dir" && cp "$source_dir"/* "$build_dir/"
  start=$SECONDS
  make -s -C "/usr/src/linux-headers-$GUEST_KVER" M="$build_dir" CONFIG_DVB_VIDTV=m modules \
    > "$build_dir/build.log" 2>&1 ||
    skip "vidtv does not build against linux-headers-$GUEST_KVER: $(grep -m1 -i error "$build_dir/build.log")"
  echo "vidtv: built dvb-vidtv-{tuner,demod,bridge}.ko in $((SECONDS - start)) s"
fi

# ---- the run in the guest --------------------------------------------------------------
run=$GUEST_CACHE/vidtv-run
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
  "grep -q '^Device 0: Dummy demod for DVB-T/T2/C/S/S2 (adapter0/frontend0, symbol-rate sweep, depth normal)' scan.out"
check "exactly vidtv's two carriers" "grep -q '^Total tranponders found = 2' scan.out && \
  grep -q '^11050 Mhz ... 11050.000 Mhz, 27500 KS' scan.out && grep -q '^12050 Mhz ... 12050.000 Mhz, 27500 KS' scan.out"
check "the report and the list are written" '[ \$(ls reports | wc -l) -eq 2 ]'
check "the satellite-equipment calls succeed" "! grep -q 'failed !\\|not supported' scan.out"
check "the library says on standard error what the sweep costs and nothing else" \
  "[ \$(grep -c '^Lumorath DVB:' scan.err) -eq 1 ] && \
   grep -q '^Lumorath DVB: adapter0/frontend0: a sweep with the rates configured of ' scan.err"
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
run_in_guest --timeout 240 \
  --modules "$build_dir/dvb-vidtv-tuner.ko $build_dir/dvb-vidtv-demod.ko $build_dir/dvb-vidtv-bridge.ko" \
  --modparams "dvb-vidtv-bridge vidtv_valid_dvb_s_freqs=$low_khz,$high_khz max_frequency_shift_hz=0" \
  "bash $run/guest.sh"
status=$?
echo "vidtv: guest run in $((SECONDS - start)) s, status $status"
case $status in
  0) ;;
  125) skip "the guest could not be set up (status 125)" ;;
  *) exit 1 ;;
esac
