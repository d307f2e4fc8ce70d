// Link margin: how many dB a transponder's measured signal-to-noise ratio lies above the
// carrier-to-noise ratio its modulation and coding need (the figures: record/dvb_standard.h).
#pragma once

#include <cstdint>

#include "record/dvb_standard.h"
#include "tuner/lumorath.h"

double LinkMargin(const TransponderRecord &record);  // dB
