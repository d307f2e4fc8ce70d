// What a sweep of the band will cost, said once before its first search: the user learns
// whether the scan takes ten minutes or three hours before it starts, and what the other
// depths would cost.
#pragma once

#include "blind_search.h"
#include "device_list.h"
#include "settings.h"

namespace dvb {

// The longest a sweep at this depth takes over one polarization of the band the step's LNB
// values reach, in steps of the step's width, ms (every step without a carrier); the band's
// lowest and highest step go to `low_khz` and `high_khz`. 0 when no step is reachable.
double SweepBandMs(const FrontendEntry &entry, const DvbSettings &settings, Depth depth, const StepRequest &step,
                   std::uint32_t *low_khz, std::uint32_t *high_khz);

// One line on standard error with the figures for the configured depth and the others.
void PrintScanEstimate(const FrontendEntry &entry, const DvbSettings &settings, const StepRequest &step);

}  // namespace dvb
