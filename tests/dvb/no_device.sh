#!/bin/bash
# The DVB tuner library on a machine without a satellite frontend: "No devices !", exit code
# -2 (254), and one line on standard error saying where no frontend was found.
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
