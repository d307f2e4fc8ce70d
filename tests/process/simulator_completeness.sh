#!/bin/bash
# Whole blind scans on the simulator with examples/universal-ku.ini, scored against the
# simulator's truth: the built-in satellite and three satellites of Debian's dtv-scan-tables
# (one of them carries 213 transponders in the window, more than a 200-record table holds).
# At least 97 % of the carriers in the window at or above MinSR must be found. Prints the
# figures (also the share among carriers that overlap no other carrier of their table) and
# every miss with its reason.
# Usage: simulator_completeness.sh VESKER LUMORATH SOURCE_DIR
set -u
vesker=$1 library=$2 source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
score() {  # name scenario-file-or-empty
    local name=$1 scenario=$2 dir="$work/$1"
    mkdir -p "$dir"
    cp "$source/examples/universal-ku.ini" "$dir/"
    (cd "$dir" && LUMORATH_LIBRARY="$library" LUMORATH_SCENARIO="$scenario" LUMORATH_TRUTH="$dir/truth.tsv" \
        LUMORATH_TRACE="$dir/trace.tsv" LUMORATH_STATS=1 "$vesker" universal-ku.ini >"$dir/console.txt" 2>"$dir/stats.txt")
    local rc=$?
    if [ $rc -ne 0 ]; then echo "FAIL $name: vesker exited with $rc"; status=1; return; fi
    local report
    report=$(ls "$dir"/S*.txt 2>/dev/null | head -1)
    if [ -z "$report" ]; then echo "FAIL $name: no report written"; status=1; return; fi
    sed 's/^/  /' "$dir/stats.txt"
    awk -v start_mhz=10700 -v stop_mhz=12750 -v min_sr_ksps=1000 -v label="$name" \
        -f "$source/sim/score_completeness.awk" "$dir/truth.tsv" "$dir/trace.tsv" "$report" | tee "$dir/score.txt"
    local figure
    figure=$(awk -v label="$name:" '$1 == label { split($0, a, "= "); print a[2] + 0 }' "$dir/score.txt")
    if awk -v f="$figure" 'BEGIN { exit !(f >= 97.0) }'; then echo "ok $name: $figure %"; else echo "FAIL $name: $figure % < 97 %"; status=1; fi
}
score builtin ""
for table in Hotbird-13.0E Turksat-42.0E Eutelsat-10A-10.0E; do
    if [ -f "/usr/share/dvb/dvb-s/$table" ]; then
        score "$table" "/usr/share/dvb/dvb-s/$table"
    else
        echo "skip $table: dtv-scan-tables not installed"
    fi
done
exit $status
