#include "driver/pass_loop.h"

#include <cstdio>
#include <cstring>

#include "driver/exit_codes.h"
#include "driver/pass_ledger.h"
#include "platform/platform.h"
#include "scan/interval_scan.h"
#include "scan/scan_progress.h"

namespace {

// Accepted spellings of each polarization code, compared after lowercasing.
struct PolarizationSpelling {
    const char *text;
    std::uint32_t code;
};
const PolarizationSpelling kPolarizationSpellings[] = {
    {"0", 0}, {"h", 0}, {"horizontal", 0}, {"hor", 0},
    {"1", 1}, {"v", 1}, {"vertical", 1},   {"ver", 1},
    {"2", 2}, {"l", 2}, {"left", 2},
    {"3", 3}, {"r", 3}, {"right", 3},
};

constexpr std::uint32_t kMaxStepMhz = 10;
constexpr std::uint32_t kMinSymbolRateKs = 100;
constexpr std::uint32_t kMaxSymbolRateKs = 100000;

}  // namespace

bool ParsePolarization(char *text, std::uint32_t *code) {
    for (char *c = text; *c != '\0'; ++c) {
        if (*c >= 'A' && *c <= 'Z') *c = static_cast<char>(*c - 'A' + 'a');
    }
    for (const auto &spelling : kPolarizationSpellings) {
        if (std::strcmp(text, spelling.text) == 0) {
            *code = spelling.code;
            return true;
        }
    }
    return false;
}

