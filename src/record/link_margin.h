// Link margin: how many dB a transponder's measured signal-to-noise ratio lies above the
// carrier-to-noise ratio its modulation and coding need (the figures: record/dvb_standard.h).
#pragma once

#include <cstdint>

#include "record/dvb_standard.h"
#include "tuner/lumorath.h"

double LinkMargin(const TransponderRecord &record);  // dB
// False where the margin means nothing: a system without a model, a modulation and code rate
// without a required C/N, or an SNR that is not a number (LinkMargin then gives 0 or the SNR).
bool LinkMarginKnown(const TransponderRecord &record);
