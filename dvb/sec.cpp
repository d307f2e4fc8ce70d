#include "sec.h"

#include <cstring>

#include "frontend_api.h"

namespace dvb {

namespace {

bool Checked(SecState *sec, int result) {
    if (result >= 0) return true;
    sec->last_error = -result;
    return false;
}

// An LNB or switch that had no supply needs a moment before it listens.
bool EnsurePowered(SecState *sec) {
    if (sec->voltage == SEC_VOLTAGE_13 || sec->voltage == SEC_VOLTAGE_18) return true;
    if (!SetVoltage(sec, SEC_VOLTAGE_13)) return false;
    Ops().sleep_ms(kSecPauseMs);
    return true;
}

// Tone off and a pause before a message; returns the tone to restore.
bool QuietBefore(SecState *sec, int *restore) {
    *restore = sec->tone == SEC_TONE_ON ? SEC_TONE_ON : SEC_TONE_OFF;
    if (!SetTone(sec, SEC_TONE_OFF)) return false;
    Ops().sleep_ms(kSecPauseMs);
    return true;
}

bool MasterCommand(SecState *sec, const std::uint8_t *bytes, int count) {
    dvb_diseqc_master_cmd command{};
    std::memcpy(command.msg, bytes, static_cast<std::size_t>(count));
    command.msg_len = static_cast<std::uint8_t>(count);
    return Checked(sec, Ops().ioctl(sec->fd, FE_DISEQC_SEND_MASTER_CMD, reinterpret_cast<std::uintptr_t>(&command)));
}

}  // namespace

bool SetVoltage(SecState *sec, int voltage) {
    if (sec->voltage == voltage) return true;
    if (!Checked(sec, Ops().ioctl(sec->fd, FE_SET_VOLTAGE, static_cast<std::uintptr_t>(voltage)))) {
        sec->voltage = -1;
        return false;
    }
    sec->voltage = voltage;
    return true;
}

bool SetTone(SecState *sec, int tone) {
    if (sec->tone == tone) return true;
    if (!Checked(sec, Ops().ioctl(sec->fd, FE_SET_TONE, static_cast<std::uintptr_t>(tone)))) {
        sec->tone = -1;
        return false;
    }
    sec->tone = tone;
    return true;
}

bool SendCommittedSwitch(SecState *sec, std::uint8_t byte) {
    sec->switch_in_use = true;
    const int voltage = (byte & 0x02) != 0 ? SEC_VOLTAGE_18 : SEC_VOLTAGE_13;
    if (!SetVoltage(sec, voltage) || !SetTone(sec, SEC_TONE_OFF)) return false;
    Ops().sleep_ms(kSecPauseMs);
    // Framing E0 (from the master, no reply), address 10 (any LNB or switch), command 38
    // (write port group 0, committed).
    const std::uint8_t message[4] = {0xE0, 0x10, 0x38, byte};
    if (!MasterCommand(sec, message, 4)) return false;
    Ops().sleep_ms(kSecPauseMs);
    return SetTone(sec, (byte & 0x01) != 0 ? SEC_TONE_ON : SEC_TONE_OFF);
}

bool SendToneBurst(SecState *sec, int value) {
    int restore = SEC_TONE_OFF;
    if (!EnsurePowered(sec) || !QuietBefore(sec, &restore)) return false;
    const int burst = value != 0 ? SEC_MINI_B : SEC_MINI_A;
    if (!Checked(sec, Ops().ioctl(sec->fd, FE_DISEQC_SEND_BURST, static_cast<std::uintptr_t>(burst)))) return false;
    Ops().sleep_ms(kSecPauseMs);
    return SetTone(sec, restore);
}

bool SendMasterCommand(SecState *sec, const std::uint8_t *bytes, int count) {
    // A DiSEqC message is 3 to 6 bytes: framing, address, command, up to three data bytes.
    if (bytes == nullptr || count < 3 || count > 6) return false;
    int restore = SEC_TONE_OFF;
    if (!EnsurePowered(sec) || !QuietBefore(sec, &restore)) return false;
    if (!MasterCommand(sec, bytes, count)) return false;
    Ops().sleep_ms(kSecPauseMs);
    return SetTone(sec, restore);
}

bool PrepareLnb(SecState *sec, unsigned polarization, bool high_band, bool stacked) {
    const bool vertical_or_right = polarization == 1 || polarization == 3;
    const int voltage = stacked || vertical_or_right ? SEC_VOLTAGE_13 : SEC_VOLTAGE_18;
    return SetVoltage(sec, voltage) && SetTone(sec, high_band ? SEC_TONE_ON : SEC_TONE_OFF);
}

}  // namespace dvb
