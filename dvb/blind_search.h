// The blind search of one step, by the ladder the frontend was given at enumeration: the
// driver's blind algorithm, a driver that searches blind at every tune, or a sweep over
// candidate symbol rates. A search answers three questions, each in its own place: where to
// look (the part of the range the program's stepping would skip comes first), what to try
// (the driver's search, or the candidate rates with an energy check before them, and the
// carriers the network's tables list, tuned as listed), and what it is (the record, exact
// from the carrier's own entry in those tables, else with its true centre found where the
// driver echoes the request).
#pragma once

#include <cstdint>

#include "device_list.h"
#include "network_tables.h"
#include "pass_memory.h"
#include "sec.h"
#include "settings.h"
#include "signal_level.h"
#include "step_request.h"
#include "tuner/lumorath.h"

namespace dvb {

struct Capture {
    std::int64_t sum_khz = 0;
    int count = 0;
};

// What the search keeps from one step to the next while a device is started.
struct SearchState {
    SecState sec;
    PassMemory memory;
    LevelHistory levels;
    // How far either side of a carrier the demodulator locks it, narrow and wide rates: the
    // half widths of the lock ranges of carriers alone in them, summed.
    Capture captures[2];
    NetworkTables tables;
};

// The longest a sweep step without a carrier takes at this depth, ms: the wait of every
// attempt. With an energy check `no_energy_ms` gets what a step without energy takes, else 0.
std::uint32_t SweepStepMs(const FrontendEntry &entry, const DvbSettings &settings, Depth depth,
                          std::uint32_t frequency_khz, std::uint32_t min_symbol_rate, std::uint32_t *no_energy_ms);

// Searches the step. Returns nonzero when the search ran (record->locked tells whether it
// found a carrier) and 0 for a device failure, after one line on standard error.
int SearchStep(const FrontendEntry &entry, const DvbSettings &settings, SearchState *state, const StepRequest &step,
               TransponderRecord *record);

}  // namespace dvb
