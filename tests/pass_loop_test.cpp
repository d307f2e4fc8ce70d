// Whole runs through the pass loop: the walk over the scan sections and its validation,
// the pass totals and sort, repeated passes, the stop request and a failing search.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/exit_codes.h"
#include "support/fake_platform.h"
#include "support/scripted_tuner.h"
#include "support/whole_run.h"

namespace {

const std::string kRule(80, '-');

class PassLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallFakePlatform();
        ResetScriptedTuner();
    }
    void TearDown() override { RestoreSystemPlatform(); }

    WholeRun Run(const std::string &config) {
        const std::string dir = dir_.path().string();
        const std::string path = dir_.Write(
            "Vesker.ini", "[Options]\nDevice=0\nReportDir=" + dir + "\nTPDir=" + dir + "\n" + config);
        return RunProgram(path, dir);
    }

    TempDir dir_;
};

TransponderRecord Width(TransponderRecord record, unsigned width_khz) {
    record.carrier_width = width_khz;
    return record;
}

TEST_F(PassLoopTest, TwoIntervalsWithBandChangeDuplicatesAndThresholds) {
    Script().searches = {
        // Scan0, horizontal, from 11690 in 5 MHz steps.
        {1, Width(Carrier(11692000, 0, 27500000, 1, 1, 3, 5.0), 37125)},  // tie on MinSNR1: accepted
        {1, Carrier(11692900, 0, 27500000)},                                // 900 kHz away: duplicate
        {1, Width(Carrier(11725000, 0, 22000000, 2, 2, 2, 6.9), 29700)},  // DVB-S2 below MinSNR2
        // Scan1, vertical, from 11690 in 10 MHz steps.
        {1, Width(Carrier(11692000, 1, 27500000, 2, 5, 3, 7.0), 37125)},  // other polarization, tie on MinSNR2
        {1, Width(Carrier(11740000, 1, 30001000, 1, 1, 5, 12.0), 40500)},  // above the 30000 kS/s ceiling
    };
    const WholeRun run = Run(
        "MinSNR1=5\nMinSNR2=7\n[SatInfo]\nDiSEqC=2\n"
        "[Scan0]\nPol=H\nStart=11690\nStop=11725\nStep=5\n"
        "[Scan1]\nPol=vertical\nStart=11690\nStop=11750\nStep=10\nMaxSR=30000\n"
        "[Scan2]\nPol=X\n");
    EXPECT_EQ(0, run.exit_code);
    ExpectGolden("pass_two_intervals.txt", run.console);
    EXPECT_EQ((std::vector<std::string>{"SendDiSEqC(2,F4)", "SendDiSEqC(2,F6)", "SendDiSEqC(2,F7)",
                                        "SendDiSEqC(2,F4)", "SendDiSEqC(2,F5)"}),
              Script().Calls("SendDiSEqC"));
    EXPECT_EQ(1, Script().stop_calls);
    // Both carriers at 11692 MHz are listed, sorted next to each other.
    const std::string list = ReadFileBytes(dir_.File("0000.ini"));
    EXPECT_NE(std::string::npos, list.find("0=2\r\n")) << list;
    EXPECT_NE(std::string::npos, list.find("1=11692,")) << list;
    EXPECT_NE(std::string::npos, list.find("2=11692,")) << list;
}

