#include "driver/pass_loop.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "driver/exit_codes.h"
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

// What one walk over the scan sections left behind.
struct WalkOutcome {
    bool scanned;        // at least one interval reached the interval scan
    bool search_failed;  // a blind search failed; the walk ended there
};

// The run's passes as the end of a pass, and a save made while the tuner library hangs, see them.
struct RunState {
    const OutputOptions *output;     // null until the passes begin
    std::uint32_t pass_number;       // the running pass
    std::uint32_t pass_start_ms;
    bool pass_unwritten;             // the running pass has not reached its output step yet
    std::uint32_t last_complete_pass;  // 0: no pass of the run has completed
    std::uint32_t scanned_low_mhz;   // the lowest start and highest stop of the intervals the
    std::uint32_t scanned_high_mhz;  // running pass scanned; the band map spans them
};
RunState g_run{};

// Walks Scan0, Scan1, ... until a section without Pol, the first invalid value, a stop
// request, a failed search or a full record array.
WalkOutcome WalkSections(const char *config_path, const LnbSettings &lnb, int diseqc, TransponderRecord *records,
                         std::uint32_t *found_count, int *stop_flag) {
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
        const double min_snr1_db = IniReadInt("Options", "MinSNR1", -100, config_path);
        const double min_snr2_db = IniReadInt("Options", "MinSNR2", -100, config_path);

        if (!outcome.scanned || start_mhz < g_run.scanned_low_mhz) g_run.scanned_low_mhz = start_mhz;
        if (!outcome.scanned || stop_mhz > g_run.scanned_high_mhz) g_run.scanned_high_mhz = stop_mhz;
        outcome.scanned = true;
        BeginIntervalProgress(CoveredInterval{polarization, start_mhz, stop_mhz, step_mhz, min_symbol_rate_ks,
                                              max_symbol_rate_ks, 0});
        std::uint32_t accepted_before_failure = 0;
        const int accepted = ScanInterval(start_mhz, *found_count, records, stop_flag,
                                          static_cast<std::uint32_t>(diseqc), stop_mhz, step_mhz, lnb.lof1_mhz,
                                          lnb.lof2_mhz, lnb.lofsw_mhz, polarization, min_symbol_rate_ks,
                                          max_symbol_rate_ks, min_snr1_db, min_snr2_db, &accepted_before_failure);
        if (accepted < 0) {
            // Keep what this interval found before the failure; end the console line.
            if (accepted == kScanSearchFailed) *found_count += accepted_before_failure;
            Print("\n");
            outcome.search_failed = true;
            return outcome;
        }
        *found_count += static_cast<std::uint32_t>(accepted);
        if (*stop_flag != 0 || *found_count >= kMaxTransponders) return outcome;
    }
}

// One array serves every pass; it is cleared at the start of each.
TransponderRecord g_records[kMaxTransponders];

// Ends the running pass with `count` accepted records: its time, the sort and the output step.
// A pass that did not complete holds only part of the band: where every pass writes the same
// two names it leaves the files of the last complete pass in place. Returns false when a file
// could not be written.
bool EndPass(std::uint32_t count, bool complete) {
    g_run.pass_unwritten = false;
    const double scan_time_s = static_cast<double>(Platform().clock_ms() - g_run.pass_start_ms) / 1000.0;
    Print("Total Scan Time = %3.3fs\n", scan_time_s);
    bool written = true;
    if (count == 0) {
        Print("Transponders not found !\n");
    } else {
        std::sort(g_records, g_records + count,
                  [](const TransponderRecord &a, const TransponderRecord &b) { return a.frequency < b.frequency; });
        Print("Total tranponders found = %u\n", count);
        if (!complete && g_run.last_complete_pass != 0 && g_run.output->loop != 1) {
            Print("Pass %u did not complete: the files of pass %u are kept\n", g_run.pass_number,
                  g_run.last_complete_pass);
        } else {
            OutputOptions pass_output = *g_run.output;
            pass_output.window_start_mhz = g_run.scanned_low_mhz;
            pass_output.window_stop_mhz = g_run.scanned_high_mhz;
            pass_output.coverage = &CurrentPassCoverage();
            pass_output.stopped = complete ? 0 : 1;
            written = RunOutputStep(g_records, count, scan_time_s, g_run.pass_number, pass_output);
        }
    }
    Print("\n\n");
    return written;
}

}  // namespace

void SaveRunningPass() {
    Print("\nThe tuner library did not return, the run is cut short !\n");
    if (g_run.output != nullptr && g_run.pass_unwritten) EndPass(AcceptedRecordCount(), false);
}

int RunPassLoop(const char *config_path, const LnbSettings &lnb, const OutputOptions &output) {
    bool search_failed = false;
    bool all_written = true;
    int stop_flag = 0;
    g_run = RunState{&output, 0, 0, false, 0, 0, 0};
    Platform().begin_key_watch();
    for (std::uint32_t pass = 1;; ++pass) {
        if (output.loop != 0) Print("---------- Pass %u ----------\n", pass);
        std::memset(g_records, 0, sizeof g_records);
        ClearAcceptedRecordCount();
        g_run.pass_number = pass;
        g_run.pass_start_ms = Platform().clock_ms();
        g_run.pass_unwritten = true;
        g_run.scanned_low_mhz = 0;
        g_run.scanned_high_mhz = 0;
        BeginPassProgress(pass);

        // A stop asked for before the first step (during the device start, a dish pause or
        // between passes) ends the run before any search.
        WalkOutcome walk{false, false};
        std::uint32_t found_count = 0;
        if (Platform().stop_requested()) {
            Print("Terminated on user request ...\n");
            stop_flag = 1;
        } else {
            walk = WalkSections(config_path, lnb, output.diseqc, g_records, &found_count, &stop_flag);
        }
        const bool complete = stop_flag == 0 && !walk.search_failed;
        all_written = EndPass(found_count, complete) && all_written;
        if (complete) g_run.last_complete_pass = pass;

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
    Platform().end_key_watch();
    EndScanProgress();
    if (!all_written) return kExitNotWritten;
    return search_failed ? kExitSearchFailed : kExitOk;
}
