// The symbol rates a sweep tries, most likely first: the rates measured on the published
// transponder tables, as many as the depth asks for, or the user's own list.
#pragma once

#include <cstdint>

#include "device_list.h"
#include "settings.h"

namespace dvb {

struct Candidate {
    std::uint32_t symbol_rate;  // S/s
    bool dvbs2_first;           // most carriers at this rate are DVB-S2
};

struct CandidatePlan {
    Candidate items[kMaxCandidates];
    int count;
};

// The candidates for a step at `frequency_khz` (C band below kCBandTopKhz, else Ku): the
// user's list for the band, else the measured list for the frontend's capture cut at the
// depth; only rates the frontend takes and not below `min_symbol_rate`.
void PlanCandidates(const FrontendEntry &entry, const DvbSettings &settings, Depth depth, std::uint32_t frequency_khz,
                    std::uint32_t min_symbol_rate, CandidatePlan *plan);

}  // namespace dvb
