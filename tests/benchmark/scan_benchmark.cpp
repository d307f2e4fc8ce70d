// What the program adds to the tuner's own time: four full-band intervals (about 820
// searches) against a tuner that answers at once, console output discarded.
#include <benchmark/benchmark.h>

#include "scan/interval_scan.h"
#include "support/fake_platform.h"
#include "support/instant_tuner.h"

namespace {

void DiscardConsole(const char *, std::size_t) {}

void FourIntervalFullBandScan(benchmark::State &state) {
    Platform().write_console = DiscardConsole;
    UseTuner(InstantTunerTable());
    static TransponderRecord records[kMaxTransponders];
    int stop_flag = 0;
    for (auto _ : state) {
        std::uint32_t found = 0;
        for (std::uint32_t polarization = 0; polarization < 4; ++polarization) {
            const int accepted = ScanInterval(10700, found, records, &stop_flag, 1, 12750, 10, 9750, 10600, 11700,
                                              polarization, 1000, 100000, -100, -100);
            found += static_cast<std::uint32_t>(accepted);
        }
        benchmark::DoNotOptimize(found);
    }
    state.counters["searches"] = benchmark::Counter(static_cast<double>(InstantTunerSearches()) /
                                                    static_cast<double>(state.iterations()));
}
BENCHMARK(FourIntervalFullBandScan)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
