// Link margin: how many dB a transponder's measured signal-to-noise ratio lies above the
// carrier-to-noise ratio its modulation and coding need.
#pragma once

#include <cstdint>

#include "tuner/lumorath.h"

double RequiredCnDvbS(std::int32_t fec);                           // dB; 0 = no entry
double RequiredCnDvbS2(std::int32_t modulation, std::int32_t fec);  // dB, normal frames; 0 = no entry
double LinkMargin(const TransponderRecord &record);                // dB
// False where the margin means nothing: a system without a model, a modulation and code rate
// without a required C/N, or an SNR that is not a number (LinkMargin then gives 0 or the SNR).
bool LinkMarginKnown(const TransponderRecord &record);
