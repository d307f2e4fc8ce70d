#!/usr/bin/env bash
# Ctrl+C (SIGINT) during a scan, as a user stops it: the current step finishes, the pass
# writes complete files, the device is stopped and the exit code is 0. Once in a single
# pass, once in the second of repeated passes (Loop=2), which keeps the first pass's files.
# Arguments: <vesker> <simulator library> <source dir>; SLOW_TUNER names the test tuner.
set -u
vesker=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Checks that a report and a list are whole: the list's count matches its lines, the
# report ends with its scan time line, no temporary file is left.
check_files() {
  local report=$1 list=$2
  [ -f "$report" ] || { fail "$report missing"; return; }
  [ -f "$list" ] || { fail "$list missing"; return; }
  local count lines
  count=$(sed -n 's/^0=\([0-9]*\)\r$/\1/p' "$list")
  lines=$(grep -c '^[1-9][0-9]*=[0-9]*,' "$list")
  [ -n "$count" ] && [ "$count" = "$lines" ] || fail "$list holds $lines lines, says $count"
  [ "$(grep -c '^TP N: ' "$report")" = "$count" ] || fail "$report does not hold $count blocks"
  tail -n 1 "$report" | grep -q '^Total Scan Time = .*s'$'\r''$' || fail "$report is cut short"
  ls ./*.part >/dev/null 2>&1 && fail "a temporary file was left behind"
}

# Runs vesker in the background (job control on, so SIGINT reaches it), interrupts it
# 0.3 s after its console shows a line matching $2, and leaves its console in out.txt and
# its exit code in $rc.
run_and_interrupt() {
  set -m
  LUMORATH_LIBRARY=$SLOW_TUNER "$vesker" "$1" > out.txt 2>&1 < /dev/null &
  local pid=$! i
  set +m
  for i in $(seq 200); do grep -q "$2" out.txt && break; sleep 0.1; done
  sleep 0.3
  kill -INT "$pid"
  wait "$pid"
  rc=$?
}

printf '[Options]\nDevice=0\n[Scan0]\nPol=H\nStep=1\n[Scan1]\nPol=V\n' > single.ini
run_and_interrupt single.ini '^10740 Mhz'
[ "$rc" = 0 ] || fail "single pass: exit code $rc"
grep -q '^Terminated on user request \.\.\.$' out.txt || fail "single pass: no stop line"
grep -q '^Scan interval 1$' out.txt && fail "single pass: the walk went on after the stop"
grep -q '^Total tranponders found = ' out.txt || fail "single pass: nothing reported"
check_files 0000.txt 0000.ini
rm -f 0000.txt 0000.ini

printf '[Options]\nDevice=0\nLoop=2\n[Scan0]\nPol=H\nStart=10700\nStop=10790\nStep=1\n' > loop.ini
run_and_interrupt loop.ini '^---------- Pass 2'
[ "$rc" = 0 ] || fail "repeated passes: exit code $rc"
grep -q '^---------- Pass 2 ----------$' out.txt || fail "repeated passes: no second pass"
grep -q '^Terminated on user request \.\.\.$' out.txt || fail "repeated passes: no stop line"
[ "$(grep -c '^Store transponder info in 0000.ini \.\.\.$' out.txt)" = 1 ] || fail "repeated passes: the stopped pass wrote"
grep -q '^Pass 2 did not complete: the files of pass 1 are kept$' out.txt || fail "repeated passes: no keep line"
check_files 0000.txt 0000.ini
[ "$(grep -c '^TP N: ' 0000.txt)" = 3 ] || fail "repeated passes: the complete pass's 3 transponders were replaced"

if [ "$failures" -ne 0 ]; then
  echo "--- console"; cat out.txt
  exit 1
fi
echo "stop request: both runs ended cleanly with whole files"
