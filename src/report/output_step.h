// The output step of a pass: names the report and the list, announces each, writes them.
#pragma once

#include <cstdint>

#include "scan/scan_progress.h"
#include "tuner/lumorath.h"

// The run settings the output step reads; held by the entry function for the whole run.
struct OutputOptions {
    const char *report_dir;    // empty, or ending in the path separator
    const char *tp_dir;        // empty, or ending in the path separator
    const char *satellite_name;
    int ini_format;
    int info_format;
    int loop;                  // only 1 puts the pass number into the names
    int satellite_position;    // tenths of a degree counted eastward, 0..3599
    int diseqc;                // the DiSEqC key as read
    std::uint32_t lof1_mhz;
    std::uint32_t lof2_mhz;
    std::uint32_t lofsw_mhz;
    int band_map;                    // nonzero: draw the band map beside the report
    std::uint32_t window_start_mhz;  // the band map's frequency axis, set per pass to what it
    std::uint32_t window_stop_mhz;   // scanned; 0..0 spans the carriers
    unsigned extra_lists;            // ExtraLists: the further lists beside the list (extra_lists.h)
    const PassCoverage *coverage;    // the intervals the pass begun and how far; null: not known
    int stopped;                     // nonzero: the pass was stopped (or a search failed) before its end
};

// Writes the report, the list, the further lists and (when asked for) the band map of one pass; failures print
// "error !" and never stop. Returns false when any of them could not be written.
bool RunOutputStep(const TransponderRecord *records, std::uint32_t count, double scan_time_s,
                   std::uint32_t pass_number, const OutputOptions &options);
