// The CPU the DVB tuner library adds to one blind search, over a model frontend whose clock
// moves only when the library sleeps (so the tuner's own time costs nothing here). The model's
// ioctl handling is counted with the library's: the figure is an upper bound.
// Run by hand: build/tests/dvb_benchmark.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "dvb/model_frontend.h"
#include "library.h"
#include "scenario.h"
#include "settings.h"

namespace {

void SearchAcrossKuBand(benchmark::State &state) {
    const auto personality = static_cast<model::Personality>(state.range(0));
    model::InstallModel(personality, {}, sim::BuiltinScenario());
    setenv("LUMORATH_DVB_DIR", "/model/dvb", 1);
    dvb::UseDvbSettingsFile("/nonexistent/Lumorath.ini");
    dvb::ResetLibrary();
    if (dvb::CheckForDVBEx(nullptr) == 0 || dvb::StartDVBEx(0) == 0) {
        state.SkipWithError("model frontend not found");
        return;
    }
    TransponderRecord record;
    std::uint32_t frequency_khz = 10700000;
    unsigned polarization = 0;
    std::int64_t locks = 0;
    for (auto _ : state) {
        dvb::Vesker(frequency_khz, 5000, polarization, 9750000, 10600000, 11700000, 1000000, &record);
        locks += record.locked;
        frequency_khz += 5000;
        if (frequency_khz > 12750000) {
            frequency_khz = 10700000;
            polarization ^= 1;
        }
    }
    state.counters["locks"] = benchmark::Counter(static_cast<double>(locks) / static_cast<double>(state.iterations()));
    state.counters["tunes/search"] = benchmark::Counter(static_cast<double>(model::Model().tunes) /
                                                         static_cast<double>(state.iterations()));
    dvb::StopDVB();
    model::RemoveModel();
    unsetenv("LUMORATH_DVB_DIR");
}
BENCHMARK(SearchAcrossKuBand)
    ->ArgName("personality")
    ->Arg(static_cast<int>(model::Personality::kSweepEcho))
    ->Arg(static_cast<int>(model::Personality::kBuiltinBlind))
    ->Arg(static_cast<int>(model::Personality::kApartSystems))
    ->Arg(static_cast<int>(model::Personality::kDriverBlind))
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
