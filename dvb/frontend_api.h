// The parts of the Linux DVB frontend API the library uses, and the seam it reaches the
// kernel through (platform/frontend_device.h).
#pragma once

#include <linux/ioctl.h>  // the ioctl numbers of frontend.h
#include <linux/dvb/frontend.h>

#include <cstdint>

#include "platform/frontend_device.h"

namespace dvb {

// The calls in force; tests replace them with a model frontend.
FrontendOps &Ops();

// Properties and values of the out-of-tree drivers with their own blind search ("neumo"
// drivers: their uapi frontend.h adds these after the mainline list, which ends at 70).
constexpr std::uint32_t kDtvMatype = 71;
constexpr std::uint32_t kDtvFrameLength = 72;
constexpr std::uint32_t kDtvAlgorithm = 74;
constexpr std::uint32_t kDtvSearchRange = 75;  // Hz
constexpr std::uint32_t kDtvIsiList = 76;      // 256-bit set of input stream identifiers
constexpr std::uint32_t kAlgorithmBlind = 3;
constexpr std::uint32_t kSysAuto = 22;

// Reads or writes up to twelve properties in one call; returns what the ioctl returned.
struct PropertyBatch {
    dtv_property props[12];
    std::uint32_t count = 0;
};
void AddProperty(PropertyBatch *batch, std::uint32_t command, std::uint32_t data = 0);
int SetProperties(int fd, PropertyBatch *batch);
int GetProperties(int fd, PropertyBatch *batch);

}  // namespace dvb
