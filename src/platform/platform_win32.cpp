// The Windows side of the seam: the Win32 profile lookups themselves, the module file names,
// LoadLibrary, the key state for the stop request (plus Ctrl+C and console close), Sleep,
// GetTickCount and the local time.
#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

const char kPathSeparator = '\\';
const char *const kCurrentDirectory = ".\\";
const char *const kTunerLibraryFile = "Lumorath.dll";
const char *const kDegreeSign = "\xB0";  // Latin-1, as the console shows it

namespace {

// The stop request from the console: Ctrl+C, Ctrl+Break or closing the window make
// Left-Ctrl and A read as held while the scan watches the keys.
volatile LONG g_console_stop = 0;
volatile LONG g_watching = 0;

BOOL WINAPI OnConsoleControl(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        // A second Ctrl+C ends the program the ordinary way.
        if (InterlockedExchange(&g_console_stop, 1) != 0) return FALSE;
        return TRUE;
    case CTRL_CLOSE_EVENT:
        // Windows ends the process when this returns (or after about 5 s): give the scan
        // time to finish its step, write the files and stop the device.
        InterlockedExchange(&g_console_stop, 1);
        for (int waited_ms = 0; g_watching != 0 && waited_ms < 4500; waited_ms += 50) Sleep(50);
        return TRUE;
    default:
        return FALSE;
    }
}

std::uint32_t ClockMs() { return static_cast<std::uint32_t>(GetTickCount()); }

void SleepMs(std::uint32_t milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

bool KeyHeld(int virtual_key) {
    if ((virtual_key == kKeyLeftControl || virtual_key == kKeyA) && g_console_stop != 0) return true;
    return (GetKeyState(virtual_key) & 0x8000) != 0;
}

void BeginKeyWatch() {
    if (InterlockedExchange(&g_watching, 1) != 0) return;
    InterlockedExchange(&g_console_stop, 0);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void EndKeyWatch() {
    if (InterlockedExchange(&g_watching, 0) == 0) return;
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

bool ReadUnsigned(std::uint32_t *value) {
    unsigned int number = 0;
    if (std::scanf("%u", &number) != 1) return false;
    *value = number;
    return true;
}

// Standard output in binary mode: the program's "\n" goes out as the single LF it wrote,
// and the Latin-1 bytes reach the console unchanged.
void WriteConsole(const char *text, std::size_t length) {
    static const bool binary = _setmode(_fileno(stdout), _O_BINARY) != -1;
    (void)binary;
    std::fwrite(text, 1, length, stdout);
    std::fflush(stdout);
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

void *OpenLibrary(const char *file) {
    // No error box for a file that is not a loadable library: the program says so itself.
    const UINT old_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE library = LoadLibraryA(file);
    SetErrorMode(old_mode);
    return reinterpret_cast<void *>(library);
}

void *FindLibrarySymbol(void *library, const char *name) {
    FARPROC function = GetProcAddress(static_cast<HMODULE>(library), name);
    return reinterpret_cast<void *>(function);
}

const char *EnvironmentValue(const char *name) { return std::getenv(name); }

bool ModulePathOf(const void *address, char *out, std::size_t size) {
    HMODULE module = nullptr;
    const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!GetModuleHandleExA(flags, static_cast<LPCSTR>(address), &module)) return false;
    return ModuleFileName(module, out, size);
}

FileHandle CreateOutputFile(const char *path) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    return reinterpret_cast<FileHandle>(file);
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
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}

void RemoveFile(const char *path) { DeleteFileA(path); }

const PlatformHooks &SystemPlatform() {
    static const PlatformHooks hooks = {ClockMs,     SleepMs,       KeyHeld,       ReadUnsigned,
                                        WriteConsole, ReadLocalTime, BeginKeyWatch, EndKeyWatch};
    return hooks;
}

#endif
