#!/usr/bin/env bash
# The tuner library and the settings come from the program's own directory, never from the
# current one (where anyone may have put a library): from a directory whose path is longer than
# 259 characters, without /proc (a container, a chroot), through a link, and, when the program
# cannot tell where it is, not at all (exit 254).
# Arguments: <vesker> <simulator library> <source dir>; SLOW_TUNER names the test tuner.
set -u
vesker=$(realpath "$1") library=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
unset LUMORATH_LIBRARY LUMORATH_SCENARIO LUMORATH_PACE
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); sed 's/^/    /' out.txt err.txt 2> /dev/null | tail -n 8; }

# The current directory holds another library, the slow test tuner, which logs every call to
# calls.log, and settings that would reject the LNB (an IF range that is empty).
cp "$SLOW_TUNER" libLumorath.so
export SLOW_TUNER_LOG=$work/calls.log
printf '[SatInfo]\nLOF1=1\n' > Vesker.ini
printf '[Lumorath]\nIFStart=3000\n' > Lumorath.ini
printf '[Options]\nDevice=0\n[Scan0]\nPol=H\nStep=10\n' > scan.ini

# Expects a whole scan with the simulator beside the program: exit 0, transponders found, and
# nothing from the current directory.
expect_own_files() {
  [ "$rc" = 0 ] || fail "$1: exit $rc"
  grep -q '^Total tranponders found = ' out.txt || fail "$1: nothing scanned"
  [ -e calls.log ] && fail "$1: the current directory's library was loaded"
  rm -f calls.log 0000.*
}

# 1. A directory 310 characters deep holding the program, the simulator and its own Vesker.ini.
long=$work
for letter in a b c d e; do long=$long/$(printf "$letter%.0s" $(seq 60)); done
mkdir -p "$long"
cp "$vesker" "$long/vesker"
cp "$library" "$long/libLumorath.so"
cp scan.ini "$long/Vesker.ini"
"$long/vesker" > out.txt 2> err.txt < /dev/null
rc=$?
expect_own_files "long path"
grep -qx "Config name: $long/Vesker.ini" out.txt || fail "long path: not its own configuration"

# The cases without /proc need a mount namespace of their own (root), and a build without
# sanitizers (their runtime reads its options and ends through /proc); elsewhere they are skipped.
without_proc() { unshare -m --propagation private sh -c 'mount -t tmpfs none /proc && exec "$@"' sh "$@"; }
skip=
grep -qa __asan_init "$vesker" && skip="a sanitizer build needs /proc itself"
[ -n "$skip" ] || without_proc true 2> /dev/null || skip="no mount namespace here (not root?)"
if [ -n "$skip" ]; then
  echo "SKIP: the runs without /proc: $skip"
  [ "$failures" = 0 ] && exit 77
  exit 1
fi

# 2. Without /proc, started by a relative name through a link: the name it was started under,
# resolved, still leads to its own directory.
ln -s "$long/vesker" linked-vesker
without_proc ./linked-vesker scan.ini > out.txt 2> err.txt < /dev/null
rc=$?
expect_own_files "without /proc, through a link"

# 3. Without /proc and started from an open file (fexecve): the system cannot say where the
# program is. It says so and loads nothing: exit 254.
without_proc python3 -c 'import os, sys; os.execve(os.open(sys.argv[1], os.O_RDONLY), sys.argv[1:], os.environ)' \
  "$long/vesker" scan.ini > out.txt 2> err.txt < /dev/null
rc=$?
[ "$rc" = 254 ] || fail "unknown directory: exit $rc"
grep -qx "Can't find the program's own directory !" out.txt || fail "unknown directory: no line"
grep -q "^Can't find the program's own directory (.*No such file or directory)" err.txt || fail "unknown directory: no reason"
[ -e calls.log ] && fail "unknown directory: the current directory's library was loaded"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "own directory: the library and settings came from beside the program every time"
