#!/bin/bash
# The DVB tuner library on a machine without a satellite frontend: "No devices !", exit code
# -2 (254), and one line on standard error saying where no frontend was found; in a directory
# of names that are no DVB device, a line for each.
# Usage: no_device.sh VESKER LIBLUMORATH-DVB SOURCE_DIR
set -u
vesker=$1 library=$2 source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }
export LUMORATH_LIBRARY="$library"
unset LUMORATH_DVB_SYMBOL_RATES LUMORATH_DVB_SYMBOL_RATES_C LUMORATH_DVB_LOCK_TIMEOUT LUMORATH_DVB_STRATEGY
# On a machine with DVB devices the library is shown an empty directory instead.
dir=/dev/dvb
unset LUMORATH_DVB_DIR
if [ -e /dev/dvb ]; then
  mkdir empty
  dir=$work/empty
  export LUMORATH_DVB_DIR=$dir
fi
cp "$source/examples/universal-ku.ini" .
"$vesker" universal-ku.ini >out.txt 2>err.txt
rc=$?
[ $rc -eq 254 ] || fail "exit $rc, expected 254; $(cat out.txt err.txt)"
grep -qx 'No devices !' out.txt || fail "no 'No devices !': $(cat out.txt)"
[ "$(wc -l <err.txt)" -eq 1 ] || fail "expected one line on standard error: $(cat err.txt)"
grep -q "^Lumorath DVB: no satellite frontend found under $dir" err.txt || fail "stderr: $(cat err.txt)"
echo "ok: $(cat err.txt)"

# A DVB directory holding no DVB device, and an adapter number above 32: each name is said for
# what it is on standard error and never opened (a pipe would wait, a watchdog device would
# arm), then the same "No devices !".
mkdir -p odd/adapter0 odd/adapter1/frontend0 odd/adapter2 odd/adapter3 odd/adapter40
: > odd/adapter0/frontend0
mkfifo odd/adapter2/frontend0
ln -s /dev/zero odd/adapter3/frontend0
: > odd/adapter40/frontend0
LUMORATH_DVB_DIR=$work/odd timeout 20 "$vesker" universal-ku.ini >out.txt 2>err.txt
rc=$?
[ $rc -eq 254 ] || fail "odd directory: exit $rc, expected 254; $(cat out.txt err.txt)"
expected="Lumorath DVB: $work/odd/adapter0/frontend0 is not a DVB device (a regular file)
Lumorath DVB: $work/odd/adapter1/frontend0 is not a DVB device (a directory)
Lumorath DVB: $work/odd/adapter2/frontend0 is not a DVB device (a named pipe)
Lumorath DVB: $work/odd/adapter3/frontend0 is not a DVB device (a device of another driver)
Lumorath DVB: $work/odd/adapter40/frontend0 is not a DVB device (a regular file)
Lumorath DVB: no satellite frontend found under $work/odd; is the card's driver loaded?"
[ "$(cat err.txt)" = "$expected" ] || fail "odd directory: standard error says: $(cat err.txt)"
grep -qx 'No devices !' out.txt || fail "odd directory: no 'No devices !': $(cat out.txt)"
echo "ok: the odd directory's names were named"
