# Scores a scan of the simulator against its truth table.
#   awk -v start_mhz=10700 -v stop_mhz=12750 -v min_sr_ksps=1000 -v label=NAME \
#       -f score_completeness.awk truth.tsv trace.tsv report.txt
# A truth carrier counts when its frequency lies in the window and its symbol rate is at least
# the minimum; it is found when a reported transponder has the same polarization (13 V / 18 V
# group), a frequency within max(1 MHz, rate/5) and a symbol rate within 0.5 %. Every miss is
# listed with its reason, from the simulator's search trace:
#   overlap   its occupied band overlaps another carrier of the table on the same polarization
#             (the table holds carriers that cannot coexist: no receiver separates them)
#   weak      every search that tried it failed to lock (margin to the lock threshold shown)
#   dropped   a search locked it but the program did not keep it (duplicate within 1 MHz)
#   unreached no search had it as the nearest carrier (stepped over, or a nearer one won)
# Prints "label: found/counted = percent" and "label clean: ..." over the carriers that overlap
# no other carrier of the table.
function group(p) { return (p == "V" || p == "R") ? "V" : "H" }
function abs(x) { return x < 0 ? -x : x }
FNR == 1 { file++ }
file == 1 && FNR > 1 {
    split($0, f, "\t")
    n++; tf[n] = f[3] + 0; tp[n] = group(f[4]); tsr[n] = f[5] + 0; tro[n] = f[9] + 0
    tw[n] = tsr[n] * (tro[n] == 2 ? 1.25 : tro[n] == 3 ? 1.20 : 1.35) / 1000
    next
}
file == 2 {
    split($0, f, "\t")
    if (f[5] == "") next
    key = f[7] "|" group(f[8]) "|" f[9]
    if (f[5] == "locked") locked[key] = f[2]
    else if (f[5] == "failed") { failed[key] = f[2]; margin[key] = f[10] }
    next
}
file == 3 && /^Frequency: / { m++; rf[m] = $2 * 1000 }
file == 3 && /^Symbol rate: / { rsr[m] = $3 * 1000 }
file == 3 && /^Polarization: / { rp[m] = group(substr($2, 1, 1)) }
END {
    counted = 0; found = 0; clean = 0; clean_found = 0
    for (i = 1; i <= n; i++) {
        if (tf[i] < start_mhz * 1000 || tf[i] > stop_mhz * 1000 || tsr[i] < min_sr_ksps * 1000) continue
        counted++
        other = ""
        for (j = 1; j <= n; j++)
            if (j != i && tp[j] == tp[i] && abs(tf[j] - tf[i]) < (tsr[i] + tsr[j]) / 2000) { other = tf[j] " kHz " tsr[j] " S/s"; break }
        if (other == "") clean++
        tolerance = tsr[i] / 5000; if (tolerance < 1000) tolerance = 1000
        hit = 0
        for (j = 1; j <= m && !hit; j++)
            if (rp[j] == tp[i] && abs(rf[j] - tf[i]) <= tolerance && abs(rsr[j] - tsr[i]) <= tsr[i] * 0.005) hit = 1
        if (hit) { found++; if (other == "") clean_found++; continue }
        key = tf[i] "|" tp[i] "|" tsr[i]
        if (other != "") reason = "overlap with " other " in the table"
        else if (key in locked) reason = "dropped: locked at step " locked[key] " kHz, not kept by the program"
        else if (key in failed) reason = "weak: lock failed at step " failed[key] " kHz, margin " margin[key] " dB"
        else reason = "unreached: no step had it as the nearest carrier"
        printf "  miss %s %d kHz %s %d S/s: %s\n", label, tf[i], tp[i], tsr[i], reason
    }
    printf "%s: %d/%d = %.1f %%\n", label, found, counted, counted ? 100.0 * found / counted : 0
    printf "%s clean: %d/%d = %.1f %%\n", label, clean_found, clean, clean ? 100.0 * clean_found / clean : 0
}
