#!/bin/bash
# The status line: at a real terminal (a tmux pane) it stands below the transcript while the
# scan runs, saying the interval, the share of the band, what was found and the time, and is
# gone when the run ends, the transcript intact. In a pipe or a file, standard error carries
# none of it and no terminal control at all.
# Usage: status_line.sh VESKER LUMORATH SOURCE_DIR
set -u
vesker=$1 library=$2
if ! command -v tmux >/dev/null; then
    echo "SKIP: tmux is not installed (apt-get install -y tmux)"
    exit 0
fi
work=$(mktemp -d)
session=vesker-status-$$
trap 'tmux kill-session -t "$session" 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*"; tmux capture-pane -p -t "$session" 2>/dev/null | grep -v '^$' | tail -n 8; exit 1; }
printf '[Options]\nDevice=0\n[Scan0]\nPol=H\nStart=10700\nStop=10800\n' >scan.ini

# At a terminal, paced so the scan takes a few seconds.
tmux new-session -d -s "$session" -x 150 -y 40 \
    "cd '$work' && LUMORATH_LIBRARY='$library' LUMORATH_PACE=20 TERM=xterm '$vesker' scan.ini; echo \"exit \$?\" >done.txt; sleep 60"
status='^Interval 1 of 1, Horizontal, 1[0-9]{4} MHz, [0-9]{1,3} % of 100 MHz, [0-9]+ found, 0:[0-9]{2} elapsed'
seen=0
for _ in $(seq 1 200); do
    if tmux capture-pane -p -t "$session" | grep -Eq "$status"; then
        seen=1
        break
    fi
    [ -f done.txt ] && break
    sleep 0.1
done
[ "$seen" -eq 1 ] || fail "no status line at the terminal"
# Right above it, the transcript's unfinished step line: the status stands below it.
tmux capture-pane -p -t "$session" | grep -v '^$' | grep -E -B1 "$status" | head -n 1 | grep -Eq '^1[0-9]{4} Mhz \.\.\.' ||
    fail "the status line does not stand below the step line"
for _ in $(seq 1 300); do [ -f done.txt ] && break; sleep 0.1; done
[ "$(cat done.txt 2>/dev/null)" = "exit 0" ] || fail "the run did not end with 0: $(cat done.txt 2>/dev/null)"
screen=$(tmux capture-pane -p -t "$session")
grep -Eq '^Interval [0-9]' <<<"$screen" && fail "the status line is left on the screen"
grep -q '^Total tranponders found = ' <<<"$screen" || fail "the transcript's end is not on the screen"

# In a pipe: nothing of it.
LUMORATH_LIBRARY=$library LUMORATH_PACE=0 TERM=xterm "$vesker" scan.ini 2>err.txt | cat >out.txt
grep -q '^Interval' err.txt && fail "a status line in a pipe: $(cat err.txt)"
LC_ALL=C grep -q $'[\x1b\r]' err.txt && fail "terminal controls in a pipe"
grep -q '^Total tranponders found = ' out.txt || fail "the run in a pipe found nothing"
echo "ok"
