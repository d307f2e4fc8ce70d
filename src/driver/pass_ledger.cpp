#include "driver/pass_ledger.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "scan/interval_scan.h"
#include "scan/scan_progress.h"

namespace {

struct Ledger {
    const OutputOptions *output;       // null outside the run's passes
    std::uint32_t pass_number;         // the running pass
    std::uint32_t pass_start_ms;
    bool pass_unwritten;               // the running pass has not reached its output step yet
    std::uint32_t last_complete_pass;  // 0: no pass of the run has completed
    bool scanned;                      // an interval of the pass reached the scan
    std::uint32_t scanned_low_mhz;     // the lowest start and highest stop of the intervals the
    std::uint32_t scanned_high_mhz;    // pass scanned; the band map spans them
    std::uint32_t published;           // records[0, published) are whole and final
};
Ledger g_ledger{};

// One array serves every pass; it is cleared at the start of each.
TransponderRecord g_records[kMaxTransponders];

}  // namespace

void OpenLedger(const OutputOptions &output) {
    g_ledger = Ledger{};
    g_ledger.output = &output;
}

void CloseLedger() { g_ledger.output = nullptr; }

void BeginPass(std::uint32_t pass_number) {
    std::memset(g_records, 0, sizeof g_records);
    g_ledger.published = 0;
    g_ledger.pass_number = pass_number;
    g_ledger.pass_start_ms = Platform().clock_ms();
    g_ledger.pass_unwritten = true;
    g_ledger.scanned = false;
    g_ledger.scanned_low_mhz = 0;
    g_ledger.scanned_high_mhz = 0;
}

TransponderRecord *PassRecords() { return g_records; }

std::uint32_t *PublishedCount() { return &g_ledger.published; }

void NoteScannedInterval(std::uint32_t start_mhz, std::uint32_t stop_mhz) {
    if (!g_ledger.scanned || start_mhz < g_ledger.scanned_low_mhz) g_ledger.scanned_low_mhz = start_mhz;
    if (!g_ledger.scanned || stop_mhz > g_ledger.scanned_high_mhz) g_ledger.scanned_high_mhz = stop_mhz;
    g_ledger.scanned = true;
}

bool EndPass(bool complete) {
    g_ledger.pass_unwritten = false;
    const std::uint32_t count = g_ledger.published;
    const double scan_time_s = static_cast<double>(Platform().clock_ms() - g_ledger.pass_start_ms) / 1000.0;
    Print("Total Scan Time = %3.3fs\n", scan_time_s);
    bool written = true;
    if (count == 0) {
        Print("Transponders not found !\n");
    } else {
        std::sort(g_records, g_records + count,
                  [](const TransponderRecord &a, const TransponderRecord &b) { return a.frequency < b.frequency; });
        Print("Total tranponders found = %u\n", count);
        if (!complete && g_ledger.last_complete_pass != 0 && g_ledger.output->loop != 1) {
            Print("Pass %u did not complete: the files of pass %u are kept\n", g_ledger.pass_number,
                  g_ledger.last_complete_pass);
        } else {
            OutputOptions pass_output = *g_ledger.output;
            pass_output.window_start_mhz = g_ledger.scanned_low_mhz;
            pass_output.window_stop_mhz = g_ledger.scanned_high_mhz;
            pass_output.coverage = &CurrentPassCoverage();
            pass_output.stopped = complete ? 0 : 1;
            written = RunOutputStep(g_records, count, scan_time_s, g_ledger.pass_number, pass_output);
        }
    }
    Print("\n\n");
    if (complete) g_ledger.last_complete_pass = g_ledger.pass_number;
    return written;
}

void SaveRunningPass() {
    Print("\nThe tuner library did not return, the run is cut short !\n");
    if (g_ledger.output != nullptr && g_ledger.pass_unwritten) EndPass(false);
}
