// USALS: the motor angle, its five-byte message, and the step that prints and sends it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "dish/usals.h"
#include "support/fake_platform.h"
#include "support/scripted_tuner.h"

namespace {

std::string Hex(const unsigned char *bytes, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", bytes[i]);
        text += byte;
    }
    return text;
}

struct AngleRow {
    const char *name;
    double satellite_deg, latitude_deg, longitude_deg;
    int code;
    double angle_deg;  // checked for code 0, to the hundredth
};

TEST(UsalsAngle, ComputesOrRefuses) {
    const AngleRow rows[] = {
        {"19.2 E from 50.0 N 10.0 E", 19.2, 50, 10, kUsalsOk, 10.18},
        {"5.0 W from 50.0 N 10.0 E", -5, 50, 10, kUsalsOk, -16.59},
        {"5.0 W from 50.0 S 10.0 E", -5, -50, 10, kUsalsOk, -16.59},
        {"on the meridian at the equator", 0, 0, 0, kUsalsOk, 0},
        {"80.0 E from 60.0 N", 80, 60, 0, kUsalsOk, 84.31},
        {"90.0 E from 60.0 N", 90, 60, 0, kUsalsBelowHorizon, 0},
        {"opposite meridian", -170, 0, 10, kUsalsBelowHorizon, 0},
        {"bounds accepted", 180, 90, 180, kUsalsOk, 0},
        {"lower bounds accepted", -180, -90, -180, kUsalsOk, 0},
        {"satellite beyond 180", 180.1, 0, 0, kUsalsBadSatellite, 0},
        {"satellite beyond -180", -180.1, 0, 0, kUsalsBadSatellite, 0},
        {"latitude beyond 90", 0, 90.1, 0, kUsalsBadLatitude, 0},
        {"default latitude", 0, -100, 0, kUsalsBadLatitude, 0},
        {"default longitude", 0, 50, -200, kUsalsBadLongitude, 0},
        {"longitude beyond 180", 0, 0, 180.1, kUsalsBadLongitude, 0},
        {"the satellite is tested first", 200, 100, 200, kUsalsBadSatellite, 0},
        {"then the latitude", 0, 100, 200, kUsalsBadLatitude, 0},
    };
    for (const AngleRow &row : rows) {
        SCOPED_TRACE(row.name);
        double angle_deg = -1234;
        EXPECT_EQ(row.code, CalcUsalsAngle(row.satellite_deg, row.latitude_deg, row.longitude_deg, &angle_deg));
        if (row.code == kUsalsOk) {
            EXPECT_NEAR(row.angle_deg, angle_deg, 0.005);
        } else {
            EXPECT_EQ(-1234, angle_deg);
        }
    }
}

struct CommandRow {
    bool west_variant;
    double angle_deg;
    int result;
    const char *message;  // the buffer afterwards, starting as 11 11 11 11 11
};

TEST(UsalsCommand, EncodesSixteenthsAndDirection) {
    const CommandRow rows[] = {
        {false, 10.183381493127616, 0, "E0 31 6E E0 A3"},  // n = 163
        {true, 10.183381493127616, 0, "E0 31 6E E0 A3"},
        {false, -16.58805111357042, 0, "E0 31 6E D1 09"},  // n = 265
        {true, -16.58805111357042, 0, "E0 31 6E 01 09"},
        {false, 0, 0, "E0 31 6E E0 00"},
        {true, 0, 0, "E0 31 6E E0 00"},
        {false, 84.30909881303296, 0, "E0 31 6E E5 45"},  // n = 1349
        {false, 90, 0, "E0 31 6E E5 A0"},                 // n = 1440
        {false, -90, 0, "E0 31 6E D5 A0"},
        {true, -90, 0, "E0 31 6E 05 A0"},
        {false, 1.0 / 32, 0, "E0 31 6E E0 01"},           // half a step rounds up
        {false, 0.03, 0, "E0 31 6E E0 00"},
        {true, -0.03, 0, "E0 31 6E 00 00"},
        {false, 90.0001, 1, "11 11 11 11 11"},
        {true, -90.0001, 1, "11 11 11 11 11"},
    };
    for (const CommandRow &row : rows) {
        SCOPED_TRACE(::testing::Message() << row.angle_deg << (row.west_variant ? " west variant" : ""));
        unsigned char message[5] = {0x11, 0x11, 0x11, 0x11, 0x11};
        EXPECT_EQ(row.result, MakeUsalsCmd(row.west_variant, row.angle_deg, message));
        EXPECT_EQ(row.message, Hex(message, 5));
    }
}

