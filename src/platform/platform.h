// The program's only seam to the operating system. Everything outside src/platform/
// reaches the OS through these functions; the win32 and posix files implement them.
#pragma once

#include <cstddef>
#include <cstdint>

// Paths and directories hold at most 259 characters and the terminating zero.
constexpr std::size_t kPathSize = 260;
// The program's own path comes from the system and may be as long as the system allows (Linux's
// PATH_MAX); so may the paths of the files found beside it.
constexpr std::size_t kSystemPathSize = 4096;

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

// The running executable's full path, as the system knows it (on Linux /proc/self/exe, or
// without /proc the name the program was started under, resolved); false when it cannot be
// had or does not fit, with the reason for DescribeLastError.
bool ExecutablePath(char *out, std::size_t size);
// True for a path that names its file without the current directory: on POSIX one that
// starts with '/'; on Windows one with a drive letter or starting with '\' or '/'.
bool IsAbsolutePath(const char *path);
// True when something of that name exists (a file, a directory, a device, a link).
bool PathExists(const char *path);

// The tuner library file: open it and find a function in it. Null on failure; OpenLibrary
// then leaves the system's reason in `reason` (dlerror, or the text of GetLastError).
void *OpenLibrary(const char *file, char *reason, std::size_t reason_size);
void *FindLibrarySymbol(void *library, const char *name);
// An environment variable, or null.
const char *EnvironmentValue(const char *name);

// True when `path` names a plain file that can be opened for reading. Otherwise false, with
// the reason in `reason`: the system's error text, or that it is a directory or not a plain
// file (a pipe or a device, which could keep a reader waiting or reading for ever).
bool CheckReadableFile(const char *path, char *reason, std::size_t reason_size);

// True when `directory` (empty: the current one) is a directory the program may create files
// in. Otherwise false, with the reason: the system's error text, or that it is no directory.
bool CheckWritableDirectory(const char *directory, char *reason, std::size_t reason_size);

// Walks the lines of an INI file as the lookups read them (IniWalkLines in ini_reader.h);
// false when the file cannot be read.
struct IniLine;
bool IniWalkFile(const char *path, void (*visit)(void *context, const IniLine &line), void *context);

// The full path of the executable or library that holds `address` (the simulator finds its
// settings file beside itself this way); false when it cannot be had.
bool ModulePathOf(const void *address, char *out, std::size_t size);

// Output files, written in binary mode without buffering of their own (the writers buffer).
// A handle is -1 when the file cannot be had; writes report whether every byte went out.
using FileHandle = std::intptr_t;
// Creates a new, empty file beside `final_name` under a name nobody can predict, never
// following a link and never opening a file that exists already (so a link planted by another
// user cannot redirect the write), and puts its name into `temporary_name`.
FileHandle CreateTemporaryFile(const char *final_name, char *temporary_name, std::size_t size);
// True when `path` itself (not what a link points to) exists and is not a plain file or a
// directory: a device such as /dev/full. Such a target is written in place, never replaced.
bool IsDeviceFile(const char *path);
FileHandle OpenDeviceForWriting(const char *path);  // an existing device, never created
bool WriteOutputFile(FileHandle file, const char *bytes, std::size_t count);
bool CloseOutputFile(FileHandle file);          // false when data may not have reached the disk
// Moves a finished file over the final name, replacing an older file (or a link) of that name.
bool MoveIntoPlace(const char *from, const char *to);
// Removes a file; used for the temporary file of a failed write.
void RemoveFile(const char *path);
// The system's text for the error of the last failed call above, e.g. "No space left on device".
void DescribeLastError(char *out, std::size_t size);

// Stop handling, in place from start-up on, before the tuner library is first called.
// Ctrl+C, SIGTERM, SIGHUP or closing the console is a stop request: the scan sees Left-Ctrl and
// A as held, and a pause of the program's own ends at once. A call into the tuner library cannot
// be interrupted, and nobody can tell a slow call from a stuck one, so a call gets kStopGraceMs
// after the request (or after it began, if later) to return. A call still running then, a
// second request while one runs, or a console close runs `save_running_pass` on a thread of its
// own and ends the program with `cut_short_code`.
// Every call into the library is bracketed by EnterBlockingCall and LeaveBlockingCall. Once the
// save has begun, further requests wait for it, and a call that returns never leaves
// LeaveBlockingCall, so the save works on records that no longer change.
constexpr std::uint32_t kStopGraceMs = 5000;
void EnterBlockingCall();
void LeaveBlockingCall();

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
    void (*sleep_ms)(std::uint32_t milliseconds);   // a pause in whole milliseconds; a stop
                                                    // request ends it at once
    bool (*key_held)(int virtual_key);              // high bit of the key state
    bool (*read_unsigned)(std::uint32_t *value);    // one unsigned decimal from standard input
    // Standard output and standard error, written straight to the system without a stream lock
    // of the C library (a cut-short save writes while the library may hold one). Once a stop has
    // been asked for, a console nobody reads holds the run no longer than a moment.
    void (*write_console)(const char *text, std::size_t length);
    void (*local_time)(LocalTime *out);
    void (*write_error)(const char *text, std::size_t length);
    // A stop asked for by a signal or the console (Ctrl+C, SIGTERM, SIGHUP, a close) at any
    // time since start-up; the Windows keys themselves are polled by the scan.
    bool (*stop_requested)();
    // Installs the stop handling described above (tests leave it out).
    void (*install_stop_handling)(void (*save_running_pass)(), int cut_short_code);
    // The status line: one line on standard error, rewritten in place, only when standard error
    // is a terminal (nothing at all otherwise). Console and error lines written meanwhile clear
    // it first. An empty text clears it for good.
    void (*show_status)(const char *text);
};

// The hooks in force; starts with the real operating system services.
PlatformHooks &Platform();
// The real services, to restore after a test.
const PlatformHooks &SystemPlatform();

// Formatted console output through the hooks (bounded; an over-long text is cut). Print writes
// the program's messages to standard output; PrintError writes a line for the user on standard
// error, for what the console transcript does not say (the system's reason for a failure).
void Print(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
void PrintError(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Calls into the tuner library. A 32-bit Windows library may pop its own arguments (stdcall)
// or leave them to the caller (cdecl), and which one it does is not known in advance. There
// each call goes through CallSavingStack, which saves the stack pointer before the call and
// restores it after, so the stack is right afterwards either way. Every other target has one
// convention, and the call is a plain one.
#if defined(_WIN32) && defined(__i386__)
// Calls `function` with `count` arguments of 32 bits each and returns its int result.
extern "C" int CallSavingStack(const void *function, const std::uint32_t *arguments, int count)
    __asm__("vesker_call_saving_stack");

inline std::uint32_t LibraryArgument(int value) { return static_cast<std::uint32_t>(value); }
inline std::uint32_t LibraryArgument(unsigned value) { return value; }
template <typename Pointee>
std::uint32_t LibraryArgument(Pointee *pointer) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

template <typename... Parameters, typename... Arguments>
int CallLibrary(int (*function)(Parameters...), Arguments... arguments) {
    static_assert(sizeof...(Parameters) == sizeof...(Arguments), "one argument per parameter");
    const std::uint32_t words[sizeof...(Arguments) + 1] = {LibraryArgument(arguments)..., 0};
    return CallSavingStack(reinterpret_cast<const void *>(function), words, static_cast<int>(sizeof...(Arguments)));
}
#else
template <typename... Parameters, typename... Arguments>
int CallLibrary(int (*function)(Parameters...), Arguments... arguments) {
    return function(arguments...);
}
#endif
