#include "dish/committed_switch.h"

std::uint8_t CommittedSwitchByte(std::uint32_t port, std::uint32_t polarization, std::uint32_t high_band) {
    std::uint32_t horizontal_or_left = (polarization == 0 || polarization == 2) ? 0x02u : 0x00u;
    return static_cast<std::uint8_t>(0xF0u | (((port - 1u) & 0x03u) << 2) | horizontal_or_left | (high_band & 1u));
}
