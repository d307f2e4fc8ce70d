// The DVB tuner library's seam to the kernel's demultiplexer (/dev/dvb/adapterN/demuxM): the
// sibling of frontend_device.h for reading the broadcast's own tables after a lock. The real
// table calls the system (Linux only); tests fill it with a model demux.
#pragma once

#include <cstddef>
#include <cstdint>

struct DemuxOps {
    // A file descriptor (opened for reading and writing, non-blocking), or minus the error number.
    int (*open)(const char *path);
    void (*close)(int fd);
    // 0 or more on success, or minus the error number (DMX_SET_FILTER, DMX_STOP ...).
    int (*ioctl)(int fd, unsigned long request, std::uintptr_t argument);
    // Waits at most `timeout_ms` for data: 1 ready, 0 nothing in that time, or minus the error number.
    int (*wait)(int fd, std::uint32_t timeout_ms);
    // Reads what the filter has collected, at most `size` bytes (whole sections one after
    // another, the last possibly cut at `size`): the count, or minus the error number
    // (-EAGAIN nothing yet, -EOVERFLOW sections were lost, -ETIMEDOUT the filter's own timeout).
    int (*read)(int fd, std::uint8_t *buffer, std::size_t size);
};

// The system's calls; on a system without DVB devices every open gives -ENOENT.
const DemuxOps &SystemDemuxOps();
