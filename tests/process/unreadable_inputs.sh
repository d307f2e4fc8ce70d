#!/bin/bash
# Inputs a user gets wrong, each answered with a clear line instead of silence, the wrong
# file or a hang: a configuration file that cannot be read, a tuner library that cannot be
# loaded (with the system's reason) or is a pipe, a device or a directory, a bare library name (the file in the current directory,
# never one from the loader's search path), a simulator scenario that is a pipe, a device or
# a directory, and an absurd simulator pace.
# Usage: unreadable_inputs.sh VESKER LUMORATH SOURCE_DIR
set -u
vesker=$1 library=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
unset LUMORATH_SCENARIO LUMORATH_SEED LUMORATH_PACE LUMORATH_STATS LUMORATH_TRACE LUMORATH_TRUTH
export LUMORATH_LIBRARY="$library"
fail() { echo "FAIL: $*"; exit 1; }
# Every run is bounded: a hang is a failure, not a stuck test.
run() { timeout 30 "$vesker" "$@" >out.txt 2>err.txt </dev/null; }
one_error_line() {  # what pattern
    [ "$(wc -l <err.txt)" -eq 1 ] || fail "$1: expected one line on standard error, got: $(cat err.txt)"
    grep -Eq "$2" err.txt || fail "$1: standard error says: $(cat err.txt)"
}
printf '[Options]\r\nDevice=0\r\n[Scan0]\r\nPol=H\r\nStart=10700\r\nStop=10760\r\n' >scan.ini

# A named configuration that cannot be read: one line, then the run with the defaults
# (the devices are listed, the prompt reads no number from /dev/null and says so: exit 253).
mkdir config-dir
for name in missing.ini config-dir; do
    run "$name"
    rc=$?
    [ $rc -eq 253 ] || fail "$name: exit $rc, expected 253"
    [ "$(sed -n 2p err.txt)" = "No device number was read at the prompt (end of input, or not a number): type one of the numbers listed, or set Device in [Options]" ] ||
        fail "$name: the prompt's line is missing: $(cat err.txt)"
    sed -i 2d err.txt
    one_error_line "$name" "^Config file \./$name cannot be read \(.+\): the defaults are used$"
    grep -q '^Device number: ' out.txt || fail "$name: the run did not go on with the defaults"
done

# A library that cannot be loaded: the console line, and the system's reason on standard error.
LUMORATH_LIBRARY=/nonexistent/libLumorath.so run scan.ini
rc=$?
[ $rc -eq 254 ] || fail "missing library: exit $rc, expected 254"
grep -q '^Can.t load tuner library /nonexistent/libLumorath.so !$' out.txt || fail "missing library: $(cat out.txt)"
one_error_line "missing library" "^Can.t load tuner library /nonexistent/libLumorath.so: .*No such file or directory"
printf 'not a library\n' >fake.so
LUMORATH_LIBRARY=fake.so run scan.ini
[ $? -eq 254 ] || fail "not a library: exit code"
one_error_line "not a library" "^Can.t load tuner library \./fake.so: .+"

# A library that is no plain file is refused at once: the loader would wait for a pipe's writer.
mkfifo library-pipe
for name in library-pipe /dev/zero config-dir; do
    LUMORATH_LIBRARY=$name run scan.ini
    rc=$?
    [ $rc -eq 254 ] || fail "library $name: exit $rc, expected 254 (124 is a hang)"
    one_error_line "library $name" "^Can.t load tuner library (\./)?$name: (not a plain file|a directory)$"
done

# A bare name is the file in the current directory, not one on the loader's search path.
cp "$library" mytuner.so
LUMORATH_LIBRARY=mytuner.so run scan.ini
rc=$?
[ $rc -eq 0 ] || fail "bare library name: exit $rc; $(cat out.txt err.txt)"
# Standard error names the file loaded, and says nothing else but the simulator's modelled time.
grep -qx 'Tuner library \./mytuner\.so, device 0: Lumorath simulator, DVB-S2 blind search' err.txt ||
    fail "bare library name: the library file is not named: $(cat err.txt)"
! grep -v -e '^Tuner library ' -e '^Tuner library: ' err.txt || fail "bare library name: standard error says more"
grep -q '^Total tranponders found = ' out.txt || fail "bare library name: nothing scanned"
LUMORATH_LIBRARY=libc.so.6 run scan.ini
[ $? -eq 254 ] && grep -q '^Can.t load tuner library \./libc.so.6 !$' out.txt ||
    fail "a bare name reached the loader's search path: $(cat out.txt)"

# Simulator scenarios that are no plain file are refused at once: no device, one line.
mkfifo pipe
mkdir scenario-dir
for scenario in pipe /dev/null scenario-dir; do
    LUMORATH_SCENARIO=$scenario run scan.ini
    rc=$?
    [ $rc -eq 254 ] || fail "scenario $scenario: exit $rc, expected 254"
    grep -q '^No devices !$' out.txt || fail "scenario $scenario: $(cat out.txt)"
    one_error_line "scenario $scenario" "^Lumorath simulator: scenario $scenario: cannot read the file \((not a plain file|a directory)\)$"
done

# An absurd pace is capped at ten times hardware: two empty steps take about a second.
printf '[Options]\r\nDevice=0\r\n[Scan0]\r\nPol=H\r\nStart=10810\r\nStop=10811\r\nStep=1\r\n' >empty.ini
start=$SECONDS
LUMORATH_PACE=99999999999 run empty.ini
rc=$?
[ $rc -eq 0 ] || fail "capped pace: exit $rc (124: the search never returned)"
[ $((SECONDS - start)) -le 10 ] || fail "capped pace: two empty steps took $((SECONDS - start)) s"
echo "ok"
