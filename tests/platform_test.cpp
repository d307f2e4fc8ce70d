// The platform seam as the program uses it: where the configuration comes from, how output
// directories get their separator, and the output file calls. The same rows run on POSIX and
// on Windows (under Wine), each with its own separator and its own idea of a full path.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/fake_platform.h"
#include "support/scripted_tuner.h"
#include "support/whole_run.h"

namespace {

namespace fs = std::filesystem;

const bool kWindows = kPathSeparator == '\\';

class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallFakePlatform();
        ResetScriptedTuner();
    }
    void TearDown() override { RestoreSystemPlatform(); }

    TempDir dir_;
};

std::string ConfigLine(const std::string &console) {
    const std::size_t at = console.find("Config name: ");
    if (at == std::string::npos) return "";
    return console.substr(at + 13, console.find('\n', at) - at - 13);
}

TEST_F(PlatformTest, ConfigurationPathFromTheArgument) {
    // Without an argument: Vesker.ini in the executable's directory, cut at its last separator.
    char executable[kPathSize];
    ASSERT_TRUE(ExecutablePath(executable, sizeof executable));
    const fs::path executable_path(executable);
    EXPECT_TRUE(fs::is_regular_file(executable_path)) << executable;
    EXPECT_EQ(kWindows ? "platform_test.exe" : "platform_test", executable_path.filename().string());
    const std::string directory = executable_path.parent_path().string() + kPathSeparator;
    EXPECT_EQ(directory + "Vesker.ini", ConfigLine(RunProgram("").console));

    struct Case {
        const char *argument;
        bool taken_as_is;  // a full path, not prefixed by the current directory
    };
    const std::vector<Case> cases = {
        {"sat.ini", false},
        {"sub/sat.ini", false},
        {"..\\sat.ini", false},
        {"/etc/sat.ini", true},
        {"C:\\sat.ini", kWindows},
        {"c:sat.ini", kWindows},  // drive-relative, still names its drive
        {"\\sat.ini", kWindows},
        {"\\\\server\\share\\sat.ini", kWindows},
        {"1:\\sat.ini", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.argument);
        SetUp();
        const std::string expected = (c.taken_as_is ? "" : std::string(kCurrentDirectory)) + c.argument;
        EXPECT_EQ(expected, ConfigLine(RunProgram(c.argument).console));
    }
    EXPECT_EQ(kWindows ? ".\\" : "./", std::string(kCurrentDirectory));
}

TEST_F(PlatformTest, OutputDirectoryGetsTheSeparator) {
    // A directory without the separator at its end gets one; on Windows one that ends in '/'
    // gets a backslash as well, which the file calls accept.
    const std::string dir = dir_.path().string();
    const std::string slash_end = kWindows ? "/\\" : "/";
    struct Case {
        std::string report_dir;
        std::string announced;
    };
    const std::vector<Case> cases = {
        {dir, dir + kPathSeparator + "0000.txt"},
        {dir + kPathSeparator, dir + kPathSeparator + "0000.txt"},
        {dir + "/", dir + slash_end + "0000.txt"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.report_dir);
        SetUp();
        fs::remove(dir_.File("0000.txt"));
        Script().searches = {{1, Carrier(10700000, 0, 27500000)}};
        const std::string config = dir_.Write("Vesker.ini", "[Options]\nDevice=0\nReportDir=" + c.report_dir +
                                                                "\nTPDir=" + dir + "\n[Scan0]\nPol=H\nStart=10700\nStop=10701\n");
        const WholeRun run = RunProgram(config);
        EXPECT_NE(std::string::npos, run.console.find("Report detailed transponder info to " + c.announced + " ...\n"))
            << run.console;
        EXPECT_TRUE(fs::exists(dir_.File("0000.txt")));
    }
}

