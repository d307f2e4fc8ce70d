// A tuner library under the test's control: results per call, carriers per search, and a
// log of every call with its arguments.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tuner/tuner_library.h"

struct ScriptedSearch {
    int result;                 // what Vesker returns
    TransponderRecord record;   // what it writes into the slot
};

struct ScriptedTuner {
    std::vector<std::pair<int, std::string>> devices{{0, "Scripted tuner"}};
    int check_result = 1;
    int start_result = 1;
    int stop_result = 1;
    int caps = LUMORATH_CAP_BLIND_SEARCH | LUMORATH_CAP_DISEQC | LUMORATH_CAP_TONE_BURST;
    std::deque<int> send_diseqc_results;    // popped per SendDiSEqC call; 1 when empty
    std::deque<int> send_command_results;   // popped per SendDiseqCmd call; 1 when empty
    // The blind search: `band` when set, else the queue, else nothing locked.
    std::function<int(unsigned frequency_khz, unsigned step_khz, unsigned polarization,
                      TransponderRecord *record)> band;
    std::deque<ScriptedSearch> searches;
    std::vector<std::string> log;           // one entry per call, e.g. "SendDiSEqC(2,F6)"
    int start_calls = 0;
    int stop_calls = 0;
    int search_calls = 0;

    // Log entries that start with `prefix`.
    std::vector<std::string> Calls(const std::string &prefix) const;
};

// The script in force; reset by ResetScriptedTuner(), which also installs the table.
ScriptedTuner &Script();
void ResetScriptedTuner();
TunerLibrary ScriptedTunerTable();
// A TunerBinder that hands out the scripted tuner.
bool BindScriptedTuner(const char *executable_dir, TunerLibrary *table);

// A locked record with the given values and plausible defaults for the rest.
TransponderRecord Carrier(unsigned frequency_khz, int polarization, unsigned symbol_rate, int system = 1,
                          int modulation = 1, int fec = 3, double snr = 10.0);

// The DVB-S2 carrier of the worked examples: 11778.123 MHz vertical, 27499.999 kS/s, 8PSK 3/4,
// roll-off 0.35, pilots on, -45 dBm, 9.04 dB, 33 MHz wide, 55 Mbit/s.
TransponderRecord WorkedExampleRecord();

// A band of carriers: a search at f with step w locks the first carrier of the search's
// polarization whose frequency lies in [f - w/2, f + w/2] (the nearest to f).
std::function<int(unsigned, unsigned, unsigned, TransponderRecord *)> BandOf(std::vector<TransponderRecord> carriers);
