// The LNB band rule, written once: which oscillator converts a satellite frequency, whether
// the 22 kHz tone (the band bit of the committed switch byte) is on, and where the IF lies.
// The program's per-step band bit, the simulated tuner and the DVB tuner library all use it.
// Header only, so that each of them carries it without linking the others.
#pragma once

#include <cstdint>

// An oscillator between LNBMid and LNBStk (both excluded) lies below the received band
// (satellite frequency = LO + IF); every other one lies above it, with inverted spectrum
// (satellite frequency = LO - IF): C band 5150 MHz, the upper oscillator of a band-stacked LNB.
inline bool OscillatorBelowBand(std::uint64_t lo_khz, std::uint32_t lnb_mid_mhz, std::uint32_t lnb_stacked_mhz) {
    return static_cast<std::uint64_t>(lnb_mid_mhz) * 1000u < lo_khz &&
           lo_khz < static_cast<std::uint64_t>(lnb_stacked_mhz) * 1000u;
}

// The band bit, 1 for the high band (tone on): with a switch frequency, from it up; with
// none, exactly when only the high-band oscillator is set (a universal LNB held in its
// high band).
inline int LnbHighBand(std::uint64_t frequency_khz, std::uint64_t lof2_khz, std::uint64_t lofsw_khz) {
    if (lofsw_khz != 0) return frequency_khz >= lofsw_khz ? 1 : 0;
    return lof2_khz != 0 ? 1 : 0;
}

struct LnbBand {
    bool present = false;    // false: the band has no oscillator, nothing is reachable
    std::uint32_t lo_khz = 0;  // 0 with present: no LNB, the tuner input is the satellite frequency
    bool inverted = false;   // oscillator above the band: IF = LO - RF, spectrum inverted
    bool high_band = false;  // 22 kHz tone on
    bool stacked = false;    // band-stacked: the polarization picks the oscillator
};

// The oscillator for a satellite frequency, with the LNB values as the program settles them:
// - band-stacked (LOFSW equal to LNBStk): vertical and right use the lower oscillator,
//   horizontal and left the higher one (C band 5150/5750, Ku 11250/14350); no tone;
// - LOFSW nonzero: LOF2 from LOFSW up, LOF1 below;
// - LOFSW 0: whichever oscillator is set (LOF1 first); none at all: no LNB.
inline LnbBand SelectLnbBand(std::uint64_t frequency_khz, unsigned polarization, std::uint32_t lof1_khz,
                             std::uint32_t lof2_khz, std::uint32_t lofsw_khz, std::uint32_t lnb_mid_mhz,
                             std::uint32_t lnb_stacked_mhz) {
    LnbBand band;
    band.high_band = LnbHighBand(frequency_khz, lof2_khz, lofsw_khz) != 0;
    std::uint32_t lo = 0;
    if (lofsw_khz != 0 && static_cast<std::uint64_t>(lofsw_khz) == static_cast<std::uint64_t>(lnb_stacked_mhz) * 1000u) {
        band.stacked = true;
        std::uint32_t low = lof1_khz < lof2_khz ? lof1_khz : lof2_khz;
        const std::uint32_t high = lof1_khz < lof2_khz ? lof2_khz : lof1_khz;
        if (low == 0) low = high;  // only one oscillator given
        const bool vertical_or_right = polarization == 1 || polarization == 3;
        lo = vertical_or_right ? low : high;
        if (lo == 0) return band;
    } else if (lofsw_khz != 0) {
        lo = band.high_band ? lof2_khz : lof1_khz;
        if (lo == 0) return band;  // that band has no oscillator
    } else {
        lo = lof1_khz != 0 ? lof1_khz : lof2_khz;
    }
    band.present = true;
    band.lo_khz = lo;
    band.inverted = lo != 0 && !OscillatorBelowBand(lo, lnb_mid_mhz, lnb_stacked_mhz);
    return band;
}

// The IF of a satellite frequency through the band's oscillator, kHz (may be negative).
inline std::int64_t LnbIntermediateKhz(const LnbBand &band, std::uint64_t frequency_khz) {
    const std::int64_t rf = static_cast<std::int64_t>(frequency_khz);
    const std::int64_t lo = band.lo_khz;
    return band.inverted ? lo - rf : rf - lo;
}

// The satellite frequency of an IF through the band's oscillator, kHz (signed: an inverted
// oscillator counts downwards).
inline std::int64_t LnbSatelliteKhz(const LnbBand &band, std::int64_t if_khz) {
    const std::int64_t lo = band.lo_khz;
    return band.inverted ? lo - if_khz : lo + if_khz;
}
