// The POSIX side of the seam: the project's own INI reader, /proc/self/exe, nanosleep,
// CLOCK_MONOTONIC, dlopen, and the stop request from SIGINT, SIGTERM or a typed Ctrl+A.
#ifndef _WIN32

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/ini_reader.h"
#include "platform/platform.h"

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

// Opens the INI file for one lookup; a file that cannot be opened reads as empty. Only a
// plain file is read: a pipe, a device such as /dev/zero or a directory would never end or
// never answer, so they count as missing (opened without waiting for a pipe's writer).
class IniFile {
public:
    explicit IniFile(const char *path) : descriptor_(::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {
        struct stat status{};
        if (descriptor_ >= 0 && (::fstat(descriptor_, &status) != 0 || !S_ISREG(status.st_mode))) {
            ::close(descriptor_);
            descriptor_ = -1;
        }
    }
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

// The stop request. SIGINT or SIGTERM sets it; so does Ctrl+A typed at a terminal while
// the scan watches the keys. A second SIGINT ends the program the ordinary way.
volatile sig_atomic_t g_stop_requested = 0;
bool g_terminal_changed = false;
termios g_saved_terminal{};
struct sigaction g_saved_interrupt{};
struct sigaction g_saved_terminate{};
bool g_watching = false;

void RestoreTerminal() {
    if (g_terminal_changed) {
        tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_terminal);
        g_terminal_changed = false;
    }
}

void OnStopSignal(int signal_number) {
    if (signal_number == SIGINT && g_stop_requested) {
        // Second Ctrl+C: restore the terminal and end the ordinary way.
        if (g_terminal_changed) tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_terminal);
        ::signal(SIGINT, SIG_DFL);
        ::raise(SIGINT);
        return;
    }
    g_stop_requested = 1;
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
    struct sigaction action{};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &g_saved_interrupt);
    sigaction(SIGTERM, &action, &g_saved_terminate);
    if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &g_saved_terminal) == 0) {
        termios raw = g_saved_terminal;
        raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));  // ISIG stays: Ctrl+C still signals
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) {
            g_terminal_changed = true;
            std::atexit(RestoreTerminal);
        }
    }
}

void EndKeyWatch() {
    if (!g_watching) return;
    g_watching = false;
    RestoreTerminal();
    sigaction(SIGINT, &g_saved_interrupt, nullptr);
    sigaction(SIGTERM, &g_saved_terminate, nullptr);
}

bool ReadUnsigned(std::uint32_t *value) {
    unsigned int number = 0;
    if (std::scanf("%u", &number) != 1) return false;
    *value = number;
    return true;
}

void WriteConsole(const char *text, std::size_t length) {
    std::fwrite(text, 1, length, stdout);
    std::fflush(stdout);
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

void *OpenLibrary(const char *file) { return dlopen(file, RTLD_NOW | RTLD_LOCAL); }

void *FindLibrarySymbol(void *library, const char *name) { return dlsym(library, name); }

const char *EnvironmentValue(const char *name) { return std::getenv(name); }

bool ModulePathOf(const void *address, char *out, std::size_t size) {
    Dl_info info{};
    if (size == 0 || dladdr(address, &info) == 0 || info.dli_fname == nullptr) return false;
    int length = std::snprintf(out, size, "%s", info.dli_fname);
    return length > 0 && static_cast<std::size_t>(length) < size;
}

FileHandle CreateOutputFile(const char *path) {
    // Never waits: a pipe without a reader fails at once instead of holding the run.
    return ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
}

bool IsDeviceFile(const char *path) {
    struct stat status{};
    return ::stat(path, &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
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

bool MoveIntoPlace(const char *from, const char *to) { return std::rename(from, to) == 0; }

void RemoveFile(const char *path) { std::remove(path); }

const PlatformHooks &SystemPlatform() {
    static const PlatformHooks hooks = {ClockMs,     SleepMs,       KeyHeld,       ReadUnsigned,
                                        WriteConsole, ReadLocalTime, BeginKeyWatch, EndKeyWatch};
    return hooks;
}

#endif
