#include "search.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "record/dvb_standard.h"
#include "search_timing.h"
#include "sim_random.h"
#include "tuner/lnb_band.h"

namespace sim {

namespace {

bool VerticalOrRight(unsigned polarization) { return polarization == 1 || polarization == 3; }

double Clip(double value, double low, double high) { return value < low ? low : value > high ? high : value; }

// The carrier's bits per symbol, for the length of a DVB-S2 frame.
int BitsPerSymbol(int constellation) {
    return constellation == k8psk ? 3 : constellation == k16apsk ? 4 : constellation == k32apsk ? 5 : 2;
}

}  // namespace

Oscillator SelectOscillator(const TunerModel &tuner, std::uint32_t frequency_khz, unsigned polarization,
                            std::uint32_t lof1_khz, std::uint32_t lof2_khz, std::uint32_t lofsw_khz) {
    const LnbBand band = SelectLnbBand(frequency_khz, polarization, lof1_khz, lof2_khz, lofsw_khz, tuner.lnb_mid_mhz,
                                       tuner.lnb_stacked_mhz);
    Oscillator oscillator;
    oscillator.present = band.present;
    oscillator.lo_khz = band.lo_khz;
    oscillator.inverted = band.inverted;
    return oscillator;
}

std::int64_t IntermediateKhz(const Oscillator &oscillator, std::uint32_t frequency_khz) {
    LnbBand band;
    band.lo_khz = oscillator.lo_khz;
    band.inverted = oscillator.inverted;
    return LnbIntermediateKhz(band, frequency_khz);
}

bool Reachable(const TunerModel &tuner, const Oscillator &oscillator, std::uint32_t frequency_khz) {
    if (!oscillator.present) return false;
    std::int64_t if_khz = IntermediateKhz(oscillator, frequency_khz);
    return if_khz >= static_cast<std::int64_t>(tuner.if_start_mhz) * 1000 &&
           if_khz <= static_cast<std::int64_t>(tuner.if_stop_mhz) * 1000;
}

double LockProbability(double margin_db) { return 1.0 / (1.0 + std::exp(-margin_db / 0.2)); }

SearchOutcome BlindSearch(const Scenario &scenario, const TunerModel &tuner, const DishState &dish,
                          const SearchRequest &request, TransponderRecord *record) {
    std::memset(record, 0, sizeof *record);
    SearchOutcome outcome;
    // The demodulator is tuned to the step frequency and zig-zags outwards from it:
    // candidates are the carriers whose centre lies within the search range of it, or whose
    // occupied band covers it.
    double centre_khz = request.frequency_khz;
    double range_khz = tuner.search_range_khz;
    tuner_timing::BlindSearchTiming timing;
    timing.search_range_khz = 2 * tuner.search_range_khz;
    outcome.modelled_ms = tuner_timing::BlindSearchMs(timing);
    Oscillator oscillator = SelectOscillator(tuner, request.frequency_khz, request.polarization, request.lof1_khz,
                                             request.lof2_khz, request.lofsw_khz);
    std::uint32_t min_rate = request.min_symbol_rate > kMinDemodSymbolRate ? request.min_symbol_rate : kMinDemodSymbolRate;
    double best_distance = 0.0;
    const Carrier *best = nullptr;
    std::uint64_t best_key = 0;
    for (std::size_t s = 0; s < scenario.satellites.size(); ++s) {
        if (!SatelliteVisible(scenario, s, dish, tuner.site_latitude, tuner.site_longitude)) continue;
        const Satellite &satellite = scenario.satellites[s];
        for (std::size_t c = 0; c < satellite.carriers.size(); ++c) {
            const Carrier &carrier = satellite.carriers[c];
            if (VerticalOrRight(static_cast<unsigned>(carrier.polarization)) != VerticalOrRight(request.polarization)) continue;
            if (carrier.symbol_rate < min_rate || carrier.symbol_rate > kMaxDemodSymbolRate) continue;
            if (carrier.esno_db < -3.0) continue;  // below what the energy probe can see
            if (!Reachable(tuner, oscillator, carrier.frequency_khz)) continue;
            double distance = std::fabs(carrier.frequency_khz - centre_khz);
            double half_width = CarrierWidthKhz(carrier.symbol_rate, carrier.rolloff) / 2.0;
            if (distance > range_khz && distance > half_width) continue;
            // Nearest first; within 0.5 MHz of each other the stronger carrier wins.
            bool better = true;
            if (best != nullptr) {
                if (std::fabs(distance - best_distance) > 500.0) {
                    better = distance < best_distance;
                } else if (carrier.level_dbm != best->level_dbm) {
                    better = carrier.level_dbm > best->level_dbm;
                } else {
                    better = distance < best_distance;
                }
            }
            if (!better) continue;
            best = &carrier;
            best_distance = distance;
            best_key = CarrierKey(satellite, carrier);
            outcome.satellite = static_cast<int>(s);
            outcome.carrier = static_cast<int>(c);
        }
    }
    if (best == nullptr) return outcome;

    const Carrier &carrier = *best;
    const std::uint64_t seed = tuner.seed;
    const std::uint64_t step = request.frequency_khz;
    // The demodulator sees the carrier's offset from the step mirrored when the LNB inverts the spectrum.
    std::int64_t carrier_offset_khz = static_cast<std::int64_t>(carrier.frequency_khz) - request.frequency_khz;
    timing.carrier_offset_khz = static_cast<std::int32_t>(oscillator.inverted ? -carrier_offset_khz : carrier_offset_khz);
    timing.symbol_rate = carrier.symbol_rate;
    timing.system = carrier.system;
    timing.bits_per_symbol = BitsPerSymbol(carrier.constellation);
    timing.short_frames = carrier.frame_length == 1;
    timing.stream_count = carrier.stream_ids.size() > 1 ? static_cast<std::uint32_t>(carrier.stream_ids.size()) : 1u;
    double threshold = LockThresholdDb(carrier.system, carrier.constellation, carrier.fec, carrier.frame_length);
    outcome.margin_db = std::isnan(threshold) ? -99.0 : carrier.esno_db - threshold;
    double level = Clip(carrier.level_dbm + 0.3 * StandardNormal(seed, best_key, Draw::kRfLevel, step), -80.0, -10.0);
    record->rf_level = static_cast<std::int32_t>(std::lround(level));
    if (Uniform(seed, best_key, Draw::kLock, step) >= LockProbability(outcome.margin_db)) {
        outcome.result = SearchResult::kFailed;
        timing.end = tuner_timing::SearchEnd::kFailed;
        outcome.modelled_ms = tuner_timing::BlindSearchMs(timing);
        return outcome;
    }

    outcome.result = SearchResult::kLocked;
    timing.end = tuner_timing::SearchEnd::kLocked;
    outcome.modelled_ms = tuner_timing::BlindSearchMs(timing);
    std::size_t streams = carrier.stream_ids.size();

    // Estimates. The symbol rate reads 50 ppm high (the demodulator's crystal runs slow) with
    // +-36 ppm of jitter; the frequency carries the derotator's estimate error, 20 kHz plus
    // 1 kHz per MS/s (one sigma, clipped at three); the SNR 0.2 dB.
    double ppm = 50.0 + Clip(12.0 * StandardNormal(seed, best_key, Draw::kSymbolRate, step), -36.0, 36.0);
    std::uint32_t symbol_rate = static_cast<std::uint32_t>(std::lround(carrier.symbol_rate * (1.0 + ppm * 1e-6)));
    double sigma_khz = 20.0 + carrier.symbol_rate / 1e6;
    double offset_khz = Clip(sigma_khz * StandardNormal(seed, best_key, Draw::kFrequency, step), -3.0 * sigma_khz, 3.0 * sigma_khz);
    double snr = Clip(carrier.esno_db + 0.2 * StandardNormal(seed, best_key, Draw::kSnr, step), -3.0, 25.0);

    record->locked = 1;
    record->frequency = static_cast<std::uint32_t>(std::llround(carrier.frequency_khz + offset_khz));
    record->polarization = static_cast<std::int32_t>(request.polarization);
    record->symbol_rate = symbol_rate;
    record->system = carrier.system;
    record->modulation = RecordModulation(carrier.system, carrier.constellation);
    record->fec = carrier.fec;
    record->inversion = oscillator.inverted ? 2 : 1;
    record->rolloff = carrier.rolloff;
    record->pilot = carrier.system == kDvbS2 ? carrier.pilot : kPilotOff;
    record->frame_length = carrier.frame_length;
    record->coding_mode = carrier.coding_mode;
    record->stream_type = carrier.stream_type;
    std::size_t count = streams > 16 ? 16 : streams;  // the record holds the first 16 (ascending)
    record->stream_count = static_cast<std::uint32_t>(count);
    for (std::size_t i = 0; i < count; ++i) record->stream_ids[i] = static_cast<std::uint8_t>(carrier.stream_ids[i]);
    record->issy = carrier.issy ? 1 : 0;
    record->npd = carrier.npd ? 1 : 0;
    record->carrier_width = CarrierWidthKhz(symbol_rate, carrier.rolloff);
    record->bit_rate = UsefulBitRate(carrier.system, carrier.constellation, carrier.fec, carrier.frame_length,
                                     carrier.pilot, symbol_rate);
    record->snr = std::round(snr * 10.0) / 10.0;
    return outcome;
}

}  // namespace sim
