// The output step of a pass: names the report and the list, announces each, writes them.
#pragma once

#include <cstdint>

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
};

// Writes the report and the list of one pass; failures print "error !" and never stop.
// Returns false when either file could not be written.
bool RunOutputStep(const TransponderRecord *records, std::uint32_t count, double scan_time_s,
                   std::uint32_t pass_number, const OutputOptions &options);
