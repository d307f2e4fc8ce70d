// The Windows side of the seam: the Win32 profile lookups themselves, the module file names,
// LoadLibrary, the key state for the stop request (plus Ctrl+C and console close), pauses that
// a stop ends, GetTickCount and the local time.
#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/ini_reader.h"
#include "platform/platform.h"
#include "platform/stop_state.h"

const char kPathSeparator = '\\';
const char *const kCurrentDirectory = ".\\";
const char *const kTunerLibraryFile = "Lumorath.dll";
const char *const kDegreeSign = "\xB0";  // Latin-1, as the console shows it

namespace {

// The stop request from the console: Ctrl+C, Ctrl+Break or closing the window. Windows runs the
// handler on a thread of its own. A request is noted, sets the stop event for good (pauses wait
// on it, so they end at once) and is passed on to the stop watch through the request semaphore.
HANDLE g_stop_event = nullptr;
HANDLE g_request_semaphore = nullptr;

std::uint32_t ClockMs() { return static_cast<std::uint32_t>(GetTickCount()); }

void RequestStop() {
    if (NoteStopRequest(ClockMs()) && g_stop_event != nullptr) SetEvent(g_stop_event);
    if (g_request_semaphore != nullptr) ReleaseSemaphore(g_request_semaphore, 1, nullptr);
}

BOOL WINAPI OnConsoleControl(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        RequestStop();
        return TRUE;
    case CTRL_CLOSE_EVENT:
        RequestStop();
        // Windows ends the process when this returns, and about 5 s after the close at the
        // latest: a library call gets no grace period. Waiting here lets the scan finish its
        // step, write the files and stop the device; the program's own exit ends the wait.
        if (BeginCutShortSave()) EndCutShort();
        Sleep(4500);
        return TRUE;
    default:
        return FALSE;
    }
}

DWORD WINAPI StopWatchThread(void *) { WatchStopRequests(); }

bool StopRequested() { return StopWasRequested(); }

void InstallStopHandling(void (*save_running_pass)(), int cut_short_code) {
    static bool installed = false;
    if (installed) return;
    installed = true;
    KeepCutShortSave(save_running_pass, cut_short_code);
    g_stop_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_request_semaphore = CreateSemaphoreA(nullptr, 0, 0x7FFFFFFF, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, StopWatchThread, nullptr, 0, nullptr);
    if (thread != nullptr) CloseHandle(thread);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void SleepMs(std::uint32_t milliseconds) {
    if (g_stop_event == nullptr) {
        Sleep(static_cast<DWORD>(milliseconds));
    } else {
        WaitForSingleObject(g_stop_event, static_cast<DWORD>(milliseconds));
    }
}

bool KeyHeld(int virtual_key) {
    if ((virtual_key == kKeyLeftControl || virtual_key == kKeyA) && StopWasRequested()) return true;
    return (GetKeyState(virtual_key) & 0x8000) != 0;
}

bool ReadUnsigned(std::uint32_t *value) {
    unsigned int number = 0;
    if (std::scanf("%u", &number) != 1) return false;
    *value = number;
    return true;
}

// Straight to the standard handles, as the bytes stand (the program's "\n" goes out as the
// single LF it wrote, and the Latin-1 bytes reach the console unchanged), and without the C
// runtime's stream locks, which the library may hold while a cut-short save writes.
void WriteHandle(DWORD which, const char *text, std::size_t length) {
    DWORD written = 0;
    WriteFile(GetStdHandle(which), text, static_cast<DWORD>(length), &written, nullptr);
}

// The status line. Where standard output writes to the same console, the transcript may stand
// unfinished at the cursor: the status goes into the console's title, beside the transcript.
// Alone in its console (the transcript redirected), it is rewritten at the line's start.
enum StatusPlace { kStatusUnknown, kStatusNowhere, kStatusTitle, kStatusOwnLine };
StatusPlace g_status_place = kStatusUnknown;
volatile LONG g_status_shown = 0;
char g_original_title[256] = "";

StatusPlace StatusPlaceInUse() {
    if (g_status_place != kStatusUnknown) return g_status_place;
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) == 0) {
        g_status_place = kStatusNowhere;
    } else if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0) {
        g_status_place = kStatusTitle;
        if (GetConsoleTitleA(g_original_title, sizeof g_original_title) == 0) g_original_title[0] = '\0';
    } else {
        g_status_place = kStatusOwnLine;
    }
    return g_status_place;
}

int ConsoleColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info) == 0 || info.dwSize.X < 2) return 80;
    return info.dwSize.X;
}

