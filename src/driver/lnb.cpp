#include "driver/lnb.h"

#include "platform/platform.h"
#include "tuner/lnb_band.h"

namespace {

const char kInvalid[] = "Invalid LNB params";

// Highest local oscillator accepted, MHz.
constexpr std::uint32_t kMaxOscillatorMhz = 23000;

bool BelowBand(std::uint32_t lof, const TunerLimits &limits) {
    return OscillatorBelowBand(static_cast<std::uint64_t>(lof) * 1000u, limits.lnb_mid_mhz, limits.lnb_stacked_mhz);
}

struct Window {
    std::uint32_t start;
    std::uint32_t stop;
};

Window SingleOscillatorWindow(std::uint32_t lof, const TunerLimits &limits) {
    if (BelowBand(lof, limits)) return {lof + limits.if_start_mhz, lof + limits.if_stop_mhz};
    return {lof - limits.if_stop_mhz, lof - limits.if_start_mhz};
}

// The rules run in order; the first that fails prints its message.
bool Validate(const LnbSettings &lnb, const TunerLimits &limits, std::uint32_t sum) {
    const std::uint32_t lof1 = lnb.lof1_mhz, lof2 = lnb.lof2_mhz, lofsw = lnb.lofsw_mhz;
    const std::uint32_t mid = limits.lnb_mid_mhz, stacked = limits.lnb_stacked_mhz;
    if (lof1 != 0 && lof1 < sum) {
        Print("%s: LOF1=%u < %u Mhz!\n", kInvalid, lof1, sum);
        return false;
    }
    if (lof1 != 0 && lof1 > kMaxOscillatorMhz) {
        Print("%s: LOF1=%u > %u Mhz!\n", kInvalid, lof1, kMaxOscillatorMhz);
        return false;
    }
    if (lof2 != 0 && lof2 < sum) {
        Print("%s: LOF2=%u < %u Mhz!\n", kInvalid, lof2, sum);
        return false;
    }
    if (lof2 != 0 && lof2 > kMaxOscillatorMhz) {
        Print("%s: LOF2=%u > %u Mhz!\n", kInvalid, lof2, kMaxOscillatorMhz);
        return false;
    }
    if (lofsw == 0) return true;
    if (lofsw < sum) {
        Print("%s: LOFSW=%u < %u Mhz!\n", kInvalid, lofsw, sum);
        return false;
    }
    if (lof1 == 0) {
        Print("%s: LOF1=%u Mhz!\n", kInvalid, 0u);
        return false;
    }
    if (lof2 == 0) {
        Print("%s: LOF2=%u Mhz!\n", kInvalid, 0u);
        return false;
    }
    if ((lof1 > mid) != (lof2 > mid)) {
        Print("%s: Both LOF1 and LOF2 must be >%u or <= %u Mhz!\n", kInvalid, mid, mid);
        return false;
    }
    if (mid < lofsw && lofsw < stacked && lof1 > lof2) {
        Print("%s: LOF1=%u > LOF2=%uMhz !\n", kInvalid, lof1, lof2);
        return false;
    }
    if ((lofsw <= mid || lofsw > stacked) && lof1 < lof2) {
        Print("%s: LOF1=%u < LOF2=%u Mhz !\n", kInvalid, lof1, lof2);
        return false;
    }
    return true;
}

}  // namespace

bool CheckLnb(const TunerLimits &limits, const char *config_path, LnbSettings *settings) {
    LnbSettings lnb{};
    lnb.lof1_mhz = static_cast<std::uint32_t>(IniReadInt("SatInfo", "LOF1", 9750, config_path));
    lnb.lofsw_mhz = static_cast<std::uint32_t>(IniReadInt("SatInfo", "LOFSW", 11700, config_path));
    lnb.lof2_mhz = static_cast<std::uint32_t>(IniReadInt("SatInfo", "LOF2", 10600, config_path));
    const int single_lof = IniReadInt("SatInfo", "LOF", -1, config_path);
    const int tone_22khz = IniReadInt("SatInfo", "22Khz", 0, config_path);
    const int band_stacked = IniReadInt("SatInfo", "BandStacked", 0, config_path);

    const std::uint32_t sum = limits.if_start_mhz + limits.if_stop_mhz;
    if (band_stacked != 0) lnb.lofsw_mhz = limits.lnb_stacked_mhz;
    if (single_lof >= 0) {
        const std::uint32_t lof = static_cast<std::uint32_t>(single_lof);
        // This text has no line end: the rejection below always follows on the same line.
        if (lof != 0 && lof < sum) Print("%s: LOF < %i", kInvalid, static_cast<int>(sum));
        lnb.lof1_mhz = tone_22khz == 0 ? lof : 0;
        lnb.lof2_mhz = tone_22khz == 0 ? 0 : lof;
        lnb.lofsw_mhz = 0;
    }
    if (!Validate(lnb, limits, sum)) return false;

    Window window{};
    if (lnb.lofsw_mhz == 0 && lnb.lof1_mhz == 0 && lnb.lof2_mhz == 0) {
        window = {limits.if_start_mhz, limits.if_stop_mhz};  // no LNB: the tuner's own range
    } else if (lnb.lofsw_mhz == 0) {
        window = SingleOscillatorWindow(lnb.lof1_mhz != 0 ? lnb.lof1_mhz : lnb.lof2_mhz, limits);
    } else if (lnb.lofsw_mhz == limits.lnb_stacked_mhz) {
        // Band-stacked: the band both oscillators reach.
        const Window low = SingleOscillatorWindow(lnb.lof1_mhz, limits);
        const Window high = SingleOscillatorWindow(lnb.lof2_mhz, limits);
        window = {low.start > high.start ? low.start : high.start, low.stop < high.stop ? low.stop : high.stop};
    } else {
        // A switching LNB: both oscillators must lie on the same side of the band, or one
        // bound of the window would stay unset.
        const bool low_below = BelowBand(lnb.lof1_mhz, limits);
        if (low_below != BelowBand(lnb.lof2_mhz, limits)) {
            Print("%s: LOF1=%u and LOF2=%u must both be < %u or >= %u Mhz!\n", kInvalid, lnb.lof1_mhz,
                  lnb.lof2_mhz, limits.lnb_stacked_mhz, limits.lnb_stacked_mhz);
            return false;
        }
        if (low_below) {
            window = {lnb.lof1_mhz + limits.if_start_mhz, lnb.lof2_mhz + limits.if_stop_mhz};
        } else {
            window = {lnb.lof2_mhz - limits.if_stop_mhz, lnb.lof1_mhz - limits.if_start_mhz};
        }
    }
    lnb.window_start_mhz = window.start;
    lnb.window_stop_mhz = window.stop;
    *settings = lnb;
    return true;
}
