// What the standards say about a carrier: the Es/N0 its demodulator needs to lock, its
// useful bit rate and its occupied width. Code rates are the record's FEC codes (1 = 1/2,
// 2 = 2/3, 3 = 3/4, 4 = 4/5, 5 = 5/6, 6 = 6/7, 7 = 7/8, 8 = 8/9, 9 = 9/10, 10 = 1/4,
// 11 = 1/3, 12 = 2/5, 13 = 3/5).
#pragma once

#include <cstdint>

namespace sim {

// Delivery systems, as the record codes them.
constexpr int kDvbS = 1;
constexpr int kDvbS2 = 2;
constexpr int kDss = 3;

// Constellations of the band model (not record codes: see RecordModulation).
constexpr int kAutoConstellation = 0;
constexpr int kQpsk = 1;
constexpr int k8psk = 2;
constexpr int k16apsk = 3;
constexpr int k32apsk = 4;

// Record codes of the roll-off and pilot fields.
constexpr int kRollOff35 = 1;
constexpr int kRollOff25 = 2;
constexpr int kRollOff20 = 3;
constexpr int kPilotOff = 1;
constexpr int kPilotOn = 2;

// The code rate of a FEC code as a fraction, 0 for an unknown code.
double CodeRate(int fec);
// The FEC code of a rate text ("3/4"), 0 when it is none.
int FecFromText(const char *text);
const char *FecText(int fec);

// Quasi-error-free Es/N0 in dB for the ideal demodulator; NaN when the system has no such
// code rate (or modulation and code rate).
double RequiredEsNoDvbS(int fec);
double RequiredEsNoDss(int fec);
double RequiredEsNoDvbS2(int constellation, int fec);

// Es/N0 in dB that the simulated demodulator needs: the ideal figure plus the implementation
// margin (0.6 dB for DVB-S2, 0.3 dB more with short frames; the DVB-S figures already
// include theirs). NaN for a code rate the system lacks.
double LockThresholdDb(int system, int constellation, int fec, int frame_length);

// Useful bit rate in bit/s at `symbol_rate` S/s; 0 for an unknown combination.
std::uint32_t UsefulBitRate(int system, int constellation, int fec, int frame_length, int pilot,
                            std::uint32_t symbol_rate);

// The roll-off factor of a roll-off code (0.35 for unknown codes).
double RollOffFactor(int rolloff);
// Occupied width in kHz: symbol rate x (1 + roll-off).
std::uint32_t CarrierWidthKhz(std::uint32_t symbol_rate, int rolloff);

// The record's modulation code: DVB-S and DSS QPSK 1; DVB-S2 QPSK 5, 8PSK 2, 16APSK 3, 32APSK 4
// (the codes the program's link-margin table knows).
int RecordModulation(int system, int constellation);

// Whether the system has the code rate (and, for DVB-S2, the modulation and frame length
// together): the MODCODs of the standards.
bool ValidCodeRate(int system, int constellation, int fec, int frame_length);

}  // namespace sim
