// One step of the program's scan as the blind search receives it.
#pragma once

#include <cstdint>

namespace dvb {

struct StepRequest {
    std::uint32_t frequency_khz = 0;  // step start, satellite frequency
    std::uint32_t step_khz = 0;
    unsigned polarization = 0;
    std::uint32_t lof1_khz = 0, lof2_khz = 0, lofsw_khz = 0;
    std::uint32_t min_symbol_rate = 0;  // S/s
};

}  // namespace dvb