TEST_F(PassLoopTest, EachInvalidSectionEndsTheWalkWithItsMessage) {
    struct Case {
        const char *section;   // the keys of Scan1
        const char *expected;  // what follows the end of interval 0's footer
    };
    const std::vector<Case> cases = {
        {"Pol=horiz", "Invalid scan params: Pol=horiz !\n"},
        {"Pol=Circular", "Invalid scan params: Pol=circular !\n"},
        {"Pol=LH", "Invalid scan params: Pol=lh !\n"},
        {"Pol=HORIZONTALXYZABCDE", "Invalid scan params: Pol=horizontalxyzab !\n"},
        {"Pol=H\nStart=10699", "Scan interval 1\nInvalid scan params: Start=10699Mhz < 10700Mhz !\n"},
        {"Pol=H\nStop=12751", "Scan interval 1\nInvalid scan params: Stop=12751Mhz > 12750Mhz !\n"},
        {"Pol=H\nStart=11000\nStop=11000", "Scan interval 1\nInvalid scan params: StartFreq >= StopFreq !\n"},
        {"Pol=H\nStart=-1", "Scan interval 1\nInvalid scan params: StartFreq >= StopFreq !\n"},
        {"Pol=H\nStop=-1", "Scan interval 1\nInvalid scan params: Stop=4294967295Mhz > 12750Mhz !\n"},
        {"Pol=H\nStep=11", "Scan interval 1\nInvalid scan params: Step > 10Mhz !\n"},
        {"Pol=H\nStep=-1", "Scan interval 1\nInvalid scan params: Step > 10Mhz !\n"},
        {"Pol=H\nStep=0", "Scan interval 1\nInvalid scan params: Step < 1Mhz !\n"},
        {"Pol=H\nMinSR=99", "Scan interval 1\nInvalid scan params: MinSR=99, allowed only 100-100000 KS !\n"},
        {"Pol=H\nMinSR=100001", "Scan interval 1\nInvalid scan params: MinSR=100001, allowed only 100-100000 KS !\n"},
        {"Pol=H\nMinSR=-5", "Scan interval 1\nInvalid scan params: MinSR=4294967291, allowed only 100-100000 KS !\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.section);
        SetUp();
        Script().searches = {{1, Carrier(10700000, 0, 27500000)}};
        const WholeRun run =
            Run(std::string("[Scan0]\nPol=H\nStart=10700\nStop=10701\n[Scan1]\n") + c.section + "\n[Scan2]\nPol=V\n");
        EXPECT_EQ(0, run.exit_code);
        const std::string after_footer = kRule + "\n" + c.expected + "Total Scan Time = 0.000s\n";
        EXPECT_NE(std::string::npos, run.console.find(after_footer)) << run.console;
        EXPECT_NE(std::string::npos, run.console.find("Total tranponders found = 1\n")) << "interval 0 is reported";
        EXPECT_EQ(std::string::npos, run.console.find("Scan interval 2")) << "the walk ended";
    }
}

TEST_F(PassLoopTest, AcceptedBoundsAndSpellings) {
    struct Case {
        const char *section;
        const char *heading;
    };
    const std::vector<Case> cases = {
        {"Pol=H", "From 10700 to 12750 Mhz, Step 5 Mhz, Horizontal, Minimal SR 1000 KS, Maximal SR 100000 KS"},
        {"Pol=Horizontal\nStep=10\nStart=10700\nStop=12750", "From 10700 to 12750 Mhz, Step 10 Mhz, Horizontal,"},
        {"Pol=VER\nMinSR=100\nMaxSR=50", "Vertical, Minimal SR 100 KS, Maximal SR 50 KS"},
        {"Pol=Left\nMinSR=100000", "Left, Minimal SR 100000 KS"},
        {"Pol=R\nStep=1", "Step 1 Mhz, Right"},
        {"Pol=0", "Horizontal"}, {"Pol=1", "Vertical"}, {"Pol=2", "Left"}, {"Pol=3", "Right"},
        {"Pol=hor", "Horizontal"}, {"Pol=v", "Vertical"}, {"Pol=l", "Left"}, {"Pol=right", "Right"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.section);
        SetUp();
        const WholeRun run = Run(std::string("[Scan0]\n") + c.section + "\n");
        EXPECT_NE(std::string::npos, run.console.find(std::string("Scan interval 0\nFrom ")));
        EXPECT_NE(std::string::npos, run.console.find(c.heading)) << run.console.substr(0, 400);
        EXPECT_EQ(0, run.exit_code);
    }
}

// MaxSR is scanned as configured; one below MinSR, zero or negative gets a line on standard
// error, once in a run of repeated passes.
TEST_F(PassLoopTest, UnlikelyMaxSymbolRateIsNamedOnStandardError) {
    const struct {
        const char *max_sr;
        const char *error;
    } rows[] = {
        {"50", "Scan0: MaxSR=50 is below MinSR=100: every carrier this interval finds above 50 kS/s is dropped\n"},
        {"0", "Scan0: MaxSR=0 is below MinSR=100: every carrier this interval finds above 0 kS/s is dropped\n"},
        {"-5", "Scan0: MaxSR=-5 is negative and reads as 4294967291 kS/s: no carrier is dropped for its symbol rate\n"},
        {"100", ""},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.max_sr);
        SetUp();
        Fake().stop_at_poll = 3;  // each pass polls once in its one-step interval, then between passes
        const WholeRun run = Run(std::string("Loop=2\n[Scan0]\nPol=H\nStart=10700\nStop=10701\nMinSR=100\nMaxSR=") +
                                 row.max_sr + "\n");
        EXPECT_NE(std::string::npos, run.console.find("---------- Pass 2 ----------\n"));
        EXPECT_EQ(std::string("Tuner library (built in), device 0: Scripted tuner\n") + row.error, Fake().errors);
    }
}

