#!/bin/bash
# The band map of a whole scan of the built-in satellite with the example configuration: drawn
# after the list, one bar for every transponder of the report, valid SVG 1.1 (as are the
# golden pictures) where xmllint and the document type are at hand.
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
# The SVG 1.1 document type of Debian's w3c-sgml-lib, where installed.
dtd=/usr/share/xml/w3c-sgml-lib/schema/dtd/REC-SVG11-20110816/svg11.dtd
if command -v xmllint >/dev/null 2>&1 && [ -f "$dtd" ]; then
    xmllint --noout --dtdvalid "$dtd" "$work/S9.0E.svg" "$source"/tests/golden/*.svg || { echo "FAIL: not valid SVG 1.1"; exit 1; }
    checked="valid SVG 1.1 by xmllint"
elif command -v xmllint >/dev/null 2>&1; then
    xmllint --noout "$work/S9.0E.svg" "$source"/tests/golden/*.svg || { echo "FAIL: not well-formed"; exit 1; }
    checked="well-formed by xmllint; no SVG 1.1 document type here"
else
    checked="not checked: no xmllint"
fi
echo "ok: $drawn transponders drawn ($checked)"