// Before other output on the status line's own line: blanks over it.
void EraseStatus() {
    if (g_status_place != kStatusOwnLine || InterlockedExchange(&g_status_shown, 0) == 0) return;
    char blanks[512];
    int columns = ConsoleColumns() - 1;
    if (columns > static_cast<int>(sizeof blanks) - 3) columns = static_cast<int>(sizeof blanks) - 3;
    const int length = std::snprintf(blanks, sizeof blanks, "\r%*s\r", columns, "");
    if (length > 0) WriteHandle(STD_ERROR_HANDLE, blanks, static_cast<std::size_t>(length));
}

void ShowStatus(const char *text) {
    const StatusPlace place = StatusPlaceInUse();
    if (place == kStatusNowhere) return;
    const bool clear = text == nullptr || text[0] == '\0';
    if (place == kStatusTitle) {
        SetConsoleTitleA(clear ? g_original_title : text);
        return;
    }
    if (clear) {
        EraseStatus();
        return;
    }
    char line[600];
    int columns = ConsoleColumns() - 1;
    if (columns > 500) columns = 500;
    const int length = std::snprintf(line, sizeof line, "\r%-*.*s\r", columns, columns, text);
    if (length <= 0) return;
    WriteHandle(STD_ERROR_HANDLE, line, static_cast<std::size_t>(length) < sizeof line ? static_cast<std::size_t>(length)
                                                                                       : sizeof line - 1);
    InterlockedExchange(&g_status_shown, 1);
}

void WriteConsole(const char *text, std::size_t length) {
    EraseStatus();
    WriteHandle(STD_OUTPUT_HANDLE, text, length);
}
void WriteErrorLine(const char *text, std::size_t length) {
    EraseStatus();
    WriteHandle(STD_ERROR_HANDLE, text, length);
}

void ReadLocalTime(LocalTime *out) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    *out = {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute};
}

// GetModuleFileNameA cuts a long name without saying so except by filling the buffer.
bool ModuleFileName(HMODULE module, char *out, std::size_t size) {
    if (size == 0 || size > 0x7FFFFFFF) return false;
    DWORD length = GetModuleFileNameA(module, out, static_cast<DWORD>(size));
    if (length == 0 || length >= size) return false;
    out[length] = '\0';
    return true;
}

// The plain file calls take names of at most MAX_PATH-1 characters. A longer one (the
// temporary ".part" beside a list name of 259 characters) goes through the "\\?\" form of
// its full path, which the wide calls accept.
struct LongPath {
    wchar_t text[1024];
};

bool ToLongPath(const char *path, LongPath *out) {
    wchar_t wide[1024];
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, 1024) == 0) return false;
    wchar_t full[1024];
    const DWORD length = GetFullPathNameW(wide, 1024, full, nullptr);
    if (length == 0 || length >= 1024) return false;
    // A network path \\server\share becomes \\?\UNC\server\share.
    const bool network = full[0] == L'\\' && full[1] == L'\\';
    const int written = network ? std::swprintf(out->text, 1024, L"\\\\?\\UNC\\%ls", full + 2)
                                : std::swprintf(out->text, 1024, L"\\\\?\\%ls", full);
    return written > 0;
}

// The system's text for an error code, on one line (FormatMessage ends it in ".\r\n").
void SystemErrorText(DWORD code, char *out, std::size_t size) {
    if (out == nullptr || size == 0) return;
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length = size > 0xFFFF ? 0 : FormatMessageA(flags, nullptr, code, 0, out, static_cast<DWORD>(size), nullptr);
    if (length == 0) {
        std::snprintf(out, size, "error %lu", static_cast<unsigned long>(code));
        return;
    }
    while (length > 0 && (out[length - 1] == '\r' || out[length - 1] == '\n' || out[length - 1] == '.')) --length;
    out[length] = '\0';
}

}  // namespace

int IniReadInt(const char *section, const char *key, int default_value, const char *path) {
    // A present but empty value reads as the default, as a missing one does.
    char text[4];
    if (GetPrivateProfileStringA(section, key, "", text, sizeof text, path) == 0) return default_value;
    // The lookup returns a UINT: a negative number arrives as its two's complement.
    return static_cast<int>(GetPrivateProfileIntA(section, key, default_value, path));
}

std::uint32_t IniReadText(const char *section, const char *key, const char *default_text, char *out,
                          std::uint32_t size, const char *path) {
    if (size == 0) return 0;
    return GetPrivateProfileStringA(section, key, default_text, out, size, path);
}

bool ExecutablePath(char *out, std::size_t size) { return ModuleFileName(nullptr, out, size); }

