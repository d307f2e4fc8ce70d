// Fault injection over whole runs: each of the seven library functions failing at each
// point where it is called. Every case checks the message, the exit code, that the device
// is stopped exactly once after a successful start (and never otherwise), and that the
// report and the list hold every record accepted before the fault. Also bounded work: a
// full record array, carriers reported below the step, repeated passes and the prompt
// with nothing to read.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/fake_platform.h"
#include "support/scripted_tuner.h"
#include "support/whole_run.h"

namespace {

class FaultInjectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallFakePlatform();
        ResetScriptedTuner();
    }
    void TearDown() override { RestoreSystemPlatform(); }

    // `config` continues the [Options] section that names the device and the output dirs.
    static WholeRun Run(const std::string &config, const TempDir &dir) {
        const std::string path = dir.path().string();
        return RunProgram(
            dir.Write("Vesker.ini", "[Options]\nDevice=0\nReportDir=" + path + "\nTPDir=" + path + "\n" + config));
    }
    WholeRun Run(const std::string &config) { return Run(config, dir_); }

    TempDir dir_;
};

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The transponders of a list of format 0 as "MHz,pol": its [DVB] lines "N=freq,pol,...",
// checked against the count line "0=N".
std::vector<std::string> Listed(const std::string &list) {
    std::vector<std::string> entries;
    bool in_dvb = false;
    long count = -1;
    for (const std::string &line : Lines(list)) {
        if (!line.empty() && line[0] == '[') {
            in_dvb = line == "[DVB]";
            continue;
        }
        const auto equals = line.find('=');
        if (!in_dvb || equals == std::string::npos) continue;
        if (line.compare(0, equals, "0") == 0) {
            count = std::strtol(line.c_str() + equals + 1, nullptr, 10);
            continue;
        }
        EXPECT_EQ(std::to_string(entries.size() + 1), line.substr(0, equals)) << "entries numbered from 1";
        const std::string value = line.substr(equals + 1);
        entries.push_back(value.substr(0, value.find(',', value.find(',') + 1)));
    }
    EXPECT_EQ(static_cast<long>(entries.size()), count) << "the count line of the list";
    return entries;
}

// The transponders of a report as "MHz,pol" from its "TP N:" blocks.
std::vector<std::string> Reported(const std::string &report) {
    std::vector<std::string> entries;
    std::string frequency;
    for (const std::string &line : Lines(report)) {
        if (line.rfind("TP N: ", 0) == 0) {
            EXPECT_EQ("TP N: " + std::to_string(entries.size() + 1), line);
        } else if (line.rfind("Frequency: ", 0) == 0) {
            frequency = line.substr(11, line.find('.') - 11);
        } else if (line.rfind("Polarization: ", 0) == 0) {
            entries.push_back(frequency + "," + line.substr(14, 1));
        }
    }
    return entries;
}

// The file names announced by the output steps of a run, in order.
std::vector<std::string> Announced(const std::string &console, const std::string &lead) {
    std::vector<std::string> names;
    for (const std::string &line : Lines(console)) {
        if (line.rfind(lead, 0) == 0) names.push_back(line.substr(lead.size(), line.size() - lead.size() - 4));
    }
    return names;
}

// Checks that each pass's report and list hold exactly `passes[i]`.
void ExpectFiles(const std::string &console, const std::vector<std::vector<std::string>> &passes) {
    const auto reports = Announced(console, "Report detailed transponder info to ");
    const auto lists = Announced(console, "Store transponder info in ");
    ASSERT_EQ(passes.size(), reports.size()) << console;
    ASSERT_EQ(passes.size(), lists.size()) << console;
    for (std::size_t pass = 0; pass < passes.size(); ++pass) {
        SCOPED_TRACE("pass " + std::to_string(pass + 1));
        EXPECT_EQ(passes[pass], Listed(ReadFileBytes(lists[pass])));
        EXPECT_EQ(passes[pass], Reported(ReadFileBytes(reports[pass])));
    }
}

