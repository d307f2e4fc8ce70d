#include "record/link_margin.h"

namespace {

// A short frame (16200 bits) needs slightly more than the normal-frame figure.
const double kShortFrameAllowance = 0.3;  // dB

}  // namespace

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
