// What the program adds to the tuner's own time: four full-band intervals (about 820
// searches) against a tuner that answers at once, console output discarded; and the
// duplicate test, which compares each new carrier with every record the pass holds.
#include <benchmark/benchmark.h>

#include <cstring>

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

// Every search locks a carrier at its step that is new to the held records (they are all on
// the other polarization, so the test runs to the end of them) and too fast to be accepted,
// so the slot is used again and the held count stays as set.
int NewButRejectedCarrier(unsigned frequency_khz, unsigned, unsigned polarization, unsigned, unsigned, unsigned,
                          unsigned, TransponderRecord *record) {
    std::memset(record, 0, sizeof *record);
    record->locked = 1;
    record->frequency = frequency_khz;
    record->polarization = static_cast<int>(polarization);
    record->symbol_rate = 200000000;  // above the ceiling of 100000 kS/s
    record->system = 1;
    return 1;
}

// One full-band interval (206 steps, each a new carrier) with state.range(0) records held.
// The difference between the held counts is the duplicate test's cost.
void DuplicateTestWithHeldRecords(benchmark::State &state) {
    Platform().write_console = DiscardConsole;
    TunerLibrary tuner = InstantTunerTable();
    tuner.Vesker = NewButRejectedCarrier;
    UseTuner(tuner);
    static TransponderRecord records[kMaxTransponders];
    const auto held = static_cast<std::uint32_t>(state.range(0));
    for (std::uint32_t i = 0; i < held; ++i) {
        records[i] = TransponderRecord{};
        records[i].frequency = 10700000u + i * 1000u;
        records[i].polarization = 1;
    }
    int stop_flag = 0;
    std::int64_t steps = 0;
    for (auto _ : state) {
        const int accepted = ScanInterval(10700, held, records, &stop_flag, 0, 12750, 10, 9750, 10600, 11700, 0, 1000,
                                          100000, -100, -100);
        benchmark::DoNotOptimize(accepted);
        steps += 206;
    }
    state.counters["per_step"] = benchmark::Counter(static_cast<double>(steps), benchmark::Counter::kIsRate |
                                                                                   benchmark::Counter::kInvert);
}
BENCHMARK(DuplicateTestWithHeldRecords)->Arg(0)->Arg(200)->Arg(kMaxTransponders - 1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