TEST_F(PlatformTest, OutputFilesReplaceAndFail) {
    const std::string final_name = dir_.Write("list.ini", "old contents, longer than the new ones\r\n");
    char part[kPathSize + 24];
    FileHandle file = CreateTemporaryFile(final_name.c_str(), part, sizeof part);
    ASSERT_NE(-1, file);
    // Beside the final name, under a name of its own: a second run gets another one.
    EXPECT_EQ(0u, std::string(part).rfind(final_name + ".", 0)) << part;
    char other[kPathSize + 24];
    FileHandle second = CreateTemporaryFile(final_name.c_str(), other, sizeof other);
    ASSERT_NE(-1, second);
    EXPECT_STRNE(part, other);
    EXPECT_TRUE(CloseOutputFile(second));
    RemoveFile(other);

    EXPECT_TRUE(WriteOutputFile(file, "a\r\nb\n\xB0", 6));
    EXPECT_TRUE(CloseOutputFile(file));
    EXPECT_FALSE(IsDeviceFile(part));
    EXPECT_FALSE(IsDeviceFile(dir_.File("nothing").c_str()));
    EXPECT_TRUE(MoveIntoPlace(part, final_name.c_str()));
    EXPECT_EQ("a\r\nb\n\xB0", ReadFileBytes(final_name));  // bytes as written, no line end translation
    EXPECT_FALSE(fs::exists(part));

    RemoveFile(final_name.c_str());
    EXPECT_FALSE(fs::exists(final_name));
    EXPECT_EQ(-1, CreateTemporaryFile(dir_.File("missing/list.ini").c_str(), part, sizeof part));
    char reason[160] = "";
    DescribeLastError(reason, sizeof reason);
    EXPECT_NE("", std::string(reason));  // the system says why: no such directory
    char tiny[8];
    EXPECT_EQ(-1, CreateTemporaryFile(final_name.c_str(), tiny, sizeof tiny));
    EXPECT_FALSE(MoveIntoPlace(dir_.File("missing.part").c_str(), final_name.c_str()));
    EXPECT_TRUE(IsDeviceFile(kWindows ? "NUL" : "/dev/null"));
}

#if defined(__linux__)
TEST_F(PlatformTest, LinksAreNeverFollowed) {
    // A link at the final name is not a device, whatever it points to: it is replaced, and
    // its target is left alone.
    const std::string victim = dir_.Write("victim", "someone else's file\n");
    fs::create_symlink("/dev/null", dir_.path() / "device-link");
    fs::create_symlink(victim, dir_.path() / "file-link");
    EXPECT_FALSE(IsDeviceFile(dir_.File("device-link").c_str()));
    EXPECT_FALSE(IsDeviceFile(dir_.File("file-link").c_str()));
    EXPECT_EQ(-1, OpenDeviceForWriting(dir_.File("device-link").c_str()));
    char part[kPathSize + 24];
    FileHandle file = CreateTemporaryFile(dir_.File("file-link").c_str(), part, sizeof part);
    ASSERT_NE(-1, file);
    EXPECT_TRUE(WriteOutputFile(file, "list\r\n", 6));
    EXPECT_TRUE(CloseOutputFile(file));
    EXPECT_TRUE(MoveIntoPlace(part, dir_.File("file-link").c_str()));
    EXPECT_FALSE(fs::is_symlink(dir_.path() / "file-link"));
    EXPECT_EQ("list\r\n", ReadFileBytes(dir_.File("file-link")));
    EXPECT_EQ("someone else's file\n", ReadFileBytes(victim));
}
#endif

TEST_F(PlatformTest, ModulePathOfFindsTheExecutable) {
    char executable[kPathSize];
    char module[kPathSize];
    ASSERT_TRUE(ExecutablePath(executable, sizeof executable));
    ASSERT_TRUE(ModulePathOf(reinterpret_cast<const void *>(&ConfigLine), module, sizeof module));
    EXPECT_EQ(fs::path(executable).filename(), fs::path(module).filename());
    char tiny[4];
    EXPECT_FALSE(ExecutablePath(tiny, sizeof tiny));  // cut names are refused, not returned
}

}  // namespace
