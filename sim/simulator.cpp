// The simulated tuner library: the seven functions of tuner/lumorath.h over a modelled
// satellite band (scenario.h), dish (dish.h) and demodulator (search.h).
//
// Devices: 0 blind-searches and drives DiSEqC and tone burst; 1 has DiSEqC only (no blind
// search). Diagnostics go to standard error only: standard output is the program's.
// Environment: LUMORATH_SCENARIO, LUMORATH_SEED, LUMORATH_PACE (see simulator.h);
// LUMORATH_STATS (any non-empty value): two summary lines on standard error at StopDVB (the
// counts and the modelled total; the total in minutes and the average search by outcome);
// LUMORATH_TRACE=file: one line per search; LUMORATH_TRUTH=file: the completed scenario.
#include "simulator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "dish.h"
#include "record/dvb_standard.h"
#include "platform/platform.h"
#include "scan/next_step.h"
#include "search_timing.h"
#include "tuner/lumorath.h"

namespace sim {

namespace {

struct SimDevice {
    const char *name;
    int caps;
};

const SimDevice kDevices[] = {
    {"Lumorath simulator, DVB-S2 blind search", LUMORATH_CAP_BLIND_SEARCH | LUMORATH_CAP_DISEQC | LUMORATH_CAP_TONE_BURST},
    {"Lumorath simulator, DVB-S without blind search", LUMORATH_CAP_DISEQC},
};
constexpr int kDeviceCount = static_cast<int>(sizeof kDevices / sizeof kDevices[0]);

struct SimState {
    std::string settings_file;  // empty: Lumorath.ini beside the library
    SimSettings settings;
    std::unique_ptr<Scenario> scenario;
    int started = -1;
    DishState dish;
    double motor_angle_deg = 0.0;  // where the motor is, for the move time
    SimStats stats;
    double pace_owed_ms = 0.0;  // paced time not yet waited: fractions of a ms, less an oversleep
    std::FILE *trace = nullptr;
};

// A search as the program asks for it.
SearchRequest RequestOf(unsigned int frequency_khz, unsigned int step_khz, unsigned int polarization,
                        unsigned int lof1_khz, unsigned int lof2_khz, unsigned int lofsw_khz,
                        unsigned int min_symbol_rate) {
    SearchRequest request;
    request.frequency_khz = frequency_khz;
    request.step_khz = step_khz;
    request.polarization = polarization;
    request.lof1_khz = lof1_khz;
    request.lof2_khz = lof2_khz;
    request.lofsw_khz = lofsw_khz;
    request.min_symbol_rate = min_symbol_rate;
    return request;
}

SimState &State() {
    static SimState state;
    return state;
}

const char kAnchor = 0;  // an address inside this library, to find the library's file

// Lumorath.ini beside the library; none at all when the library cannot find its own file (the
// current directory is no stand-in: anyone may have put settings there).
std::string DefaultSettingsFile() {
    char path[kSystemPathSize];
    if (!ModulePathOf(&kAnchor, path, sizeof path)) return "";
    std::string file = path;
    std::size_t separator = file.find_last_of("/\\");
    return separator == std::string::npos ? std::string() : file.substr(0, separator + 1) + "Lumorath.ini";
}

const char *NonEmptyEnvironment(const char *name) {
    const char *value = EnvironmentValue(name);
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

// Counts the modelled time and, when paced, waits its share. The waits add up to the paced
// share of the total: what a whole-ms pause leaves over, or the clock shows was overslept, is
// settled at the next wait. A clock that shows less than was asked (a coarse tick) counts the
// pause as asked.
void Pace(double modelled_ms) {
    SimState &state = State();
    state.stats.modelled_ms += modelled_ms;
    if (state.settings.pace_percent <= 0) return;
    state.pace_owed_ms += modelled_ms * state.settings.pace_percent / 100.0;
    if (state.pace_owed_ms < 1.0) return;
    std::uint32_t pause_ms = static_cast<std::uint32_t>(state.pace_owed_ms);
    std::uint32_t before_ms = Platform().clock_ms();
    Platform().sleep_ms(pause_ms);
    std::uint32_t waited_ms = Platform().clock_ms() - before_ms;
    state.pace_owed_ms -= waited_ms > pause_ms ? waited_ms : pause_ms;
}

// "1.234 s (45)", or "- (0)" for an outcome that never happened.
std::string AverageText(double total_ms, std::uint32_t count) {
    char text[48];
    if (count == 0) return "- (0)";
    std::snprintf(text, sizeof text, "%.3f s (%u)", total_ms / count / 1000.0, count);
    return text;
}

bool HasCap(int cap) { return State().started >= 0 && (kDevices[State().started].caps & cap) != 0; }

const char kPolarizationLetters[] = "HVLR";

}  // namespace

SimSettings ReadSimSettings(const std::string &ini_path) {
    SimSettings settings;
    const char *ini = ini_path.c_str();
    TunerModel &tuner = settings.tuner;
    tuner.if_start_mhz = static_cast<std::uint32_t>(IniReadInt("Lumorath", "IFStart", 950, ini));
    tuner.if_stop_mhz = static_cast<std::uint32_t>(IniReadInt("Lumorath", "IFStop", 2150, ini));
    tuner.lnb_mid_mhz = static_cast<std::uint32_t>(IniReadInt("Lumorath", "LNBMid", 6000, ini));
    tuner.lnb_stacked_mhz = static_cast<std::uint32_t>(IniReadInt("Lumorath", "LNBStk", 21000, ini));
    int range = IniReadInt("Simulator", "SearchRange", 5500, ini);
    tuner.search_range_khz = range > 0 ? static_cast<std::uint32_t>(range) : 5500u;
    tuner.seed = static_cast<std::uint32_t>(IniReadInt("Simulator", "Seed", 1, ini));
    tuner.site_latitude = IniReadInt("Simulator", "Lat", 500, ini);
    tuner.site_longitude = IniReadInt("Simulator", "Long", 100, ini);
    settings.pace_percent = IniReadInt("Simulator", "Pace", 0, ini);
    char scenario[kPathSize] = "";
    IniReadText("Simulator", "Scenario", "", scenario, sizeof scenario, ini);
    settings.scenario = scenario;
    if (!settings.scenario.empty() && !IsAbsolutePath(scenario) && settings.scenario != "built-in") {
        std::size_t separator = ini_path.find_last_of("/\\");
        if (separator != std::string::npos) settings.scenario = ini_path.substr(0, separator + 1) + settings.scenario;
    }
    if (const char *value = NonEmptyEnvironment("LUMORATH_SCENARIO")) settings.scenario = value;
    if (const char *value = NonEmptyEnvironment("LUMORATH_SEED")) tuner.seed = std::strtoull(value, nullptr, 10);
    long pace_percent = settings.pace_percent;
    if (const char *value = NonEmptyEnvironment("LUMORATH_PACE")) pace_percent = std::strtol(value, nullptr, 10);
    // Ten times slower than hardware is slow enough for any demonstration; beyond that a
    // typing slip would hold every search for hours.
    settings.pace_percent = static_cast<int>(std::clamp(pace_percent, 0L, static_cast<long>(kMaxPacePercent)));
    if (settings.scenario == "built-in") settings.scenario.clear();
    return settings;
}

void UseSettingsFile(const std::string &ini_path) { State().settings_file = ini_path; }

bool LoadScenario(const SimSettings &settings, Scenario *scenario) {
    if (settings.scenario.empty()) {
        *scenario = BuiltinScenario();
    } else {
        ScenarioError error;
        if (!ReadScenarioFile(settings.scenario, scenario, &error)) {
            if (error.line > 0)
                std::fprintf(stderr, "Lumorath simulator: scenario %s, line %d: %s\n", error.file.c_str(), error.line,
                             error.what.c_str());
            else
                std::fprintf(stderr, "Lumorath simulator: scenario %s: %s\n", error.file.c_str(), error.what.c_str());
            return false;
        }
    }
    CompleteScenario(scenario, settings.tuner.seed);
    return true;
}

SimStats CurrentStats() { return State().stats; }

const Scenario *CurrentScenario() { return State().scenario.get(); }

bool WriteTruthTable(const Scenario &scenario, const std::string &path) {
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    std::fprintf(file, "satellite\tposition\tfrequency_khz\tpolarization\tsymbol_rate\tsystem\tmodulation\tfec\t"
                       "rolloff\tpilot\tframe_length\tstreams\tesno_db\tthreshold_db\tlevel_dbm\n");
    for (const Satellite &satellite : scenario.satellites) {
        for (const Carrier &carrier : satellite.carriers) {
            std::string streams;
            for (int id : carrier.stream_ids) streams += (streams.empty() ? "" : ",") + std::to_string(id);
            double threshold = LockThresholdDb(carrier.system, carrier.constellation, carrier.fec, carrier.frame_length);
            std::fprintf(file, "%s\t%d\t%u\t%c\t%u\t%d\t%d\t%s\t%d\t%d\t%d\t%s\t%.1f\t%.2f\t%.1f\n", satellite.name.c_str(),
                         satellite.position, carrier.frequency_khz, kPolarizationLetters[carrier.polarization & 3],
                         carrier.symbol_rate, carrier.system, RecordModulation(carrier.system, carrier.constellation),
                         FecText(carrier.fec), carrier.rolloff, carrier.pilot, carrier.frame_length,
                         streams.empty() ? "-" : streams.c_str(), carrier.esno_db, threshold, carrier.level_dbm);
        }
    }
    return std::fclose(file) == 0;
}

}  // namespace sim

using sim::State;

extern "C" {

int CheckForDVBEx(LumorathDeviceCallback callback) {
    sim::SimState &state = State();
    if (callback == nullptr) return 0;
    std::string ini = state.settings_file.empty() ? sim::DefaultSettingsFile() : state.settings_file;
    sim::SimSettings settings = sim::ReadSimSettings(ini);
    std::unique_ptr<sim::Scenario> scenario(new sim::Scenario());
    if (!sim::LoadScenario(settings, scenario.get())) {
        state.scenario.reset();
        return 0;  // no scenario, no device
    }
    state.settings = settings;
    state.scenario = std::move(scenario);
    if (const char *truth = sim::NonEmptyEnvironment("LUMORATH_TRUTH")) sim::WriteTruthTable(*state.scenario, truth);
    for (int i = 0; i < sim::kDeviceCount; ++i) callback(i, sim::kDevices[i].name);
    return 1;
}

int StartDVBEx(int device) {
    sim::SimState &state = State();
    if (state.scenario == nullptr || device < 0 || device >= sim::kDeviceCount || state.started >= 0) return 0;
    state.started = device;
    state.dish = sim::DishState();
    state.motor_angle_deg = 0.0;
    state.stats = sim::SimStats();
    state.pace_owed_ms = 0.0;
    if (const char *trace = sim::NonEmptyEnvironment("LUMORATH_TRACE")) state.trace = std::fopen(trace, "wb");
    return 1;
}

int StopDVB(void) {
    sim::SimState &state = State();
    if (state.started < 0) return 0;
    if (sim::NonEmptyEnvironment("LUMORATH_STATS") != nullptr) {
        const sim::SimStats &stats = state.stats;
        std::fprintf(stderr, "Lumorath simulator: %u searches, %u locks, modelled time %.1f s\n", stats.searches, stats.locks,
                     stats.modelled_ms / 1000.0);
        auto average = [&stats](sim::SearchResult result) {
            int i = static_cast<int>(result);
            return sim::AverageText(stats.outcome_ms[i], stats.outcome_searches[i]);
        };
        std::fprintf(stderr, "Lumorath simulator: modelled %.1f min; average search: empty %s, locked %s, failed %s\n",
                     stats.modelled_ms / 60000.0, average(sim::SearchResult::kEmpty).c_str(),
                     average(sim::SearchResult::kLocked).c_str(), average(sim::SearchResult::kFailed).c_str());
    }
    if (state.trace != nullptr) std::fclose(state.trace);
    state.trace = nullptr;
    state.started = -1;
    return 1;
}

int GetCaps(void) { return State().started < 0 ? 0 : sim::kDevices[State().started].caps; }

int SendDiSEqC(int kind, int value) {
    sim::SimState &state = State();
    if (value < 0 || value > 255) return 0;
    if (kind == LUMORATH_SEND_TONE_BURST && sim::HasCap(LUMORATH_CAP_TONE_BURST)) {
        sim::ApplyToneBurst(&state.dish, value);
        sim::Pace(tuner_timing::ToneBurstMs());
        return 1;
    }
    if (kind == LUMORATH_SEND_COMMITTED_SWITCH && sim::HasCap(LUMORATH_CAP_DISEQC)) {
        sim::ApplyCommittedByte(&state.dish, value);
        sim::Pace(tuner_timing::DiseqcMessageMs(4));  // E0 10 38 value
        return 1;
    }
    return 0;
}

int SendDiseqCmd(unsigned char *bytes, int count) {
    sim::SimState &state = State();
    if (!sim::HasCap(LUMORATH_CAP_DISEQC)) return 0;
    sim::DishState before = state.dish;
    if (!sim::ApplyDiseqcMessage(&state.dish, bytes, count)) return 0;
    double modelled_ms = tuner_timing::DiseqcMessageMs(count);
    if (state.dish.motor == sim::MotorState::kAngle &&
        (before.motor != sim::MotorState::kAngle || before.angle_deg != state.dish.angle_deg)) {
        modelled_ms += tuner_timing::MotorDriveMs(state.dish.angle_deg - state.motor_angle_deg);
        state.motor_angle_deg = state.dish.angle_deg;
    } else if (state.dish.motor == sim::MotorState::kStoredPosition &&
               (before.motor != sim::MotorState::kStoredPosition || before.stored != state.dish.stored)) {
        modelled_ms += tuner_timing::StoredPositionDriveMs();
    }
    sim::Pace(modelled_ms);
    return 1;
}

int Vesker(unsigned int frequency_khz, unsigned int step_khz, unsigned int polarization, unsigned int lof1_khz,
           unsigned int lof2_khz, unsigned int lofsw_khz, unsigned int min_symbol_rate, TransponderRecord *record) {
    sim::SimState &state = State();
    if (!sim::HasCap(LUMORATH_CAP_BLIND_SEARCH) || record == nullptr || polarization > 3) return 0;
    const sim::SearchRequest request =
        sim::RequestOf(frequency_khz, step_khz, polarization, lof1_khz, lof2_khz, lofsw_khz, min_symbol_rate);
    sim::SearchOutcome outcome = sim::BlindSearch(*state.scenario, state.settings.tuner, state.dish, request, record);
    state.stats.searches += 1;
    if (outcome.result == sim::SearchResult::kLocked) state.stats.locks += 1;
    state.stats.outcome_searches[static_cast<int>(outcome.result)] += 1;
    state.stats.outcome_ms[static_cast<int>(outcome.result)] += outcome.modelled_ms;
    if (state.trace != nullptr) {
        static const char *const kResults[] = {"empty", "failed", "locked"};
        std::fprintf(state.trace, "search\t%u\t%u\t%c\t%s", frequency_khz, step_khz, sim::kPolarizationLetters[polarization],
                     kResults[static_cast<int>(outcome.result)]);
        if (outcome.carrier >= 0) {
            const sim::Satellite &satellite = state.scenario->satellites[static_cast<std::size_t>(outcome.satellite)];
            const sim::Carrier &carrier = satellite.carriers[static_cast<std::size_t>(outcome.carrier)];
            std::fprintf(state.trace, "\t%d\t%u\t%c\t%u\t%.2f\t%u", satellite.position, carrier.frequency_khz,
                         sim::kPolarizationLetters[carrier.polarization & 3], carrier.symbol_rate, outcome.margin_db,
                         record->frequency);
        }
        std::fputc('\n', state.trace);
    }
    sim::Pace(outcome.modelled_ms);
    return 1;
}

// The scan the program would make of the interval, stepped by its rule, searched by the model
// as Vesker searches, but neither waited nor counted: the random draws depend on the step and
// the carrier only, so this changes nothing of the scan that follows. A carrier locked again
// from a later step counts as the program's duplicate: the scan moves on by one step.
int LumorathModelledScan(unsigned int start_khz, unsigned int stop_khz, unsigned int step_khz, unsigned int polarization,
                         unsigned int lof1_khz, unsigned int lof2_khz, unsigned int lofsw_khz,
                         unsigned int min_symbol_rate, unsigned int *modelled_ms, unsigned int *pace_percent) {
    sim::SimState &state = State();
    if (!sim::HasCap(LUMORATH_CAP_BLIND_SEARCH) || modelled_ms == nullptr || pace_percent == nullptr ||
        polarization > 3 || step_khz == 0) {
        return 0;
    }
    sim::SearchRequest request =
        sim::RequestOf(start_khz, step_khz, polarization, lof1_khz, lof2_khz, lofsw_khz, min_symbol_rate);
    std::vector<std::pair<int, int>> locked;
    double total_ms = 0.0;
    TransponderRecord record;
    for (std::uint64_t step = start_khz; step <= stop_khz;) {
        request.frequency_khz = static_cast<std::uint32_t>(step);
        const sim::SearchOutcome outcome =
            sim::BlindSearch(*state.scenario, state.settings.tuner, state.dish, request, &record);
        total_ms += outcome.modelled_ms;
        const std::pair<int, int> carrier{outcome.satellite, outcome.carrier};
        if (outcome.result != sim::SearchResult::kLocked ||
            std::find(locked.begin(), locked.end(), carrier) != locked.end()) {
            step += step_khz;
            continue;
        }
        locked.push_back(carrier);
        step = NextStepAfterCarrierKhz(step, step_khz, record);
    }
    *modelled_ms = static_cast<unsigned int>(std::min(total_ms, 4e9));
    *pace_percent = static_cast<unsigned int>(state.settings.pace_percent);
    return 1;
}

}  // extern "C"
