#!/bin/bash
# The text and XML lists as outside tools read them: xmllint must find the XML list
# well-formed, and the DVBv5 channel reader (dvb-format-convert, CHANNEL input) must read
# every DVB-S2 line of the text list with the values written.
# Arguments: <vesker> <libLumorath.so> <source dir>. The sample lists come from
# list_writer_test, built beside vesker.
set -u

vesker=$1
writer_test=$(dirname "$vesker")/tests/list_writer_test
for tool in xmllint dvb-format-convert; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (apt-get install -y libxml2-utils dvb-tools)"
        exit 77
    fi
done
if [ ! -x "$writer_test" ]; then
    echo "SKIP: $writer_test is not built"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

VESKER_INTEROP_DIR=$work "$writer_test" --gtest_filter='*InteropSamples' >"$work/test.log" 2>&1 ||
    { cat "$work/test.log"; fail "list_writer_test could not write the samples"; exit 1; }

# ---- XML list ------------------------------------------------------------------------
xml=$work/sample.xml
xmllint --noout "$xml" || fail "the XML list is not well-formed"
name=$(xmllint --xpath 'string(/satellites/sat/@name)' "$xml")
[ "$name" = 'Sat "A" & <B> 5W' ] || fail "the satellite name reads back as '$name'"
elements=$(xmllint --xpath 'count(/satellites/sat/transponder)' "$xml")
[ "$elements" = 10 ] || fail "expected 10 transponder elements, found $elements"
# Satellite names with control characters, in UTF-8 and in Latin-1: well-formed, and read
# back as meant (xmllint prints UTF-8).
for named in "$work"/name_*.xml; do
    xmllint --noout "$named" || { fail "$(basename "$named") is not well-formed"; continue; }
    name=$(xmllint --xpath 'string(/satellites/sat/@name)' "$named")
    [ "$name" = "$(cat "${named%.xml}.expected")" ] ||
        fail "$(basename "$named"): the name reads back as '$name', not '$(cat "${named%.xml}.expected")'"
done

# ---- Text list: the DVB-S2 lines -------------------------------------------------------
text=$work/sample_text.ini
grep '^S2 ' "$text" >"$work/s2.ini"   # CR LF kept, as written
if ! dvb-format-convert -I CHANNEL -O DVBV5 "$work/s2.ini" "$work/s2.conf" >"$work/convert.log" 2>&1; then
    cat "$work/convert.log"
    fail "the channel reader refused the DVB-S2 lines"
else
    # What was written, one line per channel: frequency pol symbol-rate fec rolloff modulation stream.
    tr -d '\r' <"$work/s2.ini" | awk '{
        pol = $3 == "H" ? "HORIZONTAL" : $3 == "V" ? "VERTICAL" : $3
        mod = $7
        if (mod == "8PSK") mod = "PSK/8"; else if (mod == "16APSK") mod = "APSK/16";
        else if (mod == "32APSK") mod = "APSK/32"; else if (mod == "AUTO") mod = "QAM/AUTO"
        stream = ($8 ~ /^[0-9]+$/) ? $8 : 0
        print $2, pol, $4, $5, $6, mod, stream
    }' >"$work/written.txt"
    # What the reader made of it.
    awk -F' = ' '
        /^\[CHANNEL\]/ { if (n++) print line; line = "" }
        { gsub(/^[ \t]+/, "", $1) }
        $1 == "FREQUENCY" { f = $2 } $1 == "POLARIZATION" { p = $2 } $1 == "SYMBOL_RATE" { s = $2 }
        $1 == "INNER_FEC" { c = $2 } $1 == "ROLLOFF" { r = $2 } $1 == "MODULATION" { m = $2 }
        $1 == "STREAM_ID" { i = $2; line = f " " p " " s " " c " " r " " m " " i }
        END { if (n) print line }
    ' "$work/s2.conf" >"$work/read.txt"
    if ! diff -u "$work/written.txt" "$work/read.txt"; then
        fail "the channel reader read other values than were written"
    else
        echo "ok: $(wc -l <"$work/read.txt") DVB-S2 lines read back with the values written"
    fi
fi

# ---- Text list: the other lines, for information ----------------------------------------
# The reader stops at the first line it cannot take, so each line is tried on its own.
grep -v -e '^S2 ' -e '^#' "$text" | tr -d '\r' | while IFS= read -r line; do
    printf '%s\n' "$line" >"$work/one.ini"
    if dvb-format-convert -I CHANNEL -O DVBV5 "$work/one.ini" "$work/one.conf" >"$work/one.log" 2>&1; then
        echo "note: taken as $(grep -m1 DELIVERY_SYSTEM "$work/one.conf" | tr -d ' \t'): $line"
    else
        echo "note: not taken: $line ($(grep -m1 ERROR "$work/one.log"))"
    fi
done

[ "$failures" -eq 0 ] || exit 1
echo "PASS"
