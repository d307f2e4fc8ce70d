// Whole passes fed with arbitrary transponder records: the first bytes choose the output
// options and the scan sections, the rest are raw 112-byte records that a fuzzing tuner
// hands out one per search (any field value: NaN or infinite SNR, stream counts above 16,
// negative codes, frequencies that go backwards, absurd widths). The report and the list
// are written in every format to a scratch directory.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

#include "fuzz_run.h"
#include "support/whole_run.h"

namespace {

constexpr std::size_t kHeaderSize = 24;
// A record whose last reserved byte holds this makes the search fail.
constexpr std::uint8_t kFailMark = 0xEE;

// The list formats 0..6 and values outside them, which read as 0.
const int kIniFormats[] = {0, 1, 2, 3, 4, 5, 6, 7, -1, 1000000};
const char *const kPolarizations[] = {"H", "V", "L", "R"};

struct Feed {
    const std::uint8_t *records;
    std::size_t count;
    std::size_t next;
    bool cycle;          // start again from the first record, shifted in frequency
    std::uint32_t round;
};
Feed g_feed;

int FuzzSearch(unsigned, unsigned, unsigned, TransponderRecord *record) {
    if (g_feed.next >= g_feed.count) {
        if (!g_feed.cycle || g_feed.count == 0) {
            std::memset(record, 0, sizeof *record);
            return 1;
        }
        g_feed.next = 0;
        ++g_feed.round;
    }
    std::memcpy(record, g_feed.records + g_feed.next * sizeof *record, sizeof *record);
    ++g_feed.next;
    record->frequency += g_feed.round * 10007u;  // a new carrier each round, about 10 MHz on
    return record->reserved[15] == kFailMark ? 0 : 1;
}

std::int16_t Signed16(const std::uint8_t *bytes) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < kHeaderSize) return 0;
    const std::uint8_t *h = data;
    const std::string &dir = fuzz_run::ScratchDir("records");

    std::string config = "[Options]\nDevice=0\nReportDir=" + dir + "\nTPDir=" + dir + "\n";
    config += "IniFormat=" + std::to_string(kIniFormats[h[0] % 10]) + "\n";
    config += "InfoFormat=" + std::to_string(Signed16(h + 1)) + "\n";
    config += "Loop=" + std::to_string(h[3] % 3) + "\n";
    config += "MinSNR1=" + std::to_string(static_cast<std::int8_t>(h[4])) + "\n";
    config += "MinSNR2=" + std::to_string(static_cast<std::int8_t>(h[5])) + "\n";
    config += "[SatInfo]\nDiSEqC=" + std::to_string(h[6] % 6) + "\n";
    config += "SatPos=" + std::to_string(Signed16(h + 7) % 4000) + "\n";
    config += "SatName=";
    for (int i = 0; i < (h[9] & 15); ++i) {
        const char c = static_cast<char>(h[10 + i % 6]);
        if (c != '\0' && c != '\n' && c != '\r') config += c;
    }
    config += "\n";
    const int intervals = 1 + h[16] % 4;
    for (int i = 0; i < intervals; ++i) {
        const std::uint8_t b = h[17 + i];
        const unsigned start_mhz = 10700 + (b % 16) * 128;
        const unsigned stop_mhz = start_mhz + 1 + (b >> 4) * 40;
        config += "[Scan" + std::to_string(i) + "]\nPol=" + kPolarizations[b % 4] +
                  "\nStart=" + std::to_string(start_mhz) + "\nStop=" + std::to_string(stop_mhz < 12750 ? stop_mhz : 12750) +
                  "\nStep=" + std::to_string(1 + h[21] % 10) + "\nMaxSR=" + std::to_string(h[22] * 1000) + "\n";
    }
    const std::string config_path = dir + "Vesker.ini";
    {
        std::ofstream out(config_path, std::ios::binary | std::ios::trunc);
        out << config;
    }

    InstallFakePlatform();
    ResetScriptedTuner();
    const int stop_at_poll = 50 + h[23] * 9;  // up to 2345 steps: enough to fill the record array
    Fake().stop_at_poll = stop_at_poll;
    g_feed = Feed{data + kHeaderSize, (size - kHeaderSize) / sizeof(TransponderRecord), 0, (h[3] & 0x80) != 0, 0};
    Script().band = FuzzSearch;

    const int exit_code = RunProgram(config_path).exit_code;
    fuzz_run::CheckRunInvariants(exit_code, stop_at_poll);
    FUZZ_CHECK(exit_code != -1);
    fuzz_run::ClearOutputs(dir, "Vesker.ini");
    RestoreSystemPlatform();
    return 0;
}
