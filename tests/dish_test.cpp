// The dish sequence: switch, tone-burst and positioner commands against a scripted tuner.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "dish/diseqc_message.h"
#include "dish/dish_sequence.h"
#include "support/fake_platform.h"
#include "support/scripted_tuner.h"

namespace {

using Log = std::vector<std::string>;
using Sleeps = std::vector<std::uint32_t>;

constexpr int kAllCaps = LUMORATH_CAP_BLIND_SEARCH | LUMORATH_CAP_DISEQC | LUMORATH_CAP_TONE_BURST;

// A raw message sent three times: first with E0, then twice with E1.
Log ThreeTimes(const std::string &rest) {
    return {"SendDiseqCmd(E0 " + rest + ")", "SendDiseqCmd(E1 " + rest + ")", "SendDiseqCmd(E1 " + rest + ")"};
}

Log Join(std::initializer_list<Log> parts) {
    Log all;
    for (const Log &part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

class DishTest : public ::testing::Test {
protected:
    void SetUp() override { Fresh(); }
    void TearDown() override { RestoreSystemPlatform(); }
    static void Fresh() {
        InstallFakePlatform();
        ResetScriptedTuner();
    }
    DishPointing Run(const std::string &ini) {
        const std::string path = dir_.Write("Vesker.ini", ini);
        return RunDishSequence(path.c_str());
    }
    std::string Config(const std::string &ini) { return dir_.Write("Vesker.ini", ini); }

    TempDir dir_;
};

struct CommandRow {
    const char *ini;
    Log log;
    Sleeps sleeps;
};

TEST_F(DishTest, SendsEachConfiguredCommand) {
    const CommandRow rows[] = {
        {"", {}, {}},
        {"[SatInfo]\nDiSEqC11=16\n", Join({{"GetCaps"}, ThreeTimes("10 39 FF")}), {100, 100}},
        {"[SatInfo]\nDiSEqC11=1\n", Join({{"GetCaps"}, ThreeTimes("10 39 F0")}), {100, 100}},
        {"[SatInfo]\nDiSEqC11=0\n", {}, {}},
        {"[SatInfo]\nDiSEqC11=17\n", {}, {}},
        {"[SatInfo]\nDiSEqC11=-1\n", {}, {}},
        {"[SatInfo]\nDiSEqC=1\n", {"GetCaps", "SendDiSEqC(2,F0)"}, {}},
        {"[SatInfo]\nDiSEqC=4\nWait=5\n", {"GetCaps", "SendDiSEqC(2,FC)"}, {}},
        {"[SatInfo]\nDiSEqC=5\n", {}, {}},
        {"[SatInfo]\nDiSEqC=2\nToneBurst=2\n", {"GetCaps", "SendDiSEqC(2,F4)", "GetCaps", "SendDiSEqC(1,01)"}, {}},
        {"[SatInfo]\nDiSEqC=3\nToneBurst=2\n", {"GetCaps", "SendDiSEqC(2,F8)"}, {}},
        {"[SatInfo]\nToneBurst=1\n", {"GetCaps", "SendDiSEqC(1,00)"}, {}},
        {"[SatInfo]\nToneBurst=257\n", {"GetCaps", "SendDiSEqC(1,00)"}, {}},
        {"[SatInfo]\nDiSEqC=-7\nToneBurst=2\n", {"GetCaps", "SendDiSEqC(1,01)"}, {}},
        {"[SatInfo]\nToneBurst=0\n", {}, {}},
        {"[SatInfo]\nToneBurst=-1\n", {}, {}},
        {"[SatInfo]\nDiSEqC12=0\n", Join({{"GetCaps"}, ThreeTimes("31 6B 00")}), {100, 100}},
        {"[SatInfo]\nDiSEqC12=255\n", Join({{"GetCaps"}, ThreeTimes("31 6B FF")}), {100, 100}},
        {"[SatInfo]\nDiSEqC12=256\n", {}, {}},
        // Everything at once, in the fixed order, each raw command followed by its pause.
        {"[SatInfo]\nUSALS=1\nDiSEqC12=7\nToneBurst=1\nDiSEqC=1\nDiSEqC11=2\nWait=2\nSatPos=192\n"
         "[Options]\nLat=500\nLong=100\n",
         Join({{"GetCaps"},
               ThreeTimes("10 39 F1"),
               {"GetCaps", "SendDiSEqC(2,F0)", "GetCaps", "SendDiSEqC(1,00)", "GetCaps"},
               ThreeTimes("31 6B 07"),
               ThreeTimes("31 6E E0 A3")}),
         {100, 100, 2000, 100, 100, 2000, 100, 100, 2000}},
    };
    for (const CommandRow &row : rows) {
        SCOPED_TRACE(row.ini);
        Fresh();
        Run(row.ini);
        EXPECT_EQ(row.log, Script().log);
        EXPECT_EQ(row.sleeps, Fake().sleeps);
        EXPECT_EQ(std::string::npos, Fake().console.find("supported"));
        EXPECT_EQ(std::string::npos, Fake().console.find("failed"));
    }
}

struct WaitRow {
    const char *wait;
    Sleeps sleeps;
};

TEST_F(DishTest, PausesOnlyForAcceptedWait) {
    const WaitRow rows[] = {
        {"", {100, 100}},        {"Wait=0\n", {100, 100}},   {"Wait=1\n", {100, 100, 1000}},
        {"Wait=359\n", {100, 100, 359000}}, {"Wait=360\n", {100, 100}}, {"Wait=-5\n", {100, 100}},
    };
    for (const WaitRow &row : rows) {
        SCOPED_TRACE(row.wait);
        Fresh();
        Run(std::string("[SatInfo]\nDiSEqC12=1\n") + row.wait);
        EXPECT_EQ(row.sleeps, Fake().sleeps);
    }
}

TEST_F(DishTest, WaitIsReadAfreshForEachCommand) {
    const std::string path = Config("[SatInfo]\nWait=3\n");
    unsigned char message[4] = {0xE0, 0x31, 0x6B, 0x01};
    RepeatedSend(message, 4, path.c_str());
    Config("[SatInfo]\nWait=4\n");
    RepeatedSend(message, 4, path.c_str());
    EXPECT_EQ((Sleeps{100, 100, 3000, 100, 100, 4000}), Fake().sleeps);
}

struct FailureRow {
    const char *name;
    int caps;
    std::vector<int> command_results;  // SendDiseqCmd, in call order
    std::vector<int> switch_results;   // SendDiSEqC, in call order
    const char *ini;
    Log log;
    std::string console;
    Sleeps sleeps;
};

TEST_F(DishTest, ReportsFailuresAndGoesOn) {
    const char *const kEverySwitch = "[SatInfo]\nDiSEqC11=3\nDiSEqC=2\nToneBurst=2\nDiSEqC12=9\nWait=5\n";
    const FailureRow rows[] = {
        {"no DiSEqC, no tone burst", LUMORATH_CAP_BLIND_SEARCH, {}, {}, kEverySwitch,
         {"GetCaps", "GetCaps", "GetCaps", "GetCaps"},
         "SendDiseqCmd not supported !\nSendDiSEqC (1.0) not supported!\n"
         "SendDiSEqC (ToneBurst) not supported!\nSendDiseqCmd not supported !\n",
         {}},
        {"tone burst only", LUMORATH_CAP_BLIND_SEARCH | LUMORATH_CAP_TONE_BURST, {}, {}, kEverySwitch,
         {"GetCaps", "GetCaps", "GetCaps", "SendDiSEqC(1,01)", "GetCaps"},
         "SendDiseqCmd not supported !\nSendDiSEqC (1.0) not supported!\nSendDiseqCmd not supported !\n",
         {}},
        {"DiSEqC without tone burst", LUMORATH_CAP_BLIND_SEARCH | LUMORATH_CAP_DISEQC, {}, {}, kEverySwitch,
         Join({{"GetCaps"}, ThreeTimes("10 39 F2"), {"GetCaps", "SendDiSEqC(2,F4)", "GetCaps", "GetCaps"},
               ThreeTimes("31 6B 09")}),
         "SendDiSEqC (ToneBurst) not supported!\n",
         {100, 100, 5000, 100, 100, 5000}},
        {"first send fails: no repetition, no pause", kAllCaps, {0}, {}, kEverySwitch,
         Join({{"GetCaps", "SendDiseqCmd(E0 10 39 F2)", "GetCaps", "SendDiSEqC(2,F4)", "GetCaps",
                "SendDiSEqC(1,01)", "GetCaps"},
               ThreeTimes("31 6B 09")}),
         "SendDiseqCmd failed !\n",
         {100, 100, 5000}},
        {"first repetition fails: pause kept", kAllCaps, {1, 0}, {}, "[SatInfo]\nDiSEqC11=3\nWait=5\n",
         {"GetCaps", "SendDiseqCmd(E0 10 39 F2)", "SendDiseqCmd(E1 10 39 F2)"},
         "SendDiseqCmd failed !\n",
         {100, 5000}},
        {"second repetition fails", kAllCaps, {1, 1, 0}, {}, "[SatInfo]\nDiSEqC12=9\nWait=5\n",
         Join({{"GetCaps"}, ThreeTimes("31 6B 09")}),
         "SendDiseqCmd failed !\n",
         {100, 100, 5000}},
        {"both SendDiSEqC calls fail", kAllCaps, {}, {0, 0}, "[SatInfo]\nDiSEqC=1\nToneBurst=1\nDiSEqC12=0\n",
         Join({{"GetCaps", "SendDiSEqC(2,F0)", "GetCaps", "SendDiSEqC(1,00)", "GetCaps"}, ThreeTimes("31 6B 00")}),
         "SendDiSEqC failed !\nSendDiSEqC failed !\n",
         {100, 100}},
        // USALS asks for no capability: a device without DiSEqC still gets the message.
        {"USALS without DiSEqC", LUMORATH_CAP_BLIND_SEARCH, {}, {},
         "[SatInfo]\nDiSEqC11=1\nDiSEqC=1\nDiSEqC12=1\nUSALS=2\nSatPos=0\n[Options]\nLat=0\nLong=0\n",
         Join({{"GetCaps", "GetCaps", "GetCaps"}, ThreeTimes("31 6E E0 00")}),
         "SendDiseqCmd not supported !\nSendDiSEqC (1.0) not supported!\nSendDiseqCmd not supported !\n"
         "USALS: Lattitude = 0.0" + std::string(kDegreeSign) + ", Longtitude = 0.0" + kDegreeSign +
             ", Satellite angle = 0.0" + kDegreeSign + "\nUSALS: Motor angle = 0.0" + kDegreeSign +
             ", DiSEqC cmd: E0 31 6E E0 00\n",
         {100, 100}},
    };
    for (const FailureRow &row : rows) {
        SCOPED_TRACE(row.name);
        Fresh();
        Script().caps = row.caps;
        Script().send_command_results.assign(row.command_results.begin(), row.command_results.end());
        Script().send_diseqc_results.assign(row.switch_results.begin(), row.switch_results.end());
        Run(row.ini);
        EXPECT_EQ(row.log, Script().log);
        EXPECT_EQ(row.console, Fake().console);
        EXPECT_EQ(row.sleeps, Fake().sleeps);
    }
}

// A stop request ends the pause it comes in (the fake pause ends at once) and the sequence sends
// nothing after it; the values it hands on are still read.
TEST_F(DishTest, SendsNothingAfterAStopRequest) {
    const char *const kEveryCommand =
        "[SatInfo]\nDiSEqC11=3\nDiSEqC=2\nToneBurst=2\nDiSEqC12=9\nUSALS=1\nSatPos=-300\nWait=5\n";
    const struct {
        std::size_t stop_at_sleep;
        Log log;
    } rows[] = {
        {1, {"GetCaps", "SendDiseqCmd(E0 10 39 F2)"}},                 // between the repetitions
        {3, Join({{"GetCaps"}, ThreeTimes("10 39 F2")})},               // in the Wait after DiSEqC 1.1
        {6, Join({{"GetCaps"}, ThreeTimes("10 39 F2"), {"GetCaps", "SendDiSEqC(2,F4)", "GetCaps", "SendDiSEqC(1,01)",
                                                         "GetCaps"},
                  ThreeTimes("31 6B 09")})},                            // in the Wait after DiSEqC 1.2: no USALS
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.stop_at_sleep);
        Fresh();
        Fake().stop_at_sleep = row.stop_at_sleep;
        const DishPointing pointing = Run(kEveryCommand);
        EXPECT_EQ(row.log, Script().log);
        EXPECT_EQ(row.stop_at_sleep, Fake().sleeps.size()) << "no pause after the stop";
        EXPECT_EQ(std::string::npos, Fake().console.find("USALS")) << Fake().console;
        EXPECT_EQ(2, pointing.diseqc);
        EXPECT_EQ(3300, pointing.satellite_position);
    }
}

TEST_F(DishTest, HandsOnTheDiSEqCKeyAsRead) {
    for (const char *value : {"0", "3", "5", "-7"}) {
        SCOPED_TRACE(value);
        Fresh();
        EXPECT_EQ(std::stoi(value), Run(std::string("[SatInfo]\nDiSEqC=") + value + "\n").diseqc);
    }
}

struct PositionRow {
    int sat_pos;          // configured
    int site_longitude;   // tenths of a degree, chosen so that the satellite is in view
    const char *usals;    // the satellite longitude USALS works with, degrees
    int handed_on;        // 0..3599
};

TEST_F(DishTest, NormalisesSatellitePosition) {
    const PositionRow rows[] = {
        {3600, 0, "0.0", 0},          {-3601, 0, "0.0", 0},         {3599, 0, "-0.1", 3599},
        {1801, -1700, "-179.9", 1801}, {1800, 1700, "180.0", 1800},  {-1800, -1700, "-180.0", 1800},
        {-1, 0, "-0.1", 3599},        {-3600, 0, "0.0", 0},         {3300, 0, "-30.0", 3300},
        {-3000, 0, "60.0", 600},      {192, 100, "19.2", 192},
    };
    for (const PositionRow &row : rows) {
        SCOPED_TRACE(row.sat_pos);
        for (int usals : {0, 1}) {
            Fresh();
            const DishPointing pointing =
                Run("[SatInfo]\nUSALS=" + std::to_string(usals) + "\nSatPos=" + std::to_string(row.sat_pos) +
                    "\n[Options]\nLat=0\nLong=" + std::to_string(row.site_longitude) + "\n");
            EXPECT_EQ(row.handed_on, pointing.satellite_position);
            const std::string angle = std::string("Satellite angle = ") + row.usals + kDegreeSign + "\n";
            if (usals != 0) {
                EXPECT_NE(std::string::npos, Fake().console.find(angle)) << Fake().console;
            } else {
                EXPECT_EQ("", Fake().console);
            }
        }
    }
}

}  // namespace
