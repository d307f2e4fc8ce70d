// The program over the DVB tuner library and an installed model frontend: a whole run with a
// configuration written into a temporary directory, every search the library answered (with
// the carriers the model locked during it), the carriers the program accepted, and the score
// of a scan against a sky: a carrier counts as found only when a search actually locked it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scenario.h"
#include "support/fake_platform.h"
#include "dvb/model_demux.h"
#include "dvb/model_frontend.h"
#include "tuner/lumorath.h"

namespace model {

struct ProgramRun {
    int exit_code;
    std::string console;
    std::string errors;  // the library's standard error
};

// One search that returned a locked record, and what the model locked while it ran.
struct Search {
    TransponderRecord record;
    std::vector<const sim::Carrier *> locked;
};

// The program with `satinfo` and `scans` as the configuration and a settings file holding
// `dvb_settings` (section DVB) in the same directory. Device 0 is configured, or typed at the
// prompt after the device list when `prompt` is set. `searches` (optional) gets every search
// that returned a locked record, in order. With `stop_at_poll` the keys read as held from
// that poll of the stop keys on.
ProgramRun RunVesker(const TempDir &dir, const std::string &satinfo, const std::string &scans, bool prompt = false,
                     const std::string &dvb_settings = "", std::vector<Search> *searches = nullptr,
                     int stop_at_poll = -1);

// "[Scan<index>]" with the polarization, range and a 5 MHz step.
std::string Interval(int index, const char *pol, std::uint32_t start_mhz, std::uint32_t stop_mhz);

// The carriers the program accepted, from its console: one line per new carrier.
struct Accepted {
    double frequency_mhz;
    unsigned symbol_rate_ks;
    int polarization;
};
std::vector<Accepted> AcceptedCarriers(const std::string &console);

// A satellite table's Ku carriers (10700..12750 MHz) that can coexist: per polarization, a
// largest set whose Nyquist bands (the symbol rate wide, zero roll-off) do not overlap; the
// table's overlapping entries are other beams, stale entries or feeds listed over a transponder.
sim::Scenario ConsistentSky(const sim::Scenario &table);

// A scan scored against the sky the model holds. The records the program accepted (the
// searches' records without those within its duplicate distance of an earlier one) each
// match the nearest carrier that its search locked; a record with none within a capture
// range (5 MHz), or with a carrier matched already, is a false record.
struct Score {
    int sky = 0, found = 0, false_records = 0;
    int exact = 0;  // found carriers whose record holds their own frequency and symbol rate
    int known = 0;  // found carriers whose record names system, modulation and code rate
    double wide_mean_khz = 0, wide_worst_khz = 0;  // error of carriers above 5 MS/s
    double narrow_mean = 0, narrow_worst = 0;      // of those up to 5 MS/s, in symbol rates
};
Score ScoreSearches(const std::vector<Search> &searches);

// The program's full Ku scan (10700..12750 MHz, both polarizations, 5 MHz steps, universal
// LNB) of `sky` through `personality` at `depth` ("quick", "normal", "thorough"), scored;
// the model stays installed for the caller to read (RemoveModel when done). With `tables` the
// transport streams carry them (a model demux, which RemoveDemux takes away).
Score ScanKuBand(Personality personality, const sim::Scenario &sky, const char *depth, ProgramRun *run = nullptr,
                 const ModelTables *tables = nullptr);

}  // namespace model
