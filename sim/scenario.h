// The band model: satellites and their carriers, read from a scenario file or built in,
// and completed where the file leaves values open.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// One carrier as the satellite transmits it. Codes as in the transponder record; 0 where a
// code is still unknown (completed by CompleteScenario).
struct Carrier {
    std::uint32_t frequency_khz = 0;  // downlink centre frequency
    int polarization = 0;             // 0 horizontal, 1 vertical, 2 circular left, 3 circular right
    std::uint32_t symbol_rate = 0;    // S/s
    int system = 1;                   // 1 DVB-S, 2 DVB-S2, 3 DSS
    int constellation = 0;            // 0 unknown, 1 QPSK, 2 8PSK, 3 16APSK, 4 32APSK
    int fec = 0;                      // record FEC code, 0 unknown
    int rolloff = 0;                  // record code 1 0.35, 2 0.25, 3 0.20; 0 unknown
    int pilot = 0;                    // 1 off, 2 on; 0 unknown
    int frame_length = 0;             // 0 normal, 1 short
    int coding_mode = 0;              // 0 CCM, 1 ACM/VCM
    int stream_type = 0;              // 0 transport, 2 generic continuous, 3 generic packetized
    std::vector<int> stream_ids;      // input stream identifiers; empty for a single stream
    bool issy = false;                // input stream synchronisation
    bool npd = false;                 // null packet deletion
    double level_dbm = 0.0;           // dBm at the tuner input; valid when has_level
    double esno_db = 0.0;             // dB; valid when has_esno
    bool has_level = false;
    bool has_esno = false;
};

// One satellite and how the dish reaches it. A satellite behind a committed switch port, an
// uncommitted input, a positioner stored position or a USALS motor is seen only when the
// dish is set that way (dish.h).
struct Satellite {
    std::string name;
    int position = 0;      // tenths of a degree, east positive, -1800..1800
    int port = 0;          // committed switch port 1..4; 0 = not behind one
    int uncommitted = 0;   // uncommitted switch input 1..16; 0 = not behind one
    int stored = -1;       // positioner stored position 0..255; -1 = none
    bool usals = false;    // on a USALS motor, found by its orbital position
    std::vector<Carrier> carriers;
};

struct Scenario {
    std::string source;    // file name, or "built-in"
    std::vector<Satellite> satellites;
    bool has_site = false; // the dish site for matching USALS angles
    int site_latitude = 0;   // tenths of a degree, north positive
    int site_longitude = 0;  // tenths of a degree, east positive
};

// Where a scenario file went wrong: the file, the 1-based line, and what.
struct ScenarioError {
    std::string file;
    int line = 0;
    std::string what;
};

// Reads a scenario file in any of the three formats: the program's text list ("# name @
// 19.2E" and "S2 11778000 V 27500000 3/4 35 8PSK" lines), its XML list (<sat>,
// <transponder>), or a DVBv5 channel file ([name] blocks of KEY = VALUE lines). The format is
// told by the first line that is neither blank nor a '#' comment: '<' XML, '[' DVBv5, else
// the text list. A DVBv5 file takes its name and position from its file name
// ("Hotbird-13.0E"). False, with the error filled, for a missing, unreadable or malformed
// file, or one without a carrier.
bool ReadScenarioFile(const std::string &path, Scenario *scenario, ScenarioError *error);
// The same on text already in memory; `file_name` names it in errors and DVBv5 names.
bool ParseScenario(const std::string &text, const std::string &file_name, Scenario *scenario,
                   ScenarioError *error);

// Noise density at the tuner input, dBm/Hz (model): a carrier's level is this plus
// 10 log10(symbol rate x (1 + Es/N0)).
constexpr double kNoiseDensityDbmPerHz = -132.0;

// The built-in satellite: a hybrid Ku/C-band satellite at 9.0E.
Scenario BuiltinScenario();

// Completes every open value deterministically from the seed: code rate, modulation,
// roll-off, pilot, Es/N0 and level (see scenario.cpp for the rules). Also mends code rates a
// system does not have (a table's 8PSK 1/2 becomes the nearest rate 8PSK has).
void CompleteScenario(Scenario *scenario, std::uint64_t seed);

// The identity of a carrier in every random draw: its satellite position, frequency,
// polarization and symbol rate, so the same carrier gets the same draws in any file order.
std::uint64_t CarrierKey(const Satellite &satellite, const Carrier &carrier);

// Parses a position text such as "19.2E", "5.0W" or "-50" (tenths) into tenths of a degree.
bool ParsePositionText(const char *text, int *tenths);

}  // namespace sim
