#include "dish/dish_sequence.h"

#include <cstdint>

#include "dish/committed_switch.h"
#include "dish/diseqc_message.h"
#include "dish/usals.h"
#include "platform/platform.h"
#include "tuner/tuner_library.h"

namespace {

// A value that lies in lo..hi, both inclusive (signed compare).
bool InRange(int value, int lo, int hi) { return value >= lo && value <= hi; }

bool HasCapability(int bit) { return (Tuner().GetCaps() & bit) != 0; }

// Once the user has asked to stop, no further command goes out: a switch or positioner is never
// driven after the stop.
bool Stopping() { return Platform().stop_requested(); }

void SendRaw(unsigned char *message, const char *config_path) {
    if (!HasCapability(LUMORATH_CAP_DISEQC)) {
        Print("SendDiseqCmd not supported !\n");
        return;
    }
    RepeatedSend(message, 4, config_path);
}

// Brings a configured satellite position (-3600..3599, else 0) into -1800..1800.
int NormaliseSatellite(int position) {
    if (position >= 3600 || position < -3600) return 0;
    if (position > 1800) position -= 3600;
    if (position < -1800) position += 3600;
    return position;
}

}  // namespace

DishPointing RunDishSequence(const char *config_path) {
    // DiSEqC 1.1 uncommitted switch, inputs 1..16.
    const int uncommitted = IniReadInt("SatInfo", "DiSEqC11", 0, config_path);
    if (InRange(uncommitted, 1, 16) && !Stopping()) {
        unsigned char message[4] = {kFramingFirst, kAddressAnySwitch, kCommandWriteUncommitted,
                                    static_cast<unsigned char>(0xF0 + uncommitted - 1)};
        SendRaw(message, config_path);
    }

    // DiSEqC 1.0 committed switch, ports 1..4, polarization and band bits clear.
    const int port = IniReadInt("SatInfo", "DiSEqC", 0, config_path);
    if (InRange(port, 1, 4) && !Stopping()) {
        if (HasCapability(LUMORATH_CAP_DISEQC)) {
            const std::uint8_t data = CommittedSwitchByte(static_cast<std::uint32_t>(port), 1, 0);
            if (Tuner().SendDiSEqC(LUMORATH_SEND_COMMITTED_SWITCH, data) == 0) Print("SendDiSEqC failed !\n");
        } else {
            Print("SendDiSEqC (1.0) not supported!\n");
        }
    }

    // Tone burst (satellite A or B of a simple two-way switch); only below port 3.
    const int burst = IniReadInt("SatInfo", "ToneBurst", 0, config_path);
    if (burst >= 1 && port <= 2 && !Stopping()) {
        if (HasCapability(LUMORATH_CAP_TONE_BURST)) {
            const int value = (burst - 1) & 0xFF;
            if (Tuner().SendDiSEqC(LUMORATH_SEND_TONE_BURST, value) == 0) Print("SendDiSEqC failed !\n");
        } else {
            Print("SendDiSEqC (ToneBurst) not supported!\n");
        }
    }

    // DiSEqC 1.2 positioner, stored positions 0..255.
    const int stored = IniReadInt("SatInfo", "DiSEqC12", -1, config_path);
    if (InRange(stored, 0, 255) && !Stopping()) {
        unsigned char message[4] = {kFramingFirst, kAddressPositioner, kCommandGotoStored,
                                    static_cast<unsigned char>(stored)};
        SendRaw(message, config_path);
    }

    // Positions and coordinates in tenths of a degree, east positive.
    const int satellite = NormaliseSatellite(IniReadInt("SatInfo", "SatPos", 0, config_path));
    const int latitude = IniReadInt("Options", "Lat", -1000, config_path);
    const int longitude = IniReadInt("Options", "Long", -2000, config_path);
    const int usals = IniReadInt("SatInfo", "USALS", 0, config_path);
    if (usals != 0 && !Stopping()) RunUsals(satellite, latitude, longitude, usals, config_path);

    DishPointing pointing{};
    pointing.diseqc = port;
    pointing.satellite_position = satellite < 0 ? satellite + 3600 : satellite;
    return pointing;
}
