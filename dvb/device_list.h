// Finding the satellite frontends: every /dev/dvb/adapterN/frontendM that lists DVB-S,
// DVB-S2, DSS or Turbo, in adapter then frontend order, and how each one will search.
#pragma once

#include <cstdint>

#include "settings.h"

namespace dvb {

// How a frontend searches a step (the ladder: the first it can do).
enum class SearchKind {
    kDriverBlind,   // the driver's blind algorithm, asked for through its own property
    kBuiltinBlind,  // a driver that always searches blind: one tune, it reports frequency and rate
    kSweep,         // tune each candidate symbol rate in turn until one locks
};

// Which delivery systems one attempt of a sweep asks for.
enum class SystemPlan {
    kTogether,        // the demodulator finds DVB-S and DVB-S2 alike in one attempt
    kApart,           // DVB-S, then DVB-S2
    kApartAndModulation,  // DVB-S, then DVB-S2 QPSK, then DVB-S2 8PSK
};

// How far from the rate asked for a demodulator still locks.
enum class RateCapture {
    kUnknown,      // the driver sets no bound: only rates near the one asked for are sure
    kFivePercent,  // 95..105 % of the rate asked for
};

// Whether the driver reads a level at its input while nothing is locked.
enum class LevelBeforeLock {
    kNone,
    kLegacy,      // FE_READ_SIGNAL_STRENGTH
    kStatistics,  // DTV_STAT_SIGNAL_STRENGTH in 0.001 dB
};

struct FrontendEntry {
    char path[300];     // the device file
    char label[48];     // "adapter0/frontend0"
    char name[256];     // as the device list shows it
    int open_error;     // 0, or the error number of the read-only open
    SearchKind search;
    SystemPlan plan;
    bool dvbs, dvbs2, dss, turbo;
    std::uint32_t frequency_min_khz, frequency_max_khz;  // IF limits
    std::uint32_t symbol_rate_min, symbol_rate_max;      // S/s
    RateCapture capture;
    LevelBeforeLock level_before_lock;
    // The legacy 16-bit strength: (dBm + 100) x 65535 / this, dB.
    std::uint32_t legacy_strength_range_db;
    bool read_tables;   // the PAT and NIT are read after a lock (network_tables.h)
};

constexpr int kMaxFrontends = 16;

struct FrontendList {
    FrontendEntry entries[kMaxFrontends];
    int count;
    int other_frontends;  // frontends seen without a satellite system
    int not_frontends;    // names in the DVB directory that are no DVB frontend (each said on standard error)
};

// Lists the satellite frontends under `dvb_dir`, opened read-only; nothing when `dvb_dir` is
// empty. A frontend that cannot be opened is still listed, with the reason in its name; a
// sweep's name also says its depth, and the name of one whose tables are read says so. A name
// that is no DVB device is never opened: standard error says what it is instead.
void ListFrontends(const char *dvb_dir, Strategy strategy, Depth depth, ReadTables read_tables, FrontendList *list);

// Whether the PAT and NIT are read after a lock on this frontend: by default only where the
// driver echoes the request (the sweep's drivers; the blind ones measure the frequency).
bool TablesWanted(ReadTables read_tables, const FrontendEntry &entry);

// The strategy's words in the device name.
const char *SearchName(const FrontendEntry &entry);

}  // namespace dvb
