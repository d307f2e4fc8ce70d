// The parts of the seam that are the same on every platform: the hooks table, Print, and the
// stop handling from a noted request to the end of a run cut short.
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

// Where the main path is, in one atomic word that a signal handler may read: bits 0 and 1 say
// whether it runs its own code, waits inside a library call, or is held for good because a
// cut-short save has begun; the bits above count the calls it has entered, so the stop watch
// tells one long call from two short ones.
constexpr unsigned kRunningOwnCode = 0, kInsideLibraryCall = 1, kSaving = 2, kWhereBits = 3, kOneCall = 4;
std::atomic<unsigned> g_main_path{kRunningOwnCode};
std::atomic<int> g_stop_requested{0};
std::atomic<std::uint32_t> g_stop_request_ms{0};
static_assert(std::atomic<unsigned>::is_always_lock_free && std::atomic<int>::is_always_lock_free &&
                  std::atomic<std::uint32_t>::is_always_lock_free,
              "the state is changed from signal handlers");

void (*g_save_running_pass)() = nullptr;
int g_cut_short_code = 0;

// How often the stop watch looks at the main path once a stop has been asked for.
constexpr std::uint32_t kStopWatchTickMs = 100;

bool InsideCall(unsigned word) { return (word & kWhereBits) == kInsideLibraryCall; }

// Claims the save while the main path is inside the call `observed` says.
bool ClaimSave(unsigned observed) {
    return InsideCall(observed) && g_main_path.compare_exchange_strong(observed, (observed & ~kWhereBits) | kSaving);
}

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
    unsigned word = g_main_path.load();
    if ((word & kWhereBits) != kRunningOwnCode) return;
    g_main_path.compare_exchange_strong(word, word + kOneCall + kInsideLibraryCall);
}

void LeaveBlockingCall() {
    unsigned word = g_main_path.load();
    if (InsideCall(word) && g_main_path.compare_exchange_strong(word, word - kInsideLibraryCall)) return;
    if ((word & kWhereBits) == kSaving) ParkForever();  // the save ends the program
}

bool BeginCutShortSave() { return ClaimSave(g_main_path.load()); }

bool NoteStopRequest(std::uint32_t now_ms) {
    if (g_stop_requested.load() != 0) return false;
    g_stop_request_ms.store(now_ms);
    return g_stop_requested.exchange(1) == 0;
}

bool StopWasRequested() { return g_stop_requested.load() != 0; }

std::uint32_t StopRequestMs() { return g_stop_request_ms.load(); }

void KeepCutShortSave(void (*save_running_pass)(), int cut_short_code) {
    g_save_running_pass = save_running_pass;
    g_cut_short_code = cut_short_code;
}

void WatchStopRequests() {
    WaitForStopRequest(kWaitForever);
    std::uint32_t (*const clock_ms)() = SystemPlatform().clock_ms;
    unsigned watched = g_main_path.load();
    std::uint32_t watched_since_ms = StopRequestMs();
    for (;;) {
        const bool further = WaitForStopRequest(kStopWatchTickMs);
        const unsigned word = g_main_path.load();
        if (word != watched) {
            watched = word;
            watched_since_ms = clock_ms();
        }
        const bool overdue = clock_ms() - watched_since_ms >= kStopGraceMs;
        if ((further || overdue) && ClaimSave(word)) EndCutShort();
    }
}

void EndCutShort() {
    g_save_running_pass();
    EndProcessNow(g_cut_short_code);
}
