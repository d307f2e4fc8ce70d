#include "network_tables.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frontend_api.h"
#include "record_fill.h"
#include "report/name_text.h"
#include "record/dvb_standard.h"

namespace dvb {

namespace {

// How far the carrier may lie from a lock's frequency: ST's searches capture +-5 MHz above
// 10 MS/s and accept 500 kHz more (linux stv090x.c, stv090x_search / get_coldlock); a
// demodulator captures a rate within 5 % of the one asked for, plus a margin.
constexpr std::int64_t kCaptureKhz = 5500;
constexpr double kRateTolerance = 0.06;

bool SamePolarizationSide(int a, int b) { return (a & 1) == (b & 1); }  // H/L on 18 V, V/R on 13 V

bool RateAgrees(std::uint32_t listed, std::uint32_t locked) {
    if (locked == 0) return false;
    const double ratio = static_cast<double>(listed) / locked;
    return ratio >= 1.0 - kRateTolerance && ratio <= 1.0 + kRateTolerance;
}

bool AlreadyRead(const NetworkTables &tables, std::uint16_t network_id, std::uint8_t version) {
    for (int i = 0; i < tables.read_count; ++i) {
        if (tables.read[i].network_id == network_id && tables.read[i].version == version) return true;
    }
    return false;
}

bool IsLookedUp(const NetworkTables &tables, std::uint16_t transport_stream_id, const TransponderRecord &record) {
    for (int i = 0; i < tables.looked_up_count; ++i) {
        const LookedUp &seen = tables.looked_up[i];
        if (seen.transport_stream_id == transport_stream_id &&
            SamePolarizationSide(static_cast<int>(seen.polarization), record.polarization) &&
            std::llabs(static_cast<std::int64_t>(seen.frequency_khz) - record.frequency) <= kCaptureKhz) {
            return true;
        }
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
    bool fresh[kMaxNitNetworks] = {};
    for (int n = 0; n < table.network_count; ++n) {
        fresh[n] = table.networks[n].complete && !AlreadyRead(*tables, table.networks[n].network_id, table.networks[n].version);
    }
    HarvestNit(tables, table);
    // One line for each network newly read, at the carrier's listed frequency where it has one.
    const int own = OwnEntry(*tables, transport_stream_id, record);
    const std::uint32_t khz = own >= 0 ? tables->known[own].stream.delivery.frequency_khz : record.frequency;
    for (int n = 0; n < table.network_count; ++n) {
        if (!fresh[n]) continue;
        const NitNetwork &network = table.networks[n];
        int listed = 0, with_delivery = 0;
        for (int i = 0; i < table.stream_count; ++i) {
            if (table.streams[i].network_id != network.network_id) continue;
            ++listed;
            with_delivery += table.streams[i].has_delivery ? 1 : 0;
        }
        char name[kMaxNetworkName];
        PrintableName(network.name, name, sizeof name);
        std::fprintf(stderr,
                     "Lumorath DVB: %s: %u.%03u MHz carries transport stream %u; %s %u \"%s\" lists %d transport "
                     "stream%s (%d with satellite delivery parameters)\n",
                     tables->device, khz / 1000u, khz % 1000u, transport_stream_id,
                     table_id == kTableNitActual ? "its network" : "network", network.network_id, name, listed,
                     listed == 1 ? "" : "s", with_delivery);
    }
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
    tables->looked_up_count = 0;
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
    int constellation = ConstellationOfModulation(record->modulation);
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
              std::int64_t from_khz, std::int64_t to_khz, std::int64_t edge_khz, SatelliteDelivery *hint) {
    if (!tables->enabled || !tables->position_known) return false;
    const LnbBand step_band = SelectLnbBand(step.frequency_khz, step.polarization, step.lof1_khz, step.lof2_khz,
                                            step.lofsw_khz, settings.lnb_mid_mhz, settings.lnb_stacked_mhz);
    KnownStream *best = nullptr;
    for (int i = 0; i < tables->known_count; ++i) {
        KnownStream &known = tables->known[i];
        const SatelliteDelivery &delivery = known.stream.delivery;
        const std::int64_t centre_khz = delivery.frequency_khz;
        if (known.tried || delivery.orbital_position != tables->position) continue;
        if (!SamePolarizationSide(delivery.polarization, static_cast<int>(step.polarization))) continue;
        if (centre_khz < from_khz || centre_khz >= to_khz) continue;
        if (best != nullptr && best->stream.delivery.frequency_khz <= delivery.frequency_khz) continue;
        if (centre_khz - CarrierWidthKhz(delivery.symbol_rate, delivery.rolloff) / 2 > edge_khz) continue;
        if (delivery.symbol_rate < step.min_symbol_rate || delivery.symbol_rate < entry.symbol_rate_min ||
            (entry.symbol_rate_max != 0 && delivery.symbol_rate > entry.symbol_rate_max)) {
            continue;
        }
        const LnbBand band = SelectLnbBand(delivery.frequency_khz, step.polarization, step.lof1_khz, step.lof2_khz,
                                           step.lofsw_khz, settings.lnb_mid_mhz, settings.lnb_stacked_mhz);
        if (!band.present || band.lo_khz != step_band.lo_khz || band.high_band != step_band.high_band) continue;
        best = &known;
    }
    if (best == nullptr) return false;
    best->tried = true;
    ++tables->cost.hints_tried;
    *hint = best->stream.delivery;
    return true;
}

void HintLocked(NetworkTables *tables) { ++tables->cost.hints_locked; }

void HintAgain(NetworkTables *tables, const SatelliteDelivery &hint) {
    for (int i = 0; i < tables->known_count; ++i) {
        const SatelliteDelivery &listed = tables->known[i].stream.delivery;
        if (listed.frequency_khz == hint.frequency_khz && listed.polarization == hint.polarization &&
            listed.orbital_position == hint.orbital_position) {
            tables->known[i].tried = false;
        }
    }
}

bool AfterLock(NetworkTables *tables, const LnbBand &band, const TuneRequest &asked, TransponderRecord *record) {
    if (!tables->enabled || record->locked == 0) return false;
    const bool frequency_echoed = static_cast<std::int64_t>(record->frequency) == LnbSatelliteKhz(band, asked.if_khz);
    const bool rate_echoed = record->symbol_rate == asked.symbol_rate;
    PatInfo pat;
    const std::uint32_t start_ms = Ops().clock_ms();
    const TableRead read = ReadPat(tables->demux_path, kPatWaitMs, &pat);
    tables->cost.pat_ms += ElapsedSince(start_ms);
    ++tables->cost.pat_reads;
    if (read == TableRead::kNoDemux) {
        tables->enabled = false;  // no demux beside this frontend: nothing to read, now or later
        return false;
    }
    if (read != TableRead::kComplete) return false;
    int own = OwnEntry(*tables, pat.transport_stream_id, *record);
    if (own < 0 && pat.has_network_pid && !IsLookedUp(*tables, pat.transport_stream_id, *record)) {
        const std::uint32_t networks_before = tables->cost.networks;
        ReadNetwork(tables, pat.network_pid, kTableNitActual, pat.transport_stream_id, *record);
        // The other networks' NIT once with each network newly read (every carrier of it
        // carries the same one).
        if (tables->nit_other && tables->cost.networks != networks_before) {
            ReadNetwork(tables, pat.network_pid, kTableNitOther, pat.transport_stream_id, *record);
        }
        if (tables->looked_up_count < kMaxLookedUp) {
            tables->looked_up[tables->looked_up_count++] = {pat.transport_stream_id, record->polarization & 3u,
                                                            record->frequency};
        }
        own = OwnEntry(*tables, pat.transport_stream_id, *record);
    }
    if (own < 0) return false;
    KnownStream &known = tables->known[own];
    if (!tables->position_known) {
        tables->position_known = true;
        tables->position = known.stream.delivery.orbital_position;
    }
    known.tried = true;  // found: no hint tune for it in this pass
    CompleteRecord(known.stream.delivery, frequency_echoed, rate_echoed, record);
    ++tables->cost.records_completed;
    return true;
}

}  // namespace dvb