namespace {

// MaxSR is accepted whatever its value, as it always was; a value that drops what the interval
// finds, or drops nothing, is most likely a slip, and standard error says what it does.
void WarnOfMaxSymbolRate(std::uint32_t interval, std::uint32_t max_symbol_rate_ks, std::uint32_t min_symbol_rate_ks) {
    const int configured = static_cast<int>(max_symbol_rate_ks);
    if (configured < 0) {
        PrintError("Scan%u: MaxSR=%d is negative and reads as %u kS/s: no carrier is dropped for its symbol rate\n",
                   interval, configured, max_symbol_rate_ks);
    } else if (max_symbol_rate_ks < min_symbol_rate_ks) {
        PrintError("Scan%u: MaxSR=%u is below MinSR=%u: every carrier this interval finds above %u kS/s is dropped\n",
                   interval, max_symbol_rate_ks, min_symbol_rate_ks, max_symbol_rate_ks);
    }
}

// What one walk over the scan sections left behind.
struct WalkOutcome {
    bool scanned;        // at least one interval reached the interval scan
    bool search_failed;  // a blind search failed; the walk ended there
};

// Walks Scan0, Scan1, ... until a section without Pol, the first invalid value, a stop
// request, a failed search or a full record array.
WalkOutcome WalkSections(const char *config_path, const LnbSettings &lnb, int diseqc, bool first_pass, int *stop_flag) {
    WalkOutcome outcome{false, false};
    for (std::uint32_t interval = 0;; ++interval) {
        char section[16];
        std::snprintf(section, sizeof section, "Scan%u", interval);
        char pol[16];
        if (IniReadText(section, "Pol", "", pol, sizeof pol, config_path) == 0) return outcome;
        std::uint32_t polarization = 0;
        if (!ParsePolarization(pol, &polarization)) {
            Print("Invalid scan params: Pol=%s !\n", pol);
            return outcome;
        }
        Print("Scan interval %u\n", interval);

        const auto start_mhz = static_cast<std::uint32_t>(
            IniReadInt(section, "Start", static_cast<int>(lnb.window_start_mhz), config_path));
        const auto stop_mhz = static_cast<std::uint32_t>(
            IniReadInt(section, "Stop", static_cast<int>(lnb.window_stop_mhz), config_path));
        if (start_mhz < lnb.window_start_mhz) {
            Print("Invalid scan params: Start=%uMhz < %uMhz !\n", start_mhz, lnb.window_start_mhz);
            return outcome;
        }
        if (stop_mhz > lnb.window_stop_mhz) {
            Print("Invalid scan params: Stop=%uMhz > %uMhz !\n", stop_mhz, lnb.window_stop_mhz);
            return outcome;
        }
        if (start_mhz >= stop_mhz) {
            Print("Invalid scan params: StartFreq >= StopFreq !\n");
            return outcome;
        }
        const auto step_mhz = static_cast<std::uint32_t>(IniReadInt(section, "Step", 5, config_path));
        if (step_mhz > kMaxStepMhz) {
            Print("Invalid scan params: Step > %uMhz !\n", kMaxStepMhz);
            return outcome;
        }
        if (step_mhz == 0) {  // a step of 0 would search one frequency for ever
            Print("Invalid scan params: Step < %uMhz !\n", 1u);
            return outcome;
        }
        const auto min_symbol_rate_ks = static_cast<std::uint32_t>(IniReadInt(section, "MinSR", 1000, config_path));
        const auto max_symbol_rate_ks = static_cast<std::uint32_t>(IniReadInt(section, "MaxSR", 100000, config_path));
        if (min_symbol_rate_ks < kMinSymbolRateKs || min_symbol_rate_ks > kMaxSymbolRateKs) {
            Print("Invalid scan params: MinSR=%u, allowed only %u-%u KS !\n", min_symbol_rate_ks, kMinSymbolRateKs,
                  kMaxSymbolRateKs);
            return outcome;
        }
        if (first_pass) WarnOfMaxSymbolRate(interval, max_symbol_rate_ks, min_symbol_rate_ks);
        const double min_snr1_db = IniReadInt("Options", "MinSNR1", -100, config_path);
        const double min_snr2_db = IniReadInt("Options", "MinSNR2", -100, config_path);

        NoteScannedInterval(start_mhz, stop_mhz);
        outcome.scanned = true;
        BeginIntervalProgress(CoveredInterval{polarization, start_mhz, stop_mhz, step_mhz, min_symbol_rate_ks,
                                              max_symbol_rate_ks, 0});
        // The scan appends to the pass's records and publishes each one it accepts, so what this
        // interval found before a failed search is kept.
        std::uint32_t *published = PublishedCount();
        const int accepted = ScanInterval(start_mhz, *published, PassRecords(), stop_flag,
                                          static_cast<std::uint32_t>(diseqc), stop_mhz, step_mhz, lnb.lof1_mhz,
                                          lnb.lof2_mhz, lnb.lofsw_mhz, polarization, min_symbol_rate_ks,
                                          max_symbol_rate_ks, min_snr1_db, min_snr2_db, published);
        if (accepted < 0) {
            Print("\n");  // ends the console line
            outcome.search_failed = true;
            return outcome;
        }
        if (*stop_flag != 0 || *published >= kMaxTransponders) return outcome;
    }
}

}  // namespace

int RunPassLoop(const char *config_path, const LnbSettings &lnb, const OutputOptions &output) {
    bool search_failed = false;
    bool all_written = true;
    int stop_flag = 0;
    OpenLedger(output);
    for (std::uint32_t pass = 1;; ++pass) {
        if (output.loop != 0) Print("---------- Pass %u ----------\n", pass);
        BeginPass(pass);
        BeginPassProgress(pass);

        // A stop asked for before the first step (during the device start, a dish pause or
        // between passes) ends the run before any search.
        WalkOutcome walk{false, false};
        if (Platform().stop_requested()) {
            Print("Terminated on user request ...\n");
            stop_flag = 1;
        } else {
            walk = WalkSections(config_path, lnb, output.diseqc, pass == 1, &stop_flag);
        }
        all_written = EndPass(stop_flag == 0 && !walk.search_failed) && all_written;

        if (walk.search_failed) {
            search_failed = true;
            break;
        }
        if (stop_flag != 0 || output.loop == 0) break;
        // A pass that reached no interval scan never polls the keys: repeating it would
        // never end.
        if (!walk.scanned) break;
        if (StopKeysHeld()) {
            Print("Terminated on user request ...\n");
            break;
        }
    }
    CloseLedger();
    EndScanProgress();
    if (!all_written) return kExitNotWritten;
    return search_failed ? kExitSearchFailed : kExitOk;
}
