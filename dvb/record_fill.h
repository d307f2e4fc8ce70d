// Filling the transponder record from what the frontend reports after a lock.
#pragma once

#include <cstdint>

#include "device_list.h"
#include "tuner/lnb_band.h"
#include "tuner/lumorath.h"
#include "tuning.h"

namespace dvb {

// Reads the tuning parameters and the statistics and fills `record` (cleared first). The
// frequency comes from the reported IF through the band's oscillator; the symbol rate,
// system, modulation, code rate, roll-off, pilot and inversion where the driver reports them
// (a value that merely echoes the request is not a report); level and SNR from the statistics
// in 0.001 dB, else the older calls (the level on the driver's scale). Fields the frontend cannot know get their unknown codes.
// Returns 0, or minus the error number of a failed call.
int FillRecord(int fd, const FrontendEntry &entry, const LnbBand &band, const TuneRequest &asked,
               unsigned polarization, TransponderRecord *record);

// Occupied width and bit rate from the record's rate, system, code rate, roll-off, frame
// length and pilot and the constellation (1 QPSK .. 4 32APSK, 0 unknown).
void SetWidthAndBitRate(int constellation, TransponderRecord *record);

}  // namespace dvb
