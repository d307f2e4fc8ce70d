#include "scan_estimate.h"

#include <algorithm>
#include <cstdio>

#include "tuner/lnb_band.h"

namespace dvb {

namespace {

// A step below this would take too many searches to count here.
constexpr std::uint32_t kSmallestStepKhz = 100;

// "40 s", "14 min", "1 h 55 min".
void DurationText(double ms, char *text, std::size_t size) {
    const long minutes = static_cast<long>(ms / 60000.0 + 0.5);
    if (ms < 59500.0) {
        std::snprintf(text, size, "%ld s", static_cast<long>(ms / 1000.0 + 0.5));
    } else if (minutes < 60) {
        std::snprintf(text, size, "%ld min", minutes);
    } else {
        std::snprintf(text, size, "%ld h %02ld min", minutes / 60, minutes % 60);
    }
}

// The satellite frequencies an oscillator brings into the tuner's IF range.
void Reach(std::uint32_t lo_khz, const FrontendEntry &entry, const DvbSettings &settings, std::int64_t *low,
           std::int64_t *high) {
    const std::int64_t if_min = entry.frequency_min_khz, if_max = entry.frequency_max_khz != 0 ? entry.frequency_max_khz : 2150000;
    std::int64_t from = if_min, to = if_max;
    if (lo_khz != 0) {
        const bool below = OscillatorBelowBand(lo_khz, settings.lnb_mid_mhz, settings.lnb_stacked_mhz);
        from = below ? lo_khz + if_min : static_cast<std::int64_t>(lo_khz) - if_max;
        to = below ? lo_khz + if_max : static_cast<std::int64_t>(lo_khz) - if_min;
    }
    *low = std::min(*low, from);
    *high = std::max(*high, to);
}

// The longest a sweep at this depth takes over the steps from `from_khz` to `to_khz`: only the
// steps whose IF the tuner takes, each without a carrier.
double SweepRangeMs(const FrontendEntry &entry, const DvbSettings &settings, Depth depth, const StepRequest &step,
                    std::int64_t from_khz, std::int64_t to_khz, std::uint32_t *low_khz, std::uint32_t *high_khz) {
    double total_ms = 0;
    bool any = false;
    for (std::int64_t f = std::max<std::int64_t>(from_khz, 1); f <= to_khz; f += step.step_khz) {
        const LnbBand band = SelectLnbBand(static_cast<std::uint64_t>(f), step.polarization, step.lof1_khz, step.lof2_khz,
                                           step.lofsw_khz, settings.lnb_mid_mhz, settings.lnb_stacked_mhz);
        const std::int64_t if_khz = LnbIntermediateKhz(band, static_cast<std::uint64_t>(f));
        if (!band.present || if_khz <= 0 || if_khz < static_cast<std::int64_t>(entry.frequency_min_khz) ||
            (entry.frequency_max_khz != 0 && if_khz > static_cast<std::int64_t>(entry.frequency_max_khz))) {
            continue;
        }
        if (!any) *low_khz = static_cast<std::uint32_t>(f);
        *high_khz = static_cast<std::uint32_t>(f);
        any = true;
        std::uint32_t no_energy_ms = 0;
        total_ms += SweepStepMs(entry, settings, depth, static_cast<std::uint32_t>(f), step.min_symbol_rate, &no_energy_ms);
    }
    return any ? total_ms : 0;
}

}  // namespace

double SweepBandMs(const FrontendEntry &entry, const DvbSettings &settings, Depth depth, const StepRequest &step,
                   std::uint32_t *low_khz, std::uint32_t *high_khz) {
    if (step.step_khz < kSmallestStepKhz) return 0;
    std::int64_t low = INT64_MAX, high = 0;
    if (step.lof1_khz == 0 && step.lof2_khz == 0) Reach(0, entry, settings, &low, &high);
    if (step.lof1_khz != 0) Reach(step.lof1_khz, entry, settings, &low, &high);
    if (step.lof2_khz != 0) Reach(step.lof2_khz, entry, settings, &low, &high);
    return SweepRangeMs(entry, settings, depth, step, low, high, low_khz, high_khz);
}

double PlanInterval(const FrontendEntry &entry, const DvbSettings &settings, const StepRequest &first,
                    std::uint32_t stop_khz, ScanPlan *plan) {
    if (first.step_khz < kSmallestStepKhz) return 0;
    double configured_ms = 0;
    for (Depth depth : {Depth::kQuick, Depth::kNormal, Depth::kThorough}) {
        std::uint32_t low_khz = 0, high_khz = 0;
        const double ms = SweepRangeMs(entry, settings, depth, first, first.frequency_khz, stop_khz, &low_khz, &high_khz);
        plan->pass_ms[static_cast<int>(depth)] += ms;
        if (depth == settings.depth) configured_ms = ms;
    }
    ++plan->intervals;
    return configured_ms;
}

void PrintScanEstimate(const FrontendEntry &entry, const DvbSettings &settings, const StepRequest &step,
                       const ScanPlan &plan) {
    std::uint32_t low_khz = 0, high_khz = 0;
    double by_depth_ms[3] = {0, 0, 0};
    if (plan.intervals > 0) {
        for (int d = 0; d < 3; ++d) by_depth_ms[d] = plan.pass_ms[d];
    } else {
        for (Depth depth : {Depth::kQuick, Depth::kNormal, Depth::kThorough}) {
            by_depth_ms[static_cast<int>(depth)] = SweepBandMs(entry, settings, depth, step, &low_khz, &high_khz);
        }
    }
    const double ms = by_depth_ms[static_cast<int>(settings.depth)];
    if (ms <= 0) return;
    char configured[32];
    DurationText(ms, configured, sizeof configured);
    // With the user's own rates the depth does not count; else what the other depths cost.
    const bool own_rates = settings.ku.count > 0 || settings.c_band.count > 0;
    char how[48];
    std::snprintf(how, sizeof how, own_rates ? "with the rates configured" : "at depth %s", DepthName(settings.depth));
    char others[96] = "";
    if (!own_rates) {
        char texts[2][32];
        Depth shown[2];
        int n = 0;
        for (Depth depth : {Depth::kQuick, Depth::kNormal, Depth::kThorough}) {
            if (depth == settings.depth) continue;
            DurationText(by_depth_ms[static_cast<int>(depth)], texts[n], sizeof texts[n]);
            shown[n++] = depth;
        }
        std::snprintf(others, sizeof others, " (%s %s, %s %s)", DepthName(shown[0]), texts[0], DepthName(shown[1]),
                      texts[1]);
    }
    std::uint32_t no_energy_ms = 0;
    SweepStepMs(entry, settings, settings.depth, step.frequency_khz, step.min_symbol_rate, &no_energy_ms);
    char energy[96] = "";
    if (no_energy_ms != 0) {
        std::snprintf(energy, sizeof energy, "; a step where the level shows no carrier takes %.1f s", no_energy_ms / 1000.0);
    }
    // The tables cost a PAT a carrier locked and the NIT (actual, and other where asked) a network.
    char tables[96] = "";
    if (entry.read_tables) {
        std::snprintf(tables, sizeof tables, "; reading the tables adds up to %u s a lock and %u s a network",
                      kPatWaitMs / 1000, settings.nit_wait_ms * (settings.nit_other ? 2 : 1) / 1000);
    }
    if (plan.intervals > 0) {
        std::fprintf(stderr, "Lumorath DVB: %s: a pass of this scan (%d interval%s) takes up to %s, swept %s%s%s%s\n",
                     entry.label, plan.intervals, plan.intervals == 1 ? "" : "s", configured, how, others, energy,
                     tables);
    } else {
        std::fprintf(stderr,
                     "Lumorath DVB: %s: a sweep %s of %u..%u MHz in %u MHz steps takes up to %s a polarization%s%s%s\n",
                     entry.label, how, low_khz / 1000, high_khz / 1000, step.step_khz / 1000, configured, others,
                     energy, tables);
    }
}

}  // namespace dvb
