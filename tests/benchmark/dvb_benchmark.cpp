// The CPU the DVB tuner library adds to one blind search, over a model frontend whose clock
// moves only when the library sleeps (so the tuner's own time costs nothing here). The model's
// ioctl handling is counted with the library's: the figure is an upper bound.
// Run by hand: build/tests/dvb_benchmark.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "dvb/model_demux.h"
#include "dvb/model_frontend.h"
#include "library.h"
#include "network_tables.h"
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

// The CPU of the tables after one lock: the PAT, then a whole NIT listing every carrier of
// the built-in satellite (delivery descriptors, CRCs, the pass memory), as on the first lock
// of a pass. The modelled time of the reads is a counter.
void ReadTablesAfterLock(benchmark::State &state) {
    model::InstallModel(model::Personality::kSweepEcho, {}, sim::BuiltinScenario());
    model::ModelTables demux;
    demux.networks.push_back(model::ModelNetwork());
    demux.networks[0].repeat_ms = 2000;
    model::InstallDemux(demux);
    setenv("LUMORATH_DVB_DIR", "/model/dvb", 1);
    dvb::UseDvbSettingsFile("/nonexistent/Lumorath.ini");
    dvb::ResetLibrary();
    dvb::DvbSettings settings;
    dvb::ReadDvbSettings("/nonexistent/Lumorath.ini", &settings);
    dvb::CheckForDVBEx(nullptr);
    dvb::StartDVBEx(0);
    // The first carrier of the band in view (low band, horizontal) locked by the sweep.
    TransponderRecord locked{};
    std::uint32_t step_khz = 10700000;
    while (locked.locked == 0 && step_khz < 11700000) {
        dvb::Vesker(step_khz, 5000, 0, 9750000, 10600000, 11700000, 1000000, &locked);
        step_khz += 5000;
    }
    dvb::FrontendEntry entry{};
    std::snprintf(entry.path, sizeof entry.path, "/model/dvb/adapter0/frontend0");
    entry.read_tables = true;
    static dvb::NetworkTables tables;
    dvb::StartTables(&tables, entry, settings);
    dvb::TuneRequest asked;
    asked.if_khz = locked.frequency - 9750000;
    asked.symbol_rate = locked.symbol_rate;
    const LnbBand band = SelectLnbBand(locked.frequency, 0, 9750000, 10600000, 11700000, 6000, 21000);
    for (auto _ : state) {
        dvb::NewTablesPass(&tables);
        TransponderRecord record = locked;
        dvb::AfterLock(&tables, band, asked, &record);
        benchmark::DoNotOptimize(record);
    }
    const double reads = static_cast<double>(state.iterations());
    state.counters["PAT ms"] = benchmark::Counter(tables.cost.pat_ms / reads);
    state.counters["NIT ms"] = benchmark::Counter(tables.cost.nit_ms / reads);
    state.counters["listed"] = benchmark::Counter(tables.known_count);
    dvb::StopDVB();
    model::RemoveDemux();
    model::RemoveModel();
    unsetenv("LUMORATH_DVB_DIR");
}
BENCHMARK(ReadTablesAfterLock)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