class UsalsStepTest : public ::testing::Test {
protected:
    void SetUp() override { Fresh(); }
    void TearDown() override { RestoreSystemPlatform(); }
    static void Fresh() {
        InstallFakePlatform();
        ResetScriptedTuner();
    }
    TempDir dir_;
};

// The expected text with each "°" turned into the console's degree sign.
std::string Deg(std::string text) {
    const std::string sign = "°";
    for (std::size_t at = text.find(sign); at != std::string::npos; at = text.find(sign, at + 1)) {
        text.replace(at, sign.size(), kDegreeSign);
    }
    return text;
}

struct StepRow {
    int satellite, latitude, longitude, variant;  // tenths of a degree; the USALS key
    std::string console;
    std::vector<std::string> log;
};

std::vector<std::string> ThreeTimes(const std::string &rest) {
    return {"SendDiseqCmd(E0 " + rest + ")", "SendDiseqCmd(E1 " + rest + ")", "SendDiseqCmd(E1 " + rest + ")"};
}

TEST_F(UsalsStepTest, PrintsAndSendsOrReportsTheFault) {
    const StepRow rows[] = {
        {192, 500, 100, 1,
         Deg("USALS: Lattitude = 50.0°, Longtitude = 10.0°, Satellite angle = 19.2°\n"
             "USALS: Motor angle = 10.2°, DiSEqC cmd: E0 31 6E E0 A3\n"),
         ThreeTimes("31 6E E0 A3")},
        {-50, 500, 100, 1,
         Deg("USALS: Lattitude = 50.0°, Longtitude = 10.0°, Satellite angle = -5.0°\n"
             "USALS: Motor angle = -16.6°, DiSEqC cmd: E0 31 6E D1 09\n"),
         ThreeTimes("31 6E D1 09")},
        {-50, -500, 100, 2,
         Deg("USALS: Lattitude = -50.0°, Longtitude = 10.0°, Satellite angle = -5.0°\n"
             "USALS: Motor angle = -16.6°, DiSEqC cmd: E0 31 6E 01 09\n"),
         ThreeTimes("31 6E 01 09")},
        {-50, 500, 100, 3,
         Deg("USALS: Lattitude = 50.0°, Longtitude = 10.0°, Satellite angle = -5.0°\n"
             "USALS: Motor angle = -16.6°, DiSEqC cmd: E0 31 6E D1 09\n"),
         ThreeTimes("31 6E D1 09")},
        {800, 600, 0, 1,
         Deg("USALS: Lattitude = 60.0°, Longtitude = 0.0°, Satellite angle = 80.0°\n"
             "USALS: Motor angle = 84.3°, DiSEqC cmd: E0 31 6E E5 45\n"),
         ThreeTimes("31 6E E5 45")},
        {1801, 500, 100, 1, "Incorrect satellite position !\n", {}},
        {192, -1000, -2000, 1, "Incorrect lattitude !\n", {}},
        {192, 500, -2000, 1, "Incorrect longtitude !\n", {}},
        {900, 600, 0, 1, "Satellite out of horizont !\n", {}},
    };
    for (const StepRow &row : rows) {
        SCOPED_TRACE(::testing::Message() << row.satellite << " " << row.latitude << " " << row.longitude << " "
                                          << row.variant);
        Fresh();
        const std::string path = dir_.Write("Vesker.ini", "[SatInfo]\nWait=7\n");
        RunUsals(row.satellite, row.latitude, row.longitude, row.variant, path.c_str());
        EXPECT_EQ(row.console, Fake().console);
        EXPECT_EQ(row.log, Script().log);  // no capability test
        const std::vector<std::uint32_t> sleeps =
            row.log.empty() ? std::vector<std::uint32_t>{} : std::vector<std::uint32_t>{100, 100, 7000};
        EXPECT_EQ(sleeps, Fake().sleeps);
    }
}

TEST_F(UsalsStepTest, FailedFirstSendSkipsThePause) {
    Script().send_command_results = {0};
    const std::string path = dir_.Write("Vesker.ini", "[SatInfo]\nWait=7\n");
    RunUsals(0, 0, 0, 1, path.c_str());
    EXPECT_EQ(Deg("USALS: Lattitude = 0.0°, Longtitude = 0.0°, Satellite angle = 0.0°\n"
                  "USALS: Motor angle = 0.0°, DiSEqC cmd: E0 31 6E E0 00\n"
                  "SendDiseqCmd failed !\n"),
              Fake().console);
    EXPECT_EQ(std::vector<std::string>{"SendDiseqCmd(E0 31 6E E0 00)"}, Script().log);
    EXPECT_TRUE(Fake().sleeps.empty());
}

}  // namespace