TEST_F(PassLoopTest, SectionsMustBeNumberedWithoutGaps) {
    const WholeRun run = Run("[Scan0]\nPol=H\nStart=10700\nStop=10701\n[Scan2]\nPol=V\n");
    EXPECT_EQ(1u, Script().Calls("Vesker").size());
    EXPECT_EQ(std::string::npos, run.console.find("Scan interval 2"));
    EXPECT_NE(std::string::npos, run.console.find("Transponders not found !\n\n\n"));
}

TEST_F(PassLoopTest, NumberedPassesStoppedDuringTheSecond) {
    Script().band = BandOf({Carrier(10702000, 0, 27500000), Carrier(10712000, 0, 27500000)});
    Fake().stop_at_poll = 3;  // each pass polls once in its one-step interval, once after it
    const WholeRun run = Run("Loop=1\n[Scan0]\nPol=H\nStart=10700\nStop=10710\nStep=5\n");
    EXPECT_EQ(0, run.exit_code);
    EXPECT_EQ(1, Script().stop_calls);
    EXPECT_NE(std::string::npos, run.console.find("---------- Pass 1 ----------\n"));
    EXPECT_NE(std::string::npos, run.console.find("---------- Pass 2 ----------\n"));
    EXPECT_EQ(std::string::npos, run.console.find("---------- Pass 3"));
    EXPECT_NE(std::string::npos, run.console.find("Terminated on user request ...\n"));
    EXPECT_NE("", ReadFileBytes(dir_.File("0000_1.ini")));
    EXPECT_NE("", ReadFileBytes(dir_.File("0000_2.ini")));
    EXPECT_NE("", ReadFileBytes(dir_.File("0000_2.txt")));
}

TEST_F(PassLoopTest, RepeatedPassesThatScanNothingEndAfterOne) {
    const WholeRun run = Run("Loop=2\n");
    EXPECT_EQ(0, run.exit_code);
    EXPECT_EQ(std::string::npos, run.console.find("Pass 2"));
    EXPECT_NE(std::string::npos,
              run.console.find("---------- Pass 1 ----------\nTotal Scan Time = 0.000s\nTransponders not found !\n\n\n"));
}

TEST_F(PassLoopTest, RepeatedPassesEndOnAStopBetweenPasses) {
    Fake().stop_at_poll = 3;  // each pass polls once in its one-step interval, then between passes
    const WholeRun run = Run("Loop=2\n[Scan0]\nPol=H\nStart=10700\nStop=10701\n");
    EXPECT_EQ(0, run.exit_code);
    EXPECT_NE(std::string::npos, run.console.find("---------- Pass 2 ----------\n"));
    EXPECT_EQ(std::string::npos, run.console.find("Pass 3"));
}

// A pass that did not complete holds part of the band. Where every pass writes the same two
// names (Loop 2), it keeps the files of the last complete pass; the first pass, or numbered
// passes (Loop 1), write their own.
TEST_F(PassLoopTest, StoppedPassNeverReplacesACompleteOne) {
    struct Row {
        const char *config;
        const char *stopped_pass_list;  // the list left where the stopped pass would write
        bool kept_line;
    };
    const Row rows[] = {
        {"Loop=2\n", "0000.ini", true},
        {"Loop=1\n", "0000_2.ini", false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.config);
        InstallFakePlatform();
        ResetScriptedTuner();
        std::filesystem::remove(dir_.File("0000.ini"));
        Script().band = BandOf({Width(Carrier(10702000, 0, 27500000), 2000), Width(Carrier(10712000, 0, 27500000), 2000)});
        // Pass 1 polls after each of its two steps and between passes; pass 2 stops at its first.
        Fake().stop_at_poll = 4;
        const WholeRun run = Run(std::string(row.config) + "[Scan0]\nPol=H\nStart=10700\nStop=10720\nStep=10\n");
        EXPECT_EQ(0, run.exit_code);
        const std::string list = ReadFileBytes(dir_.File(row.stopped_pass_list));
        EXPECT_EQ(row.kept_line, list.find("2=10712,H,") != std::string::npos) << list;
        EXPECT_EQ(row.kept_line,
                  run.console.find("Total tranponders found = 1\nPass 2 did not complete: the files of pass 1 are kept\n") !=
                      std::string::npos)
            << run.console;
    }
}

