#!/usr/bin/env bash
# Signals and hostile directories, as users meet them: a console pipe closed early, a closed
# terminal (SIGHUP) and a service manager's SIGTERM, a stop during the program's own pauses, a
# tuner library call that never returns, a console nobody reads, a link planted at the
# temporary name, two runs in one directory and a full disk.
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
# Sends signal $1 to the run and notes when (the first one of a plan counts).
signal_run() {
  kill -"$1" "$pid"
  [ -n "${signalled:-}" ] || signalled=$(date +%s%N)
}
# Waits for the run to end at most $1 ms after the first signal (then kills it), for case $2.
# Leaves the exit code in $rc and the time from the first signal in $took_ms.
await_end() {
  while kill -0 "$pid" 2> /dev/null; do
    if [ $(( ($(date +%s%N) - signalled) / 1000000 )) -gt "$1" ]; then
      kill -KILL "$pid"
      fail "$2: still running $1 ms after the signal"
      break
    fi
    sleep 0.05
  done
  finish
  took_ms=$(( ($(date +%s%N) - signalled) / 1000000 ))
  signalled=
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

# 4. SIGHUP (a closed terminal) or SIGTERM (a service manager's stop) during ordinary searches of
# 0.3 s: the running search finishes, the pass is written, the device stopped, exit 0.
printf '[Options]\nDevice=0\n[Scan0]\nPol=H\nStep=1\n' > long.ini
for signal in HUP TERM; do
  rm -f calls.log 0000.*
  start long.ini SLOW_TUNER_LOG=calls.log SLOW_TUNER_SEARCH_MS=300
  wait_for_call 'search:13'  # after the carrier at 10710 MHz
  signal_run "$signal"
  await_end 1500 "SIG$signal during a search"
  [ "$rc" = 0 ] || fail "SIG$signal during a search: exit $rc"
  grep -q '^Terminated on user request \.\.\.$' out.txt || fail "SIG$signal during a search: no stop line"
  [ "$(grep -c '^stop$' calls.log)" = 1 ] || fail "SIG$signal during a search: the device was not stopped once"
  check_files 0000.txt 0000.ini "$(grep -c '^[0-9.]* Mhz \.\.\. [0-9]' out.txt)"
done
rm -f 0000.*

# 5. A stop during the program's own pauses, StartWait and a dish Wait, ends them at once: the
# run ends within a second, no dish command goes out after it, nothing is searched, and the
# device is stopped once.
printf '[Options]\nDevice=0\nStartWait=9\n[Scan0]\nPol=H\n' > startwait.ini
printf '[Options]\nDevice=0\n[SatInfo]\nDiSEqC11=2\nWait=60\nDiSEqC=1\nDiSEqC12=7\nUSALS=1\n[Scan0]\nPol=H\n' > dishwait.ini
for plan in "startwait.ini INT ^start$" "startwait.ini TERM ^start$" "dishwait.ini HUP ^command:E1.10.39.F1$"; do
  set -- $plan
  rm -f calls.log
  start "$1" SLOW_TUNER_LOG=calls.log
  wait_for_call "$3"
  sleep 0.3
  signal_run "$2"
  await_end 1000 "SIG$2 during the pause of $1"
  [ "$rc" = 0 ] || fail "SIG$2 during the pause of $1: exit $rc"
  grep -q '^Terminated on user request \.\.\.$' out.txt || fail "SIG$2 during the pause of $1: no stop line"
  [ "$(sed -n '$p' calls.log)" = stop ] && [ "$(grep -c '^stop$' calls.log)" = 1 ] ||
    fail "SIG$2 during the pause of $1: not stopped once, or called after: $(tr '\n' ' ' < calls.log)"
  grep -q '^search' calls.log && fail "SIG$2 during the pause of $1: the scan searched"
done
[ "$(grep -c '^command:' calls.log)" = 3 ] && ! grep -q '^switch:' calls.log ||
  fail "dish Wait: commands after the stop: $(tr '\n' ' ' < calls.log)"

# 6. A search that never returns. A second stop request ends the run within a second with what
# the pass accepted, exit 249; a single SIGTERM waits the grace period of 5 s for the search
# first. The 40th search hangs after the carrier at 10710 MHz was accepted.
for plan in "INT INT 1500" "TERM HUP 1500" "HUP TERM 1500" "TERM 7000"; do
  set -- $plan
  rm -f calls.log 0000.*
  start long.ini SLOW_TUNER_LOG=calls.log SLOW_TUNER_HANG=search:40
  wait_for_call 'search:40'
  sleep 0.3
  signals="$1${3:+ $2}" limit=${3:-$2}
  for signal in $signals; do signal_run "$signal"; sleep 0.2; done
  await_end "$limit" "stuck search, $signals"
  [ "$rc" = 249 ] || fail "stuck search, $signals: exit $rc"
  [ "$signals" = TERM ] && [ "$took_ms" -lt 4500 ] && fail "stuck search, SIGTERM: cut short after $took_ms ms, before the grace period"
  grep -q '^The tuner library did not return, the run is cut short !$' out.txt || fail "stuck search, $signals: no line"
  check_files 0000.txt 0000.ini 1
done

# 7. A stuck enumeration, and a stuck StopDVB after the files are in place: two stop requests
# end the run with 249, and the files stay whole.
rm -f calls.log 0000.*
start short.ini SLOW_TUNER_LOG=calls.log SLOW_TUNER_HANG=enumerate
wait_for_call '^enumerate$'
signal_run TERM
signal_run INT
await_end 1500 "stuck enumeration"
[ "$rc" = 249 ] || fail "stuck enumeration: exit $rc"
ls 0000.* > /dev/null 2>&1 && fail "stuck enumeration: files written"
start short.ini SLOW_TUNER_LOG=calls.log SLOW_TUNER_HANG=stop
wait_for_call '^stop$'
signal_run TERM
signal_run INT
await_end 1500 "stuck StopDVB"
[ "$rc" = 249 ] || fail "stuck StopDVB: exit $rc"
check_files 0000.txt 0000.ini 3
[ "$(grep -c '^Store transponder info' out.txt)" = 1 ] || fail "stuck StopDVB: the files were written twice"
rm -f 0000.*

# 8. A console nobody reads (a pipe that fills up, as `vesker cfg.ini | sleep 600` or a stalled
# remote login): SIGTERM still ends the run within a second, with the stopped pass written.
printf '[Options]\nDevice=0\nLoop=1\n[Scan0]\nPol=H\nStep=1\n' > stall.ini
rm -f calls.log
mkfifo console
exec 3<> console  # held open and never read
set -m
env SLOW_TUNER_LOG=calls.log SLOW_TUNER_SEARCH_MS=0 "$vesker" stall.ini > console 2> err.txt < /dev/null &
pid=$!
set +m
before=-1
for i in $(seq 100); do  # until the scan stands still, held by the full pipe
  sleep 0.3
  now=$(wc -l < calls.log)
  [ "$now" = "$before" ] && break
  before=$now
done
signal_run TERM
await_end 1000 "stalled console"
exec 3>&-
[ "$rc" = 0 ] || fail "stalled console: exit $rc"
last=$(ls 0000_*.ini 2> /dev/null | sort -t_ -k2 -n | tail -n 1)
[ -n "$last" ] || fail "stalled console: no pass written"
for list in 0000_*.ini; do
  [ -e "$list" ] || continue
  [ "$(sed -n 's/^0=\([0-9]*\)\r$/\1/p' "$list")" = "$(grep -c '^[1-9][0-9]*=[0-9]*,' "$list")" ] || fail "stalled console: $list is not whole"
done
rm -f 0000_* console

# 9. A full disk (a file size limit here): "error !", the reason on standard error, the older
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
