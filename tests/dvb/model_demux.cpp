#include "dvb/model_demux.h"

#include <linux/ioctl.h>  // the ioctl numbers of dmx.h
#include <linux/dvb/dmx.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "dvb/model_frontend.h"
#include "psi_sections.h"
#include "section_reader.h"

namespace model {

namespace {

constexpr int kDemuxFdBase = 40;
constexpr std::uint32_t kSectionGapMs = 25;  // between sections of one table (EN 300 468 5.1.4)

// A table on the air: its sections in order, each coming round every `repeat_ms`.
struct AirTable {
    std::uint16_t pid;
    std::uint8_t table_id;
    std::vector<Bytes> sections;
    std::uint32_t repeat_ms;
    std::uint64_t phase_ms;
};

struct Filter {
    bool open = false;
    bool set = false;
    std::uint16_t pid = 0;
    std::uint8_t table_id = 0;
    std::uint64_t delivered_to_ms = 0;  // sections sent up to and including this time are read
    const sim::Carrier *carrier = nullptr;
    std::vector<AirTable> air;
};

struct DemuxRuntime {
    ModelTables tables;
    Filter filters[8];
};
std::unique_ptr<DemuxRuntime> g_demux;

bool Contains(const std::vector<std::uint32_t> &list, std::uint32_t value) {
    for (std::uint32_t item : list) {
        if (item == value) return true;
    }
    return false;
}

bool CarriedBy(const ModelNetwork &network, const sim::Carrier &carrier) {
    if (!network.carried_by_khz.empty()) return Contains(network.carried_by_khz, carrier.frequency_khz);
    return carrier.symbol_rate >= network.min_symbol_rate;
}

const ModelNetwork *OwnNetwork(const sim::Carrier &carrier) {
    for (const ModelNetwork &network : g_demux->tables.networks) {
        if (CarriedBy(network, carrier)) return &network;
    }
    return nullptr;
}

std::vector<Bytes> NetworkSections(const ModelNetwork &network, std::uint8_t table_id) {
    const sim::Scenario &scenario = Model().scenario;
    std::vector<NitEntry> entries;
    for (const sim::Satellite &satellite : scenario.satellites) {
        for (const sim::Carrier &carrier : satellite.carriers) {
            const bool listed = network.lists_khz.empty() ? CarriedBy(network, carrier)
                                                          : Contains(network.lists_khz, carrier.frequency_khz);
            if (!listed) continue;
            NitEntry entry{TransportStreamId(scenario, carrier.frequency_khz, carrier.polarization), network.network_id, {}};
            if (network.delivery) entry.descriptors = SatelliteDescriptor(carrier, satellite.position);
            entries.push_back(entry);
        }
    }
    return NitSections(table_id, network.network_id, network.name, network.version, entries, network.streams_per_section);
}

// What the locked carrier's transport stream carries on the filter's PID and table.
std::vector<AirTable> OnAir(const sim::Carrier &carrier, std::uint16_t pid, std::uint8_t table_id) {
    const ModelTables &tables = g_demux->tables;
    const std::uint16_t tsid = TransportStreamId(Model().scenario, carrier.frequency_khz, carrier.polarization);
    const std::uint64_t phase = (carrier.frequency_khz / 1000u) * 37u;
    std::vector<AirTable> air;
    const ModelNetwork *own = OwnNetwork(carrier);
    if (pid == dvb::kPatPid && table_id == dvb::kTablePat) {
        const int network_pid = tables.pat_names_nit && own != nullptr ? tables.nit_pid : -1;
        air.push_back({pid, table_id, {PatSection(tsid, network_pid)}, tables.pat_repeat_ms, phase % tables.pat_repeat_ms});
        return air;
    }
    if (pid != tables.nit_pid || own == nullptr) return air;
    for (const ModelNetwork &network : tables.networks) {
        const bool actual = &network == own;
        if (actual != (table_id == dvb::kTableNitActual)) continue;
        if (table_id != dvb::kTableNitActual && table_id != dvb::kTableNitOther) continue;
        air.push_back({pid, table_id, NetworkSections(network, table_id), network.repeat_ms,
                       (phase + network.network_id * 101u) % network.repeat_ms});
    }
    return air;
}

// The first time after `after_ms` one of the filter's sections is sent, or 0 for none.
std::uint64_t NextSend(const Filter &filter, std::uint64_t after_ms, const AirTable **table, std::size_t *index) {
    std::uint64_t best = 0;
    for (const AirTable &air : filter.air) {
        for (std::size_t i = 0; i < air.sections.size(); ++i) {
            const std::uint64_t offset = air.phase_ms + i * kSectionGapMs;
            std::uint64_t cycle = after_ms >= offset ? (after_ms - offset) / air.repeat_ms : 0;
            std::uint64_t at = offset + cycle * air.repeat_ms;
            while (at <= after_ms) at += air.repeat_ms;
            if (best == 0 || at < best) {
                best = at;
                *table = &air;
                *index = i;
            }
        }
    }
    return best;
}

Filter *FilterOf(int fd) {
    const int slot = fd - kDemuxFdBase;
    if (g_demux == nullptr || slot < 0 || slot >= 8 || !g_demux->filters[slot].open) return nullptr;
    return &g_demux->filters[slot];
}

int DemuxOpen(const char *path) {
    if (Model().dvb_dir + "/adapter0/demux0" != path) return -ENOENT;
    for (int slot = 0; slot < 8; ++slot) {
        if (g_demux->filters[slot].open) continue;
        g_demux->filters[slot] = Filter();
        g_demux->filters[slot].open = true;
        return kDemuxFdBase + slot;
    }
    return -EMFILE;
}

void DemuxClose(int fd) {
    if (Filter *filter = FilterOf(fd)) *filter = Filter();
}

int DemuxIoctl(int fd, unsigned long request, std::uintptr_t argument) {
    Filter *filter = FilterOf(fd);
    if (filter == nullptr) return -EBADF;
    if (request == DMX_STOP) {
        filter->set = false;
        return 0;
    }
    if (request != DMX_SET_FILTER) return -ENOTTY;
    const auto *params = reinterpret_cast<const dmx_sct_filter_params *>(argument);
    if ((params->flags & DMX_IMMEDIATE_START) == 0 || params->filter.mask[0] != 0xFF) return -EINVAL;
    filter->set = true;
    filter->pid = params->pid;
    filter->table_id = params->filter.filter[0];
    filter->delivered_to_ms = Model().now_ms;
    // The stream of the carrier locked when the filter starts; a new tune ends it.
    filter->carrier = LockedCarrier();
    filter->air.clear();
    if (filter->carrier != nullptr) filter->air = OnAir(*filter->carrier, filter->pid, filter->table_id);
    ++g_demux->tables.filters;
    return 0;
}

int DemuxWait(int fd, std::uint32_t timeout_ms) {
    Filter *filter = FilterOf(fd);
    if (filter == nullptr || !filter->set) return -EBADF;
    const AirTable *table = nullptr;
    std::size_t index = 0;
    const std::uint64_t next = LockedCarrier() == filter->carrier ? NextSend(*filter, filter->delivered_to_ms, &table, &index) : 0;
    ModelFrontend &model = Model();
    if (next == 0 || next > model.now_ms + timeout_ms) {
        model.now_ms += timeout_ms;
        return 0;
    }
    if (next > model.now_ms) model.now_ms = next;
    return 1;
}

int DemuxRead(int fd, std::uint8_t *buffer, std::size_t size) {
    Filter *filter = FilterOf(fd);
    if (filter == nullptr || !filter->set) return -EBADF;
    std::size_t written = 0;
    for (;;) {
        const AirTable *table = nullptr;
        std::size_t index = 0;
        const std::uint64_t at = NextSend(*filter, filter->delivered_to_ms, &table, &index);
        if (at == 0 || at > Model().now_ms) break;
        Bytes section = table->sections[index];
        const std::uint64_t cycle = (at - table->phase_ms - index * kSectionGapMs) / table->repeat_ms;
        if (g_demux->tables.corrupt_every_other && table->table_id != dvb::kTablePat && cycle % 2 == 0) {
            section.back() ^= 0x5A;
        }
        // The kernel drops sections whose CRC fails when asked to; this model hands them on,
        // so the library's own check is what refuses them.
        const std::size_t count = section.size() < size - written ? section.size() : size - written;
        std::memcpy(buffer + written, section.data(), count);
        written += count;
        filter->delivered_to_ms = at;
        ++g_demux->tables.sections_served;
        if (count < section.size() || written == size) break;  // the rest waits for the next read
    }
    return written > 0 ? static_cast<int>(written) : -EAGAIN;
}

void Put16(Bytes *bytes, unsigned value) {
    bytes->push_back(static_cast<std::uint8_t>(value >> 8));
    bytes->push_back(static_cast<std::uint8_t>(value));
}

// `digits` decimal digits of `value` as BCD, high nibble first, into `count` bytes.
void PutBcd(Bytes *bytes, std::uint32_t value, int digits) {
    std::uint8_t nibbles[8] = {};
    for (int i = digits - 1; i >= 0; --i) {
        nibbles[i] = static_cast<std::uint8_t>(value % 10);
        value /= 10;
    }
    for (int i = 0; i < digits; i += 2) {
        bytes->push_back(static_cast<std::uint8_t>(nibbles[i] << 4 | (i + 1 < digits ? nibbles[i + 1] : 0)));
    }
}

}  // namespace

std::uint16_t TransportStreamId(const sim::Scenario &scenario, std::uint32_t frequency_khz, int polarization) {
    std::uint16_t id = 1;
    for (const sim::Satellite &satellite : scenario.satellites) {
        for (const sim::Carrier &carrier : satellite.carriers) {
            if (carrier.frequency_khz == frequency_khz && carrier.polarization == polarization) return id;
            ++id;
        }
    }
    return 0;
}

Bytes LongSection(std::uint8_t table_id, std::uint16_t id, std::uint8_t version, std::uint8_t number, std::uint8_t last,
                  const Bytes &body) {
    Bytes section;
    const std::size_t length = 5 + body.size() + 4;
    section.push_back(table_id);
    section.push_back(static_cast<std::uint8_t>(0xB0 | (length >> 8)));  // syntax indicator, reserved bits
    section.push_back(static_cast<std::uint8_t>(length));
    Put16(&section, id);
    section.push_back(static_cast<std::uint8_t>(0xC1 | (version & 0x1F) << 1));  // current
    section.push_back(number);
    section.push_back(last);
    section.insert(section.end(), body.begin(), body.end());
    const std::uint32_t crc = dvb::SectionCrc32(section.data(), section.size());
    for (int shift = 24; shift >= 0; shift -= 8) section.push_back(static_cast<std::uint8_t>(crc >> shift));
    return section;
}

Bytes PatSection(std::uint16_t transport_stream_id, int network_pid) {
    Bytes body;
    if (network_pid >= 0) {
        Put16(&body, 0);
        Put16(&body, 0xE000u | static_cast<unsigned>(network_pid));
    }
    Put16(&body, 0x0101);  // one service and its PMT
    Put16(&body, 0xE100);
    return LongSection(dvb::kTablePat, transport_stream_id, 1, 0, 0, body);
}

Bytes SatelliteDescriptor(const sim::Carrier &carrier, int position) {
    Bytes descriptor = {0x43, 11};
    PutBcd(&descriptor, carrier.frequency_khz / 10u, 8);
    PutBcd(&descriptor, static_cast<std::uint32_t>(position < 0 ? -position : position), 4);
    const bool s2 = carrier.system == 2;
    const unsigned rolloff = s2 ? (carrier.rolloff == 2 ? 1u : carrier.rolloff == 3 ? 2u : 0u) : 0u;
    const unsigned modulation = carrier.constellation == 2 ? 2u : 1u;
    descriptor.push_back(static_cast<std::uint8_t>((position >= 0 ? 0x80 : 0) | (carrier.polarization & 3) << 5 |
                                                   rolloff << 3 | (s2 ? 0x04 : 0) | modulation));
    PutBcd(&descriptor, carrier.symbol_rate / 100u, 7);
    // Back from the record's code rate to the descriptor's FEC_inner.
    static const std::uint8_t kFecInner[14] = {0, 1, 2, 3, 8, 4, 0, 5, 6, 9, 0, 0, 0, 7};
    descriptor.back() |= carrier.fec >= 0 && carrier.fec < 14 ? kFecInner[carrier.fec] : 0;
    return descriptor;
}

std::vector<Bytes> NitSections(std::uint8_t table_id, std::uint16_t network_id, const std::string &name,
                               std::uint8_t version, const std::vector<NitEntry> &entries, int per_section) {
    const std::size_t count = entries.empty() ? 1 : (entries.size() + per_section - 1) / per_section;
    std::vector<Bytes> sections;
    for (std::size_t s = 0; s < count; ++s) {
        Bytes body;
        Bytes network_descriptors = {0x40, static_cast<std::uint8_t>(name.size())};
        network_descriptors.insert(network_descriptors.end(), name.begin(), name.end());
        Put16(&body, 0xF000u | static_cast<unsigned>(network_descriptors.size()));
        body.insert(body.end(), network_descriptors.begin(), network_descriptors.end());
        Bytes loop;
        for (std::size_t i = s * per_section; i < entries.size() && i < (s + 1) * per_section; ++i) {
            Put16(&loop, entries[i].transport_stream_id);
            Put16(&loop, entries[i].original_network_id);
            Put16(&loop, 0xF000u | static_cast<unsigned>(entries[i].descriptors.size()));
            loop.insert(loop.end(), entries[i].descriptors.begin(), entries[i].descriptors.end());
        }
        Put16(&body, 0xF000u | static_cast<unsigned>(loop.size()));
        body.insert(body.end(), loop.begin(), loop.end());
        sections.push_back(LongSection(table_id, network_id, version, static_cast<std::uint8_t>(s),
                                       static_cast<std::uint8_t>(count - 1), body));
    }
    return sections;
}

ModelTables &InstallDemux(const ModelTables &tables) {
    g_demux = std::make_unique<DemuxRuntime>();
    g_demux->tables = tables;
    dvb::Demux() = DemuxOps{DemuxOpen, DemuxClose, DemuxIoctl, DemuxWait, DemuxRead};
    return g_demux->tables;
}

const ModelTables *InstalledDemux() { return g_demux != nullptr ? &g_demux->tables : nullptr; }

void RemoveDemux() {
    dvb::Demux() = SystemDemuxOps();
    g_demux.reset();
}

}  // namespace model
