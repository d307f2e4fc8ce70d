// The POSIX side of the seam: the project's own INI reader, /proc/self/exe, CLOCK_MONOTONIC,
// dlopen, and the stop request from SIGINT, SIGTERM or SIGHUP. Standard input is read only at
// the device prompt: what a user types ahead during a scan stays for the shell.
#ifndef _WIN32

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/auxv.h>
#include <sys/random.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/ini_reader.h"
#include "platform/platform.h"
#include "platform/stop_state.h"

const char kPathSeparator = '/';
const char *const kCurrentDirectory = "./";
const char *const kTunerLibraryFile = "libLumorath.so";
const char *const kDegreeSign = "\xC2\xB0";

namespace {

std::size_t ReadDescriptor(void *context, char *buffer, std::size_t size) {
    int descriptor = *static_cast<int *>(context);
    for (;;) {
        ssize_t count = ::read(descriptor, buffer, size);
        if (count >= 0) return static_cast<std::size_t>(count);
        if (errno != EINTR) return 0;
    }
}

void CopyReason(char *reason, std::size_t reason_size, const char *text) {
    if (reason != nullptr && reason_size > 0) std::snprintf(reason, reason_size, "%s", text);
}

// Opens a file for reading, only when it is a plain file: a pipe, a device such as /dev/zero
// or a directory would never end or never answer (opened without waiting for a pipe's
// writer). Returns the descriptor, or -1 with the reason.
int OpenPlainFile(const char *path, char *reason, std::size_t reason_size) {
    const int descriptor = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        CopyReason(reason, reason_size, std::strerror(errno));
        return -1;
    }
    struct stat status{};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        CopyReason(reason, reason_size, S_ISDIR(status.st_mode) ? "a directory" : "not a plain file");
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

// Opens the INI file for one lookup; a file that cannot be opened, or is no plain file,
// reads as empty.
class IniFile {
public:
    explicit IniFile(const char *path) : descriptor_(OpenPlainFile(path, nullptr, 0)) {}
    ~IniFile() {
        if (descriptor_ >= 0) ::close(descriptor_);
    }
    IniFile(const IniFile &) = delete;
    IniFile &operator=(const IniFile &) = delete;
    bool Open() const { return descriptor_ >= 0; }
    IniSource Source() { return {&descriptor_, ReadDescriptor}; }

private:
    int descriptor_;
};

std::uint32_t ClockMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                      static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
}

// The stop request. A SIGINT, SIGTERM or SIGHUP is noted, makes the stop pipe readable for
// good (pauses and console waits poll it, so they end at once), and is passed on to the stop
// watch through the request pipe, one byte each. Neither pipe ever blocks its writer.
int g_stop_pipe[2] = {-1, -1};
int g_request_pipe[2] = {-1, -1};

void OnStopSignal(int) {
    const int saved_errno = errno;
    if (NoteStopRequest(ClockMs())) {
        ssize_t ignored = ::write(g_stop_pipe[1], "s", 1);
        (void)ignored;
    }
    ssize_t ignored = ::write(g_request_pipe[1], "r", 1);
    (void)ignored;
    errno = saved_errno;
}

// Waits up to `timeout_ms` (kWaitForever: no limit) until `descriptor` is readable; true when
// it is. A negative descriptor never is: the wait is a plain pause.
bool WaitForReadable(int descriptor, std::uint32_t timeout_ms) {
    const std::uint32_t start_ms = ClockMs();
    for (;;) {
        int wait_ms = -1;
        if (timeout_ms != kWaitForever) {
            const std::uint32_t elapsed_ms = ClockMs() - start_ms;
            if (elapsed_ms >= timeout_ms) return false;
            wait_ms = static_cast<int>(timeout_ms - elapsed_ms);
        }
        pollfd watched{descriptor, POLLIN, 0};
        const int ready = ::poll(&watched, 1, wait_ms);
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return false;
    }
}

void SleepMs(std::uint32_t milliseconds) { WaitForReadable(g_stop_pipe[0], milliseconds); }

void *StopWatchThread(void *) { WatchStopRequests(); }

bool StopRequested() { return StopWasRequested(); }

