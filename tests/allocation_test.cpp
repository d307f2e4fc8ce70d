// The scan, the pass loop and the writers allocate no memory: every search writes straight
// into the record array, every text goes through fixed buffers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "driver/lnb.h"
#include "driver/pass_loop.h"
#include "support/fake_platform.h"
#include "support/instant_tuner.h"

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(VESKER_SANITIZERS_ON)
#define VESKER_COUNT_ALLOCATIONS 1
// Counts every malloc, calloc and realloc of the process while `g_counting` is set.
extern "C" void *__libc_malloc(std::size_t size);
extern "C" void *__libc_calloc(std::size_t count, std::size_t size);
extern "C" void *__libc_realloc(void *pointer, std::size_t size);
namespace {
bool g_counting = false;
unsigned long g_allocations = 0;
}  // namespace
extern "C" void *malloc(std::size_t size) {
    if (g_counting) ++g_allocations;
    return __libc_malloc(size);
}
extern "C" void *calloc(std::size_t count, std::size_t size) {
    if (g_counting) ++g_allocations;
    return __libc_calloc(count, size);
}
extern "C" void *realloc(void *pointer, std::size_t size) {
    if (g_counting) ++g_allocations;
    return __libc_realloc(pointer, size);
}
#endif

namespace {

[[maybe_unused]] void DiscardConsole(const char *, std::size_t) {}  // unused where counting is off
[[maybe_unused]] void DiscardStatus(const char *) {}

TEST(AllocationTest, WholePassesAllocateNothing) {
#ifndef VESKER_COUNT_ALLOCATIONS
    GTEST_SKIP() << "allocation counting needs glibc without sanitizers";
#else
    InstallFakePlatform();
    Platform().write_console = DiscardConsole;
    Platform().show_status = DiscardStatus;  // the fake would keep every status line
    UseTuner(InstantTunerTable());
    TempDir dir;
    const std::string path = dir.path().string() + "/";  // the report and list go inside it
    const std::string config = dir.Write(
        "Vesker.ini", "[Options]\nLoop=2\nInfoFormat=7\n[SatInfo]\nDiSEqC=1\n"
                      "[Scan0]\nPol=H\nStep=10\n[Scan1]\nPol=V\nStep=10\n[Scan2]\nPol=L\nStep=10\n[Scan3]\nPol=R\nStep=10\n");
    Fake().stop_at_poll = 2000;  // a stop request during the third pass
    const LnbSettings lnb{9750, 10600, 11700, 10700, 12750};
    g_counting = true;
    std::string probe(100, 'x');  // the counter itself must see an allocation
    g_counting = false;
    ASSERT_GT(g_allocations, 0ul);
    for (int format = 0; format <= 7; ++format) {
        SCOPED_TRACE(format);
        Fake().key_polls = 0;
        // The last round draws the band map and writes the further lists as well.
        const int band_map = format == 7 ? 1 : 0;
        OutputOptions output{path.c_str(), path.c_str(), "Sat & <Name>", format, 7, 2, 192, 1, 9750, 10600, 11700,
                             band_map, 0, 0, band_map != 0 ? 0xFu : 0u, nullptr, 0};
        g_allocations = 0;
        g_counting = true;
        const int result = RunPassLoop(config.c_str(), lnb, output);
        g_counting = false;
        EXPECT_EQ(0, result);
        EXPECT_EQ(0ul, g_allocations);
    }
    EXPECT_GT(InstantTunerSearches(), 3u * 824u) << "three passes of about 824 searches each per format";
    EXPECT_TRUE(std::filesystem::exists(path + "0192.svg")) << "the last round drew the band map";
    RestoreSystemPlatform();
#endif
}

}  // namespace
