#include "dvb/program_run.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "driver/startup.h"
#include "dvb/model_frontend.h"
#include "library.h"
#include "settings.h"
#include "tuner/tuner_library.h"

namespace model {

namespace {

std::vector<Search> *g_searches = nullptr;

constexpr std::uint32_t kKuLowKhz = 10700000;
constexpr std::uint32_t kKuHighKhz = 12750000;
// A record further than this from every carrier its search locked matches none of them (the
// widest capture of a search at a known rate).
constexpr std::int64_t kMatchKhz = 5000;
// The program's duplicate distance: a record within this of one held is not accepted.
constexpr std::int64_t kDuplicateKhz = 1000;

bool Horizontal(int polarization) { return polarization == 0 || polarization == 2; }

int RecordingVesker(unsigned frequency_khz, unsigned step_khz, unsigned polarization, unsigned lof1_khz,
                    unsigned lof2_khz, unsigned lofsw_khz, unsigned min_symbol_rate, TransponderRecord *record) {
    Model().seen_locked.clear();
    const int result = dvb::Vesker(frequency_khz, step_khz, polarization, lof1_khz, lof2_khz, lofsw_khz,
                                   min_symbol_rate, record);
    if (g_searches != nullptr && result != 0 && record->locked != 0) g_searches->push_back({*record, Model().seen_locked});
    return result;
}

bool BindDvbLibrary(const char *, TunerLibrary *table) {
    *table = TunerLibrary{dvb::CheckForDVBEx, dvb::StartDVBEx, dvb::StopDVB,  dvb::GetCaps,
                          dvb::SendDiSEqC,    dvb::SendDiseqCmd, RecordingVesker, dvb::ModelledScan};
    return true;
}

}  // namespace

ProgramRun RunVesker(const TempDir &dir, const std::string &satinfo, const std::string &scans, bool prompt,
                     const std::string &dvb_settings, std::vector<Search> *searches, int stop_at_poll) {
    dir.Write("Lumorath.ini", "[DVB]\r\n" + dvb_settings);
    dvb::UseDvbSettingsFile(dir.File("Lumorath.ini").c_str());
    const std::string config = dir.Write("scan.ini", "[SatInfo]\r\n" + satinfo + "[Options]\r\n" + (prompt ? "" : "Device=0\r\n") +
                                                        "ReportDir=" + dir.path().string() + "\r\nTPDir=" +
                                                        dir.path().string() + "\r\n" + scans);
    setenv("LUMORATH_DVB_DIR", Model().dvb_dir.c_str(), 1);
    InstallFakePlatform();
    if (prompt) Fake().typed.push_back(0);
    Fake().stop_at_poll = stop_at_poll;
    g_searches = searches;
    if (searches != nullptr) searches->clear();
    dvb::ResetLibrary();
    const char *argv[] = {"vesker", config.c_str(), nullptr};
    testing::internal::CaptureStderr();
    const int exit_code = VeskerMain(2, argv, BindDvbLibrary);
    ProgramRun run{exit_code, Fake().console, testing::internal::GetCapturedStderr()};
    g_searches = nullptr;
    RestoreSystemPlatform();
    unsetenv("LUMORATH_DVB_DIR");
    return run;
}

std::string Interval(int index, const char *pol, std::uint32_t start_mhz, std::uint32_t stop_mhz) {
    char text[160];
    std::snprintf(text, sizeof text, "[Scan%d]\r\nPol=%s\r\nStart=%u\r\nStop=%u\r\nStep=5\r\n", index, pol, start_mhz,
                  stop_mhz);
    return text;
}

std::vector<Accepted> AcceptedCarriers(const std::string &console) {
    static const char *const kNames[] = {"Horizontal", "Vertical", "Left", "Right"};
    std::vector<Accepted> accepted;
    int polarization = -1;
    std::size_t start = 0;
    while (start < console.size()) {
        std::size_t end = console.find('\n', start);
        if (end == std::string::npos) end = console.size();
        const std::string line = console.substr(start, end - start);
        start = end + 1;
        if (line.rfind("From ", 0) == 0) {
            for (int p = 0; p < 4; ++p) {
                if (line.find(std::string(", ") + kNames[p] + ",") != std::string::npos) polarization = p;
            }
            continue;
        }
        const std::size_t at = line.find(" Mhz ... ");
        Accepted carrier{0.0, 0, polarization};
        if (at != std::string::npos &&
            std::sscanf(line.c_str() + at + 9, "%lf Mhz, %u KS", &carrier.frequency_mhz, &carrier.symbol_rate_ks) == 2) {
            accepted.push_back(carrier);
        }
    }
    return accepted;
}

sim::Scenario ConsistentSky(const sim::Scenario &table) {
    sim::Scenario sky = table;
    std::vector<sim::Carrier> kept;
    for (const bool horizontal : {true, false}) {
        std::vector<sim::Carrier> band;
        for (const sim::Carrier &carrier : table.satellites[0].carriers) {
            if (Horizontal(carrier.polarization) != horizontal) continue;
            if (carrier.frequency_khz < kKuLowKhz || carrier.frequency_khz > kKuHighKhz) continue;
            band.push_back(carrier);
        }
        // By upper edge: each next carrier that starts at or above the last kept one's end.
        std::sort(band.begin(), band.end(), [](const sim::Carrier &a, const sim::Carrier &b) {
            return a.frequency_khz * 1000.0 + a.symbol_rate / 2.0 < b.frequency_khz * 1000.0 + b.symbol_rate / 2.0;
        });
        double edge_hz = -1e18;
        for (const sim::Carrier &carrier : band) {
            if (carrier.frequency_khz * 1000.0 - carrier.symbol_rate / 2.0 < edge_hz) continue;
            kept.push_back(carrier);
            edge_hz = carrier.frequency_khz * 1000.0 + carrier.symbol_rate / 2.0;
        }
    }
    sky.satellites[0].carriers = kept;
    return sky;
}

Score ScoreSearches(const std::vector<Search> &searches) {
    Score score;
    score.sky = static_cast<int>(Model().scenario.satellites[0].carriers.size());
    std::vector<const TransponderRecord *> accepted;
    std::vector<const sim::Carrier *> matched;
    int wide = 0, narrow = 0;
    for (const Search &search : searches) {
        const TransponderRecord &record = search.record;
        const bool duplicate = std::any_of(accepted.begin(), accepted.end(), [&](const TransponderRecord *held) {
            return held->polarization == record.polarization &&
                   std::llabs(static_cast<std::int64_t>(held->frequency) - record.frequency) < kDuplicateKhz;
        });
        if (duplicate) continue;
        accepted.push_back(&record);
        const sim::Carrier *best = nullptr;
        std::int64_t best_distance = kMatchKhz + 1;
        for (const sim::Carrier *carrier : search.locked) {
            if (Horizontal(carrier->polarization) != Horizontal(record.polarization)) continue;
            const std::int64_t distance = std::llabs(static_cast<std::int64_t>(carrier->frequency_khz) - record.frequency);
            if (distance < best_distance) {
                best = carrier;
                best_distance = distance;
            }
        }
        if (best == nullptr || std::find(matched.begin(), matched.end(), best) != matched.end()) {
            ++score.false_records;
            continue;
        }
        matched.push_back(best);
        score.exact += record.frequency == best->frequency_khz && record.symbol_rate == best->symbol_rate ? 1 : 0;
        score.known += record.system != 0 && record.modulation != 0 && record.fec != 0 ? 1 : 0;
        if (best->symbol_rate > 5000000) {
            ++wide;
            score.wide_mean_khz += best_distance;
            score.wide_worst_khz = std::max(score.wide_worst_khz, static_cast<double>(best_distance));
        } else {
            const double share = best_distance * 1000.0 / best->symbol_rate;
            ++narrow;
            score.narrow_mean += share;
            score.narrow_worst = std::max(score.narrow_worst, share);
        }
    }
    score.found = static_cast<int>(matched.size());
    if (wide > 0) score.wide_mean_khz /= wide;
    if (narrow > 0) score.narrow_mean /= narrow;
    return score;
}

Score ScanKuBand(Personality personality, const sim::Scenario &sky, const char *depth, ProgramRun *run,
                 const ModelTables *tables) {
    TempDir dir;
    InstallModel(personality, {}, sky);
    if (tables != nullptr) InstallDemux(*tables);
    std::vector<Search> searches;
    const ProgramRun done = RunVesker(dir, "", Interval(0, "H", 10700, 12750) + Interval(1, "V", 10700, 12750), false,
                                      std::string("Depth=") + depth + "\r\n", &searches);
    if (run != nullptr) *run = done;
    return ScoreSearches(searches);
}

}  // namespace model
