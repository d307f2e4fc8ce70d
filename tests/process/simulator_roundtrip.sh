#!/bin/bash
# The round trip: the text list (IniFormat 5) of a scan of the built-in satellite, used as
# the simulator's scenario, scans back to the same list (comments aside: they carry the
# measured level and SNR).
# Usage: simulator_roundtrip.sh VESKER LUMORATH SOURCE_DIR
set -u
vesker=$1 library=$2 source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/first" "$work/second"
cp "$source/examples/universal-ku.ini" "$work/first/"
cp "$source/examples/universal-ku.ini" "$work/second/"
(cd "$work/first" && LUMORATH_LIBRARY="$library" LUMORATH_SCENARIO= "$vesker" universal-ku.ini >console.txt) || { echo "FAIL first scan"; exit 1; }
[ -f "$work/first/S9.0E.ini" ] || { echo "FAIL: no list from the first scan"; exit 1; }
(cd "$work/second" && LUMORATH_LIBRARY="$library" LUMORATH_SCENARIO="$work/first/S9.0E.ini" "$vesker" universal-ku.ini >console.txt) ||
    { echo "FAIL second scan"; exit 1; }
strip() { sed 's/ # .*//' "$1" | tr -d '\r'; }
if diff <(strip "$work/first/S9.0E.ini") <(strip "$work/second/S9.0E.ini"); then
    echo "ok: $(grep -c '^S' "$work/first/S9.0E.ini") list lines scanned back unchanged"
else
    echo "FAIL: the list changed on the round trip"
    exit 1
fi