// Ctrl+C, SIGTERM or SIGHUP before the first step (during StartWait or a dish pause): no
// search, the device stopped once, exit 0. At the prompt the device is never started.
TEST_F(PassLoopTest, StopRequestedBeforeTheFirstStep) {
    Fake().stop_at_sleep = 1;
    WholeRun run = Run("StartWait=3\n[Scan0]\nPol=H\nStart=10700\nStop=10701\n");
    EXPECT_EQ(0, run.exit_code);
    EXPECT_TRUE(Script().Calls("Vesker").empty());
    EXPECT_EQ(1, Script().stop_calls);
    EXPECT_NE(std::string::npos, run.console.find("Terminated on user request ...\nTotal Scan Time = 0.000s\n"))
        << run.console;

    ResetScriptedTuner();
    Fake().stop_requested = true;
    const std::string path = dir_.Write("prompt.ini", "[Scan0]\nPol=H\n");
    run = RunProgram(path, dir_.path().string());
    EXPECT_EQ(0, run.exit_code);
    EXPECT_EQ(0, Script().start_calls);
    EXPECT_EQ(std::string::npos, run.console.find("Device number: "));
}

// A search that never returns: the stop handling's thread saves what the pass accepted so far,
// sorted, while the main path is still inside the library, and the run ends cut short.
TEST_F(PassLoopTest, CutShortSaveWritesWhatThePassAccepted) {
    std::vector<TransponderRecord> carriers = {Carrier(10730000, 0, 27500000), Carrier(10710000, 0, 22000000)};
    std::string saved_list;
    std::string saved_console;
    Script().band = [&](unsigned frequency_khz, unsigned, unsigned, TransponderRecord *record) {
        if (frequency_khz >= 10740000 && saved_console.empty()) {  // the hanging search
            Fake().save_running_pass();
            saved_list = ReadFileBytes(dir_.File("0000.ini"));
            saved_console = Fake().console;
        }
        for (const TransponderRecord &carrier : carriers) {
            if (carrier.frequency / 10000 == frequency_khz / 10000) *record = carrier;
        }
        return 1;
    };
    Run("[Scan0]\nPol=H\nStart=10710\nStop=10800\nStep=10\n");
    ASSERT_NE(nullptr, Fake().save_running_pass);
    EXPECT_NE(std::string::npos, saved_console.find("10758 Mhz ... \nThe tuner library did not return, the run is cut "
                                                    "short !\nTotal Scan Time = 0.000s\nTotal tranponders found = 2\n"))
        << saved_console;
    EXPECT_NE(std::string::npos, saved_list.find("0=2\r\n1=10710,H,22000,")) << saved_list;
    EXPECT_NE(std::string::npos, saved_list.find("2=10730,H,27500,")) << saved_list;
}

TEST_F(PassLoopTest, FailedSearchKeepsEverythingFoundBeforeIt) {
    // Four intervals; the search fails in the third, after it found one carrier there.
    Script().searches = {
        {1, Carrier(10700000, 0, 27500000)}, {1, Carrier(11000000, 1, 27500000)},
        {1, Carrier(11300000, 0, 22000000)}, {0, TransponderRecord{}},
    };
    const WholeRun run = Run(
        "[Scan0]\nPol=H\nStart=10700\nStop=10701\n[Scan1]\nPol=V\nStart=11000\nStop=11001\n"
        "[Scan2]\nPol=H\nStart=11300\nStop=11400\n[Scan3]\nPol=V\nStart=12000\nStop=12001\n");
    EXPECT_EQ(-5, run.exit_code);
    EXPECT_EQ(1, Script().stop_calls);
    EXPECT_NE(std::string::npos, run.console.find("Mhz ... error !\nTotal Scan Time = ")) << run.console;
    EXPECT_NE(std::string::npos, run.console.find("Total tranponders found = 3\n"));
    EXPECT_EQ(std::string::npos, run.console.find("Scan interval 3"));
    const std::string list = ReadFileBytes(dir_.File("0000.ini"));
    EXPECT_NE(std::string::npos, list.find("1=10700,H,")) << list;
    EXPECT_NE(std::string::npos, list.find("2=11000,V,")) << list;
    EXPECT_NE(std::string::npos, list.find("3=11300,H,")) << list;
}