bool IsAbsolutePath(const char *path) {
    const char first = path[0];
    const bool drive = ((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z')) && path[1] == ':';
    return drive || first == '\\' || first == '/';
}

bool PathExists(const char *path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

void *OpenLibrary(const char *file, char *reason, std::size_t reason_size) {
    // No error box for a file that is not a loadable library: the program says so itself.
    const UINT old_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE library = LoadLibraryA(file);
    const DWORD error = GetLastError();
    SetErrorMode(old_mode);
    if (library == nullptr) SystemErrorText(error, reason, reason_size);
    return reinterpret_cast<void *>(library);
}

void *FindLibrarySymbol(void *library, const char *name) {
    FARPROC function = GetProcAddress(static_cast<HMODULE>(library), name);
    return reinterpret_cast<void *>(function);
}

const char *EnvironmentValue(const char *name) { return std::getenv(name); }

bool CheckReadableFile(const char *path, char *reason, std::size_t reason_size) {
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        SystemErrorText(GetLastError(), reason, reason_size);
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        std::snprintf(reason, reason_size, "a directory");
        return false;
    }
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        SystemErrorText(GetLastError(), reason, reason_size);
        return false;
    }
    const bool plain = GetFileType(file) == FILE_TYPE_DISK;
    CloseHandle(file);
    if (!plain) std::snprintf(reason, reason_size, "not a plain file");
    return plain;
}
#if defined(__i386__)
// CallSavingStack(function, arguments, count): copies the arguments onto a fresh stack area,
// aligned to 16 bytes as GCC's code expects, calls the function and takes the stack pointer
// back from ebp, which both conventions preserve. A stdcall function has popped its
// arguments by then, a cdecl one has not; either way the caller's stack is as it was.
__asm__(
    "    .text\n"
    "    .p2align 4\n"
    "    .globl vesker_call_saving_stack\n"
    "vesker_call_saving_stack:\n"
    "    pushl %ebp\n"
    "    movl %esp, %ebp\n"              // the stack pointer, saved
    "    movl 12(%ebp), %edx\n"          // arguments
    "    movl 16(%ebp), %ecx\n"          // count
    "    leal 0(,%ecx,4), %eax\n"
    "    subl %eax, %esp\n"
    "    andl $-16, %esp\n"
    "    testl %ecx, %ecx\n"
    "    jz 2f\n"
    "1:  movl -4(%edx,%ecx,4), %eax\n"   // the last argument goes highest
    "    movl %eax, -4(%esp,%ecx,4)\n"
    "    decl %ecx\n"
    "    jnz 1b\n"
    "2:  call *8(%ebp)\n"
    "    movl %ebp, %esp\n"              // ... and restored
    "    popl %ebp\n"
    "    ret\n");
#endif

bool CheckWritableDirectory(const char *directory, char *reason, std::size_t reason_size) {
    const char *path = directory[0] != '\0' ? directory : ".";
    const DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        SystemErrorText(GetLastError(), reason, reason_size);
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        std::snprintf(reason, reason_size, "not a directory");
        return false;
    }
    // Whether a file may be created there is known only by creating one: a probe that the
    // system removes when it is closed.
    char probe[MAX_PATH];
    if (GetTempFileNameA(path, "vsk", 0, probe) == 0) {
        SystemErrorText(GetLastError(), reason, reason_size);
        return false;
    }
    DeleteFileA(probe);
    return true;
}

namespace {

std::size_t ReadHandle(void *context, char *buffer, std::size_t size) {
    DWORD got = 0;
    if (ReadFile(*static_cast<HANDLE *>(context), buffer, static_cast<DWORD>(size), &got, nullptr) == 0) return 0;
    return got;
}

}  // namespace

bool IniWalkFile(const char *path, void (*visit)(void *context, const IniLine &line), void *context) {
    char reason[8];
    if (!CheckReadableFile(path, reason, sizeof reason)) return false;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    IniWalkLines(IniSource{&file, ReadHandle}, visit, context);
    CloseHandle(file);
    return true;
}

bool ModulePathOf(const void *address, char *out, std::size_t size) {
    HMODULE module = nullptr;
    const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!GetModuleHandleExA(flags, static_cast<LPCSTR>(address), &module)) return false;
    return ModuleFileName(module, out, size);
}

// Opens `path` through the plain or the "\\?\" call, whichever its length needs.
HANDLE OpenPath(const char *path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
    LongPath long_path;
    if (std::strlen(path) < MAX_PATH) return CreateFileA(path, access, share, nullptr, disposition, flags, nullptr);
    if (ToLongPath(path, &long_path)) {
        return CreateFileW(long_path.text, access, share, nullptr, disposition, flags, nullptr);
    }
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return INVALID_HANDLE_VALUE;
}

