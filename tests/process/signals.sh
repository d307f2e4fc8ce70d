#!/usr/bin/env bash
# Signals and hostile directories, as users meet them: a console pipe closed early, a closed
# terminal (SIGHUP), a stop asked for before the first step, a tuner library call that never
# returns, a link planted at the temporary name, two runs in one directory and a full disk.
# Arguments: <vesker> <simulator library> <source dir>; SLOW_TUNER names the test tuner.
set -u
vesker=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); [ -f out.txt ] && sed 's/^/    /' out.txt | tail -n 15; }
export LUMORATH_LIBRARY=$SLOW_TUNER

# Checks that a report and a list are whole and hold $3 transponders, and that no temporary
# file is left.
check_files() {
  local report=$1 list=$2 want=$3 count
  [ -f "$report" ] && [ ! -L "$report" ] || { fail "$report missing"; return; }
  [ -f "$list" ] && [ ! -L "$list" ] || { fail "$list missing"; return; }
  count=$(sed -n 's/^0=\([0-9]*\)\r$/\1/p' "$list")
  [ "$count" = "$want" ] || fail "$list says $count transponders, not $want"
  [ "$(grep -c '^[1-9][0-9]*=[0-9]*,' "$list")" = "$want" ] || fail "$list is not whole"
  [ "$(grep -c '^TP N: ' "$report")" = "$want" ] || fail "$report does not hold $want blocks"
  tail -n 1 "$report" | grep -q '^Total Scan Time = .*s'$'\r''$' || fail "$report is cut short"
  ls ./*.part > /dev/null 2>&1 && fail "a temporary file was left behind"
}

# Starts vesker on $1 in the background with job control (so SIGINT reaches it) and extra
# environment in the rest of the arguments; its pid lands in $pid.
start() {
  local config=$1
  shift
  set -m
  env "$@" "$vesker" "$config" > out.txt 2> err.txt < /dev/null &
  pid=$!
  set +m
}
# Waits until the slow tuner's log holds a line matching $1 (at most 10 s).
wait_for_call() {
  local i
  for i in $(seq 100); do grep -q "$1" calls.log 2> /dev/null && return 0; sleep 0.1; done
  fail "the tuner was never called with $1"
}
finish() {
  wait "$pid"
  rc=$?
}

printf '[Options]\nDevice=0\n[Scan0]\nPol=H\nStart=10700\nStop=10800\n' > short.ini

# 1. A planted link at the old, guessable temporary name is never followed.
echo "someone else's file" > victim
ln -s "$PWD/victim" 0000.txt.part
ln -s "$PWD/victim" 0000.ini.part
"$vesker" short.ini > out.txt 2> err.txt < /dev/null
rc=$?
[ "$rc" = 0 ] || fail "planted links: exit $rc"
[ "$(cat victim)" = "someone else's file" ] || fail "planted links: the victim was overwritten"
[ -L 0000.txt.part ] && [ -L 0000.ini.part ] || fail "planted links: the links were touched"
rm -f 0000.txt.part 0000.ini.part
check_files 0000.txt 0000.ini 3
rm -f 0000.*

# 2. Two runs in one directory: each writes its own temporary files, whole files remain.
"$vesker" short.ini > out1.txt 2>&1 < /dev/null &
first=$!
"$vesker" short.ini > out2.txt 2>&1 < /dev/null
rc2=$?
wait "$first"
rc1=$?
[ "$rc1$rc2" = 00 ] || fail "two runs: exit codes $rc1 and $rc2"
check_files 0000.txt 0000.ini 3
rm -f 0000.* out1.txt out2.txt

# 3. A console pipe closed early (| head -1) neither kills the scan nor loses the files.
"$vesker" short.ini 2> err.txt < /dev/null | head -n 1 > /dev/null
rc=${PIPESTATUS[0]}
[ "$rc" = 0 ] || fail "closed pipe: exit $rc (141 is SIGPIPE)"
check_files 0000.txt 0000.ini 3
rm -f 0000.*

# 4. SIGHUP, a closed terminal: a stop request between steps, or, arriving inside a search as it
# mostly does, the end of the run (249) with what the pass accepted saved.
printf '[Options]\nDevice=0\n[Scan0]\nPol=H\nStep=1\n' > long.ini
rm -f calls.log
start long.ini SLOW_TUNER_LOG=calls.log
wait_for_call 'search:30'
kill -HUP "$pid"
finish
[ "$rc" = 0 ] || [ "$rc" = 249 ] || fail "SIGHUP: exit $rc"
grep -q -e '^Terminated on user request \.\.\.$' -e '^The tuner library did not return' out.txt || fail "SIGHUP: no stop line"
check_files 0000.txt 0000.ini "$(grep -c '^[0-9.]* Mhz \.\.\. [0-9]' out.txt)"
rm -f 0000.*

# 5. A stop asked for during StartWait stops the run before the first step; the device is
# stopped once.
printf '[Options]\nDevice=0\nStartWait=2\n[Scan0]\nPol=H\n' > wait.ini
for signal in INT TERM; do
  rm -f calls.log
  start wait.ini SLOW_TUNER_LOG=calls.log
  wait_for_call '^start$'
  sleep 0.3
  kill -"$signal" "$pid"
  finish
  [ "$rc" = 0 ] || fail "SIG$signal during StartWait: exit $rc"
  grep -q '^Terminated on user request \.\.\.$' out.txt || fail "SIG$signal during StartWait: no stop line"
  grep -q '^search' calls.log && fail "SIG$signal during StartWait: the scan searched"
  [ "$(grep -c '^stop$' calls.log)" = 1 ] || fail "SIG$signal during StartWait: the device was not stopped once"
done

# 6. A search that never returns. The first Ctrl+C waits for it; a second one, or SIGTERM or
# SIGHUP at once, writes what the pass accepted and ends the run within a second, exit 249.
# The 40th search hangs after the carrier at 10710 MHz was accepted.
for signals in "INT INT" "TERM" "HUP"; do
  rm -f calls.log 0000.*
  start long.ini SLOW_TUNER_LOG=calls.log SLOW_TUNER_HANG=search:40
  wait_for_call 'search:40'
  sleep 0.3
  for signal in $signals; do kill -"$signal" "$pid"; sleep 0.2; done
  begun=$(date +%s%N)
  for i in $(seq 20); do kill -0 "$pid" 2> /dev/null || break; sleep 0.1; done
  kill -KILL "$pid" 2> /dev/null && fail "stuck search, $signals: still running after 2 s"
  finish
  [ "$rc" = 249 ] || fail "stuck search, $signals: exit $rc"
  grep -q '^The tuner library did not return, the run is cut short !$' out.txt || fail "stuck search, $signals: no line"
  check_files 0000.txt 0000.ini 1
  [ $(( ($(date +%s%N) - begun) / 1000000 )) -lt 1500 ] || fail "stuck search, $signals: slow to end"
done

# 7. A stuck enumeration, and a stuck StopDVB after the files are in place: SIGTERM ends the
# run with 249, and the files stay whole.
rm -f calls.log 0000.*
start short.ini SLOW_TUNER_LOG=calls.log SLOW_TUNER_HANG=enumerate
wait_for_call '^enumerate$'
kill -TERM "$pid"
finish
[ "$rc" = 249 ] || fail "stuck enumeration: exit $rc"
ls 0000.* > /dev/null 2>&1 && fail "stuck enumeration: files written"
start short.ini SLOW_TUNER_LOG=calls.log SLOW_TUNER_HANG=stop
wait_for_call '^stop$'
kill -TERM "$pid"
finish
[ "$rc" = 249 ] || fail "stuck StopDVB: exit $rc"
check_files 0000.txt 0000.ini 3
[ "$(grep -c '^Store transponder info' out.txt)" = 1 ] || fail "stuck StopDVB: the files were written twice"
rm -f 0000.*

# 8. A full disk (a file size limit here): "error !", the reason on standard error, the older
# report kept, exit 250.
printf '[Options]\nDevice=0\n[Scan0]\nPol=H\nStart=10700\nStop=10900\n' > mid.ini
printf 'older report\r\n' > 0000.txt
(ulimit -f 1; trap '' XFSZ; exec "$vesker" mid.ini 2> err.txt < /dev/null) | cat > out.txt
rc=${PIPESTATUS[0]}
[ "$rc" = 250 ] || fail "full disk: exit $rc"
grep -A1 '^Report detailed transponder info to 0000.txt \.\.\.$' out.txt | grep -q '^error !$' || fail "full disk: no error line"
grep -q "^Can't write 0000.txt: File too large$" err.txt || fail "full disk: no reason ($(cat err.txt))"
[ "$(cat 0000.txt)" = $'older report\r' ] || fail "full disk: the older report was lost"
ls ./*.part > /dev/null 2>&1 && fail "full disk: a temporary file was left behind"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "signals: every case ended with whole files and the right exit code"
