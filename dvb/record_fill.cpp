#include "record_fill.h"

#include <cmath>
#include <cstring>

#include "record/dvb_standard.h"
#include "frontend_api.h"
#include "signal_level.h"

namespace dvb {

namespace {

// Kernel codes to record codes. Sources: the kernel's include/uapi/linux/dvb/frontend.h
// for the left column; the record's codes (tuner/lumorath.h) for the right.
struct CodePair {
    std::uint32_t kernel;
    int record;
};
const CodePair kSystems[] = {{SYS_DVBS, 1}, {SYS_DVBS2, 2}, {SYS_DSS, 3}, {SYS_TURBO, 4}};
const CodePair kFecs[] = {
    {FEC_1_2, 1}, {FEC_2_3, 2}, {FEC_3_4, 3}, {FEC_4_5, 4},  {FEC_5_6, 5},
    {FEC_6_7, 6}, {FEC_7_8, 7}, {FEC_8_9, 8}, {FEC_9_10, 9}, {FEC_2_5, 12}, {FEC_3_5, 13},
};
// Constellations as the bit-rate model counts them (1 QPSK, 2 8PSK, 3 16APSK, 4 32APSK).
const CodePair kConstellations[] = {{QPSK, 1}, {PSK_8, 2}, {APSK_16, 3}, {APSK_32, 4}};
const CodePair kRollOffs[] = {{ROLLOFF_35, 1}, {ROLLOFF_25, 2}, {ROLLOFF_20, 3}};

constexpr int kUnknown = 0;
constexpr int kUnknownFrameField = -1;  // frame length, coding mode and stream type

template <std::size_t N>
int Lookup(const CodePair (&table)[N], std::uint32_t kernel) {
    for (const CodePair &pair : table) {
        if (pair.kernel == kernel) return pair.record;
    }
    return kUnknown;
}

// Code rates only DVB-S2 has, and those only DVB-S and DSS have (EN 300 421, EN 302 307-1).
bool OnlySecondGeneration(int fec) { return fec == 4 || fec == 8 || fec == 9 || fec == 12 || fec == 13; }
bool OnlyFirstGeneration(int fec) { return fec == 6 || fec == 7; }

// The system of a lock where the request cannot tell it (one attempt finds both).
int InferSystem(int constellation, int fec, std::uint32_t pilot, std::uint32_t rolloff) {
    if (constellation >= 2 || OnlySecondGeneration(fec) || pilot == PILOT_ON || rolloff == ROLLOFF_20 ||
        rolloff == ROLLOFF_25) {
        return 2;
    }
    if (OnlyFirstGeneration(fec)) return 1;
    return kUnknown;
}

void ReadStatistics(int fd, const FrontendEntry &entry, TransponderRecord *record) {
    double level_dbm = 0;
    if (ReadLevelDbm(fd, entry, &level_dbm)) record->rf_level = static_cast<std::int32_t>(std::lround(level_dbm));
    PropertyBatch stats;
    AddProperty(&stats, DTV_STAT_CNR);
    if (GetProperties(fd, &stats) >= 0) {
        const dtv_fe_stats &cnr = stats.props[0].u.st;
        if (cnr.len > 0 && cnr.stat[0].scale == FE_SCALE_DECIBEL) {
            record->snr = std::round(cnr.stat[0].svalue / 100.0) / 10.0;
            return;
        }
    }
    // The legacy SNR: drivers that give decibels give tenths of them; a relative figure
    // (above 100 dB read that way) says nothing and is left at 0.
    std::uint16_t raw = 0;
    if (Ops().ioctl(fd, FE_READ_SNR, reinterpret_cast<std::uintptr_t>(&raw)) >= 0 && raw <= 1000) {
        record->snr = raw / 10.0;
    }
}

// Drivers with their own blind search also report the baseband header and the streams.
void ReadStreamDetails(int fd, TransponderRecord *record) {
    PropertyBatch details;
    AddProperty(&details, kDtvMatype);
    AddProperty(&details, kDtvFrameLength);
    if (GetProperties(fd, &details) >= 0) {
        // MATYPE-1 (EN 302 307-1, 5.1.6): bits 7-6 TS/GS, 4 CCM/ACM, 3 ISSYI, 2 NPD.
        const std::uint32_t matype = details.props[0].u.data;
        const std::uint32_t ts_gs = (matype >> 6) & 3u;
        record->stream_type = ts_gs == 3 ? 0 : ts_gs == 0 ? 3 : ts_gs == 1 ? 2 : 1;
        record->coding_mode = (matype & 0x10u) != 0 ? 0 : 1;
        record->issy = (matype & 0x08u) != 0 ? 1 : 0;
        record->npd = (matype & 0x04u) != 0 ? 1 : 0;
        record->frame_length = details.props[1].u.data == 1 ? 1 : 0;
    }
    PropertyBatch streams;
    AddProperty(&streams, kDtvIsiList);
    if (GetProperties(fd, &streams) >= 0) {
        const dtv_property &list = streams.props[0];
        std::uint32_t count = 0, present = 0;
        for (std::uint32_t isi = 0; isi < 256 && isi / 8 < list.u.buffer.len; ++isi) {
            if ((list.u.buffer.data[isi / 8] & (1u << (isi % 8))) == 0) continue;
            ++present;
            if (count < 16) record->stream_ids[count++] = static_cast<std::uint8_t>(isi);
        }
        // One stream is the plain case: the record lists streams only for a multistream carrier.
        record->stream_count = present > 1 ? count : 0;
        if (present <= 1) std::memset(record->stream_ids, 0, sizeof record->stream_ids);
    }
}

}  // namespace

int FillRecord(int fd, const FrontendEntry &entry, const LnbBand &band, const TuneRequest &asked,
               unsigned polarization, TransponderRecord *record) {
    std::memset(record, 0, sizeof *record);
    PropertyBatch batch;
    AddProperty(&batch, DTV_DELIVERY_SYSTEM);
    AddProperty(&batch, DTV_FREQUENCY);
    AddProperty(&batch, DTV_SYMBOL_RATE);
    AddProperty(&batch, DTV_MODULATION);
    AddProperty(&batch, DTV_INNER_FEC);
    AddProperty(&batch, DTV_ROLLOFF);
    AddProperty(&batch, DTV_PILOT);
    AddProperty(&batch, DTV_INVERSION);
    const int result = GetProperties(fd, &batch);
    if (result < 0) return result;
    const std::uint32_t system = batch.props[0].u.data;
    const std::uint32_t if_khz = batch.props[1].u.data != 0 ? batch.props[1].u.data : asked.if_khz;
    const std::uint32_t symbol_rate = batch.props[2].u.data != 0 ? batch.props[2].u.data : asked.symbol_rate;
    const std::uint32_t modulation = batch.props[3].u.data;
    const std::uint32_t fec = batch.props[4].u.data;
    const std::uint32_t rolloff = batch.props[5].u.data;
    const std::uint32_t pilot = batch.props[6].u.data;
    const std::uint32_t inversion = batch.props[7].u.data;

    // A driver without its own read-back echoes the request: the values asked for as
    // automatic come back automatic. A measured frequency or rate says nothing about them.
    const bool parameters_reported = fec != FEC_AUTO || rolloff != ROLLOFF_AUTO || pilot != PILOT_AUTO ||
                                     inversion != INVERSION_AUTO || modulation != asked.modulation;

    record->locked = 1;
    const std::int64_t rf_khz = LnbSatelliteKhz(band, if_khz);
    record->frequency = rf_khz > 0 && rf_khz <= static_cast<std::int64_t>(UINT32_MAX) ? static_cast<std::uint32_t>(rf_khz) : 0;
    record->polarization = static_cast<std::int32_t>(polarization);
    record->symbol_rate = symbol_rate;
    record->fec = Lookup(kFecs, fec);
    const int constellation = parameters_reported || asked.modulation_certain ? Lookup(kConstellations, modulation) : kUnknown;
    if (system != asked.system || asked.system_certain) {
        record->system = Lookup(kSystems, system);
    } else {
        record->system = parameters_reported ? InferSystem(constellation, record->fec, pilot, rolloff) : kUnknown;
    }
    if (constellation != kUnknown) record->modulation = RecordModulation(record->system == 2 ? 2 : 1, constellation);
    // The kernel reports inversion at the IF; an oscillator above the band inverts once more.
    if (inversion == INVERSION_OFF) record->inversion = band.inverted ? 2 : 1;
    if (inversion == INVERSION_ON) record->inversion = band.inverted ? 1 : 2;
    const bool first_generation = record->system == 1 || record->system == 3;
    record->rolloff = first_generation ? 1 : Lookup(kRollOffs, rolloff);  // DVB-S: always 0.35
    if (first_generation || pilot == PILOT_OFF) record->pilot = 1;
    if (!first_generation && pilot == PILOT_ON) record->pilot = 2;
    record->frame_length = kUnknownFrameField;
    record->coding_mode = kUnknownFrameField;
    record->stream_type = kUnknownFrameField;
    if (entry.search == SearchKind::kDriverBlind) ReadStreamDetails(fd, record);

    SetWidthAndBitRate(constellation, record);
    ReadStatistics(fd, entry, record);
    return 0;
}

void SetWidthAndBitRate(int constellation, TransponderRecord *record) {
    // Occupied width SR x (1 + roll-off); an unknown roll-off counts 0.35, the widest.
    record->carrier_width = CarrierWidthKhz(record->symbol_rate, record->rolloff);
    record->bit_rate = UsefulBitRate(record->system, constellation, record->fec,
                                     record->frame_length == 1 ? 1 : 0, record->pilot, record->symbol_rate);
}

}  // namespace dvb
