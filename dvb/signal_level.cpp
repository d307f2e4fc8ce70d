#include "signal_level.h"

#include <cmath>

#include "frontend_api.h"

namespace dvb {

namespace {

// The lowest reading is the noise floor once it came back this often (within this much)...
constexpr int kFloorRepeats = 3;
constexpr double kSameFloorDb = 0.3;
// ... and some reading stood this far above it (a carrier filling the window sits its Es/N0
// above the floor, 10 dB and more for most).
constexpr double kFloorProofDb = 6.0;
// A carrier within the window raises the reading above the floor by 10 log10(1 + Es/N0 x
// symbol rate / window): a 2 MS/s carrier at 4 dB in a 35 MHz window by about 0.6 dB.
constexpr double kEnergyMarginDb = 0.5;

void RaiseHighest(LevelHistory *history, int slot, double dbm) {
    if (!history->has_highest[slot] || dbm > history->highest_dbm[slot]) history->highest_dbm[slot] = dbm;
    history->has_highest[slot] = true;
}

}  // namespace

bool ReadLevelDbm(int fd, const FrontendEntry &entry, double *dbm) {
    PropertyBatch stats;
    AddProperty(&stats, DTV_STAT_SIGNAL_STRENGTH);
    if (GetProperties(fd, &stats) >= 0) {
        const dtv_fe_stats &level = stats.props[0].u.st;
        if (level.len > 0 && level.stat[0].scale == FE_SCALE_DECIBEL) {
            *dbm = level.stat[0].svalue / 1000.0;
            return true;
        }
    }
    std::uint16_t raw = 0;
    if (Ops().ioctl(fd, FE_READ_SIGNAL_STRENGTH, reinterpret_cast<std::uintptr_t>(&raw)) < 0) return false;
    *dbm = raw * static_cast<double>(entry.legacy_strength_range_db) / 65535.0 - 100.0;
    return true;
}

int LevelSlot(bool high_band, unsigned polarization) { return (high_band ? 2 : 0) + static_cast<int>(polarization & 1u); }

void NoteLevel(LevelHistory *history, int slot, double dbm) {
    if (history->at_lowest[slot] == 0 || dbm < history->lowest_dbm[slot] - kSameFloorDb) {
        history->lowest_dbm[slot] = dbm;
        history->at_lowest[slot] = 1;
    } else if (dbm < history->lowest_dbm[slot] + kSameFloorDb) {
        if (dbm < history->lowest_dbm[slot]) history->lowest_dbm[slot] = dbm;
        ++history->at_lowest[slot];
    }
    RaiseHighest(history, slot, dbm);
}

void NoteLockedLevel(LevelHistory *history, int slot, double dbm) { RaiseHighest(history, slot, dbm); }

bool NoEnergy(const LevelHistory &history, int slot, double dbm) {
    if (history.at_lowest[slot] < kFloorRepeats || dbm >= history.lowest_dbm[slot] + kEnergyMarginDb) return false;
    for (int other = 0; other < 4; ++other) {
        if (history.has_highest[other] && history.highest_dbm[other] - history.lowest_dbm[slot] >= kFloorProofDb) return true;
    }
    return false;
}

}  // namespace dvb
