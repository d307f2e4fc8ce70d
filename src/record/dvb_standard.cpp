#include "record/dvb_standard.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

const double kNoEntry = std::numeric_limits<double>::quiet_NaN();

struct RateRow {
    int fec;
    const char *text;
    int numerator;
    int denominator;
};

// The record's FEC codes: the rates of DVB-S, DSS and DVB-S2 (EN 300 421 clause 4.4.3,
// EN 302 307-1 clause 5.3), then those DVB-S2X adds (EN 302 307-2 clause 5.3.2).
const RateRow kRates[] = {
    {1, "1/2", 1, 2},      {2, "2/3", 2, 3},      {3, "3/4", 3, 4},      {4, "4/5", 4, 5},
    {5, "5/6", 5, 6},      {6, "6/7", 6, 7},      {7, "7/8", 7, 8},      {8, "8/9", 8, 9},
    {9, "9/10", 9, 10},    {10, "1/4", 1, 4},     {11, "1/3", 1, 3},     {12, "2/5", 2, 5},
    {13, "3/5", 3, 5},     {14, "5/9", 5, 9},     {15, "7/9", 7, 9},     {16, "8/15", 8, 15},
    {17, "11/15", 11, 15}, {18, "13/18", 13, 18}, {19, "9/20", 9, 20},   {20, "11/20", 11, 20},
    {21, "23/36", 23, 36}, {22, "25/36", 25, 36}, {23, "13/45", 13, 45}, {24, "26/45", 26, 45},
    {25, "28/45", 28, 45}, {26, "32/45", 32, 45}, {27, "77/90", 77, 90},
};

const RateRow *FindRate(int fec) {
    for (const RateRow &row : kRates)
        if (row.fec == fec) return &row;
    return nullptr;
}

// Required C/N of first-generation carriers (DVB-S and DSS) by FEC code, as the link margin has
// always read it; 4/5 has no figure.
struct CnRow {
    int fec;
    double cn_db;  // dB
};
const CnRow kDvbSRequiredCn[] = {{1, 2.69}, {2, 4.36}, {3, 5.46}, {5, 6.53}, {6, 6.8}, {7, 7.24}};

struct EsNoRow {
    int fec;
    double esno_db;  // dB
};

// DVB-S, ETSI EN 300 421 IF-loop table: Eb/N0 for QEF after Reed-Solomon (1/2 4.5, 2/3 5.0,
// 3/4 5.5, 5/6 6.0, 7/8 6.4 dB, implementation margin included), as Es/N0 = Eb/N0 +
// 10 log10(2 x rate x 188/204).
const EsNoRow kDvbSEsNo[] = {{1, 4.15}, {2, 5.89}, {3, 6.91}, {5, 7.86}, {7, 8.48}};

// DSS: the same convolutional code family; 6/7 from Eb/N0 6.2 dB with RS(146,130) (model).
const EsNoRow kDssEsNo[] = {{1, 4.15}, {2, 5.89}, {6, 8.19}};

struct ModCodRow {
    int constellation;
    int fec;
    double esno_db;          // dB, ETSI EN 302 307-1 Table 13 (normal frames, AWGN, QEF)
    std::uint32_t kbch_normal;  // BCH payload bits, EN 302 307-1 Table 5a
    std::uint32_t kbch_short;   // Table 5b; 0 = no short frame of this rate
};

