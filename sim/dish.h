// The dish: which way the switches and the motor are set, from the DiSEqC traffic, and so
// which satellites the LNB sees.
#pragma once

#include <cstdint>

#include "scenario.h"

namespace sim {

enum class MotorState { kNeverMoved, kStoredPosition, kAngle };

struct DishState {
    int port = 1;                    // committed switch port 1..4; switches power up on port 1
    int uncommitted = 1;             // uncommitted switch input 1..16
    MotorState motor = MotorState::kNeverMoved;
    int stored = -1;                 // the stored position driven to
    double angle_deg = 0.0;          // the USALS angle driven to, east positive
};

// The committed switch byte of a DiSEqC 1.0 command (kind 2): bits 3..2 give the port.
void ApplyCommittedByte(DishState *dish, int value);
// Tone burst (kind 1): value 0 selects input A (port 1), 1 input B (port 2).
void ApplyToneBurst(DishState *dish, int value);
// One raw DiSEqC message (framing byte first). Understood: committed (38) and uncommitted
// (39) switch commands, positioner goto stored position (6B) and goto angle (6E). Returns
// false for a message that is not DiSEqC at all (too short or long, bad framing byte);
// other commands are taken and ignored, as a bus with no such device would.
bool ApplyDiseqcMessage(DishState *dish, const unsigned char *bytes, int count);

// Decodes the angle of E0 31 6E hi lo: 12 bits of sixteenths of a degree; direction E east,
// D or 0 west.
double DecodeUsalsAngle(unsigned char high, unsigned char low);

// The USALS motor angle in degrees towards a satellite (positions in tenths of a degree, east
// positive) from a site: the standard geometry with Earth radius 6378 km and orbit radius
// 42233 km (the angle the program computes). False when the satellite is below the horizon.
bool MotorAngleTowards(int satellite_tenths, int latitude_tenths, int longitude_tenths, double *angle_deg);

// Whether the dish sees `satellite` (index into the scenario). A scenario of one satellite
// without any dish settings is seen whatever the dish does. Otherwise: a satellite behind a
// committed port (or uncommitted input) is seen only on that port (input); a satellite on
// the motor (a stored position, the usals flag, or, in a scenario of several satellites,
// no switch setting at all) only when the motor was driven to its stored position, or by
// USALS to an angle within 0.5 degree of the angle towards its orbital position from the
// site (the scenario's site, else the settings' site).
bool SatelliteVisible(const Scenario &scenario, std::size_t satellite, const DishState &dish, int site_latitude,
                      int site_longitude);

}  // namespace sim