TEST_F(PassLoopTest, SortByUnsignedFrequency) {
    Script().searches = {
        {1, Carrier(12000000, 0, 27500000)}, {1, Carrier(10800000, 0, 27500000)},
        {1, Carrier(11500000, 1, 27500000)},
    };
    const WholeRun run = Run(
        "[Scan0]\nPol=H\nStart=10700\nStop=10701\n[Scan1]\nPol=H\nStart=10700\nStop=10701\n"
        "[Scan2]\nPol=V\nStart=10700\nStop=10701\n");
    EXPECT_NE(std::string::npos, run.console.find("Total tranponders found = 3\n"));
    const std::string list = ReadFileBytes(dir_.File("0000.ini"));
    EXPECT_LT(list.find("=10800,H"), list.find("=11500,V")) << list;
    EXPECT_LT(list.find("=11500,V"), list.find("=12000,H")) << list;
}

}  // namespace

namespace {

// One whole run per list format: the files a scan writes, byte for byte.
TEST_F(PassLoopTest, WholeRunPerListFormat) {
    TransponderRecord multistream = Carrier(12188000, 0, 27500000, 2, 2, 2, 9.3);
    multistream.stream_count = 3;
    multistream.stream_ids[0] = 1;
    multistream.stream_ids[1] = 2;
    multistream.stream_ids[2] = 5;
    multistream.frame_length = 1;
    TransponderRecord circular = Carrier(11034000, 3, 22000000, 1, 1, 5, 11.2);
    TransponderRecord sixteen = Carrier(11479000, 1, 30000000, 2, 3, 4, 12.6);
    sixteen.rolloff = 3;
    const std::vector<TransponderRecord> band = {Carrier(10744000, 0, 22000000, 1, 1, 5, 10.1), circular, sixteen,
                                                 Carrier(11778123, 1, 27499999, 2, 2, 3, 9.04), multistream};
    const struct {
        int format;
        const char *list;
    } formats[] = {{0, "0192.ini"}, {1, "0192.ini"}, {2, "0192.ini"}, {3, "0192.ini"},
                   {4, "0192.ini"}, {5, "S19.2E.ini"}, {6, "0192.xml"}};
    for (const auto &f : formats) {
        SCOPED_TRACE(f.format);
        SetUp();
        Script().band = BandOf(band);
        const WholeRun run = Run("IniFormat=" + std::to_string(f.format) +
                                 "\nInfoFormat=7\n[SatInfo]\nSatPos=192\nSatName=Test & Sat\nDiSEqC=1\n"
                                 "[Scan0]\nPol=H\nStep=10\n[Scan1]\nPol=V\nStep=10\n[Scan2]\nPol=R\nStep=10\n");
        EXPECT_EQ(0, run.exit_code);
        const std::string report = f.format == 5 ? "S19.2E.txt" : "0192.txt";
        ExpectGolden("run_format_" + std::to_string(f.format) + "_report.txt", ReadFileBytes(dir_.File(report)));
        ExpectGolden("run_format_" + std::to_string(f.format) + "_list" + f.list + "", ReadFileBytes(dir_.File(f.list)));
    }
}

}  // namespace

namespace {

// A report that cannot be written prints "error !", says why on standard error, and the run
// goes on to the list, then ends with its own exit code: the results exist only on the
// console. The list's name is a link planted towards a device: it is replaced, not followed.
TEST_F(PassLoopTest, WriterFailuresPrintErrorAndEndWithTheirOwnCode) {
    std::error_code failed;
    std::filesystem::create_symlink("/dev/null", dir_.path() / "0000.ini", failed);
    if (failed) GTEST_SKIP() << "cannot create a link here";
    Script().searches = {{1, Carrier(10700000, 0, 27500000)}};
    const std::string missing = (dir_.path() / "missing").string();
    const std::string path = dir_.Write("Vesker.ini", "[Options]\nDevice=0\nReportDir=" + missing + "\nTPDir=" +
                                                          dir_.path().string() +
                                                          "\n[Scan0]\nPol=H\nStart=10700\nStop=10701\n");
    const WholeRun run = RunProgram(path, dir_.path().string());
    EXPECT_EQ(kExitNotWritten, run.exit_code);
    EXPECT_NE(std::string::npos, run.console.find("Report detailed transponder info to <dir>/missing/0000.txt ...\n"
                                                  "error !\n"
                                                  "Store transponder info in <dir>/0000.ini ...\n\n\n"))
        << run.console;
    // The missing directory is said before the first search, and the failed write after it.
    const std::string &errors = Fake().errors;
    EXPECT_EQ(0u, errors.find(path + ": ReportDir " + missing + ": ")) << errors;
    const std::size_t failure = errors.find("Can't write " + missing + "/0000.txt: ");
    EXPECT_NE(std::string::npos, failure) << errors;
    EXPECT_EQ(std::string::npos, errors.find("Can't write", failure + 1)) << errors;
    EXPECT_LT(errors.find("Tuner library"), failure) << errors;
    EXPECT_FALSE(std::filesystem::is_symlink(dir_.path() / "0000.ini"));
    EXPECT_NE(std::string::npos, ReadFileBytes(dir_.File("0000.ini")).find("[DVB]")) << "a whole list";
}

}  // namespace

