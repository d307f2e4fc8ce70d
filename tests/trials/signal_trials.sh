#!/usr/bin/env bash
# Random stop requests against repeated passes, for about a minute: SIGINT, SIGTERM or SIGHUP
# at a random moment of a Loop=1 or Loop=2 run, sometimes followed by a second SIGINT a few
# milliseconds later (while the pass ends and writes). After each trial every file present must
# be whole, no temporary file may be left, and a complete pass must never have been replaced
# by a partial one. One trial in four stops a run in one of the program's own pauses (a
# StartWait of 9 s, a dish Wait of 30 s): it must end within a second, before any search.
# Arguments: <vesker> <slow test tuner library> [seconds, default 60]
set -u
vesker=$(realpath "$1")
export LUMORATH_LIBRARY=$(realpath "$2")
budget=${3:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
RANDOM=${TRIAL_SEED:-12}
trials=0
failures=0
fail() { echo "FAIL (trial $trials: $plan): $*"; failures=$((failures + 1)); }

# A whole list says how many transponders it holds and holds that many; its report has as
# many blocks and ends with the scan time. Prints the count.
whole_count() {
  local report=$1 list=$2 count
  count=$(sed -n 's/^0=\([0-9]*\)\r$/\1/p' "$list")
  [ -n "$count" ] && [ "$(grep -c '^[1-9][0-9]*=[0-9]*,' "$list")" = "$count" ] || { fail "$list is not whole"; return; }
  [ "$(grep -c '^TP N: ' "$report")" = "$count" ] || fail "$report does not match $list"
  tail -n 1 "$report" | grep -q '^Total Scan Time = .*s'$'\r''$' || fail "$report is cut short"
  echo "$count"
}

# 10700..10790 MHz in 1 MHz steps: about 2 s a pass, 3 transponders in a complete one.
complete=3
end=$((SECONDS + budget))
while [ $SECONDS -lt $end ]; do
  trials=$((trials + 1))
  rm -f ./*
  loop=$((RANDOM % 2 + 1))
  signal=$(echo INT TERM HUP | cut -d' ' -f$((RANDOM % 3 + 1)))
  delay_ms=$((300 + RANDOM % 3500))
  second=$((RANDOM % 3))  # 0: a second SIGINT soon after
  case $((RANDOM % 8)) in
    0) pause='StartWait=9' ;;
    1) pause='[SatInfo] DiSEqC11=2 Wait=30' ;;
    *) pause= ;;
  esac
  plan="Loop=$loop${pause:+ $pause} SIG$signal at ${delay_ms} ms$([ $second = 0 ] && echo ' + SIGINT')"
  printf '[Options]\nDevice=0\nLoop=%s\n%s\n[Scan0]\nPol=H\nStart=10700\nStop=10790\nStep=1\n' "$loop" \
    "$(echo "$pause" | tr ' ' '\n')" > trial.ini
  set -m
  "$vesker" trial.ini > out.txt 2> err.txt < /dev/null &
  pid=$!
  set +m
  sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
  kill -"$signal" "$pid" 2> /dev/null
  signalled=$(date +%s%N)
  if [ "$second" = 0 ]; then
    sleep "0.0$((RANDOM % 3))$((RANDOM % 10))"
    kill -INT "$pid" 2> /dev/null
  fi
  for i in $(seq 50); do kill -0 "$pid" 2> /dev/null || break; sleep 0.1; done
  if kill -KILL "$pid" 2> /dev/null; then fail "still running 5 s after the signal"; fi
  wait "$pid"
  rc=$?
  if [ -n "$pause" ]; then
    took_ms=$(( ($(date +%s%N) - signalled) / 1000000 ))
    [ "$took_ms" -lt 1000 ] || fail "the pause went on: the run ended $took_ms ms after the signal"
    grep -q '^Terminated on user request \.\.\.$' out.txt || fail "no stop line after a stop in a pause"
    grep -q ' Mhz \.\.\. ' out.txt && fail "searched after a stop in a pause"
  fi
  [ "$rc" = 0 ] || [ "$rc" = 249 ] || fail "exit code $rc"
  ls ./*.part > /dev/null 2>&1 && fail "a temporary file was left"
  passes_done=$(grep -c '^Report detailed transponder info' out.txt)
  if [ "$loop" = 1 ]; then
    for list in 0000_*.ini; do
      [ -e "$list" ] || continue
      n=${list#0000_}; n=${n%.ini}
      count=$(whole_count "0000_$n.txt" "$list")
      # Every pass but the last one of the run ran to its end.
      if grep -q "^---------- Pass $((n + 1)) ----------$" out.txt && [ "$count" != "$complete" ]; then
        fail "complete pass $n holds $count"
      fi
    done
  elif [ -e 0000.ini ]; then
    count=$(whole_count 0000.txt 0000.ini)
    if grep -q '^---------- Pass 2 ----------$' out.txt && [ "$count" != "$complete" ]; then
      fail "a complete pass was replaced: the files hold $count"
    fi
  elif [ "$passes_done" != 0 ]; then
    fail "announced files are missing"
  fi
done
echo "signal trials: $trials trials in $budget s, $failures failed"
[ "$failures" = 0 ]