// DVB-S2 MODCODs, ETSI EN 302 307-1 Tables 5a, 5b and 13.
const ModCodRow kDvbS2ModCods[] = {
    {kQpsk, 10, -2.35, 16008, 3072},  {kQpsk, 11, -1.24, 21408, 5232},  {kQpsk, 12, -0.30, 25728, 6312},
    {kQpsk, 1, 1.00, 32208, 7032},    {kQpsk, 13, 2.23, 38688, 9552},   {kQpsk, 2, 3.10, 43040, 10632},
    {kQpsk, 3, 4.03, 48408, 11712},   {kQpsk, 4, 4.68, 51648, 12432},   {kQpsk, 5, 5.18, 53840, 13152},
    {kQpsk, 8, 6.20, 57472, 14232},   {kQpsk, 9, 6.42, 58192, 0},
    {k8psk, 13, 5.50, 38688, 9552},   {k8psk, 2, 6.62, 43040, 10632},   {k8psk, 3, 7.91, 48408, 11712},
    {k8psk, 5, 9.35, 53840, 13152},   {k8psk, 8, 10.69, 57472, 14232},  {k8psk, 9, 10.98, 58192, 0},
    {k16apsk, 2, 8.97, 43040, 10632}, {k16apsk, 3, 10.21, 48408, 11712}, {k16apsk, 4, 11.03, 51648, 12432},
    {k16apsk, 5, 11.61, 53840, 13152}, {k16apsk, 8, 12.89, 57472, 14232}, {k16apsk, 9, 13.13, 58192, 0},
    {k32apsk, 3, 12.73, 48408, 11712}, {k32apsk, 4, 13.64, 51648, 12432}, {k32apsk, 5, 14.28, 53840, 13152},
    {k32apsk, 8, 15.69, 57472, 14232}, {k32apsk, 9, 16.05, 58192, 0},
};

const ModCodRow *FindModCod(int constellation, int fec) {
    for (const ModCodRow &row : kDvbS2ModCods)
        if (row.constellation == constellation && row.fec == fec) return &row;
    return nullptr;
}

double LookUp(const EsNoRow *rows, std::size_t count, int fec) {
    for (std::size_t i = 0; i < count; ++i)
        if (rows[i].fec == fec) return rows[i].esno_db;
    return kNoEntry;
}

int BitsPerSymbol(int constellation) {
    switch (constellation) {
        case kQpsk: return 2;
        case k8psk: return 3;
        case k16apsk: return 4;
        case k32apsk: return 5;
        default: return 0;
    }
}

}  // namespace

const char *CodeRateText(int fec) {
    const RateRow *row = FindRate(fec);
    return row == nullptr ? nullptr : row->text;
}

double CodeRate(int fec) {
    const RateRow *row = FindRate(fec);
    return row == nullptr ? 0.0 : static_cast<double>(row->numerator) / row->denominator;
}

int FecFromText(const char *text) {
    for (const RateRow &row : kRates)
        if (row.fec <= kLastDvbS2Fec && std::strcmp(row.text, text) == 0) return row.fec;
    return 0;
}

const char *FecText(int fec) {
    const RateRow *row = FindRate(fec);
    return row == nullptr || fec > kLastDvbS2Fec ? "AUTO" : row->text;
}

double RequiredCnDvbS(std::int32_t fec) {
    for (const CnRow &row : kDvbSRequiredCn)
        if (row.fec == fec) return row.cn_db;
    return 0.0;
}

double RequiredCnDvbS2(std::int32_t modulation, std::int32_t fec) {
    // The DVB-S2 modulation codes of the record (5 QPSK, 2 8PSK, 3 16APSK, 4 32APSK) and the
    // DVB-Turbo ones read as their DVB-S2 constellation.
    int constellation;
    switch (modulation) {
        case 5: case 6: constellation = kQpsk; break;
        case 2: case 7: constellation = k8psk; break;
        case 3: constellation = k16apsk; break;
        case 4: constellation = k32apsk; break;
        default: return 0.0;
    }
    const ModCodRow *row = FindModCod(constellation, fec);
    return row == nullptr ? 0.0 : row->esno_db;
}

double RequiredEsNoDvbS(int fec) { return LookUp(kDvbSEsNo, sizeof kDvbSEsNo / sizeof kDvbSEsNo[0], fec); }

double RequiredEsNoDss(int fec) { return LookUp(kDssEsNo, sizeof kDssEsNo / sizeof kDssEsNo[0], fec); }