namespace {

// A whole run with the band map on: the picture of each pass beside its report, spanning
// the scanned intervals, byte for byte.
TEST_F(PassLoopTest, WholeRunWithBandMap) {
    TransponderRecord weak = Carrier(11303000, 0, 27500000, 1, 1, 3, 5.3);  // below its 5.46 dB
    weak.carrier_width = 37125;
    TransponderRecord tight = Carrier(11778123, 1, 27499999, 2, 2, 3, 9.04);  // 1.1 dB
    tight.carrier_width = 37125;
    TransponderRecord strong = Carrier(12188000, 3, 30000000, 2, 5, 2, 11.6);  // 8.5 dB
    strong.carrier_width = 40500;
    Script().band = BandOf({weak, tight, strong});
    Fake().stop_at_poll = 200;  // during the second pass
    const WholeRun run = Run("IniFormat=5\nLoop=1\nBandMap=1\n[SatInfo]\nSatPos=192\nSatName=Test & Sat\n"
                             "[Scan0]\nPol=H\nStart=11000\nStop=11500\nStep=10\n"
                             "[Scan1]\nPol=V\nStart=11500\nStop=12000\nStep=10\n"
                             "[Scan2]\nPol=R\nStart=12000\nStop=12400\nStep=10\n");
    EXPECT_EQ(0, run.exit_code);
    EXPECT_NE(std::string::npos, run.console.find("Store transponder info in <dir>/S19.2E_1.ini ...\n"
                                                  "Draw the band map to <dir>/S19.2E_1.svg ...\n\n\n"))
        << run.console;
    const std::string picture = ReadFileBytes(dir_.File("S19.2E_1.svg"));
    EXPECT_NE(std::string::npos, picture.find("11000 to 12400 MHz"));
    ExpectGolden("run_band_map.svg", picture);
}

}  // namespace

namespace {

// A pass stopped in its second interval: the JSON says so and how far each interval went, and
// the band map says where the pass stopped and greys the rest of that lane.
TEST_F(PassLoopTest, StoppedPassInTheFurtherListsAndTheBandMap) {
    Script().band = BandOf({Carrier(10720000, 0, 27500000), Carrier(10730000, 1, 27500000)});
    Fake().stop_at_poll = 15;  // in the second interval, after the step past its carrier
    const WholeRun run = Run("BandMap=1\nExtraLists=json\n[Scan0]\nPol=H\nStart=10700\nStop=10800\nStep=10\n"
                             "[Scan1]\nPol=V\nStart=10700\nStop=10800\nStep=10\n");
    EXPECT_EQ(0, run.exit_code);
    const std::string json = ReadFileBytes(dir_.File("0000.json"));
    EXPECT_NE(std::string::npos, json.find("\"stopped\": true")) << json;
    EXPECT_NE(std::string::npos, json.find("\"stop_mhz\": 10800, \"step_mhz\": 10, \"min_symbol_rate_ks\": 1000, "
                                           "\"max_symbol_rate_ks\": 100000, \"reached_mhz\": 10800}"))
        << json;
    EXPECT_NE(std::string::npos, json.find("\"reached_mhz\": 10768}")) << json;
    const std::string map = ReadFileBytes(dir_.File("0000.svg"));
    EXPECT_NE(std::string::npos, map.find(", stopped at 10768 MHz</text>")) << map;
    EXPECT_NE(std::string::npos, map.find("fill=\"#ececec\"")) << map;
}

}  // namespace
