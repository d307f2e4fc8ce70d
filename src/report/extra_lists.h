// Further lists of a pass beside the channel list, in forms that Linux tools and scripts read,
// chosen by [Options] ExtraLists: a DVBv5 channel file (dvbv5-scan, dvbv5-zap,
// dvb-format-convert), a VDR channels.conf transponder list, and CSV and JSON with one row per
// transponder and input stream. Their lines end in LF alone, as those readers expect.
#pragma once

#include <cstddef>
#include <cstdint>

#include "scan/scan_progress.h"
#include "tuner/lumorath.h"

struct ExtraListForm {
    unsigned bit;           // in the ExtraLists mask
    const char *name;       // as ExtraLists names it
    const char *extension;  // after the list's stem: S9.0E.dvbv5.conf
};
constexpr std::size_t kExtraListForms = 4;
extern const ExtraListForm kExtraLists[kExtraListForms];

// Reads "dvbv5,vdr,csv,json" (any of them, in any order and case, separated by commas or
// blanks; "all" for every one) into a mask. The first word that names no list goes to
// `unknown` (empty when there is none).
unsigned ParseExtraLists(const char *text, char *unknown, std::size_t unknown_size);
// The mask of [Options] ExtraLists in the configuration (0 without the key).
unsigned ReadExtraLists(const char *config_path);

// What a list says about its pass besides the records.
struct ExtraListPass {
    const char *satellite_name;
    int satellite_position;      // tenths of a degree counted eastward, 0..3599
    std::uint32_t pass_number;
    double scan_time_s;
    bool stopped;                // the pass ended before its last interval's end
    const PassCoverage *coverage;  // the intervals begun; null: not known
};

// Writes the list of form `form` (one bit of the mask). Returns 0 when written; -1 when the
// name or records are missing or the count is 0; -2 when the file cannot be written.
int WriteExtraList(unsigned form, const char *file_name, const TransponderRecord *records, std::uint32_t count,
                   const ExtraListPass &pass);
