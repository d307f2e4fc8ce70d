// Whole start-ups: banner, paths, device enumeration and prompt, device start, capability
// test, start pause, exit codes, and the rule that the device is stopped exactly once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/startup.h"
#include "driver/usage.h"
#include "support/fake_platform.h"
#include "support/scripted_tuner.h"
#include "support/whole_run.h"

namespace {

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallFakePlatform();
        ResetScriptedTuner();
    }
    void TearDown() override { RestoreSystemPlatform(); }

    std::string Config(const std::string &text) { return dir_.Write("Vesker.ini", text); }
    std::string Dir() const { return dir_.path().string(); }

    TempDir dir_;
};

const char kBanner[] = "Vesker ver.1.1.0.1338-commited\n";
const char kEmptyPass[] = "Total Scan Time = 0.000s\nTransponders not found !\n\n\n";

struct StartupCase {
    const char *name;
    const char *config;                  // written as Vesker.ini
    std::vector<std::pair<int, std::string>> devices;
    int check_result;
    int start_result;
    int caps;
    std::vector<unsigned> typed;         // numbers typed at the prompt
    int exit_code;
    std::string console_after_config;    // everything after the "Config name" line
    std::vector<std::string> calls;      // the whole library call log
};

TEST_F(StartupTest, ExitCodesMessagesAndLibraryCalls) {
    const std::vector<std::pair<int, std::string>> two = {{0, "Tuner A"}, {1, "Tuner B"}};
    const std::vector<StartupCase> cases = {
        {"prompt answered 0: started, scanned nothing, stopped", "", two, 1, 1, 0x250, {0}, 0,
         std::string("Device 0: Tuner A\nDevice 1: Tuner B\nDevice number: ") + kEmptyPass,
         {"CheckForDVBEx", "StartDVBEx(0)", "GetCaps", "StopDVB"}},
        {"prompt answered 1: no blind search", "", two, 1, 1, 0x50, {1}, -4,
         "Device 0: Tuner A\nDevice 1: Tuner B\nDevice number: Vesker not supported !\n",
         {"CheckForDVBEx", "StartDVBEx(1)", "GetCaps", "StopDVB"}},
        {"device configured: no list, no prompt, cannot start", "[Options]\nDevice=7\n", two, 1, 0, 0x250, {}, -3,
         "Can't start device 7 !\n", {"CheckForDVBEx", "StartDVBEx(7)"}},
        {"nothing typed: the number stays negative and prints unsigned", "", two, 1, 0, 0x250, {}, -3,
         "Device 0: Tuner A\nDevice 1: Tuner B\nDevice number: Can't start device 4294967295 !\n",
         {"CheckForDVBEx", "StartDVBEx(-1)"}},
        {"no device reported although one is configured", "[Options]\nDevice=0\n", {}, 1, 1, 0x250, {}, -2,
         "No devices !\n", {"CheckForDVBEx"}},
        {"enumeration fails", "[Options]\nDevice=0\n", two, 0, 1, 0x250, {}, -2, "No devices !\n",
         {"CheckForDVBEx"}},
        {"configured device with blind search", "[Options]\nDevice=1\n", two, 1, 1, 0x200, {}, 0, kEmptyPass,
         {"CheckForDVBEx", "StartDVBEx(1)", "GetCaps", "StopDVB"}},
        {"control characters in device names reach the console as '?'", "",
         {{0, "Tuner\x1b[2J A"}, {1, "T\xc3\xbcner\tB\r"}, {2, "Tuner \x9b" "31mC \xe9\x7f"}}, 1, 1, 0x250, {0}, 0,
         std::string("Device 0: Tuner?[2J A\nDevice 1: T\xc3\xbcner?B?\nDevice 2: Tuner ?31mC \xe9?\n"
                     "Device number: ") + kEmptyPass,
         {"CheckForDVBEx", "StartDVBEx(0)", "GetCaps", "StopDVB"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        Script().devices = c.devices;
        Script().check_result = c.check_result;
        Script().start_result = c.start_result;
        Script().caps = c.caps;
        for (unsigned number : c.typed) Fake().typed.push_back(number);
        const std::string config = Config(c.config);

        const WholeRun run = RunProgram(config, Dir());

        EXPECT_EQ(c.exit_code, run.exit_code);
        EXPECT_EQ(std::string(kBanner) + "Config name: <dir>/Vesker.ini\n" + c.console_after_config, run.console);
        EXPECT_EQ(c.calls, Script().log);
        EXPECT_EQ(Script().start_calls > 0 && c.start_result != 0 ? 1 : 0, Script().stop_calls);
        // A prompt that read no number says so on standard error; nothing else goes there but the
        // line naming the tuner in use once a device started.
        const bool nothing_read = c.console_after_config.find("Device number: Can't") != std::string::npos;
        std::string errors = Fake().errors;
        if (errors.rfind("Tuner library ", 0) == 0) errors.erase(0, errors.find('\n') + 1);
        EXPECT_EQ(nothing_read ? "No device number was read at the prompt (end of input, or not a number): type one "
                                 "of the numbers listed, or set Device in [Options]\n"
                               : "",
                  errors);
    }
}

TEST_F(StartupTest, StartWaitPausesOnlyForOneToNineSeconds) {
    const std::vector<std::pair<const char *, std::vector<std::uint32_t>>> cases = {
        {"9", {9000}}, {"1", {1000}}, {"10", {}}, {"0", {}}, {"-1", {}}, {"", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string("StartWait=") + c.first);
        SetUp();
        const std::string config = Config(std::string("[Options]\nDevice=0\nStartWait=") + c.first + "\n");
        EXPECT_EQ(0, RunProgram(config).exit_code);
        EXPECT_EQ(c.second, Fake().sleeps);
    }
}

TEST_F(StartupTest, ConfigurationArgumentRelativeOrAbsolute) {
    // A relative argument is taken from the current directory; a full path as it stands.
    Script().devices = {{0, "Tuner"}};
    const std::string config = Config("[Options]\nDevice=0\n");
    WholeRun absolute = RunProgram(config, Dir());
    EXPECT_NE(std::string::npos, absolute.console.find("Config name: <dir>/Vesker.ini\n"));
    EXPECT_EQ(0, absolute.exit_code);

    SetUp();
    WholeRun relative = RunProgram("sat19.ini");
    EXPECT_NE(std::string::npos, relative.console.find(std::string("Config name: ") + kCurrentDirectory + "sat19.ini\n")) << relative.console;

    SetUp();
    WholeRun none = RunProgram("");
    EXPECT_NE(std::string::npos, none.console.find("Vesker.ini\n")) << none.console;
    EXPECT_NE(std::string::npos, none.console.find("Device number: ")) << "defaults list the devices and ask";
}

TEST_F(StartupTest, OverlongConfigurationNameEndsBeforeAnyLibraryCall) {
    const std::string long_name(300, 'x');
    WholeRun run = RunProgram(long_name);
    EXPECT_EQ(-1, run.exit_code);
    EXPECT_TRUE(Script().log.empty());
    EXPECT_NE(std::string::npos, run.console.find("Config name too long")) << run.console;
}

bool g_binder_called = false;
bool FailingBinder(const char *, TunerLibrary *) {
    g_binder_called = true;
    return false;
}

TEST_F(StartupTest, MissingTunerLibraryEndsWithNoDeviceCode) {
    const std::string config = Config("[Options]\nDevice=0\n");
    const char *argv[] = {"vesker", config.c_str(), nullptr};
    g_binder_called = false;
    EXPECT_EQ(-2, VeskerMain(2, argv, FailingBinder));
    EXPECT_TRUE(g_binder_called);
    EXPECT_TRUE(Script().log.empty());
}

TEST_F(StartupTest, HelpAndVersionAnswerBeforeAnyLibraryIsLoaded) {
    // No file of these names exists in the test's current directory ("/?" none at the root).
    const std::vector<std::pair<const char *, std::string>> cases = {
        {"--help", kUsageText}, {"-h", kUsageText}, {"-?", kUsageText}, {"/?", kUsageText}, {"--version", kBanner}};
    for (const auto &[option, text] : cases) {
        SetUp();
        const char *argv[] = {"vesker", option, nullptr};
        g_binder_called = false;
        EXPECT_EQ(0, VeskerMain(2, argv, FailingBinder)) << option;
        EXPECT_FALSE(g_binder_called) << option;
        EXPECT_EQ(text, Fake().console) << option;
    }
}

TEST_F(StartupTest, LoaderNamesTheMissingLibrary) {
    TunerLibrary table{};
    TempDir empty;
    const std::string directory = empty.path().string() + "/";
    EXPECT_FALSE(LoadTunerLibrary(directory.c_str(), &table));
    EXPECT_NE(std::string::npos, Fake().console.find(directory)) << Fake().console;
    EXPECT_EQ(nullptr, table.Vesker);
}

}  // namespace

namespace {

// The output options: a directory gets its separator when it lacks one.
TEST_F(StartupTest, OutputDirectoriesGetTheirSeparator) {
    const std::string dir = Dir();
    struct Case {
        std::string report_dir;
        std::string announced;  // the report name as announced
    };
    // On Windows a directory ending in '/' still gets the backslash.
    const std::string after_slash = kPathSeparator == '/' ? "" : std::string(1, kPathSeparator);
    const std::vector<Case> cases = {
        {dir, dir + kPathSeparator + "0000.txt"},
        {dir + "/", dir + "/" + after_slash + "0000.txt"},
        {"", "0000.txt"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.report_dir);
        SetUp();
        Script().searches = {{1, Carrier(10700000, 0, 27500000)}};
        const std::string config = Config("[Options]\nDevice=0\nReportDir=" + c.report_dir + "\nTPDir=" + dir +
                                          "\n[Scan0]\nPol=H\nStart=10700\nStop=10701\n");
        const WholeRun run = RunProgram(config);
        EXPECT_NE(std::string::npos, run.console.find("Report detailed transponder info to " + c.announced + " ...\n"))
            << run.console;
        EXPECT_NE(std::string::npos, run.console.find("Store transponder info in " + dir + kPathSeparator + "0000.ini ...\n"));
    }
    std::remove("0000.txt");  // the case with an empty ReportDir wrote into the current directory
}

}  // namespace
