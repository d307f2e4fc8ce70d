// The DVB tuner library over the model frontend (tests/dvb/), two figures:
// - WholeKuScan: the program's full Ku scan (10700..12750 MHz, both polarizations, 5 MHz
//   steps, universal LNB) of a real satellite's published transponder table, per driver
//   personality and depth, scored honestly: a carrier counts as found only when a search
//   actually locked it, out of the table's consistent sky (its Ku entries without those that
//   overlap another of the same polarization even at zero roll-off, keeping a largest set that
//   can coexist, repeats merged). Also the records that match no carrier (or one already
//   found), the frequency error of the matched records, and the modelled time of the scan.
//   The sweeps also with the broadcast's tables read through a model demux: the carriers of
//   10 MS/s and up (the multiplexes) carry one network's NIT listing them all, the narrower
//   ones (feeds) carry none. The table of all rows follows the benchmark output.
// - SearchAcrossKuBand: the CPU the library adds to one search, over a model frontend whose
//   clock moves only when the library sleeps (so the tuner's own time costs nothing here).
//   The model's ioctl handling is counted with the library's: the figure is an upper bound.
//   With tables, the PAT after every lock and a NIT listing the whole band once a pass.
// Run by hand: build/tests/dvb_benchmark (--benchmark_filter=WholeKuScan for the table only).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dvb/model_demux.h"
#include "dvb/program_run.h"
#include "library.h"
#include "network_tables.h"
#include "scenario.h"
#include "settings.h"

