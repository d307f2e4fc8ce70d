#include "scan/link_margin.h"

#include <cstddef>

namespace {

// Required C/N for first-generation carriers, DVB-S and DSS, by FEC code: the figure set
// the program has always used. 4/5 has no figure and reads 0.
struct DvbSRow {
    std::uint32_t fec;
    double required_cn;  // dB
};

const DvbSRow kDvbSRequiredCn[] = {
    {1, 2.69},  // 1/2
    {2, 4.36},  // 2/3
    {3, 5.46},  // 3/4
    {5, 6.53},  // 5/6
    {6, 6.8},   // 6/7
    {7, 7.24},  // 7/8
};

// Required Es/N0 for DVB-S2 (and DVB-Turbo) carriers: the ideal quasi-error-free figures
// of ETSI EN 302 307 for normal frames (64800 bits). One row per FEC code, one column per
// constellation; 0 where the standard has no such mode.
enum Constellation { kQpsk, kPsk8, kApsk16, kApsk32, kConstellationCount };

struct DvbS2Row {
    std::uint32_t fec;
    double required_cn[kConstellationCount];  // dB: QPSK, 8PSK, 16APSK, 32APSK
};

const DvbS2Row kDvbS2RequiredCn[] = {
    {10, {-2.35, 0, 0, 0}},            // 1/4
    {11, {-1.24, 0, 0, 0}},            // 1/3
    {12, {-0.3, 0, 0, 0}},             // 2/5
    {1, {1.0, 0, 0, 0}},               // 1/2
    {13, {2.23, 5.5, 0, 0}},           // 3/5
    {2, {3.1, 6.62, 8.97, 0}},         // 2/3
    {3, {4.03, 7.91, 10.21, 12.73}},   // 3/4
    {4, {4.68, 0, 11.03, 13.64}},      // 4/5
    {5, {5.18, 9.35, 11.61, 14.28}},   // 5/6
    {8, {6.2, 10.69, 12.89, 15.69}},   // 8/9
    {9, {6.42, 10.98, 13.13, 16.05}},  // 9/10
};

// Which column a modulation code reads: 5 (DVB-S2) and 6 (DVB-Turbo) are QPSK, 2 and 7
// are 8PSK. Every other code has no column.
struct ModulationColumn {
    std::uint32_t modulation;
    Constellation column;
};

const ModulationColumn kModulationColumns[] = {
    {5, kQpsk}, {6, kQpsk}, {2, kPsk8}, {7, kPsk8}, {3, kApsk16}, {4, kApsk32},
};

// A short frame (16200 bits) needs slightly more than the normal-frame figure.
const double kShortFrameAllowance = 0.3;  // dB

}  // namespace

double RequiredCnDvbS(std::int32_t fec) {
    for (const DvbSRow &row : kDvbSRequiredCn) {
        if (row.fec == static_cast<std::uint32_t>(fec)) return row.required_cn;
    }
    return 0.0;
}

double RequiredCnDvbS2(std::int32_t modulation, std::int32_t fec) {
    for (const ModulationColumn &entry : kModulationColumns) {
        if (entry.modulation != static_cast<std::uint32_t>(modulation)) continue;
        for (const DvbS2Row &row : kDvbS2RequiredCn) {
            if (row.fec == static_cast<std::uint32_t>(fec)) return row.required_cn[entry.column];
        }
        return 0.0;
    }
    return 0.0;
}

double LinkMargin(const TransponderRecord &record) {
    double required_cn;  // dB
    switch (record.system) {
        case 1:  // DVB-S
        case 3:  // DSS
            required_cn = RequiredCnDvbS(record.fec);
            break;
        case 2:  // DVB-S2
        case 4:  // DVB-Turbo
            required_cn = RequiredCnDvbS2(record.modulation, record.fec);
            if (record.frame_length == 1) required_cn += kShortFrameAllowance;
            break;
        default:  // no model for this system: no margin
            return 0.0;
    }
    return record.snr - required_cn;
}

bool LinkMarginKnown(const TransponderRecord &record) {
    if (record.snr != record.snr) return false;  // not a number
    switch (record.system) {
        case 1:
        case 3: return RequiredCnDvbS(record.fec) != 0.0;
        case 2:
        case 4: return RequiredCnDvbS2(record.modulation, record.fec) != 0.0;
        default: return false;
    }
}
