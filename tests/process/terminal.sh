#!/usr/bin/env bash
# At a real terminal (a tmux pane running an interactive shell): the program reads standard
# input only at the device prompt, so a command typed during a scan reaches the shell and runs
# after the scan; Ctrl+C typed there stops a scan (the pass written, exit 0); the status line
# stands below the transcript while a scan runs and is gone when it ends. In a pipe, standard
# error carries none of it and no terminal control at all.
# Arguments: <vesker> <simulator library> <source dir>; SLOW_TUNER names the test tuner.
set -u
command -v tmux > /dev/null || { echo "SKIP: tmux is not installed"; exit 77; }
vesker=$(realpath "$1")
simulator=$(realpath "$2")
work=$(mktemp -d)
socket=$work/tmux.socket
trap 'tmux -S "$socket" kill-server 2> /dev/null; rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
  tmux -S "$socket" capture-pane -p -t scan | grep -v '^$' | tail -n 8 | sed 's/^/    /'
}
# Waits until file $1 holds a line matching $2 (at most 20 s).
wait_for_line() {
  local i
  for i in $(seq 200); do grep -q "$2" "$1" 2> /dev/null && return 0; sleep 0.1; done
  return 1
}
type_keys() { tmux -S "$socket" send-keys -t scan "$@"; }

# 10700..10790 MHz in 1 MHz steps of 20 ms: about two seconds, carriers at 10710, 10740, 10770.
printf '[Options]\nDevice=0\n[Scan0]\nPol=H\nStart=10700\nStop=10790\nStep=1\n' > scan.ini
tmux -S "$socket" new-session -d -s scan -x 150 -y 40 -c "$work" \
  "env -i PATH='$PATH' HOME='$work' TERM=screen LUMORATH_LIBRARY='$SLOW_TUNER' PS1='$ ' bash --norc --noprofile -i"

# 1. A command typed while the scan runs is left on the terminal and runs after it.
type_keys "'$vesker' scan.ini > typed.txt 2>&1; echo \$? > typed.rc" Enter
wait_for_line typed.txt '^10705 Mhz' || fail "typed ahead: the scan did not start"
type_keys "touch typed-ahead" Enter
wait_for_line typed.rc . || fail "typed ahead: the scan did not end"
[ "$(cat typed.rc 2> /dev/null)" = 0 ] || fail "typed ahead: exit $(cat typed.rc 2> /dev/null)"
wait_for_line typed.txt '^Total tranponders found = 3$' || fail "typed ahead: the scan did not finish"
for i in $(seq 50); do [ -e typed-ahead ] && break; sleep 0.1; done
[ -e typed-ahead ] || fail "typed ahead: the command typed during the scan was lost"
rm -f 0000.*

# 2. Ctrl+C typed at the terminal stops the scan after the running step.
type_keys "'$vesker' scan.ini > stopped.txt 2>&1; echo \$? > stopped.rc" Enter
wait_for_line stopped.txt '^10715 Mhz' || fail "Ctrl+C: the scan did not start"
type_keys C-c
wait_for_line stopped.rc . || fail "Ctrl+C: the scan did not end"
[ "$(cat stopped.rc 2> /dev/null)" = 0 ] || fail "Ctrl+C: exit $(cat stopped.rc 2> /dev/null)"
grep -q '^Terminated on user request \.\.\.$' stopped.txt || fail "Ctrl+C: no stop line"
grep -q '^10790 Mhz' stopped.txt && fail "Ctrl+C: the scan ran to its end"
[ -s 0000.ini ] && [ -s 0000.txt ] || fail "Ctrl+C: the stopped pass was not written"

# 3. The status line: below the unfinished step line while the scan runs (paced to take a few
#    seconds), gone at the end with the transcript intact; nothing of it in a pipe.
printf '[Options]\nDevice=0\n[Scan0]\nPol=H\nStart=10700\nStop=10800\n' > status.ini
tmux -S "$socket" send-keys -t scan clear Enter
type_keys "LUMORATH_LIBRARY='$simulator' LUMORATH_PACE=20 '$vesker' status.ini; echo \$? > status.rc" Enter
status='^Interval 1 of 1, Horizontal, 1[0-9]{4} MHz, [0-9]{1,3} % of 100 MHz, [0-9]+ found, 0:[0-9]{2} elapsed'
seen=0
for i in $(seq 200); do
  screen=$(tmux -S "$socket" capture-pane -p -t scan)
  if grep -Eq "$status" <<< "$screen"; then
    seen=1
    grep -v '^$' <<< "$screen" | grep -E -B1 "$status" | head -n 1 | grep -Eq '^1[0-9]{4} Mhz \.\.\.' ||
      fail "status line: not below the step line"
    break
  fi
  [ -e status.rc ] && break
  sleep 0.1
done
[ "$seen" -eq 1 ] || fail "status line: not shown at the terminal"
wait_for_line status.rc . || fail "status line: the scan did not end"
[ "$(cat status.rc 2> /dev/null)" = 0 ] || fail "status line: exit $(cat status.rc 2> /dev/null)"
screen=$(tmux -S "$socket" capture-pane -p -t scan)
grep -Eq '^Interval [0-9]' <<< "$screen" && fail "status line: left on the screen"
grep -q '^Total tranponders found = ' <<< "$screen" || fail "status line: the transcript's end is not on the screen"
LUMORATH_LIBRARY=$simulator LUMORATH_PACE=0 TERM=xterm "$vesker" status.ini 2> piped.err | cat > piped.out
grep -q '^Interval' piped.err && fail "status line: shown in a pipe"
LC_ALL=C grep -q $'[\x1b\r]' piped.err && fail "status line: terminal controls in a pipe"
grep -q '^Total tranponders found = ' piped.out || fail "status line: the run in a pipe found nothing"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "terminal: the typed command ran after the scan, Ctrl+C stopped one, and the status line showed only there"
