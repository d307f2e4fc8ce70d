// The status line: its text for given figures, and what a whole run shows in it, step by step,
// until it is cleared at the end.
#include "scan/scan_progress.h"

#include <gtest/gtest.h>

#include <string>

#include "support/fake_platform.h"
#include "support/scripted_tuner.h"
#include "support/whole_run.h"

namespace {

TEST(ScanProgressTest, StatusText) {
    struct Row {
        StatusFigures figures;
        const char *text;
    };
    const Row rows[] = {
        // The start: no share behind it, no estimate yet.
        {{1, 1, 2, 0, 10700000, 0, 4100000, 0, 0}, "Interval 1 of 2, Horizontal, 10700 MHz, 0 % of 4100 MHz, 0 found, 0:00 elapsed"},
        // A quarter done in 2 min: 6 min left.
        {{1, 1, 2, 0, 11725000, 1025000, 4100000, 17, 120000},
         "Interval 1 of 2, Horizontal, 11725 MHz, 25 % of 4100 MHz, 17 found, 2:00 elapsed, about 6:00 left"},
        // A later pass, hours.
        {{3, 2, 2, 3, 12000000, 3075000, 4100000, 80, 3 * 3600000},
         "Pass 3, Interval 2 of 2, Right, 12000 MHz, 75 % of 4100 MHz, 80 found, 3:00:00 elapsed, about 1:00:00 left"},
        // No plan (the count unknown): neither the count nor the share.
        {{1, 1, 0, 1, 10700000, 5000, 0, 0, 5000}, "Interval 1, Vertical, 10700 MHz, 0 found, 0:05 elapsed"},
    };
    for (const Row &row : rows) {
        char text[256];
        FormatStatus(row.figures, text, sizeof text);
        EXPECT_STREQ(row.text, text);
    }
}

// Two intervals of 100 MHz in 10 MHz steps, nothing on the air: one status per search, the
// share counted over both, and the line cleared after the pass.
TEST(ScanProgressTest, WholeRunShowsEveryStepThenClears) {
    InstallFakePlatform();
    ResetScriptedTuner();
    TempDir dir;
    const std::string path = dir.Write("Vesker.ini", "[Options]\nDevice=0\n[Scan0]\nPol=H\nStart=10700\nStop=10800\n"
                                                     "Step=10\n[Scan1]\nPol=V\nStart=11000\nStop=11100\nStep=10\n");
    ASSERT_EQ(0, RunProgram(path, dir.path().string()).exit_code);
    const std::vector<std::string> &statuses = Fake().statuses;
    ASSERT_EQ(23u, statuses.size());
    EXPECT_EQ(0u, statuses[0].find("Interval 1 of 2, Horizontal, 10700 MHz, 0 % of 200 MHz, 0 found, "));
    EXPECT_EQ(0u, statuses[5].find("Interval 1 of 2, Horizontal, 10750 MHz, 25 % of 200 MHz, "));
    EXPECT_EQ(0u, statuses[11].find("Interval 2 of 2, Vertical, 11000 MHz, 50 % of 200 MHz, "));
    EXPECT_EQ(0u, statuses[21].find("Interval 2 of 2, Vertical, 11100 MHz, 100 % of 200 MHz, "));
    EXPECT_EQ("", statuses[22]);
    ASSERT_EQ(2u, CurrentPassCoverage().count);
    EXPECT_EQ(11100000u, CurrentPassCoverage().intervals[1].reached_khz);
    RestoreSystemPlatform();
}

}  // namespace