// The device is stopped once, as the last library call, when it was started; else never.
void ExpectStoppedOnce(bool started) {
    const auto &log = Script().log;
    EXPECT_EQ(started ? 1 : 0, Script().stop_calls);
    if (started) {
        ASSERT_FALSE(log.empty());
        EXPECT_EQ("StopDVB", log.back());
    }
}

// Each text in the console, in this order.
void ExpectInOrder(const std::string &console, const std::vector<std::string> &texts) {
    std::size_t at = 0;
    for (const auto &text : texts) {
        const std::size_t found = console.find(text, at);
        ASSERT_NE(std::string::npos, found) << "missing \"" << text << "\" in\n" << console;
        at = found + text.size();
    }
}

// A carrier exactly at a step frequency and of no width, so that an interval keeps its grid
// (the next step starts a step width above it) whether or not something locks.
TransponderRecord At(unsigned mhz, int polarization) {
    TransponderRecord record = Carrier(mhz * 1000u, polarization, 27500000);
    record.carrier_width = 0;
    return record;
}

// What a failing search leaves in the slot: a plausible carrier that must never be kept.
const TransponderRecord kFailedSlot = At(11111, 0);

// Four intervals of three steps each (10 MHz apart):
//   searches 1-3 Scan0 H 10700..10720, 4-6 Scan1 V 11000..11020,
//   searches 7-9 Scan2 H 11300..11320, 10-12 Scan3 V 12000..12020.
const char kFourIntervals[] =
    "[Scan0]\nPol=H\nStart=10700\nStop=10720\nStep=10\n[Scan1]\nPol=V\nStart=11000\nStop=11020\nStep=10\n"
    "[Scan2]\nPol=H\nStart=11300\nStop=11320\nStep=10\n[Scan3]\nPol=V\nStart=12000\nStop=12020\nStep=10\n";
// What each search of one pass over them finds: nothing, or a carrier at its step.
const std::vector<ScriptedSearch> kFourIntervalSearches = {
    {1, At(10700, 0)}, {1, {}},           {1, At(10720, 0)},  // Scan0
    {1, {}},           {1, At(11010, 1)}, {1, {}},            // Scan1
    {1, At(11300, 0)}, {1, At(11310, 0)}, {1, {}},            // Scan2
    {1, {}},           {1, {}},           {1, At(12020, 1)},  // Scan3
};
// The same found by a whole pass, sorted.
const std::vector<std::string> kFourIntervalsFound = {"10700,H", "10720,H", "11010,V",
                                                      "11300,H", "11310,H", "12020,V"};

// `passes` passes over the four intervals, the search numbered `fail_at` (1-based over the
// run) failing; 0 fails none.
void ScriptFourIntervals(int passes, int fail_at) {
    Script().searches.clear();
    for (int pass = 0; pass < passes; ++pass) {
        for (const auto &search : kFourIntervalSearches) Script().searches.push_back(search);
    }
    if (fail_at > 0) Script().searches[static_cast<std::size_t>(fail_at - 1)] = {0, kFailedSlot};
}

// One step in Scan0 that finds one carrier: what the dish cases scan.
const char kOneStep[] = "[Scan0]\nPol=H\nStart=10700\nStop=10701\n";
const std::vector<std::vector<std::string>> kOneCarrier = {{"10700,H"}};

void LockOneCarrier() { Script().searches = {{1, At(10700, 0)}}; }

struct FaultCase {
    std::string name;
    std::string config;                 // continues [Options]
    std::function<void()> arrange;      // sets up the scripted tuner
    int exit_code;
    std::vector<std::string> messages;  // in the console, in this order
    bool started;                       // StartDVBEx succeeded: StopDVB once at the end
    std::vector<std::vector<std::string>> files;  // per pass with output: the transponders
    const char *counted_call;           // a call whose number is checked, or null
    std::size_t call_count;
    std::vector<std::uint32_t> sleeps;  // every pause of the run, in ms
};

