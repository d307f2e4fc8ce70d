#include "dvb/model_frontend.h"

#include <linux/ioctl.h>
#include <linux/dvb/frontend.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <memory>

#include "record/dvb_standard.h"
#include "frontend_api.h"
#include "search_timing.h"

namespace model {

namespace {

constexpr int kReadWriteFd = 3;
constexpr int kReadOnlyFdBase = 10;
constexpr std::uint32_t kIfMinKhz = 950000;
constexpr std::uint32_t kIfMaxKhz = 2150000;
constexpr std::uint32_t kRateMin = 1000000;
constexpr std::uint32_t kRateMax = 45000000;

// What the frontend was told, as the kernel's property cache holds it.
struct Cache {
    std::uint32_t system = SYS_DVBS2, frequency = 0, symbol_rate = 0, modulation = QPSK, fec = FEC_AUTO;
    std::uint32_t rolloff = ROLLOFF_AUTO, pilot = PILOT_AUTO, inversion = INVERSION_AUTO, stream_id = NO_STREAM_ID_FILTER;
    std::uint32_t algorithm = 0, search_range_hz = 0;
};

struct Tuning {
    const sim::Carrier *carrier = nullptr;  // what the demodulator will lock
    std::int64_t carrier_if_khz = 0;
    bool spectrum_inverted = false;
    std::uint64_t lock_at_ms = 0;
    std::uint64_t give_up_at_ms = 0;  // 0: never (the library's own timeout ends the wait)
    bool lock_seen = false;           // the library read the status with the lock
};

struct Runtime {
    ModelFrontend model;
    Cache cache;
    Tuning tuning;
    int voltage = SEC_VOLTAGE_OFF;
    int tone = SEC_TONE_OFF;
    int port = 0;  // committed switch port 1..4 last selected, 0 none
    bool held = false;
    bool vanished = false;
    int fail_count = 0;
};

std::unique_ptr<Runtime> g_runtime;

Runtime &R() { return *g_runtime; }

const char *DriverName(Personality personality) {
    switch (personality) {
        case Personality::kSweepEcho: return "STV090x Multistandard";
        case Personality::kBuiltinBlind: return "STV0900 frontend";
        case Personality::kApartSystems: return "Montage Technology M88DS3103";
        case Personality::kDriverBlind: return "STiD135 blind-scan model";
    }
    return "";
}

bool VerticalOrRight(int polarization) { return polarization == 1 || polarization == 3; }

// The IF of a carrier at the tuner input now, or false when the LNB does not pass it.
bool CarrierIf(const sim::Carrier &carrier, std::int64_t *if_khz, bool *inverted) {
    const Runtime &r = R();
    if (r.voltage == SEC_VOLTAGE_OFF) return false;
    std::uint32_t lo = r.model.lnb.lo_low_khz;
    switch (r.model.lnb.kind) {
        case LnbKind::kUniversal:
            lo = r.tone == SEC_TONE_ON ? r.model.lnb.lo_high_khz : r.model.lnb.lo_low_khz;
            [[fallthrough]];
        case LnbKind::kSingle:
            if (VerticalOrRight(carrier.polarization) != (r.voltage == SEC_VOLTAGE_13)) return false;
            break;
        case LnbKind::kStacked:
            lo = VerticalOrRight(carrier.polarization) ? r.model.lnb.lo_low_khz : r.model.lnb.lo_high_khz;
            break;
    }
    const std::int64_t rf = carrier.frequency_khz;
    *inverted = lo > rf;
    *if_khz = *inverted ? lo - rf : rf - lo;
    return *if_khz >= kIfMinKhz && *if_khz <= kIfMaxKhz;
}

std::uint32_t SystemOf(int record_system) { return record_system == 2 ? SYS_DVBS2 : record_system == 3 ? SYS_DSS : SYS_DVBS; }

std::uint32_t KernelModulation(int constellation) {
    switch (constellation) {
        case 2: return PSK_8;
        case 3: return APSK_16;
        case 4: return APSK_32;
        default: return QPSK;
    }
}

std::uint32_t KernelFec(int fec) {
    static const std::uint32_t kFecs[] = {FEC_AUTO, FEC_1_2, FEC_2_3, FEC_3_4, FEC_4_5, FEC_5_6, FEC_6_7,
                                          FEC_7_8,  FEC_8_9, FEC_9_10, FEC_AUTO, FEC_AUTO, FEC_2_5, FEC_3_5};
    return fec >= 0 && fec < 14 ? kFecs[fec] : static_cast<std::uint32_t>(FEC_AUTO);
}

std::uint32_t KernelRollOff(int rolloff) { return rolloff == 2 ? ROLLOFF_25 : rolloff == 3 ? ROLLOFF_20 : ROLLOFF_35; }

bool SatelliteInView(const sim::Satellite &satellite) { return satellite.port == 0 || satellite.port == R().port; }

// The tune: which carrier this personality locks from the cache's request, and when.
void EvaluateTune() {
    Runtime &r = R();
    r.tuning = Tuning();
    const Personality personality = r.model.personality;
    const bool blind = personality == Personality::kBuiltinBlind || personality == Personality::kDriverBlind;
    // Capture range either side of the tuned frequency: ST's searches take 10 MHz above
    // 10 MS/s and 5 MHz below (stv090x.c); a blind algorithm the range it is given.
    std::uint32_t half_range_khz = r.cache.symbol_rate > 10000000 ? 5000 : 2500;
    if (personality == Personality::kBuiltinBlind) half_range_khz = 5000;
    if (personality == Personality::kDriverBlind) half_range_khz = r.cache.search_range_hz / 2000;
    const sim::Carrier *best = nullptr;
    std::int64_t best_distance = 0, best_if = 0;
    bool best_inverted = false;
    for (const sim::Satellite &satellite : r.model.scenario.satellites) {
        if (!SatelliteInView(satellite)) continue;
        for (const sim::Carrier &carrier : satellite.carriers) {
            std::int64_t if_khz = 0;
            bool inverted = false;
            if (!CarrierIf(carrier, &if_khz, &inverted)) continue;
            const std::int64_t distance = std::llabs(if_khz - static_cast<std::int64_t>(r.cache.frequency));
            if (distance > half_range_khz) continue;
            if (carrier.symbol_rate < kRateMin || carrier.symbol_rate > kRateMax) continue;
            if (!blind) {
                // The rate must be within 5 % of the one asked for.
                const double ratio = static_cast<double>(carrier.symbol_rate) / r.cache.symbol_rate;
                if (ratio < 0.95 || ratio > 1.05) continue;
            }
            if (personality == Personality::kApartSystems && SystemOf(carrier.system) != r.cache.system) continue;
            if (personality == Personality::kDriverBlind && carrier.symbol_rate > r.cache.symbol_rate) continue;
            if (best != nullptr && distance >= best_distance) continue;
            best = &carrier;
            best_distance = distance;
            best_if = if_khz;
            best_inverted = inverted;
        }
    }
    const std::uint32_t range_khz = 2 * half_range_khz;
    if (best != nullptr) {
        const double threshold = LockThresholdDb(best->system, best->constellation, best->fec, best->frame_length);
        if (!std::isnan(threshold) && best->esno_db >= threshold) {
            r.tuning.carrier = best;
            r.tuning.carrier_if_khz = best_if;
            r.tuning.spectrum_inverted = best_inverted;
            ++r.model.locks;
            r.tuning.lock_at_ms = r.model.now_ms + static_cast<std::uint64_t>(
                LockTimeMs(personality, *best, range_khz));
            return;
        }
    }
    if (personality == Personality::kDriverBlind) {
        r.tuning.give_up_at_ms = r.model.now_ms + static_cast<std::uint64_t>(BlindGiveUpMs(range_khz));
    }
}

bool Locked() { return R().tuning.carrier != nullptr && R().model.now_ms >= R().tuning.lock_at_ms; }

// What a read of one property gives, by personality.
int GetProperty(dtv_property *property) {
    Runtime &r = R();
    const Personality personality = r.model.personality;
    const sim::Carrier *carrier = Locked() ? r.tuning.carrier : nullptr;
    const bool reports_all = personality == Personality::kDriverBlind;
    const bool reports_parameters = reports_all || personality == Personality::kApartSystems;
    const bool reports_rate = reports_parameters || personality == Personality::kBuiltinBlind;
    const bool reports_frequency = reports_all || personality == Personality::kBuiltinBlind;
    auto put = [property](std::uint32_t value) {
        property->u.data = value;
        return 0;
    };
    switch (property->cmd) {
        case DTV_API_VERSION: return put(0x050b);
        case DTV_ENUM_DELSYS:
            property->u.buffer.data[0] = SYS_DVBS;
            property->u.buffer.data[1] = SYS_DVBS2;
            property->u.buffer.len = 2;
            return 0;
        case DTV_DELIVERY_SYSTEM:
            return put(carrier != nullptr && reports_all ? SystemOf(carrier->system) : r.cache.system);
        case DTV_FREQUENCY:
            return put(carrier != nullptr && reports_frequency ? static_cast<std::uint32_t>(r.tuning.carrier_if_khz)
                                                           : r.cache.frequency);
        case DTV_SYMBOL_RATE: return put(carrier != nullptr && reports_rate ? carrier->symbol_rate : r.cache.symbol_rate);
        case DTV_MODULATION:
            return put(carrier != nullptr && reports_parameters ? KernelModulation(carrier->constellation) : r.cache.modulation);
        case DTV_INNER_FEC: return put(carrier != nullptr && reports_parameters ? KernelFec(carrier->fec) : r.cache.fec);
        case DTV_ROLLOFF:
            return put(carrier != nullptr && reports_parameters && carrier->system == 2 ? KernelRollOff(carrier->rolloff)
                                                                                    : r.cache.rolloff);
        case DTV_PILOT:
            return put(carrier != nullptr && reports_parameters ? static_cast<std::uint32_t>(carrier->pilot == 2 ? PILOT_ON : PILOT_OFF) : r.cache.pilot);
        case DTV_INVERSION:
            return put(carrier != nullptr && reports_parameters ? static_cast<std::uint32_t>(r.tuning.spectrum_inverted ? INVERSION_ON : INVERSION_OFF)
                                                            : r.cache.inversion);
        case DTV_STREAM_ID: return put(r.cache.stream_id);
        case DTV_STAT_SIGNAL_STRENGTH:
        case DTV_STAT_CNR: {
            property->u.st.len = 0;
            if (!reports_all && !(personality == Personality::kApartSystems && property->cmd == DTV_STAT_CNR)) return 0;
            if (carrier == nullptr) return 0;
            property->u.st.len = 1;
            property->u.st.stat[0].scale = FE_SCALE_DECIBEL;
            const double db = property->cmd == DTV_STAT_CNR ? carrier->esno_db : carrier->level_dbm;
            property->u.st.stat[0].svalue = static_cast<std::int64_t>(std::llround(db * 1000.0));
            return 0;
        }
        default: break;
    }
    if (!reports_all) return -EINVAL;  // the mainline core knows no further property
    switch (property->cmd) {
        case dvb::kDtvAlgorithm: return put(r.cache.algorithm);
        case dvb::kDtvMatype:
            // TS (11), single or multiple stream, CCM or ACM, ISSY and NPD as the carrier has them.
            if (carrier == nullptr) return -EINVAL;
            return put(0xC0u | (carrier->stream_ids.size() > 1 ? 0 : 0x20u) | (carrier->coding_mode == 0 ? 0x10u : 0) |
                   (carrier->issy ? 0x08u : 0) | (carrier->npd ? 0x04u : 0));
        case dvb::kDtvFrameLength: return put(carrier != nullptr ? static_cast<std::uint32_t>(carrier->frame_length) : 0);
        case dvb::kDtvIsiList:
            std::memset(property->u.buffer.data, 0, sizeof property->u.buffer.data);
            property->u.buffer.len = 32;
            if (carrier != nullptr) {
                for (int isi : carrier->stream_ids) property->u.buffer.data[isi / 8] |= static_cast<std::uint8_t>(1u << (isi % 8));
            }
            return 0;
        default: return -EINVAL;
    }
}

int SetProperty(const dtv_property &property) {
    Runtime &r = R();
    const std::uint32_t data = property.u.data;
    switch (property.cmd) {
        case DTV_CLEAR: r.cache = Cache(); return 0;
        case DTV_DELIVERY_SYSTEM: r.cache.system = data; return 0;
        case DTV_FREQUENCY: r.cache.frequency = data; return 0;
        case DTV_SYMBOL_RATE: r.cache.symbol_rate = data; return 0;
        case DTV_MODULATION: r.cache.modulation = data; return 0;
        case DTV_INNER_FEC: r.cache.fec = data; return 0;
        case DTV_ROLLOFF: r.cache.rolloff = data; return 0;
        case DTV_PILOT: r.cache.pilot = data; return 0;
        case DTV_INVERSION: r.cache.inversion = data; return 0;
        case DTV_STREAM_ID: r.cache.stream_id = data; return 0;
        case DTV_TUNE:
            // The core refuses a rate below the frontend's least (dvb_frontend_check_parameters).
            if (r.cache.symbol_rate < kRateMin || r.cache.symbol_rate > 70000000) return -EINVAL;
            if (r.cache.frequency < kIfMinKhz || r.cache.frequency > kIfMaxKhz) return -EINVAL;
            ++r.model.tunes;
            EvaluateTune();
            return 0;
        default: break;
    }
    if (r.model.personality != Personality::kDriverBlind) return -EINVAL;
    if (property.cmd == dvb::kDtvAlgorithm) r.cache.algorithm = data;
    else if (property.cmd == dvb::kDtvSearchRange) r.cache.search_range_hz = data;
    else return -EINVAL;
    return 0;
}

void LogSec(unsigned long request, int value, const std::uint8_t *bytes = nullptr, int count = 0) {
    SecEvent event{R().model.now_ms, request, value, {}};
    if (bytes != nullptr) event.bytes.assign(bytes, bytes + count);
    R().model.sec_log.push_back(event);
}

// The model's frontends are DVB devices; nothing else is there.
DeviceFileKind ModelKind(const char *path) {
    for (int i = 0; i < R().model.frontends; ++i) {
        if (R().model.dvb_dir + "/adapter0/frontend" + std::to_string(i) == path) return DeviceFileKind::kDvbDevice;
    }
    return DeviceFileKind::kMissing;
}

int ModelOpen(const char *path, bool read_write) {
    Runtime &r = R();
    for (int i = 0; i < r.model.frontends; ++i) {
        const std::string name = r.model.dvb_dir + "/adapter0/frontend" + std::to_string(i);
        if (name != path) continue;
        if (r.vanished) return -ENODEV;
        if (r.model.read_only_open_error != 0) return -r.model.read_only_open_error;
        if (!read_write) return kReadOnlyFdBase + i;
        if (r.model.read_write_open_error != 0) return -r.model.read_write_open_error;
        if (i != 0 || r.held) return -EBUSY;  // one writer per frontend
        r.held = true;
        return kReadWriteFd;
    }
    return -ENOENT;
}

void ModelClose(int fd) {
    if (fd == kReadWriteFd) R().held = false;
}

int ModelIoctl(int fd, unsigned long request, std::uintptr_t argument) {
    Runtime &r = R();
    if (r.model.vanish_at_tune >= 0 && r.model.tunes >= r.model.vanish_at_tune) r.vanished = true;
    if (r.vanished) return -ENODEV;
    if (request == r.model.fail_request && ++r.fail_count > r.model.fail_after) return -r.model.fail_errno;
    const bool writer = fd == kReadWriteFd;
    // A read-only open may only ask (the core allows _IOC_READ calls alone).
    if (!writer && request != FE_GET_INFO && request != FE_GET_PROPERTY && request != FE_READ_STATUS) return -EPERM;
    switch (request) {
        case FE_GET_INFO: {
            auto *info = reinterpret_cast<dvb_frontend_info *>(argument);
            std::memset(info, 0, sizeof *info);
            std::strncpy(info->name, DriverName(r.model.personality), sizeof info->name - 1);
            info->type = r.model.terrestrial_first ? FE_OFDM : FE_QPSK;
            info->frequency_min = r.model.terrestrial_first ? 51000000u : kIfMinKhz;
            info->frequency_max = r.model.terrestrial_first ? 2150000000u : kIfMaxKhz;
            info->symbol_rate_min = kRateMin;
            info->symbol_rate_max = kRateMax;
            info->caps = static_cast<fe_caps>(FE_CAN_INVERSION_AUTO | FE_CAN_FEC_AUTO | FE_CAN_QPSK | FE_CAN_2G_MODULATION);
            return 0;
        }
        case FE_GET_PROPERTY:
        case FE_SET_PROPERTY: {
            auto *list = reinterpret_cast<dtv_properties *>(argument);
            for (std::uint32_t i = 0; i < list->num; ++i) {
                const int result = request == FE_GET_PROPERTY ? GetProperty(&list->props[i]) : SetProperty(list->props[i]);
                if (result < 0) return result;
            }
            return 0;
        }
        case FE_READ_STATUS: {
            auto *status = reinterpret_cast<fe_status_t *>(argument);
            *status = FE_NONE;
            if (Locked()) {
                *status = static_cast<fe_status_t>(FE_HAS_SIGNAL | FE_HAS_CARRIER | FE_HAS_VITERBI | FE_HAS_SYNC | FE_HAS_LOCK);
                if (!r.tuning.lock_seen) r.model.seen_locked.push_back(r.tuning.carrier);
                r.tuning.lock_seen = true;
            } else if (r.tuning.give_up_at_ms != 0 && r.model.now_ms >= r.tuning.give_up_at_ms) {
                *status = FE_TIMEDOUT;
            }
            return 0;
        }
        case FE_READ_SIGNAL_STRENGTH: {
            // The ST drivers read the input AGC whether or not anything is locked; stv0900 on a
            // scale of (dBm + 100) x 65535 / 70 (stv0900_read_signal_strength), stv090x / 100.
            const bool st = r.model.personality == Personality::kSweepEcho || r.model.personality == Personality::kBuiltinBlind;
            double dbm = -100.0;
            if (Locked()) {
                dbm = r.tuning.carrier->level_dbm;
            } else if (st && r.voltage != SEC_VOLTAGE_OFF) {
                dbm = InputLevelDbm(r.cache.frequency, r.cache.symbol_rate);
            }
            const double range_db = r.model.personality == Personality::kBuiltinBlind ? 70.0 : 100.0;
            const double raw = std::round((dbm + 100.0) * 65535.0 / range_db);
            *reinterpret_cast<std::uint16_t *>(argument) = static_cast<std::uint16_t>(raw < 0 ? 0 : raw > 65535 ? 65535 : raw);
            return 0;
        }
        case FE_READ_SNR: {
            // A relative figure, 0..65535 over 0..30 dB, as the ST drivers give it.
            const double db = Locked() ? r.tuning.carrier->esno_db : 0.0;
            *reinterpret_cast<std::uint16_t *>(argument) = static_cast<std::uint16_t>(std::lround(db / 30.0 * 65535.0));
            return 0;
        }
        case FE_SET_FRONTEND_TUNE_MODE: r.model.oneshot = (argument & FE_TUNE_MODE_ONESHOT) != 0; return 0;
        case FE_SET_VOLTAGE:
            r.voltage = static_cast<int>(argument);
            LogSec(request, r.voltage);
            return 0;
        case FE_SET_TONE:
            r.tone = static_cast<int>(argument);
            LogSec(request, r.tone);
            return 0;
        case FE_DISEQC_SEND_BURST: LogSec(request, static_cast<int>(argument)); return 0;
        case FE_DISEQC_SEND_MASTER_CMD: {
            const auto *command = reinterpret_cast<const dvb_diseqc_master_cmd *>(argument);
            if (command->msg_len < 3 || command->msg_len > 6) return -EINVAL;
            LogSec(request, command->msg_len, command->msg, command->msg_len);
            // A committed switch: E0 10 38 Fx selects port ((x >> 2) & 3) + 1.
            if (command->msg_len == 4 && command->msg[2] == 0x38) r.port = ((command->msg[3] >> 2) & 3) + 1;
            return 0;
        }
        default: return -ENOTTY;
    }
}

std::uint32_t ModelClock() { return static_cast<std::uint32_t>(R().model.now_ms); }
void ModelSleep(std::uint32_t milliseconds) { R().model.now_ms += milliseconds; }

}  // namespace

const char *PersonalityName(Personality personality) {
    switch (personality) {
        case Personality::kSweepEcho: return "sweep, echoes the request";
        case Personality::kBuiltinBlind: return "blind, reports frequency and rate";
        case Personality::kApartSystems: return "sweep, DVB-S and DVB-S2 apart";
        case Personality::kDriverBlind: return "driver blind algorithm";
    }
    return "";
}

double LockTimeMs(Personality personality, const sim::Carrier &carrier, std::uint32_t search_range_khz) {
    const int bits = carrier.constellation >= 2 ? carrier.constellation + 1 : 2;
    // The demodulator's own stages; the host's polling and statistics reads are the library's
    // and cost their own (modelled) time there.
    double ms = tuner_timing::AcquisitionMs(carrier.symbol_rate) +
                tuner_timing::FecLockMs(carrier.system, carrier.symbol_rate, bits, carrier.frame_length == 1);
    // A blind search first probes its range for energy.
    if (personality == Personality::kBuiltinBlind || personality == Personality::kDriverBlind) {
        ms += tuner_timing::TuneAndProbeMs(search_range_khz);
    }
    return ms;
}

double BlindGiveUpMs(std::uint32_t search_range_khz) {
    tuner_timing::BlindSearchTiming timing;
    timing.end = tuner_timing::SearchEnd::kEmpty;
    timing.search_range_khz = search_range_khz;
    return tuner_timing::BlindSearchMs(timing);
}

double InputLevelDbm(std::uint32_t if_khz, std::uint32_t symbol_rate) {
    // The tuner's filter for the rate asked for: 1.5 x (1.35 x rate + 10 MHz) wide (stv090x.c:3222).
    const double half_khz = 0.75 * (1.35 * symbol_rate / 1000.0 + 10000.0);
    double milliwatts = std::pow(10.0, (sim::kNoiseDensityDbmPerHz + 10.0 * std::log10(2000.0 * half_khz)) / 10.0);
    for (const sim::Satellite &satellite : R().model.scenario.satellites) {
        if (!SatelliteInView(satellite)) continue;
        for (const sim::Carrier &carrier : satellite.carriers) {
            std::int64_t carrier_if = 0;
            bool inverted = false;
            if (!CarrierIf(carrier, &carrier_if, &inverted)) continue;
            // The carrier's power spread evenly over its occupied band; the part within the filter.
            const double carrier_half_khz = CarrierWidthKhz(carrier.symbol_rate, carrier.rolloff) / 2.0;
            const double low = std::max(carrier_if - carrier_half_khz, if_khz - half_khz);
            const double high = std::min(carrier_if + carrier_half_khz, if_khz + half_khz);
            if (high <= low) continue;
            milliwatts += std::pow(10.0, carrier.level_dbm / 10.0) * (high - low) / (2.0 * carrier_half_khz);
        }
    }
    return 10.0 * std::log10(milliwatts);
}

ModelFrontend &InstallModel(Personality personality, const PhysicalLnb &lnb, const sim::Scenario &scenario) {
    g_runtime = std::make_unique<Runtime>();
    g_runtime->model.personality = personality;
    g_runtime->model.lnb = lnb;
    g_runtime->model.scenario = scenario;
    sim::CompleteScenario(&g_runtime->model.scenario, 1);
    dvb::Ops() = FrontendOps{ModelKind, ModelOpen, ModelClose, ModelIoctl, ModelClock, ModelSleep};
    return g_runtime->model;
}

ModelFrontend &Model() { return g_runtime->model; }

const sim::Carrier *LockedCarrier() { return g_runtime != nullptr && Locked() ? R().tuning.carrier : nullptr; }

void RemoveModel() {
    dvb::Ops() = SystemFrontendOps();
    g_runtime.reset();
}

}  // namespace model
