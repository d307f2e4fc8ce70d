#include "platform/frontend_device.h"

#include <cerrno>

#if defined(__linux__)
#include <fcntl.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

namespace {

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

std::uint32_t MonotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                                      static_cast<std::uint64_t>(now.tv_nsec) / 1000000u);
}

void SleepMs(std::uint32_t milliseconds) {
    timespec pause{static_cast<time_t>(milliseconds / 1000u), static_cast<long>(milliseconds % 1000u) * 1000000L};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

}  // namespace

const FrontendOps &SystemFrontendOps() {
    static const FrontendOps ops = {OpenFrontend, CloseFrontend, FrontendIoctl, MonotonicMs, SleepMs};
    return ops;
}

#else

namespace {
int NoFrontend(const char *, bool) { return -ENOENT; }
void NoClose(int) {}
int NoIoctl(int, unsigned long, std::uintptr_t) { return -ENODEV; }
std::uint32_t NoClock() { return 0; }
void NoSleep(std::uint32_t) {}
}  // namespace

const FrontendOps &SystemFrontendOps() {
    static const FrontendOps ops = {NoFrontend, NoClose, NoIoctl, NoClock, NoSleep};
    return ops;
}

#endif