// The raw DiSEqC messages: each failing at its first send and at each repetition.
std::vector<FaultCase> RawCommandCases() {
    struct Raw {
        const char *name;
        const char *keys;
    };
    const Raw raws[] = {
        {"DiSEqC 1.1", "DiSEqC11=3\n"},
        {"DiSEqC 1.2", "DiSEqC12=5\n"},
        {"USALS", "USALS=1\nSatPos=192\n"},
    };
    struct Failure {
        const char *name;
        std::vector<int> results;
        std::vector<std::uint32_t> sleeps;  // Wait=3 is configured
    };
    const Failure failures[] = {
        {"first send", {0}, {}},
        {"first repetition", {1, 0}, {100, 3000}},
        {"second repetition", {1, 1, 0}, {100, 100, 3000}},
    };
    std::vector<FaultCase> cases;
    for (const auto &raw : raws) {
        for (const auto &failure : failures) {
            const std::vector<int> results = failure.results;
            cases.push_back({std::string("SendDiseqCmd fails at the ") + failure.name + " of " + raw.name,
                             std::string("Lat=515\nLong=0\n[SatInfo]\nWait=3\n") + raw.keys + kOneStep,
                             [results] {
                                 LockOneCarrier();
                                 Script().send_command_results.assign(results.begin(), results.end());
                             },
                             0, {"SendDiseqCmd failed !\n", "Scan interval 0\n"}, true, kOneCarrier,
                             "SendDiseqCmd", results.size(), failure.sleeps});
        }
    }
    return cases;
}

