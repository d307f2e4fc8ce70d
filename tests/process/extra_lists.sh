#!/bin/bash
# The further lists of a whole scan of the built-in satellite (DVB-S and DVB-S2 carriers, one
# of them with three input streams), as their readers take them: dvb-format-convert reads the
# DVBv5 file without an error and with every channel; the JSON parses and the CSV reads with
# Python's readers, both with one row per transponder and input stream, as many as the DVBv5
# file has channels; every VDR line has the 13 fields of a channels.conf line.
# Usage: extra_lists.sh VESKER LUMORATH SOURCE_DIR
set -u
vesker=$1 library=$2 source=$3
for tool in dvb-format-convert python3; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (apt-get install -y dvb-tools python3)"
        exit 77
    fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }
sed -e 's/^Step=2/Step=5/' -e 's/^BandMap=1/ExtraLists=dvbv5, VDR,csv json/' "$source/examples/universal-ku.ini" >scan.ini
LUMORATH_LIBRARY=$library LUMORATH_SCENARIO= "$vesker" scan.ini >console.txt 2>err.txt </dev/null || fail "scan: exit $?"
found=$(sed -n 's/^Total tranponders found = //p' console.txt)
for file in S9.0E.dvbv5.conf S9.0E.vdr.conf S9.0E.csv S9.0E.json; do
    grep -qx "Store transponder info in $file \.\.\." console.txt || fail "$file not announced"
    [ -s "$file" ] || fail "$file not written"
    LC_ALL=C grep -q $'\r' "$file" && fail "$file has CR line ends"
done

channels=$(grep -c '^\[CHANNEL\]$' S9.0E.dvbv5.conf)
dvb-format-convert -I DVBV5 -O DVBV5 S9.0E.dvbv5.conf read.conf >convert.log 2>&1 || { cat convert.log; fail "dvb-format-convert refused the DVBv5 file"; }
[ "$(grep -c '^\[CHANNEL\]$' read.conf)" -eq "$channels" ] || fail "dvb-format-convert read $(grep -c CHANNEL read.conf) of $channels channels"
grep -q 'DELIVERY_SYSTEM = DVBS$' read.conf && grep -q 'DELIVERY_SYSTEM = DVBS2$' read.conf || fail "not a mixed DVB-S/S2 scan"
[ "$(grep -c 'STREAM_ID = ' read.conf)" -ge 2 ] || fail "no multistream carrier read back"

python3 - "$found" "$channels" <<'PY' || fail "the JSON or the CSV"
import csv, json, sys
found, channels = int(sys.argv[1]), int(sys.argv[2])
data = json.load(open("S9.0E.json", encoding="ascii"))
rows = list(csv.DictReader(open("S9.0E.csv", newline="", encoding="utf-8")))
assert data["satellite"] == "Simsat 9E" and data["position"] == "9.0E" and data["stopped"] is False, data
assert [i["polarization"] for i in data["intervals"]] == ["Horizontal", "Vertical"], data["intervals"]
for table in (data["transponders"], rows):
    assert len(table) == channels, (len(table), channels)
    assert len({str(row["number"]) for row in table}) == found
json_streams = [r["stream_id"] for r in data["transponders"] if r["stream_id"] is not None]
assert len(json_streams) >= 2 and [r["stream_id"] for r in rows if r["stream_id"]] == [str(s) for s in json_streams]
for j, c in zip(data["transponders"], rows):
    assert str(j["frequency_khz"]) == c["frequency_khz"] and j["system"] == c["system"], (j, c)
    assert (j["link_margin_db"] is None) == (c["link_margin_db"] == "")
    assert c["satellite"] == "Simsat 9E" and c["stopped"] == "false"
print("ok: %d transponders, %d rows in JSON and CSV" % (found, channels))
PY

awk -F: '!/^:/ && NF != 13 { bad = 1; print "bad VDR line: " $0 } END { exit bad }' S9.0E.vdr.conf || fail "VDR lines"
[ "$(grep -vc '^:' S9.0E.vdr.conf)" -eq "$channels" ] || fail "VDR lines: not one per channel"
grep -Eq '^[0-9]+ [HV] [0-9]+;Simsat 9E:[0-9]+:[HV](C[0-9]+)?(M[0-9]+)?S0:S9\.0E:[0-9]+:0:0:0:0:0:0:0:0$' S9.0E.vdr.conf &&
    grep -Eq ':[HV]C[0-9]+M[0-9]+O[0-9]+P[0-9]+S1:S9\.0E:' S9.0E.vdr.conf || fail "VDR parameters"
echo "ok: $channels channels read back by dvb-format-convert"
