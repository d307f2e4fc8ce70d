#!/bin/bash
# The simulator as the program meets it: device 1 without blind search, a malformed
# scenario (no device, one line on standard error), the statistics line at StopDVB on
# standard error only, and a paced scan stopped by SIGINT.
# Usage: simulator_devices.sh VESKER LUMORATH SOURCE_DIR
set -u
vesker=$1 library=$2 source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export LUMORATH_LIBRARY="$library"
unset LUMORATH_SCENARIO LUMORATH_SEED LUMORATH_PACE LUMORATH_STATS LUMORATH_TRACE LUMORATH_TRUTH
fail() { echo "FAIL: $*"; exit 1; }

# Device 1 has no blind search: answer 1 at the prompt.
printf '[Scan0]\r\nPol=H\r\n' >prompt.ini
echo 1 | "$vesker" prompt.ini >out.txt 2>err.txt
rc=$?
[ $rc -eq 252 ] || fail "device 1: exit $rc, expected 252"
grep -q '^Device 0: ' out.txt && grep -q '^Device 1: ' out.txt || fail "device list"
grep -q 'Device number: Vesker not supported !$' out.txt || fail "no 'Vesker not supported !'"

# A malformed scenario: no devices, one clear line on standard error.
printf '# Sat @ 9.0E\nS2 11778000 V 27500000 3/4 35 8PSK\nS2 11800000 Q 27500000 3/4\n' >bad.txt
cp "$source/examples/universal-ku.ini" .
LUMORATH_SCENARIO=bad.txt "$vesker" universal-ku.ini >out.txt 2>err.txt
rc=$?
[ $rc -eq 254 ] || fail "malformed scenario: exit $rc, expected 254"
grep -q '^No devices !$' out.txt || fail "no 'No devices !'"
[ "$(wc -l <err.txt)" -eq 1 ] || fail "expected one line on standard error, got: $(cat err.txt)"
grep -q '^Lumorath simulator: scenario bad.txt, line 3: ' err.txt || fail "stderr line: $(cat err.txt)"

# The statistics line goes to standard error at StopDVB, nothing of the simulator to stdout.
LUMORATH_STATS=1 "$vesker" universal-ku.ini >out.txt 2>err.txt || fail "stats run: exit $?"
grep -Eq '^Lumorath simulator: [0-9]+ searches, [0-9]+ locks, modelled time [0-9.]+ s$' err.txt || fail "stats: $(cat err.txt)"
! grep -q 'Lumorath simulator' out.txt || fail "simulator text on standard output"

# Paced like hardware, a scan can be stopped: SIGINT ends it after the current step.
LUMORATH_PACE=100 "$vesker" universal-ku.ini >out.txt 2>err.txt </dev/null &
pid=$!
sleep 2
kill -INT $pid
wait $pid
rc=$?
[ $rc -eq 0 ] || fail "paced scan: exit $rc after SIGINT"
grep -q '^Terminated on user request ...$' out.txt || fail "no stop message"
echo "ok"