std::vector<FaultCase> AllCases() {
    std::vector<FaultCase> cases = {
        {"CheckForDVBEx returns 0", kOneStep, [] { Script().check_result = 0; }, -2, {"No devices !\n"}, false, {},
         "StartDVBEx", 0, {}},
        {"StartDVBEx returns 0", kOneStep, [] { Script().start_result = 0; }, -3, {"Can't start device 0 !\n"},
         false, {}, "Vesker", 0, {}},
        {"GetCaps without blind search", kOneStep, [] { Script().caps = 0x50; }, -4, {"Vesker not supported !\n"},
         true, {}, "Vesker", 0, {}},
        {"GetCaps without DiSEqC: the switch at start-up and per step", std::string("[SatInfo]\nDiSEqC=2\n") + kOneStep,
         [] {
             LockOneCarrier();
             Script().caps = 0x210;
         },
         0, {"SendDiSEqC (1.0) not supported!\n", "Scan interval 0\n"}, true, kOneCarrier, "SendDiSEqC", 0, {}},
        {"GetCaps without DiSEqC: DiSEqC 1.1 and 1.2", std::string("[SatInfo]\nDiSEqC11=2\nDiSEqC12=9\n") + kOneStep,
         [] {
             LockOneCarrier();
             Script().caps = 0x210;
         },
         0, {"SendDiseqCmd not supported !\n", "SendDiseqCmd not supported !\n", "Scan interval 0\n"}, true,
         kOneCarrier, "SendDiseqCmd", 0, {}},
        {"GetCaps without tone burst", std::string("[SatInfo]\nToneBurst=1\n") + kOneStep,
         [] {
             LockOneCarrier();
             Script().caps = 0x240;
         },
         0, {"SendDiSEqC (ToneBurst) not supported!\n", "Scan interval 0\n"}, true, kOneCarrier, "SendDiSEqC", 0,
         {}},
        {"SendDiSEqC kind 2 fails at start-up", std::string("[SatInfo]\nDiSEqC=2\n") + kOneStep,
         [] {
             LockOneCarrier();
             Script().send_diseqc_results = {0};
         },
         0, {"SendDiSEqC failed !\n", "Scan interval 0\n"}, true, kOneCarrier, "SendDiSEqC", 2, {}},
        {"SendDiSEqC kind 1 fails at start-up", std::string("[SatInfo]\nToneBurst=2\n") + kOneStep,
         [] {
             LockOneCarrier();
             Script().send_diseqc_results = {0};
         },
         0, {"SendDiSEqC failed !\n", "Scan interval 0\n"}, true, kOneCarrier, "SendDiSEqC(1,01)", 1, {}},
        {"SendDiSEqC fails at a step", std::string("[SatInfo]\nDiSEqC=2\n") + kOneStep,
         [] {
             LockOneCarrier();
             Script().send_diseqc_results = {1, 0};
         },
         0, {"Scan interval 0\n", "10700 Mhz ... SendDiSEqC failed !\n10700.000 Mhz, 27500 KS"}, true, kOneCarrier,
         "SendDiSEqC", 2, {}},
        {"Vesker fails at the first step", kFourIntervals, [] { ScriptFourIntervals(1, 1); }, -5,
         {"Scan interval 0\n", "10700 Mhz ... error !\nTotal Scan Time = ", "Transponders not found !\n"}, true, {},
         "Vesker", 1, {}},
        {"Vesker fails mid-interval after accepted carriers", kFourIntervals, [] { ScriptFourIntervals(1, 8); }, -5,
         {"Scan interval 2\n", "11310 Mhz ... error !\nTotal Scan Time = ", "Total tranponders found = 4\n"}, true,
         {{"10700,H", "10720,H", "11010,V", "11300,H"}}, "Vesker", 8, {}},
        {"Vesker fails in a later interval", kFourIntervals, [] { ScriptFourIntervals(1, 10); }, -5,
         {"Scan interval 3\n", "12000 Mhz ... error !\n", "Total tranponders found = 5\n"}, true,
         {{"10700,H", "10720,H", "11010,V", "11300,H", "11310,H"}}, "Vesker", 10, {}},
        {"Vesker fails at the last step of the last interval", kFourIntervals, [] { ScriptFourIntervals(1, 12); }, -5,
         {"12020 Mhz ... error !\n", "Total tranponders found = 5\n"}, true,
         {{"10700,H", "10720,H", "11010,V", "11300,H", "11310,H"}}, "Vesker", 12, {}},
        {"Vesker fails in a later pass with Loop=1", std::string("Loop=1\n") + kFourIntervals,
         [] { ScriptFourIntervals(2, 12 + 6); }, -5,
         {"---------- Pass 2 ----------\n", "11020 Mhz ... error !\n", "Total tranponders found = 3\n"}, true,
         {kFourIntervalsFound, {"10700,H", "10720,H", "11010,V"}}, "Vesker", 18, {}},
        {"StopDVB returns 0: ignored", kOneStep,
         [] {
             LockOneCarrier();
             Script().stop_result = 0;
         },
         0, {"Total tranponders found = 1\n"}, true, kOneCarrier, "StopDVB", 1, {}},
    };
    for (auto &c : RawCommandCases()) cases.push_back(c);
    return cases;
}

TEST_F(FaultInjectionTest, EachLibraryFunctionFailingWhereItIsCalled) {
    for (const auto &c : AllCases()) {
        SCOPED_TRACE(c.name);
        SetUp();
        c.arrange();
        const TempDir dir;

        const WholeRun run = Run(c.config, dir);

        EXPECT_EQ(c.exit_code, run.exit_code);
        ExpectInOrder(run.console, c.messages);
        ExpectStoppedOnce(c.started);
        ExpectFiles(run.console, c.files);
        if (c.counted_call != nullptr) {
            EXPECT_EQ(c.call_count, Script().Calls(c.counted_call).size()) << c.counted_call;
        }
        EXPECT_EQ(c.sleeps, Fake().sleeps);
    }
}

