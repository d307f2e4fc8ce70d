// Settings of the DVB tuner library: section DVB of Lumorath.ini beside the library (and the
// tuner limits of section Lumorath, read as the program reads them), then the environment.
//
//   [DVB]
//   Depth         quick, normal (default) or thorough: how many of the candidate symbol rates
//                 measured on the published transponder tables a sweep tries;
//                 LUMORATH_DVB_DEPTH overrides it
//   SymbolRates   candidate symbol rates in kS/s for Ku band and above, most likely first,
//                 instead of the measured ones (default: none); LUMORATH_DVB_SYMBOL_RATES
//   SymbolRatesC  the same for C-band carriers (satellite frequencies below 5000 MHz);
//                 LUMORATH_DVB_SYMBOL_RATES_C
//   LockTimeout   ms one attempt waits for a lock; 0 (default): by symbol rate, as the
//                 demodulator makers time their own searches; LUMORATH_DVB_LOCK_TIMEOUT
//   Strategy      auto (default), driver or sweep; LUMORATH_DVB_STRATEGY
//   ReadTables    1: after a lock read the transport stream's PAT and its network's NIT for
//                 the carrier's exact parameters; 0: never; absent: only where the driver
//                 echoes the request (the symbol-rate sweep); LUMORATH_DVB_READ_TABLES
//   NitWait       ms a NIT read may take (default 11000; 1000..60000); LUMORATH_DVB_NIT_WAIT
//   NitOther      1: also read the NIT of other networks (table 0x41); default 0;
//                 LUMORATH_DVB_NIT_OTHER
// LUMORATH_DVB_DIR names another directory to look for adapters in (default /dev/dvb).
#pragma once

#include <cstddef>
#include <cstdint>

namespace dvb {

enum class Strategy { kAuto, kDriver, kSweep };

// How much of the measured candidate list a sweep tries.
enum class Depth { kQuick, kNormal, kThorough };
const char *DepthName(Depth depth);

constexpr int kMaxCandidates = 32;

struct CandidateList {
    std::uint32_t rates_ks[kMaxCandidates];
    int count;
};

enum class ReadTables { kWhereEchoed, kAlways, kNever };

struct DvbSettings {
    CandidateList ku;      // empty: the measured list for the depth
    CandidateList c_band;
    Depth depth;
    std::uint32_t lock_timeout_ms;  // 0: by symbol rate
    Strategy strategy;
    ReadTables read_tables;
    std::uint32_t nit_wait_ms;
    bool nit_other;
    std::uint32_t lnb_mid_mhz;      // section Lumorath: LNBMid
    std::uint32_t lnb_stacked_mhz;  // section Lumorath: LNBStk
    char dvb_dir[256];
};

// Satellite frequencies below this are C band for the choice of candidate list.
constexpr std::uint32_t kCBandTopKhz = 5000000;

// Reads `ini_path` (missing: defaults) and the environment. A value that cannot be used gets
// one line on standard error naming the file, the key and what was used instead.
void ReadDvbSettings(const char *ini_path, DvbSettings *settings);

// Parses a list of symbol rates in kS/s ("27500, 30000 22000"); false for an empty list, a
// non-number or a rate outside 100..100000 kS/s, or more than kMaxCandidates rates.
bool ParseSymbolRates(const char *text, CandidateList *list);

// The settings file the library reads: by default Lumorath.ini beside the library. Null or
// empty restores the default.
void UseDvbSettingsFile(const char *ini_path);
const char *DvbSettingsFile();

}  // namespace dvb