double RequiredEsNoDvbS2(int constellation, int fec) {
    const ModCodRow *row = FindModCod(constellation, fec);
    return row == nullptr ? kNoEntry : row->esno_db;
}

double LockThresholdDb(int system, int constellation, int fec, int frame_length) {
    if (system == kDvbS) return RequiredEsNoDvbS(fec);
    if (system == kDss) return RequiredEsNoDss(fec);
    if (system != kDvbS2 || !ValidCodeRate(system, constellation, fec, frame_length)) return kNoEntry;
    return RequiredEsNoDvbS2(constellation, fec) + 0.6 + (frame_length == 1 ? 0.3 : 0.0);
}

bool ValidCodeRate(int system, int constellation, int fec, int frame_length) {
    if (system == kDvbS) return !std::isnan(RequiredEsNoDvbS(fec));
    if (system == kDss) return !std::isnan(RequiredEsNoDss(fec));
    if (system != kDvbS2) return false;
    const ModCodRow *row = FindModCod(constellation, fec);
    return row != nullptr && (frame_length != 1 || row->kbch_short != 0);
}

std::uint32_t UsefulBitRate(int system, int constellation, int fec, int frame_length, int pilot,
                            std::uint32_t symbol_rate) {
    double rate = CodeRate(fec);
    if (rate == 0.0) return 0;
    if (system == kDvbS) {
        // QPSK, punctured convolutional code, RS(204,188): 2 x rate x 188/204 bit per symbol.
        return static_cast<std::uint32_t>(std::lround(symbol_rate * 2.0 * rate * 188.0 / 204.0));
    }
    if (system == kDss) {
        // QPSK, convolutional code, RS(146,130).
        return static_cast<std::uint32_t>(std::lround(symbol_rate * 2.0 * rate * 130.0 / 146.0));
    }
    if (system != kDvbS2) return 0;
    const ModCodRow *row = FindModCod(constellation, fec);
    if (row == nullptr) return 0;
    bool is_short = frame_length == 1;
    std::uint32_t kbch = is_short ? row->kbch_short : row->kbch_normal;
    if (kbch == 0) return 0;
    // A PLFRAME: 90 header symbols, S slots of 90 symbols, and with pilots a 36-symbol block
    // after every 16 slots; each frame carries Kbch - 80 bits (the BBHEADER is 80 bits).
    std::uint32_t nldpc = is_short ? 16200 : 64800;
    std::uint32_t slots = nldpc / static_cast<std::uint32_t>(BitsPerSymbol(constellation)) / 90;
    std::uint32_t symbols = 90 + 90 * slots + (pilot == kPilotOn ? 36 * ((slots - 1) / 16) : 0);
    return static_cast<std::uint32_t>(std::lround(symbol_rate * static_cast<double>(kbch - 80) / symbols));
}

double RollOffFactor(int rolloff) {
    switch (rolloff) {
        case kRollOff25: return 0.25;
        case kRollOff20: return 0.20;
        default: return 0.35;
    }
}

std::uint32_t CarrierWidthKhz(std::uint32_t symbol_rate, int rolloff) {
    return static_cast<std::uint32_t>(std::lround(symbol_rate * (1.0 + RollOffFactor(rolloff)) / 1000.0));
}

int RecordModulation(int system, int constellation) {
    if (system != kDvbS2) return 1;  // DVB-S and DSS are QPSK
    switch (constellation) {
        case k8psk: return 2;
        case k16apsk: return 3;
        case k32apsk: return 4;
        default: return 5;
    }
}

int ConstellationOfModulation(int modulation) {
    switch (modulation) {
        case 1: case 5: case 6: case 9: return kQpsk;
        case 2: case 7: return k8psk;
        case 3: case 8: return k16apsk;
        case 4: return k32apsk;
        default: return kAutoConstellation;
    }
}

