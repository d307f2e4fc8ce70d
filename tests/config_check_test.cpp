// The configuration checked at start: each mistake the program would pass over silently is one
// line on standard error, naming the file, the line and the nearest known name; a sound
// configuration (every example) says nothing; every key the program reads is known.
#include "driver/config_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "driver/startup.h"
#include "support/fake_platform.h"
#include "support/scripted_tuner.h"

namespace {

class ConfigCheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallFakePlatform();
        ResetScriptedTuner();
    }
    void TearDown() override { RestoreSystemPlatform(); }
    TempDir dir_;
};

TEST_F(ConfigCheckTest, EachMistakeOneLine) {
    const std::string path = dir_.Write(
        "cfg.ini", "Device=0\r\n"              // 1
                   "[SatInfo]\r\n"              // 2
                   "LOF1=9750\r\n"              // 3
                   "lof1=9751\r\n"              // 4
                   "\r\n"                       // 5 (blank lines count)
                   "; a comment\r\n"            // 6
                   "[Options]\r\n"              // 7
                   "ExtraLists=dvbv5,jsno\r\n"  // 8
                   "ReportDir=" + dir_.File("missing") + "\r\n"  // 9
                   "[Scan 0]\r\n"               // 10
                   "Pol=H\r\n"                  // 11
                   "[Scan0]\r\n"                // 12
                   "Pol=H\r\n"                  // 13
                   "Setp=2\r\n"                 // 14
                   "Pol V\r\n"                  // 15
                   "[scan0]\r\n"                // 16
                   "Step=3\r\n"                 // 17
                   "[Simulator]\r\n"            // 18
                   "Pace=100\r\n"               // 19
                   "[Scan2]\r\n"                // 20
                   "Pol=V\r\n");                // 21
    EXPECT_EQ(10u, CheckConfiguration(path.c_str()));
    const std::string p = path + ":";
    EXPECT_EQ(p + "1: Device: outside any section, not read\n" +
              p + "4: lof1 again in [SatInfo]: only the first is read\n" +
              p + "10: [Scan 0]: unknown section, did you mean [Scan0]?\n" +
              p + "14: Setp: unknown key in [Scan0], did you mean Step?\n" +
              p + "15: Pol V: no key=value line, not read\n" +
              p + "16: [scan0] again: only the first section of that name is read\n" +
              p + "18: [Simulator]: not read here; the tuner library reads it from the Lumorath.ini beside it\n" +
              p + "20: [Scan2]: never read: the walk over the intervals ends at the missing [Scan1]\n" +
              path + ": ExtraLists: jsno names no list (dvbv5, vdr, csv, json or all), did you mean json?\n" +
              path + ": ReportDir " + dir_.File("missing") + ": ",
              Fake().errors.substr(0, Fake().errors.rfind(": ") + 2));
    // The system's reason, then what it means.
    EXPECT_EQ("; the report of each pass cannot be written there\n", Fake().errors.substr(Fake().errors.rfind(';')));
}

TEST_F(ConfigCheckTest, NearestName) {
    const char *const keys[] = {"Pol", "Start", "Stop", "Step", "MinSR", "MaxSR"};
    struct Row {
        const char *typed;
        const char *nearest;  // null: none close enough
    };
    const Row rows[] = {
        {"Setp", "Step"}, {"STOP", "Stop"},  {"Strat", "Start"}, {"MinSRate", nullptr}, {"Pl", "Pol"},
        {"Foo", nullptr}, {"Xy", nullptr},   {"MaxR", "MaxSR"},  {"MinimumSymbolRateOfTheInterval", nullptr},
    };
    for (const Row &row : rows) {
        const char *nearest = NearestName(row.typed, std::strlen(row.typed), keys, 6);
        EXPECT_STREQ(row.nearest, nearest) << row.typed;
    }
}

// The examples say nothing, and a configuration with every key the program's code reads (found
// in its sources) says nothing either: the table of known keys cannot fall behind the code.
TEST_F(ConfigCheckTest, SoundConfigurationsSayNothing) {
    for (const auto &entry : std::filesystem::directory_iterator(std::string(VESKER_SOURCE_DIR) + "/examples")) {
        if (entry.path().extension() != ".ini" || entry.path().filename() == "Lumorath.ini") continue;
        Fake().errors.clear();
        EXPECT_EQ(0u, CheckConfiguration(entry.path().string().c_str())) << entry.path() << "\n" << Fake().errors;
    }
    const std::regex lookup("IniRead(?:Int|Text)\\((section|\"(\\w+)\"), \"(\\w+)\"");
    std::string every_key;
    int found = 0;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(std::string(VESKER_SOURCE_DIR) + "/src")) {
        std::ifstream in(entry.path());
        std::stringstream text;
        text << in.rdbuf();
        const std::string source = text.str();
        for (std::sregex_iterator it(source.begin(), source.end(), lookup), end; it != end; ++it) {
            const std::string section = (*it)[1] == "section" ? "Scan0" : (*it)[2].str();
            if (section == "Lumorath") continue;  // the library settings file
            every_key += "[" + section + "]\n" + (*it)[3].str() + "=\n";
            ++found;
        }
    }
    EXPECT_GT(found, 25);
    Fake().errors.clear();
    // Repeated section headers are said; each key stands in a section of its own name here.
    CheckConfiguration(dir_.Write("every.ini", every_key).c_str());
    EXPECT_EQ(std::string::npos, Fake().errors.find("unknown")) << Fake().errors;
}

// A mistyped option ends the run at once: nothing on the console, no library touched.
TEST_F(ConfigCheckTest, UnknownOptionEndsTheRun) {
    for (const char *option : {"--bogus", "-x", "-"}) {
        Fake().errors.clear();
        const char *argv[] = {"vesker", option, nullptr};
        EXPECT_EQ(-1, VeskerMain(2, argv, BindScriptedTuner)) << option;
        EXPECT_EQ("", Fake().console) << option;
        EXPECT_EQ(std::string("vesker: unknown option ") + option + "\nUsage: vesker [CONFIGURATION]\n"
                  "Try 'vesker --help' for more.\n", Fake().errors);
        EXPECT_TRUE(Script().log.empty());
    }
}

}  // namespace
