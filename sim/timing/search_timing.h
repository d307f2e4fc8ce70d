// How long a DVB-S/S2 tuner takes, in milliseconds: one blind search of a step, by how it
// ends, and the satellite equipment commands around it. Pure functions of plain values, with
// no state and nothing of the simulator's band model, so that every tuner model of the project
// (the simulated tuner library, the model frontend of the Linux DVB library's tests) takes its
// times from here. Built as the static library sim_timing.
#pragma once

#include <cstdint>

namespace tuner_timing {

// How a blind search of one step ends.
enum class SearchEnd {
    kEmpty,   // the energy probe sees no carrier in the search range: the fast path
    kFailed,  // a carrier is there, but the demodulator does not lock it before its timeout
    kLocked,  // demodulator and FEC locked, the signal read back
};

// Delivery systems, coded as in the transponder record.
constexpr int kSystemDvbS = 1;
constexpr int kSystemDvbS2 = 2;
constexpr int kSystemDss = 3;

// One blind search as far as its time goes. Only `end` and `search_range_khz` matter for an
// empty step; the rest describes the carrier tried.
struct BlindSearchTiming {
    SearchEnd end = SearchEnd::kEmpty;
    std::uint32_t search_range_khz = 10000;  // the whole range probed around the step centre
    std::int32_t carrier_offset_khz = 0;     // carrier centre minus tuned frequency, as the demodulator sees it
    std::uint32_t symbol_rate = 0;           // S/s
    int system = kSystemDvbS;                // record code
    int bits_per_symbol = 2;                 // DVB-S2: 2 QPSK, 3 8PSK, 4 16APSK, 5 32APSK
    bool short_frames = false;               // DVB-S2 16200-bit frames
    std::uint32_t stream_count = 1;          // input streams of the carrier, 1 for a single stream
};

// The whole search: tune and settle, the energy probe over the range; then, with a carrier,
// the coarse positions up to it and either its acquisition, FEC lock and read-back (plus the
// lock confirmation and extra input streams) or the demodulator timeout of a failed attempt.
double BlindSearchMs(const BlindSearchTiming &search);

// The parts, for models that put a search together differently.
double TuneAndProbeMs(std::uint32_t search_range_khz);
// Coarse positions the zig-zag (0, +1, -1, +2, ... carrier steps) visits until it reaches
// the carrier, at most the 11 the demodulator tries.
int CoarsePositions(std::int32_t carrier_offset_khz, std::uint32_t symbol_rate);
// The demodulator's blind timeout for a carrier of this rate.
double DemodTimeoutMs(std::uint32_t symbol_rate);
// Timing and carrier recovery, capped at the demodulator timeout.
double AcquisitionMs(std::uint32_t symbol_rate);
// From demodulator lock to FEC lock.
double FecLockMs(int system, std::uint32_t symbol_rate, int bits_per_symbol, bool short_frames);

// Satellite equipment control: a DiSEqC message of `byte_count` bytes with the quiet time
// around it; a tone burst with its quiet time; a motor drive over `degrees`; a drive to a
// stored position whose distance the tuner cannot know.
double DiseqcMessageMs(int byte_count);
double ToneBurstMs();
double MotorDriveMs(double degrees);
double StoredPositionDriveMs();

}  // namespace tuner_timing
