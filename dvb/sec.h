// Satellite equipment control: the LNB supply (13/18 V), the 22 kHz tone, DiSEqC messages
// and the tone burst, with the pauses that real switches need between them.
#pragma once

#include <cstdint>

namespace dvb {

// What the frontend was last told; -1 = not known (a read-write open resets both).
struct SecState {
    int fd = -1;
    int voltage = -1;        // SEC_VOLTAGE_13 / SEC_VOLTAGE_18 / SEC_VOLTAGE_OFF
    int tone = -1;           // SEC_TONE_ON / SEC_TONE_OFF
    bool switch_in_use = false;  // a committed switch byte was sent: it sets supply and tone from now on
    int last_error = 0;          // error number of the last failed ioctl
};

// Quiet time on the cable around every DiSEqC message and burst, ms (the DiSEqC bus standard
// asks for at least 15 ms; libdvbv5 and VDR wait 15 ms).
constexpr std::uint32_t kSecPauseMs = 15;

// Supply and tone, each ioctl only when the value changes. False when the ioctl fails.
bool SetVoltage(SecState *sec, int voltage);
bool SetTone(SecState *sec, int tone);

// Committed switch: supply from the byte's polarization bit (0x02 set: 18 V), tone off,
// pause, E0 10 38 <byte>, pause, tone from the band bit (0x01).
bool SendCommittedSwitch(SecState *sec, std::uint8_t byte);
// Tone burst A (value 0) or B (other values), with the tone off around it.
bool SendToneBurst(SecState *sec, int value);
// One DiSEqC master command of 3 to 6 bytes, as given, with the tone off around it.
bool SendMasterCommand(SecState *sec, const std::uint8_t *bytes, int count);

// Supply and tone for a search when no switch byte has been sent: 13 V for vertical and
// right, 18 V for horizontal and left (a band-stacked LNB: 13 V always), tone for the high band.
bool PrepareLnb(SecState *sec, unsigned polarization, bool high_band, bool stacked);

}  // namespace dvb
