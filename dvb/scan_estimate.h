// What a sweep will cost, said once before its first search: the user learns whether the scan
// takes ten minutes or three hours before it starts, and what the other depths would cost. The
// program announces the intervals of its scan (LumorathModelledScan) after the device's start;
// where it does not, the band the LNB values reach stands in for them.
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

// The program's scan as announced: the longest a pass takes at each depth, ms.
struct ScanPlan {
    double pass_ms[3];  // by Depth
    int intervals;
};
// Adds the interval from `first.frequency_khz` to `stop_khz`, stepped by `first.step_khz` with
// every step empty; returns its ms at the configured depth (0 when no step is reachable).
double PlanInterval(const FrontendEntry &entry, const DvbSettings &settings, const StepRequest &first,
                    std::uint32_t stop_khz, ScanPlan *plan);

// One line on standard error with the figures for the configured depth and the others: for a
// pass of the scan the program announced, else for one polarization of the band.
void PrintScanEstimate(const FrontendEntry &entry, const DvbSettings &settings, const StepRequest &step,
                       const ScanPlan &plan);

}  // namespace dvb
