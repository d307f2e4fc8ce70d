// Reproducible randomness for the simulated tuner. Every draw is a pure function of the run
// seed, the carrier, the quantity and (for per-search quantities) the step frequency, so a
// result never depends on the order of calls. Only our own generator and our own
// Box-Muller are used: the std:: distributions differ between standard libraries.
#pragma once

#include <cstdint>

namespace sim {

// The quantities drawn; each value is a separate stream of numbers.
enum class Draw : std::uint64_t {
    kFec = 1,         // completion of a missing code rate
    kConstellation,   // completion of a missing DVB-S2 modulation
    kRollOff,         // completion of a missing DVB-S2 roll-off
    kEsNo,            // completion of a missing Es/N0
    kNearThreshold,   // whether a completed carrier sits near its lock threshold
    kLevel,           // completion of a missing input level
    kLock,            // the lock outcome of one search
    kFrequency,       // the frequency estimate of one lock
    kSymbolRate,      // the symbol-rate estimate of one lock
    kSnr,             // the SNR estimate of one lock
    kRfLevel,         // the level reading of one search
};

// One step of the SplitMix64 generator (Steele, Lea, Flood 2014): a bijective mix of 64 bits.
std::uint64_t SplitMix64(std::uint64_t value);

// The key of one draw; `sub` separates several numbers of the same draw.
std::uint64_t DrawKey(std::uint64_t seed, std::uint64_t carrier, Draw quantity, std::uint64_t step,
                      std::uint64_t sub = 0);

// Uniform in [0, 1), from the top 53 bits of the key.
double Uniform(std::uint64_t seed, std::uint64_t carrier, Draw quantity, std::uint64_t step = 0,
               std::uint64_t sub = 0);

// Standard normal (mean 0, deviation 1) by the Box-Muller transform of two keyed uniforms.
double StandardNormal(std::uint64_t seed, std::uint64_t carrier, Draw quantity, std::uint64_t step = 0);

// A key for free text (satellite names): 64-bit FNV-1a folded through SplitMix64.
std::uint64_t TextKey(const char *text);

}  // namespace sim
