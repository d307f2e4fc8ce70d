#!/bin/bash
# The simulator's clock: a whole two-polarization Ku scan in 5 MHz steps (examples/universal-ku.ini
# with Step=5) is modelled at 5 to 15 minutes, as step scanners take on hardware, for the
# built-in satellite and two satellites of Debian's dtv-scan-tables. Read from LUMORATH_STATS;
# nothing is paced, so the test itself takes a second or two.
# Usage: simulator_scan_time.sh VESKER LUMORATH SOURCE_DIR
set -u
vesker=$1 library=$2 source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset LUMORATH_SEED LUMORATH_PACE LUMORATH_TRACE LUMORATH_TRUTH
status=0
timed() {  # name scenario-file-or-empty
    local name=$1 dir="$work/$1"
    mkdir -p "$dir"
    sed 's/^Step=.*/Step=5/' "$source/examples/universal-ku.ini" >"$dir/ku.ini"
    (cd "$dir" && LUMORATH_LIBRARY="$library" LUMORATH_SCENARIO="$2" LUMORATH_STATS=1 "$vesker" ku.ini >console.txt 2>stats.txt)
    local rc=$?
    if [ $rc -ne 0 ]; then echo "FAIL $name: vesker exited with $rc"; status=1; return; fi
    sed 's/^/  /' "$dir/stats.txt"
    if ! grep -Eq '^Lumorath simulator: modelled [0-9.]+ min; average search: empty [0-9.]+ s \([0-9]+\), locked [0-9.]+ s \([0-9]+\), failed (- \(0\)|[0-9.]+ s \([0-9]+\))$' "$dir/stats.txt"; then
        echo "FAIL $name: no line of averages by outcome"; status=1
    fi
    local seconds
    seconds=$(sed -n 's/^Lumorath simulator: .* modelled time \([0-9.]*\) s$/\1/p' "$dir/stats.txt")
    if [ -z "$seconds" ]; then echo "FAIL $name: no modelled time"; status=1; return; fi
    if awk -v s="$seconds" 'BEGIN { exit !(s >= 300 && s <= 900) }'; then
        echo "ok $name: $seconds s"
    else
        echo "FAIL $name: modelled $seconds s, outside 300..900 s"; status=1
    fi
}
timed builtin ""
for table in Hotbird-13.0E Turksat-42.0E; do
    if [ -f "/usr/share/dvb/dvb-s/$table" ]; then
        timed "$table" "/usr/share/dvb/dvb-s/$table"
    else
        echo "skip $table: dtv-scan-tables not installed"
    fi
done
exit $status
