// The program's only seam to the operating system. Everything outside src/platform/
// reaches the OS through these functions; the win32 and posix files implement them.
#pragma once

#include <cstddef>
#include <cstdint>

// Paths and directories hold at most 259 characters and the terminating zero.
constexpr std::size_t kPathSize = 260;

// The directory separator: backslash on Windows, slash on POSIX.
extern const char kPathSeparator;
// The current directory as a prefix: ".\" on Windows, "./" on POSIX.
extern const char *const kCurrentDirectory;
// The tuner library's file name beside the executable.
extern const char *const kTunerLibraryFile;
// The degree sign of the console texts: the Latin-1 byte B0 on Windows, UTF-8 on POSIX.
extern const char *const kDegreeSign;

// Virtual key codes polled for the stop request.
constexpr int kKeyLeftControl = 0xA2;
constexpr int kKeyA = 0x41;

// INI lookups with the Win32 semantics. A missing file, section or key yields the default.
// The integer lookup returns the default for an empty value too; otherwise it parses like
// GetPrivateProfileIntA (leading blanks, one sign, 0x, stops at the first non-digit, low
// 32 bits). The text lookup copies at most size-1 characters and returns the count copied.
int IniReadInt(const char *section, const char *key, int default_value, const char *path);
std::uint32_t IniReadText(const char *section, const char *key, const char *default_text,
                          char *out, std::uint32_t size, const char *path);

// The running executable's full path; false when it cannot be had.
bool ExecutablePath(char *out, std::size_t size);
// True for a path that names its file without the current directory: on POSIX one that
// starts with '/'; on Windows one with a drive letter or starting with '\' or '/'.
bool IsAbsolutePath(const char *path);
// True when something of that name exists (a file, a directory, a device, a link).
bool PathExists(const char *path);

// The tuner library file: open it and find a function in it. Null on failure.
void *OpenLibrary(const char *file);
void *FindLibrarySymbol(void *library, const char *name);
// An environment variable, or null.
const char *EnvironmentValue(const char *name);

// The full path of the executable or library that holds `address` (the simulator finds its
// settings file beside itself this way); false when it cannot be had.
bool ModulePathOf(const void *address, char *out, std::size_t size);

// Output files, written in binary mode without buffering of their own (the writers buffer).
// A handle is -1 when the file cannot be created; writes report whether every byte went out.
using FileHandle = std::intptr_t;
FileHandle CreateOutputFile(const char *path);  // created, or truncated if it exists
// True when `path` names something that exists and is not a plain file (a device such as
// /dev/full): such a target is written in place, never replaced.
bool IsDeviceFile(const char *path);
bool WriteOutputFile(FileHandle file, const char *bytes, std::size_t count);
bool CloseOutputFile(FileHandle file);          // false when data may not have reached the disk
// Moves a finished file over the final name, replacing an older file of that name.
bool MoveIntoPlace(const char *from, const char *to);
// Removes a file; used for the temporary file of a failed write.
void RemoveFile(const char *path);

// Local calendar time, for the date text of the lists.
struct LocalTime {
    int year;    // four digits
    int month;   // 1..12
    int day;     // 1..31
    int hour;    // 0..23
    int minute;  // 0..59
};

// The services a run uses while it runs. Tests replace them with fakes (a clock that moves
// only when told, keys held on cue, a console that records every byte).
struct PlatformHooks {
    std::uint32_t (*clock_ms)();                    // millisecond clock
    void (*sleep_ms)(std::uint32_t milliseconds);   // a pause in whole milliseconds
    bool (*key_held)(int virtual_key);              // high bit of the key state
    bool (*read_unsigned)(std::uint32_t *value);    // one unsigned decimal from standard input
    void (*write_console)(const char *text, std::size_t length);
    void (*local_time)(LocalTime *out);
    void (*begin_key_watch)();                      // the scan starts polling the stop keys
    void (*end_key_watch)();                        // ... and stops; the terminal is restored
};

// The hooks in force; starts with the real operating system services.
PlatformHooks &Platform();
// The real services, to restore after a test.
const PlatformHooks &SystemPlatform();

// Formatted console output through the hooks (bounded; an over-long text is cut).
void Print(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