FileHandle CreateTemporaryFile(const char *final_name, char *temporary_name, std::size_t size) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    static LONG counter = 0;
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    // SplitMix64 over the clock, the process and a counter: names differ between runs and
    // attempts; CREATE_NEW makes each one safe whatever stands at the name.
    std::uint64_t state = static_cast<std::uint64_t>(now.QuadPart) ^ (static_cast<std::uint64_t>(GetCurrentProcessId()) << 40) ^
                          static_cast<std::uint64_t>(InterlockedIncrement(&counter)) * 0x9E3779B97F4A7C15ull;
    for (int attempt = 0; attempt < 64; ++attempt) {
        char suffix[11];
        for (int i = 0; i < 10; ++i) {
            state += 0x9E3779B97F4A7C15ull;
            std::uint64_t z = state;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            suffix[i] = kLetters[(z ^ (z >> 31)) % (sizeof kLetters - 1)];
        }
        suffix[10] = '\0';
        const int length = std::snprintf(temporary_name, size, "%s.%s.part", final_name, suffix);
        if (length < 0 || static_cast<std::size_t>(length) >= size) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return -1;
        }
        HANDLE file = OpenPath(temporary_name, GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT);
        if (file != INVALID_HANDLE_VALUE) return reinterpret_cast<FileHandle>(file);
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return -1;
    }
    return -1;
}

FileHandle OpenDeviceForWriting(const char *path) {
    HANDLE file = OpenPath(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
    return file == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<FileHandle>(file);
}

bool IsDeviceFile(const char *path) {
    // Opened without access rights just to ask its type: NUL, CON, COM1 and pipes are not
    // disk files (a directory opens as one with backup semantics, and is not a device).
    // A link is looked at itself, never followed: it is replaced like a plain file.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE file = OpenPath(path, 0, share, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
    if (file == INVALID_HANDLE_VALUE) return false;
    const DWORD type = GetFileType(file);
    CloseHandle(file);
    return type != FILE_TYPE_DISK && type != FILE_TYPE_UNKNOWN;
}

bool WriteOutputFile(FileHandle file, const char *bytes, std::size_t count) {
    HANDLE handle = reinterpret_cast<HANDLE>(file);
    while (count > 0) {
        const DWORD chunk = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
        DWORD written = 0;
        if (!WriteFile(handle, bytes, chunk, &written, nullptr) || written == 0) return false;
        bytes += written;
        count -= written;
    }
    return true;
}

bool CloseOutputFile(FileHandle file) {
    HANDLE handle = reinterpret_cast<HANDLE>(file);
    const bool flushed = FlushFileBuffers(handle) != 0;
    return CloseHandle(handle) != 0 && flushed;
}

bool MoveIntoPlace(const char *from, const char *to) {
    if (std::strlen(from) < MAX_PATH && std::strlen(to) < MAX_PATH) {
        return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
    }
    LongPath long_from;
    LongPath long_to;
    return ToLongPath(from, &long_from) && ToLongPath(to, &long_to) &&
           MoveFileExW(long_from.text, long_to.text, MOVEFILE_REPLACE_EXISTING) != 0;
}

void RemoveFile(const char *path) {
    const DWORD saved_error = GetLastError();  // the reason of the failure that led here stays readable
    LongPath long_path;
    if (std::strlen(path) < MAX_PATH) {
        DeleteFileA(path);
    } else if (ToLongPath(path, &long_path)) {
        DeleteFileW(long_path.text);
    }
    SetLastError(saved_error);
}

void DescribeLastError(char *out, std::size_t size) { SystemErrorText(GetLastError(), out, size); }

[[noreturn]] void ParkForever() {
    for (;;) Sleep(INFINITE);
}

bool WaitForStopRequest(std::uint32_t timeout_ms) {
    if (g_request_semaphore == nullptr) ParkForever();
    const DWORD wait_ms = timeout_ms == kWaitForever ? INFINITE : static_cast<DWORD>(timeout_ms);
    return WaitForSingleObject(g_request_semaphore, wait_ms) == WAIT_OBJECT_0;
}

// Not ExitProcess: it would wait for the library, which may hold the loader lock for good.
[[noreturn]] void EndProcessNow(int code) {
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
    ParkForever();
}

const PlatformHooks &SystemPlatform() {
    static const PlatformHooks hooks = {ClockMs,       SleepMs,        KeyHeld,
                                        ReadUnsigned,  WriteConsole,   ReadLocalTime,
                                        WriteErrorLine, StopRequested, InstallStopHandling,
                                        ShowStatus};
    return hooks;
}

#endif
