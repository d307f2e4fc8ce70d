// The level at the frontend's input, and the energy check of a sweep built on it: a step whose
// level is that of the noise floor holds no carrier, and costs one reading instead of every
// candidate rate.
#pragma once

#include <cstdint>

#include "device_list.h"

namespace dvb {

// dBm: the statistics in 0.001 dB where the driver gives them, else the legacy 16-bit figure
// on the driver's scale. False when neither can be had.
bool ReadLevelDbm(int fd, const FrontendEntry &entry, double *dbm);

// Levels read per LNB band and polarization (the noise floor differs with the oscillator and
// the LNB's probe): the lowest, how often a reading came back at it, and the highest.
struct LevelHistory {
    double lowest_dbm[4] = {};
    int at_lowest[4] = {};  // readings within a few tenths of a dB of the lowest
    double highest_dbm[4] = {};
    bool has_highest[4] = {};
};
int LevelSlot(bool high_band, unsigned polarization);
// A level read before a lock; one read with a carrier locked (it only raises the highest).
void NoteLevel(LevelHistory *history, int slot, double dbm);
void NoteLockedLevel(LevelHistory *history, int slot, double dbm);
// True when the reading (noted already) is at the noise floor: within the margin of the
// lowest reading once that one is known for the floor. The floor is flat where nothing
// transmits, so it comes back again and again as the window moves, and it lies well below
// the level read with a carrier in the window (in any band or polarization).
bool NoEnergy(const LevelHistory &history, int slot, double dbm);

}  // namespace dvb
