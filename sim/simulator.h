// The simulated tuner library's own state and settings, behind the seven exported functions
// of tuner/lumorath.h. Tests reach it through these functions as well.
#pragma once

#include <cstdint>
#include <string>

#include "scenario.h"
#include "search.h"

namespace sim {

// Settings from section Lumorath (the tuner limits, as the program reads them) and section
// Simulator of Lumorath.ini, then the environment:
//   Scenario     scenario file; relative names are taken from the INI file's directory;
//                empty or "built-in": the built-in satellite. LUMORATH_SCENARIO overrides it
//                (relative to the current directory).
//   Seed         seed of every random draw (default 1); LUMORATH_SEED overrides it.
//   Pace         percent of the modelled search time actually slept (default 0: answer at
//                once; 100: like hardware; 0..1000, a value outside taken as the nearer
//                end); LUMORATH_PACE overrides it.
//   SearchRange  kHz either side of the step centre the demodulator searches (default 5500).
//   Lat, Long    the dish site in tenths of a degree, for USALS angles when the scenario
//                names none (default 500, 100: 50.0N 10.0E).
constexpr int kMaxPacePercent = 1000;

struct SimSettings {
    TunerModel tuner;
    std::string scenario;  // empty: built-in
    int pace_percent = 0;
};

// Reads the settings from `ini_path` (a missing file gives the defaults) and the environment.
SimSettings ReadSimSettings(const std::string &ini_path);

// The settings file the library reads at device enumeration: by default Lumorath.ini beside
// the library itself. An empty path restores the default.
void UseSettingsFile(const std::string &ini_path);

// Loads the scenario the settings name (or the built-in one) and completes it. False after
// one line on standard error naming the file and the line.
bool LoadScenario(const SimSettings &settings, Scenario *scenario);

// Counters since the device start, reported at StopDVB when LUMORATH_STATS is set: the
// modelled time of everything (searches and equipment commands), and searches by outcome
// (indexed by SearchResult: empty, failed, locked).
struct SimStats {
    std::uint32_t searches = 0;
    std::uint32_t locks = 0;
    double modelled_ms = 0.0;
    std::uint32_t outcome_searches[3] = {};
    double outcome_ms[3] = {};
};
SimStats CurrentStats();

// The scenario in use after a successful CheckForDVBEx (null before).
const Scenario *CurrentScenario();

// Writes the completed scenario as a tab-separated truth table (the completeness scoring
// reads it; LUMORATH_TRUTH names the file at device enumeration).
bool WriteTruthTable(const Scenario &scenario, const std::string &path);

}  // namespace sim