TEST_F(FaultInjectionTest, SearchFailingInTheThirdOfFourIntervalsKeepsWhatIntervalsZeroToTwoFound) {
    ScriptFourIntervals(1, 9);  // the last step of Scan2
    const WholeRun run = Run(kFourIntervals);
    EXPECT_EQ(-5, run.exit_code);
    ExpectInOrder(run.console, {"Scan interval 2\n", "11320 Mhz ... error !\nTotal Scan Time = ",
                                "Total tranponders found = 5\n", "Store transponder info in "});
    EXPECT_EQ(std::string::npos, run.console.find("Scan interval 3")) << "the walk ends at the failure";
    EXPECT_EQ(std::string::npos, run.console.find("11111")) << "the failed search's slot is not kept";
    ExpectFiles(run.console, {{"10700,H", "10720,H", "11010,V", "11300,H", "11310,H"}});
    ExpectStoppedOnce(true);
}

// Steps of an interval from 10700 to 10800 MHz in 5 MHz steps.
constexpr int kGridSteps = 21;

TEST_F(FaultInjectionTest, EveryIntervalEndsAfterBoundedSearchesWhateverTheTunerReports) {
    using Band = std::function<int(unsigned, unsigned, unsigned, TransponderRecord *)>;
    auto carrier = [](std::function<void(unsigned, TransponderRecord *)> shape) -> Band {
        return [shape](unsigned frequency_khz, unsigned, unsigned polarization, TransponderRecord *record) {
            *record = Carrier(frequency_khz, static_cast<int>(polarization), 27500000);
            record->carrier_width = 0;
            shape(frequency_khz, record);
            return 1;
        };
    };
    struct Case {
        const char *name;
        Band band;
        int most_searches;
    };
    const std::vector<Case> cases = {
        {"nothing locks", carrier([](unsigned, TransponderRecord *r) { r->locked = 0; }), kGridSteps},
        {"a new carrier at every step", carrier([](unsigned, TransponderRecord *) {}), kGridSteps},
        {"the same carrier again and again", carrier([](unsigned, TransponderRecord *r) { r->frequency = 10700000; }),
         kGridSteps},
        {"carriers far below the step", carrier([](unsigned f, TransponderRecord *r) { r->frequency = f - 90000000; }),
         kGridSteps},
        {"carriers at frequency 0", carrier([](unsigned, TransponderRecord *r) { r->frequency = 0; }), kGridSteps},
        {"carriers at the top of the 32-bit range",
         carrier([](unsigned, TransponderRecord *r) { r->frequency = 0xFFFFFFFFu; }), kGridSteps},
        {"an absurd width", carrier([](unsigned, TransponderRecord *r) { r->carrier_width = 0xFFFFFFFFu; }), 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        Script().band = c.band;
        const TempDir dir;
        const WholeRun run = Run("[Scan0]\nPol=H\nStart=10700\nStop=10800\nStep=5\n", dir);
        EXPECT_EQ(0, run.exit_code);
        EXPECT_LE(Script().search_calls, c.most_searches);
        EXPECT_GE(Script().search_calls, 1);
        ExpectStoppedOnce(true);
    }
}

TEST_F(FaultInjectionTest, FullRecordArrayEndsTheWalkAndEveryRecordIsWritten) {
    // Every step locks a new carrier at its own frequency; two intervals hold 2400 steps,
    // more than the array's 2048 records.
    Script().band = [](unsigned frequency_khz, unsigned, unsigned polarization, TransponderRecord *record) {
        *record = At(frequency_khz / 1000u, static_cast<int>(polarization));
        return 1;
    };
    const WholeRun run = Run(
        "[Scan0]\nPol=H\nStart=10700\nStop=11899\nStep=1\n[Scan1]\nPol=V\nStart=10700\nStop=11899\nStep=1\n"
        "[Scan2]\nPol=H\nStart=12000\nStop=12010\n");
    EXPECT_EQ(0, run.exit_code);
    EXPECT_EQ(2048, Script().search_calls) << "no search once the array is full";
    ExpectInOrder(run.console, {"Scan interval 1\n", "Transponder table full (2048 transponders), the scan ends here !\n",
                                "Total tranponders found = 2048\n"});
    EXPECT_EQ(std::string::npos, run.console.find("Scan interval 2")) << "a full array ends the walk";
    std::vector<std::string> expected;
    for (unsigned mhz = 10700; mhz < 10700 + 848; ++mhz) expected.push_back(std::to_string(mhz) + ",V");
    for (unsigned mhz = 10700; mhz < 11900; ++mhz) expected.push_back(std::to_string(mhz) + ",H");
    std::sort(expected.begin(), expected.end());
    auto sorted = [](std::vector<std::string> entries) {
        std::sort(entries.begin(), entries.end());
        return entries;
    };
    const auto lists = Announced(run.console, "Store transponder info in ");
    const auto reports = Announced(run.console, "Report detailed transponder info to ");
    ASSERT_EQ(1u, lists.size());
    ASSERT_EQ(1u, reports.size());
    EXPECT_EQ(expected, sorted(Listed(ReadFileBytes(lists[0]))));
    EXPECT_EQ(expected, sorted(Reported(ReadFileBytes(reports[0]))));
    ExpectStoppedOnce(true);
}

TEST_F(FaultInjectionTest, RepeatedPassesEndOnTheStopRequest) {
    // Loop=1 on a band that always finds something: only the stop keys end the run.
    Script().band = BandOf({At(10700, 0), At(10710, 0)});
    Fake().stop_at_poll = 10;  // a pass polls after each of its three steps and once after it
    const WholeRun run = Run("Loop=1\n[Scan0]\nPol=H\nStart=10700\nStop=10720\nStep=10\n");
    EXPECT_EQ(0, run.exit_code);
    ExpectInOrder(run.console, {"---------- Pass 3 ----------\n", "Terminated on user request ...\n",
                                "Total tranponders found = 2\n"});
    EXPECT_EQ(std::string::npos, run.console.find("Pass 4"));
    EXPECT_EQ(8, Script().search_calls) << "the stop comes after the second step of pass 3";
    ExpectFiles(run.console, {{"10700,H", "10710,H"}, {"10700,H", "10710,H"}, {"10700,H", "10710,H"}});
    ExpectStoppedOnce(true);
}

TEST_F(FaultInjectionTest, PromptWithNothingToReadStartsDeviceMinusOne) {
    // The real console reading, from standard input replaced by a file.
    struct Case {
        const char *input;
        const char *started;
    };
    const std::vector<Case> cases = {
        {nullptr, "StartDVBEx(-1)"},  // /dev/null
        {"", "StartDVBEx(-1)"},
        {"abc\n", "StartDVBEx(-1)"},
        {"3\n", "StartDVBEx(3)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input != nullptr ? c.input : "/dev/null");
        SetUp();
        const TempDir dir;
        const std::string input = c.input != nullptr ? dir.Write("stdin.txt", c.input) : "/dev/null";
        ASSERT_NE(nullptr, std::freopen(input.c_str(), "r", stdin));
        Platform().read_unsigned = SystemPlatform().read_unsigned;
        const std::string path = dir.Write("Vesker.ini", "[Scan0]\nPol=H\nStart=10700\nStop=10701\n");

        const WholeRun run = RunProgram(path);

        EXPECT_EQ(0, run.exit_code);
        EXPECT_NE(std::string::npos, run.console.find("Device 0: Scripted tuner\nDevice number: Scan interval 0\n"))
            << run.console;
        EXPECT_EQ(std::vector<std::string>{c.started}, Script().Calls("StartDVBEx"));
        ExpectStoppedOnce(true);
    }
    std::freopen("/dev/null", "r", stdin);
}

}  // namespace
