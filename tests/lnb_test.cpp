// The LNB description: every worked case through a whole start-up (the scan window shows in
// the first interval's heading, a rejection ends the run before any library call).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/lnb.h"
#include "support/fake_platform.h"
#include "support/scripted_tuner.h"
#include "support/whole_run.h"

namespace {

struct LnbCase {
    const char *keys;     // SatInfo keys, one per line
    const char *outcome;  // "window A..B" or the exact rejection message
};

TEST(LnbTest, WorkedDescriptionsThroughWholeStartUp) {
    const std::vector<LnbCase> cases = {
        {"", "window 10700..12750"},
        {"LOF=10750", "window 11700..12900"},
        {"LOF=10750\n22Khz=1", "window 11700..12900"},
        {"LOF=5150", "window 3000..4200"},
        {"LOF=0", "window 950..2150"},
        {"LOF1=5150\nLOF2=5750\nBandStacked=1", "window 3600..4200"},
        {"LOF1=5750\nLOF2=5150\nLOFSW=5000", "window 3000..4800"},
        {"LOF=3000", "Invalid LNB params: LOF < 3100Invalid LNB params: LOF1=3000 < 3100 Mhz!\n"},
        {"LOFSW=5000", "Invalid LNB params: LOF1=9750 < LOF2=10600 Mhz !\n"},
        {"LOF1=10600\nLOF2=9750", "Invalid LNB params: LOF1=10600 > LOF2=9750Mhz !\n"},
        {"LOF1=5150", "Invalid LNB params: Both LOF1 and LOF2 must be >6000 or <= 6000 Mhz!\n"},
        {"LOF2=0", "Invalid LNB params: LOF2=0 Mhz!\n"},
        {"LOF1=0", "Invalid LNB params: LOF1=0 Mhz!\n"},
        {"LOF1=24000", "Invalid LNB params: LOF1=24000 > 23000 Mhz!\n"},
        {"LOF1=-5", "Invalid LNB params: LOF1=4294967291 > 23000 Mhz!\n"},
        {"LOF2=3000", "Invalid LNB params: LOF2=3000 < 3100 Mhz!\n"},
        {"LOF2=23001", "Invalid LNB params: LOF2=23001 > 23000 Mhz!\n"},
        {"LOFSW=3099", "Invalid LNB params: LOFSW=3099 < 3100 Mhz!\n"},
        // Band stacking and the shorthand.
        {"BandStacked=1", "window 11550..11900"},
        {"LOF=10750\nBandStacked=1", "window 11700..12900"},
        {"LOF1=10600\nLOF2=9750\nBandStacked=1", "window 11550..11900"},
        // Oscillators at the markers lie above the band; one inside them below it.
        {"LOF=6000", "window 3850..5050"},
        {"LOF=6001", "window 6951..8151"},
        {"LOF=21000", "window 18850..20050"},
        {"LOF=20999", "window 21949..23149"},
        {"LOF=3100", "window 950..2150"},
        {"LOF1=23000\nLOF2=23000", "window 20850..22050"},
        {"LOF1=23001\nLOF2=23000", "Invalid LNB params: LOF1=23001 > 23000 Mhz!\n"},
        {"LOF1=-1", "Invalid LNB params: LOF1=4294967295 > 23000 Mhz!\n"},
        // A switching LNB with one oscillator on each side of LNBStk leaves no window.
        {"LOF2=21500", "Invalid LNB params: LOF1=9750 and LOF2=21500 must both be < 21000 or >= 21000 Mhz!\n"},
        // Band-stacked with windows that do not overlap: every interval is then refused.
        {"LOF1=9750\nLOF2=11000\nBandStacked=1", "Invalid scan params: StartFreq >= StopFreq !\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.keys);
        InstallFakePlatform();
        ResetScriptedTuner();
        TempDir dir;
        const std::string config = dir.Write(
            "Vesker.ini", std::string("[Options]\nDevice=0\n[SatInfo]\n") + c.keys + "\n[Scan0]\nPol=H\nStep=10\n");

        const WholeRun run = RunProgram(config, dir.path().string());
        const std::string header = "Vesker ver.1.1.0.1338-commited\nConfig name: <dir>/Vesker.ini\n";
        const std::string outcome = c.outcome;
        if (outcome.rfind("window ", 0) == 0) {
            const std::string bounds = outcome.substr(7);
            const std::string from = "From " + bounds.substr(0, bounds.find('.')) + " to " +
                                     bounds.substr(bounds.rfind('.') + 1) + " Mhz, Step 10 Mhz, Horizontal";
            EXPECT_EQ(0, run.exit_code);
            EXPECT_NE(std::string::npos, run.console.find(from)) << run.console.substr(0, 300);
        } else if (outcome.rfind("Invalid LNB", 0) == 0) {
            EXPECT_EQ(-1, run.exit_code);
            EXPECT_EQ(header + outcome, run.console);
            EXPECT_TRUE(Script().log.empty()) << "no library call for a rejected LNB";
        } else {
            EXPECT_EQ(0, run.exit_code);
            EXPECT_NE(std::string::npos, run.console.find("Scan interval 0\n" + outcome)) << run.console;
        }
        RestoreSystemPlatform();
    }
}

TEST(LnbTest, LibrarySettingsChangeEveryWindowUnchecked) {
    InstallFakePlatform();
    TempDir dir;
    const std::string config = dir.Write("Vesker.ini", "[SatInfo]\nLOF=10750\n");
    const TunerLimits narrow{1000, 2000, 6000, 21000};
    LnbSettings lnb{};
    ASSERT_TRUE(CheckLnb(narrow, config.c_str(), &lnb));
    EXPECT_EQ(11750u, lnb.window_start_mhz);
    EXPECT_EQ(12750u, lnb.window_stop_mhz);
    EXPECT_EQ(10750u, lnb.lof1_mhz);
    EXPECT_EQ(0u, lnb.lof2_mhz);
    EXPECT_EQ(0u, lnb.lofsw_mhz);

    // S is 3000 now: an oscillator of 3050 passes the lower bound.
    const std::string low = dir.Write("Low.ini", "[SatInfo]\nLOF=3050\n");
    ASSERT_TRUE(CheckLnb(narrow, low.c_str(), &lnb));
    EXPECT_EQ(1050u, lnb.window_start_mhz);
    EXPECT_EQ(2050u, lnb.window_stop_mhz);
    RestoreSystemPlatform();
}

}  // namespace
