// The blind search of one step, by the ladder the frontend was given at enumeration: the
// driver's blind algorithm, a driver that searches blind at every tune, or a sweep over
// candidate symbol rates.
#pragma once

#include <cstdint>

#include "device_list.h"
#include "sec.h"
#include "settings.h"
#include "step_request.h"
#include "tuner/lumorath.h"

namespace dvb {

// Polling interval of the lock status, ms.
constexpr std::uint32_t kStatusPollMs = 20;

// How long one sweep attempt waits for a lock at this symbol rate, ms: the timeouts ST's
// demodulators use for a search at a known rate (linux stv0910.c, start()).
std::uint32_t SweepTimeoutMs(std::uint32_t symbol_rate);

// Searches the step. Returns nonzero when the search ran (record->locked tells whether it
// found a carrier) and 0 for a device failure, after one line on standard error.
int SearchStep(const FrontendEntry &entry, const DvbSettings &settings, SecState *sec, const StepRequest &step,
               TransponderRecord *record);

}  // namespace dvb
