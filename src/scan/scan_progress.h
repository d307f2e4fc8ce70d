// How far the running pass has come, and the status line drawn from it: the intervals the pass
// has begun, each with the last step searched, for the lists and the band map of a stopped
// pass; and at every step one line on standard error (at a terminal only) saying where the
// scan is, what it found and how long it has left.
#pragma once

#include <cstddef>
#include <cstdint>

// Intervals kept in detail per pass; a pass that begins more counts them in `begun`.
constexpr std::uint32_t kCoveredIntervals = 32;

struct CoveredInterval {
    std::uint32_t polarization;  // 0..3
    std::uint32_t start_mhz;
    std::uint32_t stop_mhz;
    std::uint32_t step_mhz;
    std::uint32_t min_symbol_rate_ks;
    std::uint32_t max_symbol_rate_ks;
    std::uint32_t reached_khz;  // the last step searched; 0 before the first
};

struct PassCoverage {
    CoveredInterval intervals[kCoveredIntervals];
    std::uint32_t count;  // kept in `intervals`
    std::uint32_t begun;  // begun in all
};

// How far interval `index` of a pass went, MHz: its stop, but for the last interval begun in a
// pass that was stopped, where its last step searched.
std::uint32_t ReachedMhz(const PassCoverage &coverage, std::uint32_t index, bool stopped);

// The run's plan, said once before the passes: how many intervals a pass walks and the band
// they span, the whole against which the share done is counted.
void PlanScanProgress(std::uint32_t interval_count, std::uint64_t band_khz);
// At the start of each pass: the coverage cleared, the clock started.
void BeginPassProgress(std::uint32_t pass_number);
// Before an interval's first step.
void BeginIntervalProgress(const CoveredInterval &interval);
// Before each search, at the step it searches, with the carriers the pass holds: the coverage
// moves on, the status line is drawn.
void ShowStepProgress(std::uint32_t step_khz, std::uint32_t found);
// After the passes: the status line is cleared.
void EndScanProgress();
const PassCoverage &CurrentPassCoverage();

// What the status line says, for the figures given (elapsed and left in ms; `done_khz` of
// `band_khz`; `band_khz` 0 when unknown).
struct StatusFigures {
    std::uint32_t pass_number;
    std::uint32_t interval_number;  // 1-based
    std::uint32_t interval_count;
    std::uint32_t polarization;
    std::uint32_t step_khz;
    std::uint64_t done_khz;
    std::uint64_t band_khz;
    std::uint32_t found;
    std::uint32_t elapsed_ms;
};
void FormatStatus(const StatusFigures &figures, char *out, std::size_t size);
