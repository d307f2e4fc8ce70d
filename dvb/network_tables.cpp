#include "network_tables.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frontend_api.h"
#include "record/dvb_standard.h"

namespace dvb {

namespace {

// How far the carrier may lie from a lock's frequency: ST's searches capture +-5 MHz above
// 10 MS/s and accept 500 kHz more (linux stv090x.c, stv090x_search / get_coldlock); a
// demodulator captures a rate within 5 % of the one asked for, plus a margin.
constexpr std::int64_t kCaptureKhz = 5500;
constexpr double kRateTolerance = 0.06;
// The program jumps from a found carrier to its upper edge plus a step: at most half the
// widest carrier (45 MS/s x 1.35) beyond the step.
constexpr std::uint32_t kWidestHalfKhz = 31000;

bool SamePolarizationSide(int a, int b) { return (a & 1) == (b & 1); }  // H/L on 18 V, V/R on 13 V

bool RateAgrees(std::uint32_t listed, std::uint32_t locked) {
    if (locked == 0) return false;
    const double ratio = static_cast<double>(listed) / locked;
    return ratio >= 1.0 - kRateTolerance && ratio <= 1.0 + kRateTolerance;
}

// The record's modulation code back to a constellation (1 QPSK .. 4 32APSK).
int ConstellationOf(int modulation) {
    switch (modulation) {
        case 1: case 5: case 6: case 9: return 1;
        case 2: case 7: return 2;
        case 3: case 8: return 3;
        case 4: return 4;
        default: return 0;
    }
}

bool AlreadyRead(const NetworkTables &tables, std::uint16_t network_id, std::uint8_t version) {
    for (int i = 0; i < tables.read_count; ++i) {
        if (tables.read[i].network_id == network_id && tables.read[i].version == version) return true;
    }
    return false;
}

// The demux beside the frontend: adapterN/frontendM reads through adapterN/demuxM.
void DemuxPathOf(const char *frontend_path, char *path, std::size_t size) {
    std::snprintf(path, size, "%s", frontend_path);
    char *name = std::strrchr(path, '/');
    name = name != nullptr ? name + 1 : path;
    if (std::strncmp(name, "frontend", 8) != 0) return;
    char number[16];
    std::snprintf(number, sizeof number, "%s", name + 8);
    std::snprintf(name, size - static_cast<std::size_t>(name - path), "demux%s", number);
}

std::uint32_t ElapsedSince(std::uint32_t start_ms) { return Ops().clock_ms() - start_ms; }

void ReadNetwork(NetworkTables *tables, std::uint16_t pid, std::uint8_t table_id, std::uint16_t transport_stream_id,
                 const TransponderRecord &record) {
    TableRequest request{pid, table_id, tables->nit_wait_ms, tables->read, tables->read_count};
    const std::uint32_t start_ms = Ops().clock_ms();
    ReadNit(tables->demux_path, request, &tables->scratch);
    tables->cost.nit_ms += ElapsedSince(start_ms);
    ++tables->cost.nit_reads;
    const NitTable &table = tables->scratch;
    for (int n = 0; n < table.network_count; ++n) {
        const NitNetwork &network = table.networks[n];
        if (!network.complete || AlreadyRead(*tables, network.network_id, network.version)) continue;
        int listed = 0, with_delivery = 0;
        for (int i = 0; i < table.stream_count; ++i) {
            if (table.streams[i].network_id != network.network_id) continue;
            ++listed;
            with_delivery += table.streams[i].has_delivery ? 1 : 0;
        }
        std::fprintf(stderr,
                     "Lumorath DVB: %s: %u.%03u MHz carries transport stream %u; %s %u \"%s\" lists %d transport "
                     "stream%s (%d with satellite delivery parameters)\n",
                     tables->device, record.frequency / 1000u, record.frequency % 1000u, transport_stream_id,
                     table_id == kTableNitActual ? "its network" : "network", network.network_id, network.name, listed,
                     listed == 1 ? "" : "s", with_delivery);
    }
    HarvestNit(tables, table);
}

}  // namespace

void StartTables(NetworkTables *tables, const FrontendEntry &entry, const DvbSettings &settings) {
    tables->enabled = entry.read_tables;
    tables->nit_wait_ms = settings.nit_wait_ms;
    tables->nit_other = settings.nit_other;
    DemuxPathOf(entry.path, tables->demux_path, sizeof tables->demux_path);
    tables->device = entry.path;
    tables->position_known = false;
    tables->position = 0;
    std::memset(&tables->cost, 0, sizeof tables->cost);
    NewTablesPass(tables);
}

void NewTablesPass(NetworkTables *tables) {
    tables->known_count = 0;
    tables->read_count = 0;
    tables->window_valid = false;
}

void HarvestNit(NetworkTables *tables, const NitTable &table) {
    for (int n = 0; n < table.network_count; ++n) {
        const NitNetwork &network = table.networks[n];
        if (!network.complete || AlreadyRead(*tables, network.network_id, network.version)) continue;
        // A new version of a network replaces what an older one listed.
        int kept = 0;
        for (int i = 0; i < tables->known_count; ++i) {
            if (tables->known[i].stream.network_id != network.network_id) tables->known[kept++] = tables->known[i];
        }
        tables->known_count = kept;
        for (int i = 0; i < table.stream_count && tables->known_count < kMaxKnownStreams; ++i) {
            const NitStream &stream = table.streams[i];
            if (stream.network_id != network.network_id || !stream.has_delivery) continue;
            tables->known[tables->known_count++] = KnownStream{stream, false};
        }
        bool listed = false;
        for (int i = 0; i < tables->read_count; ++i) {
            if (tables->read[i].network_id != network.network_id) continue;
            tables->read[i].version = network.version;
            listed = true;
        }
        if (!listed && tables->read_count < kMaxNetworksRead) {
            tables->read[tables->read_count++] = NetworkVersion{network.network_id, network.version};
        }
        ++tables->cost.networks;
    }
}

int OwnEntry(const NetworkTables &tables, std::uint16_t transport_stream_id, const TransponderRecord &record) {
    int found = -1;
    for (int i = 0; i < tables.known_count; ++i) {
        const KnownStream &known = tables.known[i];
        const SatelliteDelivery &delivery = known.stream.delivery;
        if (known.stream.transport_stream_id != transport_stream_id) continue;
        if (!SamePolarizationSide(delivery.polarization, record.polarization)) continue;
        if (tables.position_known && delivery.orbital_position != tables.position) continue;
        if (std::llabs(static_cast<std::int64_t>(delivery.frequency_khz) - record.frequency) > kCaptureKhz) continue;
        if (!RateAgrees(delivery.symbol_rate, record.symbol_rate)) continue;
        if (found >= 0) {
            const SatelliteDelivery &first = tables.known[found].stream.delivery;
            // Two networks listing it alike is no doubt; listing it differently is.
            if (first.frequency_khz != delivery.frequency_khz || first.symbol_rate != delivery.symbol_rate ||
                first.system != delivery.system || first.orbital_position != delivery.orbital_position) {
                return -1;
            }
            continue;
        }
        found = i;
    }
    return found;
}

void CompleteRecord(const SatelliteDelivery &delivery, bool frequency_echoed, bool rate_echoed,
                    TransponderRecord *record) {
    if (frequency_echoed) record->frequency = delivery.frequency_khz;
    if (rate_echoed) record->symbol_rate = delivery.symbol_rate;
    if (record->system == 0) record->system = delivery.system;
    int constellation = ConstellationOf(record->modulation);
    // The listed constellation only where the record agrees on the system it belongs to.
    if (record->modulation == 0 && delivery.constellation != 0 && record->system == delivery.system) {
        constellation = delivery.constellation;
        record->modulation = RecordModulation(record->system, constellation);
    }
    if (record->fec == 0) record->fec = delivery.fec;
    if (record->rolloff == 0 && record->system == delivery.system) record->rolloff = delivery.rolloff;
    if (record->pilot == 0 && record->system == 1) record->pilot = 1;  // DVB-S has no pilots
    SetWidthAndBitRate(constellation, record);
}

bool NextHint(NetworkTables *tables, const FrontendEntry &entry, const DvbSettings &settings, const StepRequest &step,
              HintTune *hint) {
    if (!tables->enabled || !tables->position_known) return false;
    if (!tables->window_valid || step.frequency_khz != tables->window_high_khz - tables->step_khz ||
        step.polarization != tables->window_polarization) {
        // A step just above the last one, of the same polarization, answers for the band the
        // program jumped over; any other starts a new stretch.
        const std::uint32_t last_start_khz = tables->window_high_khz - tables->step_khz;
        const bool follows = tables->window_valid && step.polarization == tables->window_polarization &&
                             step.frequency_khz > last_start_khz &&
                             step.frequency_khz - last_start_khz <= step.step_khz + kWidestHalfKhz;
        tables->window_low_khz = follows ? last_start_khz : step.frequency_khz;
        tables->window_high_khz = step.frequency_khz + step.step_khz;
        tables->step_khz = step.step_khz;
        tables->window_polarization = step.polarization;
        tables->window_valid = true;
    }
    const LnbBand step_band = SelectLnbBand(step.frequency_khz, step.polarization, step.lof1_khz, step.lof2_khz,
                                            step.lofsw_khz, settings.lnb_mid_mhz, settings.lnb_stacked_mhz);
    if (!step_band.present) return false;
    KnownStream *best = nullptr;
    std::int64_t best_if_khz = 0;
    for (int i = 0; i < tables->known_count; ++i) {
        KnownStream &known = tables->known[i];
        const SatelliteDelivery &delivery = known.stream.delivery;
        if (known.tried || delivery.orbital_position != tables->position) continue;
        if (!SamePolarizationSide(delivery.polarization, static_cast<int>(step.polarization))) continue;
        if (delivery.frequency_khz < tables->window_low_khz || delivery.frequency_khz >= tables->window_high_khz) continue;
        if (delivery.symbol_rate < step.min_symbol_rate || delivery.symbol_rate < entry.symbol_rate_min ||
            (entry.symbol_rate_max != 0 && delivery.symbol_rate > entry.symbol_rate_max)) {
            continue;
        }
        // Through the step's own oscillator and tone, and within what the tuner takes.
        const LnbBand band = SelectLnbBand(delivery.frequency_khz, step.polarization, step.lof1_khz, step.lof2_khz,
                                           step.lofsw_khz, settings.lnb_mid_mhz, settings.lnb_stacked_mhz);
        if (!band.present || band.lo_khz != step_band.lo_khz || band.high_band != step_band.high_band) continue;
        const std::int64_t if_khz = LnbIntermediateKhz(band, delivery.frequency_khz);
        if (if_khz <= 0 || if_khz < static_cast<std::int64_t>(entry.frequency_min_khz) ||
            (entry.frequency_max_khz != 0 && if_khz > static_cast<std::int64_t>(entry.frequency_max_khz))) {
            continue;
        }
        if (best != nullptr && best->stream.delivery.frequency_khz <= delivery.frequency_khz) continue;
        best = &known;
        best_if_khz = if_khz;
    }
    if (best == nullptr) return false;
    best->tried = true;
    ++tables->cost.hints_tried;
    const SatelliteDelivery &delivery = best->stream.delivery;
    hint->frequency_khz = delivery.frequency_khz;
    hint->request = TuneRequest();
    hint->request.if_khz = static_cast<std::uint32_t>(best_if_khz);
    hint->request.symbol_rate = delivery.symbol_rate;
    hint->request.system = delivery.system == 2 ? SYS_DVBS2 : SYS_DVBS;
    hint->request.modulation = delivery.constellation == 2 ? PSK_8 : QPSK;
    // A demodulator that finds both systems in one attempt proves neither by locking.
    hint->request.system_certain = entry.plan != SystemPlan::kTogether;
    hint->request.modulation_certain = entry.plan == SystemPlan::kApartAndModulation;
    return true;
}

void HintLocked(NetworkTables *tables) { ++tables->cost.hints_locked; }

void AfterLock(NetworkTables *tables, const LnbBand &band, const TuneRequest &asked, TransponderRecord *record) {
    if (!tables->enabled || record->locked == 0) return;
    const bool frequency_echoed = static_cast<std::int64_t>(record->frequency) == LnbSatelliteKhz(band, asked.if_khz);
    const bool rate_echoed = record->symbol_rate == asked.symbol_rate;
    PatInfo pat;
    const std::uint32_t start_ms = Ops().clock_ms();
    const TableRead read = ReadPat(tables->demux_path, kPatWaitMs, &pat);
    tables->cost.pat_ms += ElapsedSince(start_ms);
    ++tables->cost.pat_reads;
    if (read == TableRead::kNoDemux) {
        tables->enabled = false;  // no demux beside this frontend: nothing to read, now or later
        return;
    }
    if (read != TableRead::kComplete) return;
    int own = OwnEntry(*tables, pat.transport_stream_id, *record);
    if (own < 0 && pat.has_network_pid) {
        const std::uint32_t networks_before = tables->cost.networks;
        ReadNetwork(tables, pat.network_pid, kTableNitActual, pat.transport_stream_id, *record);
        // The other networks' NIT once with each network newly read (every carrier of it
        // carries the same one).
        if (tables->nit_other && tables->cost.networks != networks_before) {
            ReadNetwork(tables, pat.network_pid, kTableNitOther, pat.transport_stream_id, *record);
        }
        own = OwnEntry(*tables, pat.transport_stream_id, *record);
    }
    if (own < 0) return;
    KnownStream &known = tables->known[own];
    if (!tables->position_known) {
        tables->position_known = true;
        tables->position = known.stream.delivery.orbital_position;
    }
    known.tried = true;  // found: no hint tune for it in this pass
    CompleteRecord(known.stream.delivery, frequency_echoed, rate_echoed, record);
    ++tables->cost.records_completed;
}

}  // namespace dvb