void InstallStopHandling(void (*save_running_pass)(), int cut_short_code) {
    static bool installed = false;
    if (installed) return;
    installed = true;
    KeepCutShortSave(save_running_pass, cut_short_code);
    // A console that went away (a closed pipe, a dropped session) must never end the scan:
    // its write errors are ignored and the files are still written.
    ::signal(SIGPIPE, SIG_IGN);
    if (pipe2(g_stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0 || pipe2(g_request_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        PrintError("Can't set up the stop handling (%s): a stop waits for pauses and library calls\n",
                   std::strerror(errno));
    }
    // The stop watch takes no signals, so the handlers always interrupt the main path.
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    pthread_t thread;
    if (pthread_create(&thread, nullptr, StopWatchThread, nullptr) == 0) pthread_detach(thread);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    // Installed even where the shell handed a signal down as ignored, so Ctrl+C always works.
    // No SA_RESTART: a read at the device prompt returns, and the run stops.
    struct sigaction action{};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

// Left-Ctrl and A read as held once a stop has been asked for.
bool KeyHeld(int virtual_key) {
    return (virtual_key == kKeyLeftControl || virtual_key == kKeyA) && StopWasRequested();
}

bool ReadUnsigned(std::uint32_t *value) {
    unsigned int number = 0;
    if (std::scanf("%u", &number) != 1) return false;
    *value = number;
    return true;
}

// Writes straight to the descriptor, at most a pipe's atomic unit at a time and each once the
// descriptor takes it. Until a stop it waits as long as the reader needs (`vesker | less`);
// from the stop on, a console nobody reads (a stalled remote login, `vesker cfg.ini | sleep
// 600`) gets kStoppedConsoleWaitMs after the request in all, and what does not fit by then is
// dropped. Write errors (a closed pipe, a terminal that went away) are ignored: the scan goes on.
void WriteBounded(int descriptor, const char *text, std::size_t length) {
    while (length > 0) {
        pollfd watched[2] = {{descriptor, POLLOUT, 0}, {g_stop_pipe[0], POLLIN, 0}};
        int wait_ms = -1;
        if (StopWasRequested()) {
            const std::uint32_t since_ms = ClockMs() - StopRequestMs();
            wait_ms = since_ms >= kStoppedConsoleWaitMs ? 0 : static_cast<int>(kStoppedConsoleWaitMs - since_ms);
            watched[1].fd = -1;
        }
        const int ready = ::poll(watched, 2, wait_ms);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return;
        if (watched[0].revents == 0) continue;  // the stop came: from now on the wait is bounded
        const ssize_t written = ::write(descriptor, text, length < PIPE_BUF ? length : PIPE_BUF);
        if (written < 0 && (errno == EINTR || (errno == EAGAIN && (watched[0].revents & POLLOUT) != 0))) continue;
        if (written <= 0) return;
        text += written;
        length -= static_cast<std::size_t>(written);
    }
}

// The status line, with the ECMA-48 controls every terminal of this kind takes. When standard
// output goes to the same terminal, its transcript line may stand unfinished at the cursor
// ("11700 Mhz ... " while a search runs): the status line then goes on the line below it, and
// the cursor returns to where the transcript goes on. IND (ESC D) moves down a line, scrolling
// at the bottom, CUU (ESC [A) back up; DECSC (ESC 7) saves that place, CUD (ESC [B) and CR go to
// the line below, EL (ESC [K) erases what an older status left there, DECRC (ESC 8) returns.
// ED (ESC [J) at the cursor erases it again. Alone on its terminal, the line is rewritten at
// its start.
enum StatusPlace { kStatusUnknown, kStatusNowhere, kStatusBelowOutput, kStatusOwnLine };
StatusPlace g_status_place = kStatusUnknown;
volatile sig_atomic_t g_status_shown = 0;
const char kStatusErasedBelow[] = "\x1b[J";
const char kStatusErasedOwnLine[] = "\r\x1b[K";

StatusPlace StatusPlaceInUse() {
    if (g_status_place != kStatusUnknown) return g_status_place;
    const char *term = std::getenv("TERM");
    struct stat error_status{};
    struct stat output_status{};
    if (!isatty(STDERR_FILENO) || term == nullptr || term[0] == '\0' || std::strcmp(term, "dumb") == 0) {
        g_status_place = kStatusNowhere;
    } else if (isatty(STDOUT_FILENO) && ::fstat(STDERR_FILENO, &error_status) == 0 &&
               ::fstat(STDOUT_FILENO, &output_status) == 0 && error_status.st_rdev == output_status.st_rdev) {
        g_status_place = kStatusBelowOutput;
    } else {
        g_status_place = kStatusOwnLine;
    }
    return g_status_place;
}

// Before any other output: a shown status line is erased. Also on the cut-short save's thread,
// so only plain writes.
void EraseStatus() {
    if (!g_status_shown) return;
    g_status_shown = 0;
    if (g_status_place == kStatusBelowOutput) {
        WriteBounded(STDERR_FILENO, kStatusErasedBelow, sizeof kStatusErasedBelow - 1);
    } else {
        WriteBounded(STDERR_FILENO, kStatusErasedOwnLine, sizeof kStatusErasedOwnLine - 1);
    }
}

void ShowStatus(const char *text) {
    if (StatusPlaceInUse() == kStatusNowhere) return;
    if (text == nullptr || text[0] == '\0') {
        EraseStatus();
        return;
    }
    // Cut to the terminal's width less one column, so the line never wraps.
    winsize window{};
    int columns = ::ioctl(STDERR_FILENO, TIOCGWINSZ, &window) == 0 && window.ws_col > 1 ? window.ws_col : 80;
    const bool below = g_status_place == kStatusBelowOutput;
    char line[600];
    const int length = std::snprintf(line, sizeof line, "%s%.*s\x1b[K%s", below ? "\x1b" "D\x1b[A\x1b" "7\x1b[B\r" : "\r",
                                     columns - 1 < 500 ? columns - 1 : 500, text, below ? "\x1b" "8" : "");
    if (length <= 0) return;
    const std::size_t written = static_cast<std::size_t>(length) < sizeof line ? static_cast<std::size_t>(length)
                                                                                : sizeof line - 1;
    WriteBounded(STDERR_FILENO, line, written);
    g_status_shown = 1;
}

void WriteConsole(const char *text, std::size_t length) {
    EraseStatus();
    WriteBounded(STDOUT_FILENO, text, length);
}

void WriteErrorLine(const char *text, std::size_t length) {
    EraseStatus();
    WriteBounded(STDERR_FILENO, text, length);
}

void ReadLocalTime(LocalTime *out) {
    time_t now = std::time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    *out = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min};
}

}  // namespace

int IniReadInt(const char *section, const char *key, int default_value, const char *path) {
    IniFile file(path);
    if (!file.Open()) return default_value;
    return IniIntLookup(file.Source(), section, key, default_value);
}

std::uint32_t IniReadText(const char *section, const char *key, const char *default_text, char *out,
                          std::uint32_t size, const char *path) {
    IniFile file(path);
    if (!file.Open()) {
        IniMemory empty{"", 0, 0};
        return IniTextLookup(IniMemorySource(&empty), section, key, default_text, out, size);
    }
    return IniTextLookup(file.Source(), section, key, default_text, out, size);
}

bool ExecutablePath(char *out, std::size_t size) {
    if (size == 0) return false;
    // The kernel's own record of the running file.
    const ssize_t length = ::readlink("/proc/self/exe", out, size - 1);
    if (length > 0 && static_cast<std::size_t>(length) < size - 1) {
        out[length] = '\0';
        return true;
    }
    if (length > 0) {
        errno = ENAMETOOLONG;
        return false;
    }
    // Without /proc (a container, a chroot): the name the program was started under, which the
    // kernel hands every program (AT_EXECFN), resolved from the current directory, which is
    // still the one the program was started in.
    const auto *started_as = reinterpret_cast<const char *>(getauxval(AT_EXECFN));
    char resolved[PATH_MAX];
    if (started_as == nullptr || ::realpath(started_as, resolved) == nullptr) return false;
    const int copied = std::snprintf(out, size, "%s", resolved);
    if (copied < 0 || static_cast<std::size_t>(copied) >= size) {
        errno = ENAMETOOLONG;
        return false;
    }
    return true;
}

bool IsAbsolutePath(const char *path) { return path[0] == '/'; }

bool PathExists(const char *path) {
    struct stat status{};
    return ::lstat(path, &status) == 0;
}

void *OpenLibrary(const char *file, char *reason, std::size_t reason_size) {
    void *library = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char *text = dlerror();
        CopyReason(reason, reason_size, text != nullptr ? text : "unknown error");
    }
    return library;
}

