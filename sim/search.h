// The blind search of one step: which oscillator the LNB uses, which carrier the demodulator
// finds near the step, whether it locks, what it reports and how long it takes.
#pragma once

#include <cstdint>

#include "dish.h"
#include "scenario.h"
#include "tuner/lumorath.h"

namespace sim {

// The tuner's limits (section Lumorath of Lumorath.ini, read like the program reads them)
// and the search settings.
struct TunerModel {
    std::uint32_t if_start_mhz = 950;
    std::uint32_t if_stop_mhz = 2150;
    std::uint32_t lnb_mid_mhz = 6000;       // an oscillator at or below it lies above the band
    std::uint32_t lnb_stacked_mhz = 21000;  // LOFSW equal to it: band-stacked; an oscillator at or above it lies above the band
    std::uint32_t search_range_khz = 5500;  // either side of the step centre
    std::uint64_t seed = 1;
    int site_latitude = 500;                // tenths of a degree, for USALS angles (scenario may override)
    int site_longitude = 100;
};

// The oscillator that converts a step. `lo_khz` 0 with `present` means no LNB: the tuner
// input is the satellite frequency itself.
struct Oscillator {
    bool present = false;
    std::uint32_t lo_khz = 0;
    bool inverted = false;  // oscillator above the band: IF = LO - RF, spectrum inverted
};

// The oscillator for a step at `frequency_khz`, as the program's band choice selects it:
// - band-stacked (LOFSW = LNBStk): the polarization picks the oscillator, vertical and right
//   the lower one, horizontal and left the higher one (C-band 5150/5750, Ku 11250/14350);
// - LOFSW nonzero: LOF2 from LOFSW up, LOF1 below;
// - LOFSW 0: whichever oscillator is nonzero (LOF1 first); none at all: no LNB.
Oscillator SelectOscillator(const TunerModel &tuner, std::uint32_t frequency_khz, unsigned polarization,
                            std::uint32_t lof1_khz, std::uint32_t lof2_khz, std::uint32_t lofsw_khz);

// The IF of a carrier through the oscillator, in kHz (may be negative or far off).
std::int64_t IntermediateKhz(const Oscillator &oscillator, std::uint32_t frequency_khz);
// Whether the carrier centre's IF lies within IFStart..IFStop.
bool Reachable(const TunerModel &tuner, const Oscillator &oscillator, std::uint32_t frequency_khz);

struct SearchRequest {
    std::uint32_t frequency_khz = 0;
    std::uint32_t step_khz = 0;
    unsigned polarization = 0;
    std::uint32_t lof1_khz = 0;
    std::uint32_t lof2_khz = 0;
    std::uint32_t lofsw_khz = 0;
    std::uint32_t min_symbol_rate = 0;  // S/s
};

enum class SearchResult { kEmpty, kFailed, kLocked };

struct SearchOutcome {
    SearchResult result = SearchResult::kEmpty;
    int satellite = -1;        // the carrier tried, if any
    int carrier = -1;
    double margin_db = 0.0;    // its Es/N0 above the lock threshold, dB
    double modelled_ms = 0.0;  // how long the search takes on hardware
};

// The demodulator's symbol-rate range in blind mode, S/s.
constexpr std::uint32_t kMinDemodSymbolRate = 100000;
constexpr std::uint32_t kMaxDemodSymbolRate = 70000000;

// One blind search at the step frequency: the nearest carrier (within 0.5 MHz, the stronger)
// among those on the same LNB voltage (H/L or V/R), at or above the minimum symbol rate,
// reachable through the oscillator, and whose centre lies within the search range of the step
// frequency or whose occupied band covers it. It locks with LockProbability of its margin,
// drawn per carrier and step. Fills the record (all zero when nothing locks, but for the level of a
// carrier that was seen and failed).
SearchOutcome BlindSearch(const Scenario &scenario, const TunerModel &tuner, const DishState &dish,
                          const SearchRequest &request, TransponderRecord *record);

// The chance that a carrier `margin_db` above its threshold locks in one search: logistic
// with a 0.2 dB scale.
double LockProbability(double margin_db);

}  // namespace sim
