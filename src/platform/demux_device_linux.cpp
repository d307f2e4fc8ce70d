#include "platform/demux_device.h"

#include <cerrno>

#include "platform/frontend_device.h"

#if defined(__linux__)
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

int OpenDemux(const char *path) {
    const int fd = ::open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
}

int WaitForData(int fd, std::uint32_t timeout_ms) {
    pollfd entry{fd, POLLIN | POLLPRI, 0};
    const int result = ::poll(&entry, 1, static_cast<int>(timeout_ms));
    if (result < 0) return errno == EINTR ? 0 : -errno;
    if (result == 0) return 0;
    // The demux reports a lost section or a filter timeout as an error on the next read.
    return 1;
}

int ReadDemux(int fd, std::uint8_t *buffer, std::size_t size) {
    ssize_t count;
    do {
        count = ::read(fd, buffer, size);
    } while (count < 0 && errno == EINTR);
    return count >= 0 ? static_cast<int>(count) : -errno;
}

}  // namespace

// Closing and the ioctls (retried after a signal) are those of every DVB device file.
const DemuxOps &SystemDemuxOps() {
    static const DemuxOps ops = {OpenDemux, SystemFrontendOps().close, SystemFrontendOps().ioctl, WaitForData,
                                 ReadDemux};
    return ops;
}

#else

namespace {
int NoDemux(const char *) { return -ENOENT; }
int NoWait(int, std::uint32_t) { return -ENODEV; }
int NoRead(int, std::uint8_t *, std::size_t) { return -ENODEV; }
}  // namespace

const DemuxOps &SystemDemuxOps() {
    static const DemuxOps ops = {NoDemux, SystemFrontendOps().close, SystemFrontendOps().ioctl, NoWait, NoRead};
    return ops;
}

#endif