void *FindLibrarySymbol(void *library, const char *name) { return dlsym(library, name); }

const char *EnvironmentValue(const char *name) { return std::getenv(name); }

bool CheckReadableFile(const char *path, char *reason, std::size_t reason_size) {
    const int descriptor = OpenPlainFile(path, reason, reason_size);
    if (descriptor < 0) return false;
    ::close(descriptor);
    return true;
}

bool CheckWritableDirectory(const char *directory, char *reason, std::size_t reason_size) {
    const char *path = directory[0] != '\0' ? directory : ".";
    struct stat status{};
    if (::stat(path, &status) != 0) {
        CopyReason(reason, reason_size, std::strerror(errno));
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        CopyReason(reason, reason_size, "not a directory");
        return false;
    }
    if (::access(path, W_OK | X_OK) != 0) {
        CopyReason(reason, reason_size, std::strerror(errno));
        return false;
    }
    return true;
}

bool IniWalkFile(const char *path, void (*visit)(void *context, const IniLine &line), void *context) {
    IniFile file(path);
    if (!file.Open()) return false;
    IniWalkLines(file.Source(), visit, context);
    return true;
}

bool ModulePathOf(const void *address, char *out, std::size_t size) {
    Dl_info info{};
    if (size == 0 || dladdr(address, &info) == 0 || info.dli_fname == nullptr) return false;
    int length = std::snprintf(out, size, "%s", info.dli_fname);
    return length > 0 && static_cast<std::size_t>(length) < size;
}

