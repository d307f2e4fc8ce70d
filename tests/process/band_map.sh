#!/bin/bash
# The band map of a whole scan of the built-in satellite with the example configuration: drawn
# after the list, one bar for every transponder of the report, well-formed XML (as are the
# golden pictures) where xmllint is at hand.
# Usage: band_map.sh VESKER LUMORATH SOURCE_DIR
set -u
vesker=$1 library=$2 source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$source/examples/universal-ku.ini" "$work/"
(cd "$work" && LUMORATH_LIBRARY="$library" LUMORATH_SCENARIO= "$vesker" universal-ku.ini >console.txt) || { echo "FAIL scan"; exit 1; }
tail -n 5 "$work/console.txt" | tr -d '\r' >"$work/tail.txt"
printf 'Report detailed transponder info to S9.0E.txt ...\nStore transponder info in S9.0E.ini ...\nDraw the band map to S9.0E.svg ...\n\n\n' |
    diff - "$work/tail.txt" || { echo "FAIL: the output step's lines"; exit 1; }
reported=$(grep -c '^TP N: ' "$work/S9.0E.txt")
drawn=$(grep -c '<title>TP [0-9]*: ' "$work/S9.0E.svg")
[ "$reported" -gt 0 ] && [ "$reported" -eq "$drawn" ] || { echo "FAIL: $reported transponders reported, $drawn drawn"; exit 1; }
if command -v xmllint >/dev/null 2>&1; then
    xmllint --noout "$work/S9.0E.svg" "$source"/tests/golden/*.svg || { echo "FAIL: not well-formed"; exit 1; }
    checked="checked by xmllint"
else
    checked="not checked: no xmllint"
fi
echo "ok: $drawn transponders drawn ($checked)"
