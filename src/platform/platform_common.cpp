// The parts of the seam that are the same on every platform: the hooks table, Print and the
// state that tells a stop request whether the program waits inside the tuner library.
#include <atomic>
#include <cstdarg>
#include <cstdio>

#include "platform/platform.h"
#include "platform/stop_state.h"

PlatformHooks &Platform() {
    static PlatformHooks hooks = SystemPlatform();
    return hooks;
}

namespace {

void WriteFormatted(void (*write)(const char *, std::size_t), const char *format, va_list arguments) {
    char text[2048];
    int length = std::vsnprintf(text, sizeof text, format, arguments);
    if (length < 0) return;
    std::size_t size = static_cast<std::size_t>(length);
    if (size >= sizeof text) size = sizeof text - 1;  // cut, never overflow
    write(text, size);
}

// Where the main path is: running its own code, waiting inside a library call, or held for
// good because a cut-short save has begun. One atomic word, so a signal handler may change it.
enum : int { kRunningOwnCode = 0, kInsideLibraryCall = 1, kSaving = 2 };
std::atomic<int> g_main_path{kRunningOwnCode};
static_assert(std::atomic<int>::is_always_lock_free, "the state is changed from signal handlers");

}  // namespace

void Print(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    WriteFormatted(Platform().write_console, format, arguments);
    va_end(arguments);
}

void PrintError(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    WriteFormatted(Platform().write_error, format, arguments);
    va_end(arguments);
}

void EnterBlockingCall() {
    int expected = kRunningOwnCode;
    g_main_path.compare_exchange_strong(expected, kInsideLibraryCall);
}

void LeaveBlockingCall() {
    int expected = kInsideLibraryCall;
    if (g_main_path.compare_exchange_strong(expected, kRunningOwnCode)) return;
    if (expected == kSaving) ParkForever();  // the save thread ends the program
}

bool BeginCutShortSave() {
    int expected = kInsideLibraryCall;
    return g_main_path.compare_exchange_strong(expected, kSaving);
}