FileHandle CreateTemporaryFile(const char *final_name, char *temporary_name, std::size_t size) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 64; ++attempt) {
        unsigned char random[10];
        if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return -1;
        char suffix[sizeof random + 1];
        for (std::size_t i = 0; i < sizeof random; ++i) suffix[i] = kLetters[random[i] % (sizeof kLetters - 1)];
        suffix[sizeof random] = '\0';
        const int length = std::snprintf(temporary_name, size, "%s.%s.part", final_name, suffix);
        if (length < 0 || static_cast<std::size_t>(length) >= size) {
            errno = ENAMETOOLONG;
            return -1;
        }
        // O_EXCL refuses any existing name, a link included; O_NOFOLLOW says so twice.
        const int descriptor =
            ::open(temporary_name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (descriptor >= 0) return descriptor;
        if (errno != EEXIST) return -1;
    }
    return -1;
}

bool IsDeviceFile(const char *path) {
    struct stat status{};
    return ::lstat(path, &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode) &&
           !S_ISLNK(status.st_mode);
}

FileHandle OpenDeviceForWriting(const char *path) {
    // Never waits: a pipe without a reader fails at once instead of holding the run.
    return ::open(path, O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
}

bool WriteOutputFile(FileHandle file, const char *bytes, std::size_t count) {
    while (count > 0) {
        ssize_t written = ::write(static_cast<int>(file), bytes, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

bool CloseOutputFile(FileHandle file) {
    bool synced = ::fsync(static_cast<int>(file)) == 0 || errno == EINVAL;
    return ::close(static_cast<int>(file)) == 0 && synced;
}

[[noreturn]] void ParkForever() {
    for (;;) ::pause();
}

bool WaitForStopRequest(std::uint32_t timeout_ms) {
    char request = 0;
    return WaitForReadable(g_request_pipe[0], timeout_ms) && ::read(g_request_pipe[0], &request, 1) == 1;
}

[[noreturn]] void EndProcessNow(int code) { _exit(code & 0xFF); }

bool MoveIntoPlace(const char *from, const char *to) { return std::rename(from, to) == 0; }

void RemoveFile(const char *path) {
    const int saved_errno = errno;  // the reason of the failure that led here stays readable
    std::remove(path);
    errno = saved_errno;
}

void DescribeLastError(char *out, std::size_t size) {
    if (size == 0) return;
    std::snprintf(out, size, "%s", std::strerror(errno));
}

const PlatformHooks &SystemPlatform() {
    static const PlatformHooks hooks = {ClockMs,       SleepMs,        KeyHeld,
                                        ReadUnsigned,  WriteConsole,   ReadLocalTime,
                                        WriteErrorLine, StopRequested, InstallStopHandling,
                                        ShowStatus};
    return hooks;
}

#endif
