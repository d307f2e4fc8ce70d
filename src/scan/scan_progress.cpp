#include "scan/scan_progress.h"

#include <cstdio>

#include "platform/platform.h"
#include "record/value_names.h"

namespace {

struct Progress {
    std::uint32_t interval_count;
    std::uint64_t band_khz;
    std::uint32_t pass_number;
    std::uint32_t pass_start_ms;
    std::uint64_t finished_khz;  // the widths of the intervals before the running one
    CoveredInterval running;
    bool shown;
};
Progress g_progress{};
PassCoverage g_coverage{};

// "1:05" or "1:02:05".
void DurationText(std::uint32_t ms, char (&out)[24]) {
    const std::uint32_t s = ms / 1000u;
    if (s >= 3600u) {
        std::snprintf(out, sizeof out, "%u:%02u:%02u", s / 3600u, s / 60u % 60u, s % 60u);
    } else {
        std::snprintf(out, sizeof out, "%u:%02u", s / 60u, s % 60u);
    }
}

// The part of an interval behind the step, kHz.
std::uint64_t DoneInInterval(const CoveredInterval &interval, std::uint32_t step_khz) {
    const std::uint64_t start_khz = interval.start_mhz * 1000ull;
    const std::uint64_t stop_khz = interval.stop_mhz * 1000ull;
    const std::uint64_t at = step_khz < start_khz ? start_khz : step_khz > stop_khz ? stop_khz : step_khz;
    return at - start_khz;
}

}  // namespace

void FormatStatus(const StatusFigures &figures, char *out, std::size_t size) {
    char pass[24] = "";
    if (figures.pass_number > 1) std::snprintf(pass, sizeof pass, "Pass %u, ", figures.pass_number);
    char of_count[24] = "";
    if (figures.interval_count >= figures.interval_number) std::snprintf(of_count, sizeof of_count, " of %u", figures.interval_count);
    char share[48] = "";
    if (figures.band_khz > 0) {
        const std::uint64_t done = figures.done_khz < figures.band_khz ? figures.done_khz : figures.band_khz;
        std::snprintf(share, sizeof share, ", %u %% of %u MHz", static_cast<unsigned>(done * 100u / figures.band_khz),
                      static_cast<unsigned>(figures.band_khz / 1000u));
    }
    char elapsed[24];
    DurationText(figures.elapsed_ms, elapsed);
    // The time left, as the time so far per MHz done; said once a second and a share are behind.
    char left[48] = "";
    if (figures.band_khz > 0 && figures.done_khz > 0 && figures.elapsed_ms >= 1000u) {
        const std::uint64_t rest_khz = figures.band_khz > figures.done_khz ? figures.band_khz - figures.done_khz : 0;
        char duration[24];
        DurationText(static_cast<std::uint32_t>(figures.elapsed_ms * rest_khz / figures.done_khz), duration);
        std::snprintf(left, sizeof left, ", about %s left", duration);
    }
    std::snprintf(out, size, "%sInterval %u%s, %s, %u MHz%s, %u found, %s elapsed%s", pass, figures.interval_number,
                  of_count, PolarizationName(static_cast<std::int32_t>(figures.polarization)), figures.step_khz / 1000u,
                  share, figures.found, elapsed, left);
}

std::uint32_t ReachedMhz(const PassCoverage &coverage, std::uint32_t index, bool stopped) {
    const CoveredInterval &interval = coverage.intervals[index];
    if (!stopped || index + 1 != coverage.begun) return interval.stop_mhz;
    return interval.reached_khz / 1000u;
}

void PlanScanProgress(std::uint32_t interval_count, std::uint64_t band_khz) {
    g_progress.interval_count = interval_count;
    g_progress.band_khz = band_khz;
}

void BeginPassProgress(std::uint32_t pass_number) {
    g_progress.pass_number = pass_number;
    g_progress.pass_start_ms = Platform().clock_ms();
    g_progress.finished_khz = 0;
    g_coverage.count = 0;
    g_coverage.begun = 0;
}

void BeginIntervalProgress(const CoveredInterval &interval) {
    if (g_coverage.begun > 0) g_progress.finished_khz += DoneInInterval(g_progress.running, g_progress.running.stop_mhz * 1000u);
    g_progress.running = interval;
    g_progress.running.reached_khz = 0;
    if (g_coverage.count < kCoveredIntervals) g_coverage.intervals[g_coverage.count++] = g_progress.running;
    ++g_coverage.begun;
}

void ShowStepProgress(std::uint32_t step_khz, std::uint32_t found) {
    if (g_coverage.begun == 0) return;
    g_progress.running.reached_khz = step_khz;
    if (g_coverage.begun <= kCoveredIntervals) g_coverage.intervals[g_coverage.begun - 1].reached_khz = step_khz;
    const StatusFigures figures{g_progress.pass_number,
                                g_coverage.begun,
                                g_progress.interval_count,
                                g_progress.running.polarization,
                                step_khz,
                                g_progress.finished_khz + DoneInInterval(g_progress.running, step_khz),
                                g_progress.band_khz,
                                found,
                                Platform().clock_ms() - g_progress.pass_start_ms};
    char text[256];
    FormatStatus(figures, text, sizeof text);
    Platform().show_status(text);
    g_progress.shown = true;
}

void EndScanProgress() {
    if (g_progress.shown) Platform().show_status("");
    g_progress.shown = false;
}

const PassCoverage &CurrentPassCoverage() { return g_coverage; }
