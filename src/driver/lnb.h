// The LNB description: its local oscillators, the band switch and the scan window.
#pragma once

#include <cstdint>

// The tuner's IF limits and the LNB markers from the library settings file, in MHz.
struct TunerLimits {
    std::uint32_t if_start_mhz;     // lowest IF the tuner takes
    std::uint32_t if_stop_mhz;      // highest IF the tuner takes
    std::uint32_t lnb_mid_mhz;      // an oscillator at or below it lies above the band
    std::uint32_t lnb_stacked_mhz;  // a switch frequency equal to it marks a band-stacked LNB
};

// The settled oscillators (0 = none; LOFSW 0 = single oscillator) and the satellite
// frequencies reachable through them, all in MHz.
struct LnbSettings {
    std::uint32_t lof1_mhz;
    std::uint32_t lof2_mhz;
    std::uint32_t lofsw_mhz;
    std::uint32_t window_start_mhz;
    std::uint32_t window_stop_mhz;
};

// Reads the LNB keys of section SatInfo and checks them. Returns false after printing the
// one message that rejects the description.
bool CheckLnb(const TunerLimits &limits, const char *config_path, LnbSettings *settings);
