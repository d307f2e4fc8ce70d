// The data byte of the DiSEqC 1.0 committed switch command.
#pragma once

#include <cstdint>

// Bits 7..4 are 1111, bits 3..2 the port minus 1, bit 1 set for horizontal or circular-left
// polarization (codes 0 and 2), bit 0 set for the high band (22 kHz tone on).
// `port` is 1..4, `polarization` 0..3, `high_band` 0 or 1.
std::uint8_t CommittedSwitchByte(std::uint32_t port, std::uint32_t polarization, std::uint32_t high_band);
