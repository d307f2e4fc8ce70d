// Where the scan goes on after a step that found a new carrier. Header only: the simulated
// tuner steps its modelled scans by the same rule.
#pragma once

#include <cstdint>

#include "tuner/lumorath.h"

// A step width above the carrier's upper edge; a carrier reported below the step start must
// not hold the scan in place.
inline std::uint64_t NextStepAfterCarrierKhz(std::uint64_t step_start_khz, std::uint32_t step_khz,
                                             const TransponderRecord &carrier) {
    const std::uint64_t next_khz = static_cast<std::uint64_t>(carrier.frequency) + carrier.carrier_width / 2u + step_khz;
    return next_khz > step_start_khz ? next_khz : step_start_khz + step_khz;
}
