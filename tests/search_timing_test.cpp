// The tuner timing model: how long a blind search takes by how it ends, and the equipment
// commands. Links only sim_timing, as another tuner model would.
#include <gtest/gtest.h>

#include "search_timing.h"

using namespace tuner_timing;

namespace {

BlindSearchTiming Search(SearchEnd end, std::uint32_t symbol_rate, int system, std::int32_t offset_khz = 0) {
    BlindSearchTiming search;
    search.end = end;
    search.search_range_khz = 11000;
    search.carrier_offset_khz = offset_khz;
    search.symbol_rate = symbol_rate;
    search.system = system;
    search.bits_per_symbol = system == kSystemDvbS2 ? 3 : 2;
    return search;
}

}  // namespace

// The figures a whole-scan estimate rests on, within the bands the ST driver's timeouts give
// (an empty step about 0.2 s, a slow failure about 1.5 s; a lock at 27.5 MS/s about 0.5 s plus
// the confirmation calibrated to whole-satellite scan times).
TEST(SearchTiming, OutcomesTakeWhatHardwareTakes) {
    struct Row {
        const char *what;
        BlindSearchTiming search;
        double low_ms, high_ms;
    } rows[] = {
        {"empty step", Search(SearchEnd::kEmpty, 0, kSystemDvbS), 150, 250},
        {"lock 27.5 MS/s DVB-S2 at the centre", Search(SearchEnd::kLocked, 27500000, kSystemDvbS2), 3000, 3600},
        {"lock 27.5 MS/s DVB-S", Search(SearchEnd::kLocked, 27500000, kSystemDvbS), 3000, 3600},
        {"failed 27.5 MS/s", Search(SearchEnd::kFailed, 27500000, kSystemDvbS2), 1000, 1300},
        {"failed 1 MS/s (slow failure)", Search(SearchEnd::kFailed, 1000000, kSystemDvbS), 1700, 2000},
        {"lock 1 MS/s: acquisition at the timeout", Search(SearchEnd::kLocked, 1000000, kSystemDvbS), 4600, 5000},
    };
    for (const Row &row : rows) {
        double ms = BlindSearchMs(row.search);
        EXPECT_GE(ms, row.low_ms) << row.what;
        EXPECT_LE(ms, row.high_ms) << row.what;
    }
    // Slower carriers take longer to acquire, but never beyond the demodulator's timeout.
    double previous = 0.0;
    for (std::uint32_t rate : {45000000u, 27500000u, 10000000u, 5000000u, 2000000u, 1000000u}) {
        EXPECT_GT(AcquisitionMs(rate), previous) << rate;
        EXPECT_LE(AcquisitionMs(rate), DemodTimeoutMs(rate)) << rate;
        previous = AcquisitionMs(rate);
    }
    // A wider probe, extra input streams and a DVB-S2 frame at a low rate each cost more.
    BlindSearchTiming wide = Search(SearchEnd::kEmpty, 0, kSystemDvbS);
    wide.search_range_khz = 22000;
    EXPECT_NEAR(BlindSearchMs(wide) - BlindSearchMs(Search(SearchEnd::kEmpty, 0, kSystemDvbS)), 110.0, 1e-9);
    BlindSearchTiming streams = Search(SearchEnd::kLocked, 27500000, kSystemDvbS2);
    streams.stream_count = 4;
    EXPECT_NEAR(BlindSearchMs(streams) - BlindSearchMs(Search(SearchEnd::kLocked, 27500000, kSystemDvbS2)), 300.0, 1e-9);
    EXPECT_GT(FecLockMs(kSystemDvbS2, 2000000, 2, false), FecLockMs(kSystemDvbS2, 2000000, 2, true));
    EXPECT_GT(FecLockMs(kSystemDvbS2, 2000000, 2, false), 3 * FecLockMs(kSystemDvbS2, 27500000, 2, false) / 2);
}

// The coarse search zig-zags 0, +1, -1, +2, -2 ... carrier steps (1/2/3/5 MHz by symbol rate)
// from the centre, at most 11 positions.
TEST(SearchTiming, CoarseSearchZigZagsOutwards) {
    struct Row {
        std::int32_t offset_khz;
        std::uint32_t symbol_rate;
        int positions;
    } rows[] = {
        {0, 27500000, 1},       {2400, 27500000, 1},  {5000, 27500000, 2},  {-5000, 27500000, 3},
        {10000, 27500000, 4},   {-10000, 27500000, 5}, {3000, 2000000, 6},   {-3000, 2000000, 7},
        {3000, 10000000, 2},    {-4000, 5000000, 5},   {60000, 27500000, 11}, {-60000, 1000000, 11},
    };
    for (const Row &row : rows)
        EXPECT_EQ(CoarsePositions(row.offset_khz, row.symbol_rate), row.positions) << row.offset_khz << " " << row.symbol_rate;
    // Each position is a retune and an acquisition try.
    double near = BlindSearchMs(Search(SearchEnd::kLocked, 27500000, kSystemDvbS2, 0));
    double far = BlindSearchMs(Search(SearchEnd::kLocked, 27500000, kSystemDvbS2, -10000));
    EXPECT_NEAR(far - near, 400.0, 1e-9);
}

// Equipment commands: 22 kHz bits of 1.5 ms, 9 per byte, 15 ms quiet on both sides.
TEST(SearchTiming, EquipmentCommands) {
    EXPECT_NEAR(DiseqcMessageMs(4), 15.0 + 54.0 + 15.0, 1e-9);
    EXPECT_NEAR(DiseqcMessageMs(5) - DiseqcMessageMs(4), 13.5, 1e-9);
    EXPECT_NEAR(ToneBurstMs(), 42.5, 1e-9);
    EXPECT_NEAR(MotorDriveMs(-30.0), MotorDriveMs(30.0), 1e-9);
    EXPECT_GT(MotorDriveMs(30.0), 10000.0) << "a motor takes seconds per ten degrees";
    EXPECT_GT(StoredPositionDriveMs(), 0.0);
}
