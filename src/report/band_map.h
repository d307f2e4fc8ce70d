// The band map: an SVG picture of one pass beside its report. One lane per polarization,
// frequency across, each carrier a bar as wide as its occupied band, as tall as its
// signal-to-noise ratio and coloured by its link margin.
#pragma once

#include <cstdint>

#include "scan/scan_progress.h"
#include "tuner/lumorath.h"

// What the picture says about the pass besides the records.
struct BandMapPass {
    const char *satellite_name;
    int satellite_position;       // tenths of a degree counted eastward, 0..3599
    std::uint32_t pass_number;
    std::uint32_t window_start_mhz;  // the frequency axis; a carrier beyond it is cut at its edge
    std::uint32_t window_stop_mhz;
    std::uint32_t lofsw_mhz = 0;           // the LNB's band switch, marked where it lies on the axis; 0: none
    const PassCoverage *coverage = nullptr;  // what the pass scanned: the rest of a lane is greyed
    bool stopped = false;                  // the pass ended before its last interval's end
};

// The colour class of a link margin shown to one decimal: below 0 dB, 0 to under 2 dB, from 2 dB;
// unknown where the margin means nothing (LinkMarginKnown).
enum MarginClass { kMarginShort, kMarginTight, kMarginGood, kMarginUnknown };
MarginClass MarginClassOf(const TransponderRecord &record);

// Writes the picture of `count` records (sorted by frequency). Returns 0 when written; -1
// when the name or records are missing or the count is 0; -2 when the file cannot be written.
int WriteBandMap(const char *file_name, const TransponderRecord *records, std::uint32_t count,
                 const BandMapPass &pass);
