// Link margin: how many dB a transponder's measured signal-to-noise ratio lies above the
// carrier-to-noise ratio its modulation and coding need.
#pragma once

#include <cstdint>

#include "tuner/lumorath.h"

double RequiredCnDvbS(std::int32_t fec);                           // dB; 0 = no entry
double RequiredCnDvbS2(std::int32_t modulation, std::int32_t fec);  // dB, normal frames; 0 = no entry
double LinkMargin(const TransponderRecord &record);                // dB
