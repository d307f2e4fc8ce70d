#include "platform/frontend_device.h"

#include "platform/platform.h"

#include <cerrno>

#if defined(__linux__)
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Every device node of the DVB core has this major number (the kernel's
// include/media/dvbdev.h, line 28: #define DVB_MAJOR 212).
constexpr unsigned kDvbMajor = 212;

DeviceFileKind FileKind(const char *path) {
    struct stat status{};
    if (::stat(path, &status) != 0) return DeviceFileKind::kMissing;
    if (S_ISCHR(status.st_mode)) {
        return major(status.st_rdev) == kDvbMajor ? DeviceFileKind::kDvbDevice : DeviceFileKind::kOtherDevice;
    }
    if (S_ISBLK(status.st_mode)) return DeviceFileKind::kOtherDevice;
    if (S_ISDIR(status.st_mode)) return DeviceFileKind::kDirectory;
    if (S_ISFIFO(status.st_mode)) return DeviceFileKind::kPipe;
    if (S_ISSOCK(status.st_mode)) return DeviceFileKind::kSocket;
    return DeviceFileKind::kRegularFile;
}

int OpenFrontend(const char *path, bool read_write) {
    // Non-blocking, as every DVB application opens a frontend: a tune never waits in the kernel.
    const int fd = ::open(path, (read_write ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
}

void CloseFrontend(int fd) { ::close(fd); }

int FrontendIoctl(int fd, unsigned long request, std::uintptr_t argument) {
    int result;
    do {
        result = ::ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result >= 0 ? result : -errno;
}

// The program's own clock and pauses (CLOCK_MONOTONIC, nanosleep).
std::uint32_t MonotonicMs() { return SystemPlatform().clock_ms(); }
void SleepMs(std::uint32_t milliseconds) { SystemPlatform().sleep_ms(milliseconds); }

}  // namespace

const FrontendOps &SystemFrontendOps() {
    static const FrontendOps ops = {FileKind, OpenFrontend, CloseFrontend, FrontendIoctl, MonotonicMs, SleepMs};
    return ops;
}

#else

namespace {
DeviceFileKind NoFile(const char *) { return DeviceFileKind::kMissing; }
int NoFrontend(const char *, bool) { return -ENOENT; }
void NoClose(int) {}
int NoIoctl(int, unsigned long, std::uintptr_t) { return -ENODEV; }
std::uint32_t NoClock() { return 0; }
void NoSleep(std::uint32_t) {}
}  // namespace

const FrontendOps &SystemFrontendOps() {
    static const FrontendOps ops = {NoFile, NoFrontend, NoClose, NoIoctl, NoClock, NoSleep};
    return ops;
}

#endif
