// Filling the transponder record from what the frontend reports after a lock.
#pragma once

#include <cstdint>

#include "device_list.h"
#include "tuner/lnb_band.h"
#include "tuner/lumorath.h"

namespace dvb {

// What one attempt asked the frontend for.
struct TuneRequest {
    std::uint32_t if_khz = 0;
    std::uint32_t symbol_rate = 0;  // S/s
    std::uint32_t system = 0;       // SYS_DVBS, SYS_DVBS2 or the driver's automatic system
    std::uint32_t modulation = 0;   // QPSK, or PSK_8 where it must be said
    bool system_certain = false;    // a lock proves the system (DVB-S and DVB-S2 tried apart)
    bool modulation_certain = false;
};

// Reads the tuning parameters and the statistics and fills `record` (cleared first). The
// frequency comes from the reported IF through the band's oscillator; the symbol rate,
// system, modulation, code rate, roll-off, pilot and inversion where the driver reports them
// (a value that merely echoes the request is not a report); level and SNR from the statistics
// in 0.001 dB, else the older calls. Fields the frontend cannot know get their unknown codes.
// Returns 0, or minus the error number of a failed call.
int FillRecord(int fd, const FrontendEntry &entry, const LnbBand &band, const TuneRequest &asked,
               unsigned polarization, TransponderRecord *record);

// Occupied width and bit rate from the record's rate, system, code rate, roll-off, frame
// length and pilot and the constellation (1 QPSK .. 4 32APSK, 0 unknown).
void SetWidthAndBitRate(int constellation, TransponderRecord *record);

}  // namespace dvb
