// The POSIX side of the seam: the project's own INI reader, /proc/self/exe, nanosleep,
// CLOCK_MONOTONIC, dlopen, and the stop request from SIGINT, SIGTERM, SIGHUP or a typed Ctrl+A.
#ifndef _WIN32

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
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

void SleepMs(std::uint32_t milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

// The stop request. SIGINT, SIGTERM or SIGHUP sets it; so does Ctrl+A typed at a terminal
// while the scan watches the keys. A second SIGINT, or SIGTERM or SIGHUP while the main path
// waits inside the tuner library, wakes the save thread, which writes what the running pass
// holds and ends the program.
volatile sig_atomic_t g_stop_requested = 0;
volatile sig_atomic_t g_terminal_changed = 0;
termios g_saved_terminal{};
bool g_watching = false;
sem_t g_save_wanted;
void (*g_save_running_pass)() = nullptr;
int g_cut_short_code = 0;

void RestoreTerminal() {
    if (g_terminal_changed) {
        tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_terminal);
        g_terminal_changed = 0;
    }
}

void OnStopSignal(int signal_number) {
    const int saved_errno = errno;
    const bool repeated = g_stop_requested != 0;
    g_stop_requested = 1;
    if ((signal_number != SIGINT || repeated) && BeginCutShortSave()) sem_post(&g_save_wanted);
    errno = saved_errno;
}

// While the program ends cut short, the main path may hold the stdio locks inside the library,
// and the console may be a pipe nobody reads: a line goes straight to the descriptor, and only
// when it fits at once, so the save never waits on either.
void WriteWithoutWaiting(int descriptor, const char *text, std::size_t length) {
    pollfd out{descriptor, POLLOUT, 0};
    if (::poll(&out, 1, 0) == 1 && (out.revents & POLLOUT) != 0) {
        ssize_t ignored = ::write(descriptor, text, length);
        (void)ignored;
    }
}
void WriteConsoleWithoutWaiting(const char *text, std::size_t length) {
    WriteWithoutWaiting(STDOUT_FILENO, text, length);
}
void WriteErrorWithoutWaiting(const char *text, std::size_t length) {
    WriteWithoutWaiting(STDERR_FILENO, text, length);
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

const char *StatusErasure() {
    return g_status_place == kStatusBelowOutput ? kStatusErasedBelow : kStatusErasedOwnLine;
}

// Before any other output: a shown status line is erased.
void EraseStatus() {
    if (!g_status_shown) return;
    g_status_shown = 0;
    std::fputs(StatusErasure(), stderr);
    std::fflush(stderr);
}

void ShowStatus(const char *text) {
    if (StatusPlaceInUse() == kStatusNowhere) return;
    std::fflush(stdout);
    if (text == nullptr || text[0] == '\0') {
        EraseStatus();
        return;
    }
    // Cut to the terminal's width less one column, so the line never wraps.
    winsize window{};
    int columns = ::ioctl(STDERR_FILENO, TIOCGWINSZ, &window) == 0 && window.ws_col > 1 ? window.ws_col : 80;
    const bool below = g_status_place == kStatusBelowOutput;
    char line[600];
    std::snprintf(line, sizeof line, "%s%.*s\x1b[K%s", below ? "\x1b" "D\x1b[A\x1b" "7\x1b[B\r" : "\r",
                  columns - 1 < 500 ? columns - 1 : 500, text, below ? "\x1b" "8" : "");
    std::fputs(line, stderr);
    std::fflush(stderr);
    g_status_shown = 1;
}

void *SaveThread(void *) {
    while (sem_wait(&g_save_wanted) != 0) {
    }
    if (g_status_shown) WriteErrorWithoutWaiting(StatusErasure(), std::strlen(StatusErasure()));
    Platform().write_console = WriteConsoleWithoutWaiting;
    Platform().write_error = WriteErrorWithoutWaiting;
    g_save_running_pass();
    RestoreTerminal();
    _exit(g_cut_short_code & 0xFF);
}

bool StopRequested() { return g_stop_requested != 0; }

void InstallStopHandling(void (*save_running_pass)(), int cut_short_code) {
    static bool installed = false;
    if (installed) return;
    installed = true;
    g_save_running_pass = save_running_pass;
    g_cut_short_code = cut_short_code;
    // A console that went away (a closed pipe, a dropped session) must never end the scan:
    // its write errors are ignored and the files are still written.
    ::signal(SIGPIPE, SIG_IGN);
    sem_init(&g_save_wanted, 0, 0);
    // The save thread takes no signals, so the handlers always interrupt the main path.
    sigset_t all, previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    pthread_t thread;
    if (pthread_create(&thread, nullptr, SaveThread, nullptr) == 0) pthread_detach(thread);
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

void PollTypedKeys() {
    if (!g_terminal_changed) return;
    unsigned char byte = 0;
    while (::read(STDIN_FILENO, &byte, 1) == 1) {
        if (byte == 0x01) g_stop_requested = 1;  // Ctrl+A
    }
}

bool KeyHeld(int virtual_key) {
    if (virtual_key != kKeyLeftControl && virtual_key != kKeyA) return false;
    PollTypedKeys();
    return g_stop_requested != 0;
}

void BeginKeyWatch() {
    if (g_watching) return;
    g_watching = true;
    if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &g_saved_terminal) == 0) {
        termios raw = g_saved_terminal;
        raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));  // ISIG stays: Ctrl+C still signals
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) {
            g_terminal_changed = 1;
            std::atexit(RestoreTerminal);
        }
    }
}

void EndKeyWatch() {
    if (!g_watching) return;
    g_watching = false;
    RestoreTerminal();
}

bool ReadUnsigned(std::uint32_t *value) {
    unsigned int number = 0;
    if (std::scanf("%u", &number) != 1) return false;
    *value = number;
    return true;
}

// Write errors (a closed pipe, a terminal that went away) are ignored: the scan goes on.
void WriteConsole(const char *text, std::size_t length) {
    EraseStatus();
    std::fwrite(text, 1, length, stdout);
    std::fflush(stdout);
}

void WriteErrorLine(const char *text, std::size_t length) {
    std::fflush(stdout);
    EraseStatus();
    std::fwrite(text, 1, length, stderr);
    std::fflush(stderr);
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
    ssize_t length = ::readlink("/proc/self/exe", out, size - 1);
    if (length <= 0 || static_cast<std::size_t>(length) >= size - 1) return false;
    out[length] = '\0';
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
    static const PlatformHooks hooks = {ClockMs,       SleepMs,        KeyHeld,        ReadUnsigned,
                                        WriteConsole,  ReadLocalTime,  BeginKeyWatch,  EndKeyWatch,
                                        WriteErrorLine, StopRequested,  InstallStopHandling,
                                        ShowStatus};
    return hooks;
}

#endif
