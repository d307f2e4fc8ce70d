#!/usr/bin/env bash
# Nothing a user points the program at makes it wait for ever: a configuration that is a
# pipe nobody writes, or /dev/zero, reads as missing; a list that is a pipe nobody reads
# gives "error !"; closed standard input answers the device prompt with nothing.
# Arguments: <vesker> <simulator library> <source dir>.
set -u
vesker=$(realpath "$1") library=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
export LUMORATH_LIBRARY=$library
unset LUMORATH_SCENARIO LUMORATH_PACE
fail() { echo "FAIL: $*"; cat out.txt; exit 1; }

mkfifo silent.ini
timeout 20 "$vesker" silent.ini > out.txt < /dev/null
rc=$?
[ $rc -eq 253 ] || fail "configuration pipe: exit $rc (124 is a hang)"
grep -q '^Device number: Can'"'"'t start device 4294967295 !$' out.txt || fail "configuration pipe: no prompt"

timeout 20 "$vesker" /dev/zero > out.txt < /dev/null
rc=$?
[ $rc -eq 253 ] || fail "/dev/zero as configuration: exit $rc"

printf '[Options]\nDevice=0\n[Scan0]\nPol=H\nStart=10700\nStop=12750\n' > scan.ini
mkfifo 0000.ini
timeout 20 "$vesker" scan.ini > out.txt 2> err.txt < /dev/null
rc=$?
[ $rc -eq 250 ] || fail "list pipe: exit $rc (250: a file could not be written)"
grep -q "^Can't write 0000.ini: " err.txt || fail "list pipe: no reason on standard error"
grep -A1 '^Store transponder info in 0000.ini \.\.\.$' out.txt | grep -q '^error !$' || fail "list pipe: no error line"
[ -s 0000.txt ] || fail "list pipe: the report was not written"
echo "never waits: pipes, /dev/zero and closed input all handled"
