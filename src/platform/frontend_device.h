// The DVB tuner library's seam to the kernel: opening a frontend device file, its ioctls,
// the clock and pauses. The real table calls the system (Linux only); tests fill it with a
// model frontend.
#pragma once

#include <cstdint>

// What a name under the DVB directory is, looked at (through links) before anything opens it.
enum class DeviceFileKind {
    kMissing,       // nothing of that name (or a part of the path is no directory)
    kDvbDevice,     // a character device of the kernel's DVB core
    kOtherDevice,   // a device of another driver (a link to /dev/zero, a tty, a watchdog)
    kDirectory,
    kRegularFile,
    kPipe,
    kSocket,
};

struct FrontendOps {
    DeviceFileKind (*kind)(const char *path);
    // A file descriptor, or minus the error number (-EBUSY, -EACCES, -ENOENT, ...).
    int (*open)(const char *path, bool read_write);
    void (*close)(int fd);
    // 0 or more on success, or minus the error number. `argument` is a pointer to the
    // ioctl's structure, or the value itself for the calls that take one (FE_SET_TONE ...).
    int (*ioctl)(int fd, unsigned long request, std::uintptr_t argument);
    std::uint32_t (*clock_ms)();                   // monotonic milliseconds
    void (*sleep_ms)(std::uint32_t milliseconds);
};

// The system's calls; on a system without DVB devices every open gives -ENOENT.
const FrontendOps &SystemFrontendOps();
