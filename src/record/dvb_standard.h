// What the DVB standards say about a carrier, written once for the program, the simulated
// tuner and the DVB tuner library: the code rates and their texts, the carrier-to-noise ratio a
// demodulator needs for each modulation and code rate, the useful bit rate and the occupied
// width. Code rates are the record's FEC codes (1 = 1/2, 2 = 2/3, 3 = 3/4, 4 = 4/5, 5 = 5/6,
// 6 = 6/7, 7 = 7/8, 8 = 8/9, 9 = 9/10, 10 = 1/4, 11 = 1/3, 12 = 2/5, 13 = 3/5; 14..27 the
// further DVB-S2X rates).
#pragma once

#include <cstdint>

// Delivery systems, as the record codes them.
constexpr int kDvbS = 1;
constexpr int kDvbS2 = 2;
constexpr int kDss = 3;

// Constellations as the bit-rate and required-C/N tables count them (not record codes: see
// RecordModulation).
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

// The highest FEC code of DVB-S, DSS and DVB-S2 (EN 300 421, EN 302 307-1); the codes above
// it are the DVB-S2X rates (EN 302 307-2).
constexpr int kLastDvbS2Fec = 13;

// The text of a FEC code ("3/4"), null for a code without one.
const char *CodeRateText(int fec);
// The code rate of a FEC code as a fraction, 0 for an unknown code.
double CodeRate(int fec);
// The FEC code of a DVB-S, DSS or DVB-S2 rate text ("3/4"), 0 when it is none.
int FecFromText(const char *text);
// The text of a DVB-S, DSS or DVB-S2 FEC code, "AUTO" for any other code.
const char *FecText(int fec);

// Required carrier-to-noise ratios in dB as the program's link margin reads them; 0 where
// there is no entry. DVB-S by FEC code; DVB-S2 by the record's modulation code and FEC code,
// normal frames.
double RequiredCnDvbS(std::int32_t fec);
double RequiredCnDvbS2(std::int32_t modulation, std::int32_t fec);

// Quasi-error-free Es/N0 in dB for the ideal demodulator; NaN when the system has no such
// code rate (or modulation and code rate).
double RequiredEsNoDvbS(int fec);
double RequiredEsNoDss(int fec);
double RequiredEsNoDvbS2(int constellation, int fec);

// Es/N0 in dB that a real demodulator needs: the ideal figure plus the implementation margin
// (0.6 dB for DVB-S2, 0.3 dB more with short frames; the DVB-S figures already include
// theirs). NaN for a code rate the system lacks.
double LockThresholdDb(int system, int constellation, int fec, int frame_length);

// Useful bit rate in bit/s at `symbol_rate` S/s; 0 for an unknown combination.
std::uint32_t UsefulBitRate(int system, int constellation, int fec, int frame_length, int pilot,
                            std::uint32_t symbol_rate);

// The roll-off factor of a roll-off code (0.35 for unknown codes).
double RollOffFactor(int rolloff);
// Occupied width in kHz: symbol rate x (1 + roll-off).
std::uint32_t CarrierWidthKhz(std::uint32_t symbol_rate, int rolloff);

// The record's modulation code: DVB-S and DSS QPSK 1; DVB-S2 QPSK 5, 8PSK 2, 16APSK 3, 32APSK 4
// (the codes the link margin knows).
int RecordModulation(int system, int constellation);
// The constellation of a record's modulation code, of any system (QPSK 1, 5, 6, 9; 8PSK 2, 7;
// 16APSK 3, 8; 32APSK 4); kAutoConstellation for the others.
int ConstellationOfModulation(int modulation);

// Whether the system has the code rate (and, for DVB-S2, the modulation and frame length
// together): the MODCODs of the standards.
bool ValidCodeRate(int system, int constellation, int fec, int frame_length);