namespace {

using model::Personality;

const char *const kSatellites[] = {"Eutelsat-16A-16.0E", "Turksat-42.0E", "Hotbird-13.0E"};
const dvb::Depth kDepths[] = {dvb::Depth::kQuick, dvb::Depth::kNormal, dvb::Depth::kThorough};
constexpr std::uint32_t kKuLowKhz = 10700000;
constexpr std::uint32_t kKuHighKhz = 12750000;

// Transport streams of 10 MS/s and up carry the NIT of one network, which lists them.
constexpr std::uint32_t kListedFromSymbolRate = 10000000;

struct Row {
    std::string personality, satellite, depth;
    int networks = -1;  // NITs read; -1 without tables
    model::Score score;
    double minutes = 0;
    double tunes_per_step = 0;
};
std::vector<Row> g_rows;

void WholeKuScan(benchmark::State &state, Personality personality, const char *satellite, dvb::Depth depth,
                 bool tables) {
    const std::string file = std::string("/usr/share/dvb/dvb-s/") + satellite;
    sim::Scenario table;
    sim::ScenarioError error;
    if (!sim::ReadScenarioFile(file, &table, &error)) {
        state.SkipWithError((file + " not installed (dtv-scan-tables)").c_str());
        return;
    }
    const sim::Scenario sky = model::ConsistentSky(table);
    for (auto _ : state) {
        model::ProgramRun run;
        Row row;
        model::ModelTables demux;
        demux.networks.push_back(model::ModelNetwork());
        demux.networks[0].min_symbol_rate = kListedFromSymbolRate;
        row.score = model::ScanKuBand(personality, sky, dvb::DepthName(depth), &run, tables ? &demux : nullptr);
        if (tables) {
            row.networks = 0;  // the library's line for each network read
            for (std::size_t at = run.errors.find("\" lists "); at != std::string::npos; at = run.errors.find("\" lists ", at + 1)) {
                ++row.networks;
            }
        }
        row.personality = model::PersonalityName(personality);
        row.satellite = satellite;
        row.depth = personality == Personality::kSweepEcho || personality == Personality::kApartSystems
                        ? dvb::DepthName(depth)
                        : "-";
        row.minutes = model::Model().now_ms / 60000.0;
        double steps = 0;
        for (std::size_t at = run.console.find(" Mhz ... "); at != std::string::npos; at = run.console.find(" Mhz ... ", at + 1)) ++steps;
        row.tunes_per_step = model::Model().tunes / std::max(1.0, steps);
        if (model::AcceptedCarriers(run.console).size() != static_cast<std::size_t>(row.score.found + row.score.false_records)) {
            state.SkipWithError("the scored records are not the program's");
        }
        state.counters["found"] = row.score.found;
        state.counters["sky"] = row.score.sky;
        state.counters["false"] = row.score.false_records;
        state.counters["minutes"] = row.minutes;
        g_rows.push_back(row);
        model::RemoveDemux();
        model::RemoveModel();
    }
}

void RegisterScans() {
    const Personality kBlind[] = {Personality::kDriverBlind, Personality::kBuiltinBlind};
    const Personality kSweeps[] = {Personality::kSweepEcho, Personality::kApartSystems};
    for (const char *satellite : kSatellites) {
        for (Personality personality : kBlind) {
            benchmark::RegisterBenchmark(("WholeKuScan/" + std::string(satellite) + "/" + model::PersonalityName(personality)).c_str(),
                                         WholeKuScan, personality, satellite, dvb::Depth::kNormal, false)
                ->Iterations(1)
                ->Unit(benchmark::kMillisecond);
        }
        for (Personality personality : kSweeps) {
            for (const bool tables : {false, true}) {
                for (dvb::Depth depth : kDepths) {
                    benchmark::RegisterBenchmark(("WholeKuScan/" + std::string(satellite) + "/" +
                                                  model::PersonalityName(personality) + "/" + dvb::DepthName(depth) +
                                                  (tables ? "/tables" : ""))
                                                     .c_str(),
                                                 WholeKuScan, personality, satellite, depth, tables)
                        ->Iterations(1)
                        ->Unit(benchmark::kMillisecond);
                }
            }
        }
    }
}

void PrintTable() {
    if (g_rows.empty()) return;
    std::printf("\n| personality | satellite | depth | tables | found of the consistent sky | false records | "
                "exact / named | error above 5 MS/s, mean / worst | error up to 5 MS/s, mean / worst | modelled time | "
                "tunes a step |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const Row &row : g_rows) {
        const model::Score &score = row.score;
        char tables[32] = "-";
        if (row.networks >= 0) std::snprintf(tables, sizeof tables, "%d NIT%s", row.networks, row.networks == 1 ? "" : "s");
        std::printf("| %s | %s | %s | %s | %d of %d (%.0f %%) | %d | %d / %d | %.2f / %.2f MHz | %.3f / %.3f x rate | "
                    "%.1f min | %.1f |\n",
                    row.personality.c_str(), row.satellite.c_str(), row.depth.c_str(), tables, score.found, score.sky,
                    100.0 * score.found / std::max(1, score.sky), score.false_records, score.exact, score.known,
                    score.wide_mean_khz / 1000.0, score.wide_worst_khz / 1000.0, score.narrow_mean, score.narrow_worst,
                    row.minutes, row.tunes_per_step);
    }
}

void SearchAcrossKuBand(benchmark::State &state) {
    const auto personality = static_cast<Personality>(state.range(0));
    model::InstallModel(personality, {}, sim::BuiltinScenario());
    model::ModelTables demux;
    demux.networks.push_back(model::ModelNetwork());
    if (state.range(1) != 0) model::InstallDemux(demux);
    setenv("LUMORATH_DVB_DIR", "/model/dvb", 1);
    dvb::UseDvbSettingsFile("/nonexistent/Lumorath.ini");
    dvb::ResetLibrary();
    if (dvb::CheckForDVBEx(nullptr) == 0 || dvb::StartDVBEx(0) == 0) {
        state.SkipWithError("model frontend not found");
        return;
    }
    TransponderRecord record;
    std::uint32_t frequency_khz = kKuLowKhz;
    unsigned polarization = 0;
    std::int64_t locks = 0;
    for (auto _ : state) {
        dvb::Vesker(frequency_khz, 5000, polarization, 9750000, 10600000, 11700000, 1000000, &record);
        locks += record.locked;
        frequency_khz = record.locked != 0 ? record.frequency + record.carrier_width / 2 + 5000 : frequency_khz + 5000;
        if (frequency_khz > kKuHighKhz) {
            frequency_khz = kKuLowKhz;
            polarization ^= 1;
        }
    }
    state.counters["locks"] = benchmark::Counter(static_cast<double>(locks) / static_cast<double>(state.iterations()));
    state.counters["tunes/search"] = benchmark::Counter(static_cast<double>(model::Model().tunes) /
                                                         static_cast<double>(state.iterations()));
    dvb::StopDVB();
    model::RemoveDemux();
    model::RemoveModel();
    unsetenv("LUMORATH_DVB_DIR");
}
BENCHMARK(SearchAcrossKuBand)
    ->ArgNames({"personality", "tables"})
    ->Args({static_cast<int>(Personality::kSweepEcho), 0})
    ->Args({static_cast<int>(Personality::kSweepEcho), 1})
    ->Args({static_cast<int>(Personality::kBuiltinBlind), 0})
    ->Args({static_cast<int>(Personality::kApartSystems), 0})
    ->Args({static_cast<int>(Personality::kApartSystems), 1})
    ->Args({static_cast<int>(Personality::kDriverBlind), 0})
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

int main(int argc, char **argv) {
    RegisterScans();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintTable();
    return 0;
}
