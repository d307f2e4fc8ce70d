#include "support/fake_platform.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

FakePlatform g_fake;

std::uint32_t FakeClock() {
    std::uint32_t now = g_fake.now_ms;
    g_fake.now_ms += g_fake.tick_ms;
    return now;
}

void FakeSleep(std::uint32_t milliseconds) {
    g_fake.sleeps.push_back(milliseconds);
    if (g_fake.sleeps.size() == g_fake.stop_at_sleep) g_fake.stop_requested = true;
    g_fake.now_ms += milliseconds;
}

bool FakeKeyHeld(int virtual_key) {
    if (virtual_key == kKeyLeftControl) ++g_fake.key_polls;
    bool stopping = g_fake.stop_at_poll > 0 && g_fake.key_polls >= g_fake.stop_at_poll;
    if (virtual_key == kKeyLeftControl) return stopping || g_fake.left_control_only;
    if (virtual_key == kKeyA) return stopping;
    return false;
}

bool FakeReadUnsigned(std::uint32_t *value) {
    if (g_fake.typed.empty()) return false;
    *value = g_fake.typed.front();
    g_fake.typed.pop_front();
    return true;
}

void FakeWriteConsole(const char *text, std::size_t length) { g_fake.console.append(text, length); }

void FakeLocalTime(LocalTime *out) { *out = g_fake.time; }

void FakeWriteError(const char *text, std::size_t length) { g_fake.errors.append(text, length); }

bool FakeStopRequested() { return g_fake.stop_requested; }

void FakeInstallStopHandling(void (*save_running_pass)(), int) { g_fake.save_running_pass = save_running_pass; }

void FakeShowStatus(const char *text) { g_fake.statuses.emplace_back(text != nullptr ? text : ""); }

}  // namespace

FakePlatform &InstallFakePlatform() {
    g_fake = FakePlatform{};
    Platform() = PlatformHooks{FakeClock,        FakeSleep,      FakeKeyHeld,       FakeReadUnsigned,
                               FakeWriteConsole, FakeLocalTime,  FakeWriteError,    FakeStopRequested,
                               FakeInstallStopHandling, FakeShowStatus};
    return g_fake;
}

FakePlatform &Fake() { return g_fake; }

void RestoreSystemPlatform() { Platform() = SystemPlatform(); }

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
        auto candidate = base / ("vesker-test-" + std::to_string(std::rand()) + "-" + std::to_string(counter++));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string &name, const std::string &content) const {
    std::string full = File(name);
    std::ofstream out(full, std::ios::binary);
    out << content;
    return full;
}

std::string ReadFileBytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "";
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void ExpectGolden(const std::string &name, const std::string &actual) {
    const std::string path = std::string(VESKER_GOLDEN_DIR) + "/" + name;
    const char *regenerate = std::getenv("VESKER_REGENERATE");
    if (regenerate != nullptr && regenerate[0] == '1') {
        std::ofstream out(path, std::ios::binary);
        out << actual;
        return;
    }
    std::string expected = ReadFileBytes(path);
    ASSERT_FALSE(expected.empty()) << "missing golden file " << path << " (run with VESKER_REGENERATE=1)";
    EXPECT_EQ(expected, actual) << "golden file " << path;
}
