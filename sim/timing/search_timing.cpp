#include "search_timing.h"

#include <cmath>
#include <cstdlib>

namespace tuner_timing {

namespace {

// The stages of one blind attempt of an ST-type DVB-S2 demodulator, from ST's reference blind
// search kept in Linux drivers/media/dvb-frontends/stv090x.c (stv090x_blind_search and the
// functions it calls, named below). Figures marked "model" are this model's own.

// Tuner to the step centre with a wide filter and let it settle: the driver's 50 ms settle plus
// the tuner's own programming (model).
constexpr double kTuneAndSettleMs = 65.0;
// Energy probe: AGC2 read at 1 MHz offsets across the search range, 10 ms each
// (stv090x_get_agc2_min_level).
constexpr double kEnergyProbeMsPerMhz = 10.0;
// One coarse position: ~50 ms acquisition plus ~50 ms tuner retune (stv090x_srate_srch_coarse).
constexpr double kCoarsePositionMs = 100.0;
// The coarse search tries at most 11 carrier offsets (stv090x_srate_srch_coarse).
constexpr int kCoarsePositionsMax = 11;
// Acquisition: 50 ms plus 1500 ms per MS/s of symbol rate, capped at the timeout (model: the
// timing loop needs a fixed number of symbols).
constexpr double kAcquisitionBaseMs = 50.0;
constexpr double kAcquisitionMsTimesMsps = 1500.0;
// FEC lock: DVB-S2 20 ms plus 10 physical-layer frames; DVB-S (and DSS, also Viterbi-coded)
// 100 ms for the Viterbi rate search, the blind FecTimeout above 5 MS/s of stv090x_get_lock_tmg
// (model).
constexpr double kFecLockDvbS2BaseMs = 20.0;
constexpr double kFecLockDvbS2Frames = 10.0;
constexpr double kFecLockViterbiMs = 100.0;
// A DVB-S2 physical-layer frame: 64800 or 16200 coded bits plus a 90-symbol header (EN 302 307-1, 5.5).
constexpr double kNormalFrameBits = 64800.0;
constexpr double kShortFrameBits = 16200.0;
constexpr double kPlHeaderSymbols = 90.0;
// Read-back of the signal parameters and tracking (stv090x_get_sig_params; model).
constexpr double kReadBackMs = 55.0;
// A failed attempt on a present carrier costs the demodulator timeout and this (model).
constexpr double kFailedAttemptExtraMs = 150.0;
// Each input stream beyond the first, for collecting the stream list (model).
constexpr double kExtraStreamMs = 100.0;
// Lock confirmation: statistics read over I2C and the host polling the status, which no driver
// itemises. Model: calibrated so that a whole Ku scan takes the 5-15 min that users of hardware
// step scanners report; the stages alone give 2-4 min.
constexpr double kLockConfirmationMs = 3000.0;

// Satellite equipment control (Eutelsat, DiSEqC Bus Functional Specification 4.2): a 22 kHz
// bit of 1.5 ms, 9 bits per byte (8 data bits and parity), at least 15 ms of quiet before and
// after; a tone burst of 12.5 ms.
constexpr double kDiseqcQuietMs = 15.0;
constexpr double kDiseqcByteMs = 9 * 1.5;
constexpr double kToneBurstSignalMs = 12.5;
// Positioner drive speed and the drive to a stored position of unknown distance (model:
// common positioners turn at 1 to 2 degrees per second).
constexpr double kMotorDegreesPerSecond = 1.5;
constexpr double kStoredPositionDriveMs = 10000.0;

// Carrier offset between two coarse positions, kHz: 1/2/3/5 MHz for symbol rates up to
// 2, 5, 12 MS/s and above (stv090x_srate_srch_coarse).
double CarrierStepKhz(std::uint32_t symbol_rate) {
    if (symbol_rate <= 2000000) return 1000.0;
    if (symbol_rate <= 5000000) return 2000.0;
    if (symbol_rate <= 12000000) return 3000.0;
    return 5000.0;
}

}  // namespace

double TuneAndProbeMs(std::uint32_t search_range_khz) {
    return kTuneAndSettleMs + kEnergyProbeMsPerMhz * search_range_khz / 1000.0;
}

int CoarsePositions(std::int32_t carrier_offset_khz, std::uint32_t symbol_rate) {
    long steps = std::lround(std::fabs(static_cast<double>(carrier_offset_khz)) / CarrierStepKhz(symbol_rate));
    // 0, +1, -1, +2, -2 ...: +k is the 2k-th position, -k the (2k+1)-th.
    long positions = steps == 0 ? 1 : carrier_offset_khz > 0 ? 2 * steps : 2 * steps + 1;
    return positions > kCoarsePositionsMax ? kCoarsePositionsMax : static_cast<int>(positions);
}

// Blind DemodTimeout of stv090x_get_lock_tmg.
double DemodTimeoutMs(std::uint32_t symbol_rate) {
    if (symbol_rate <= 1500000) return 1500.0;
    if (symbol_rate <= 5000000) return 1000.0;
    return 700.0;
}

double AcquisitionMs(std::uint32_t symbol_rate) {
    if (symbol_rate == 0) return DemodTimeoutMs(symbol_rate);
    double acquisition = kAcquisitionBaseMs + kAcquisitionMsTimesMsps / (symbol_rate / 1e6);
    double timeout = DemodTimeoutMs(symbol_rate);
    return acquisition < timeout ? acquisition : timeout;
}

double FecLockMs(int system, std::uint32_t symbol_rate, int bits_per_symbol, bool short_frames) {
    if (system != kSystemDvbS2) return kFecLockViterbiMs;
    if (symbol_rate == 0 || bits_per_symbol <= 0) return kFecLockDvbS2BaseMs;
    double frame_symbols = (short_frames ? kShortFrameBits : kNormalFrameBits) / bits_per_symbol + kPlHeaderSymbols;
    return kFecLockDvbS2BaseMs + kFecLockDvbS2Frames * frame_symbols / symbol_rate * 1000.0;
}

double BlindSearchMs(const BlindSearchTiming &search) {
    double ms = TuneAndProbeMs(search.search_range_khz);
    if (search.end == SearchEnd::kEmpty) return ms;
    ms += kCoarsePositionMs * CoarsePositions(search.carrier_offset_khz, search.symbol_rate);
    if (search.end == SearchEnd::kFailed) return ms + DemodTimeoutMs(search.symbol_rate) + kFailedAttemptExtraMs;
    ms += AcquisitionMs(search.symbol_rate) +
          FecLockMs(search.system, search.symbol_rate, search.bits_per_symbol, search.short_frames) + kReadBackMs +
          kLockConfirmationMs;
    if (search.stream_count > 1) ms += kExtraStreamMs * (search.stream_count - 1);
    return ms;
}

double DiseqcMessageMs(int byte_count) { return kDiseqcQuietMs + kDiseqcByteMs * byte_count + kDiseqcQuietMs; }

double ToneBurstMs() { return kDiseqcQuietMs + kToneBurstSignalMs + kDiseqcQuietMs; }

double MotorDriveMs(double degrees) { return std::fabs(degrees) / kMotorDegreesPerSecond * 1000.0; }

double StoredPositionDriveMs() { return kStoredPositionDriveMs; }

}  // namespace tuner_timing
