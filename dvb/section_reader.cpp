#include "section_reader.h"

#include <linux/ioctl.h>  // the ioctl numbers of dmx.h
#include <linux/dvb/dmx.h>

#include <cerrno>
#include <cstring>

#include "frontend_api.h"

namespace dvb {

DemuxOps &Demux() {
    static DemuxOps ops = SystemDemuxOps();
    return ops;
}

namespace {

// A read that finds nothing although the wait said there was something pauses this long.
constexpr std::uint32_t kRetryMs = 10;

struct PatCollection {
    PatInfo *pat;
    bool started;
    std::uint8_t version, last;
    std::uint8_t received[32];
};

struct Collection {
    PatCollection pat;
    NitTable *nit = nullptr;
    const TableRequest *request = nullptr;
};

bool Received(const std::uint8_t *bits, int number) { return (bits[number / 8] & (1u << (number % 8))) != 0; }
void MarkReceived(std::uint8_t *bits, int number) { bits[number / 8] |= static_cast<std::uint8_t>(1u << (number % 8)); }
bool AllReceived(const std::uint8_t *bits, int last) {
    for (int i = 0; i <= last; ++i) {
        if (!Received(bits, i)) return false;
    }
    return true;
}

bool CollectPatSection(const std::uint8_t *bytes, std::size_t size, PatCollection *collection) {
    Section section;
    if (!ReadSection(bytes, size, &section) || section.table_id != kTablePat || !section.current) return false;
    if (!collection->started || section.version != collection->version || section.last_number != collection->last) {
        collection->started = true;
        collection->version = section.version;
        collection->last = section.last_number;
        std::memset(collection->received, 0, sizeof collection->received);
        *collection->pat = PatInfo();
    }
    PatInfo read;
    if (!ReadPatSection(section, &read)) return false;
    collection->pat->transport_stream_id = read.transport_stream_id;
    if (read.has_network_pid) {
        collection->pat->has_network_pid = true;
        collection->pat->network_pid = read.network_pid;
    }
    MarkReceived(collection->received, section.number);
    return true;
}

void DropStreams(NitTable *table, std::uint16_t network_id) {
    int kept = 0;
    for (int i = 0; i < table->stream_count; ++i) {
        if (table->streams[i].network_id != network_id) table->streams[kept++] = table->streams[i];
    }
    table->stream_count = kept;
}

bool NitDone(const NitTable &table, const TableRequest &request) {
    if (table.network_count == 0) return false;
    const NitNetwork &first = table.networks[0];
    for (int i = 0; i < request.already_read_count; ++i) {
        if (request.already_read[i].network_id == first.network_id && request.already_read[i].version == first.version) {
            return true;
        }
    }
    if (request.table_id == kTableNitActual) return first.complete;
    for (int i = 0; i < table.network_count; ++i) {
        if (!table.networks[i].complete) return false;
    }
    return table.repeated;
}

bool Feed(const std::uint8_t *bytes, std::size_t size, Collection *collection) {
    if (collection->nit != nullptr) {
        CollectNitSection(bytes, size, collection->request->table_id, collection->nit);
        return NitDone(*collection->nit, *collection->request);
    }
    CollectPatSection(bytes, size, &collection->pat);
    return collection->pat.started && AllReceived(collection->pat.received, collection->pat.last);
}

TableRead Collect(const char *demux_path, std::uint16_t pid, std::uint8_t table_id, std::uint32_t wait_ms,
                  Collection *collection) {
    const int fd = Demux().open(demux_path);
    if (fd < 0) return TableRead::kNoDemux;
    dmx_sct_filter_params filter;
    std::memset(&filter, 0, sizeof filter);
    filter.pid = pid;
    filter.filter.filter[0] = table_id;
    filter.filter.mask[0] = 0xFF;
    filter.flags = DMX_CHECK_CRC | DMX_IMMEDIATE_START;
    if (Demux().ioctl(fd, DMX_SET_FILTER, reinterpret_cast<std::uintptr_t>(&filter)) < 0) {
        Demux().close(fd);
        return TableRead::kNoDemux;
    }
    // The demux hands over whole sections one after another; a read may end inside one.
    static std::uint8_t pending[2 * kMaxSectionBytes];
    std::size_t fill = 0;
    TableRead result = TableRead::kTimedOut;
    const std::uint32_t start_ms = Ops().clock_ms();
    for (;;) {
        const std::uint32_t elapsed_ms = Ops().clock_ms() - start_ms;
        if (elapsed_ms >= wait_ms) break;
        const int ready = Demux().wait(fd, wait_ms - elapsed_ms);
        if (ready < 0) {
            result = TableRead::kFailed;
            break;
        }
        if (ready == 0) continue;
        const int count = Demux().read(fd, pending + fill, sizeof pending - fill);
        if (count == -EOVERFLOW) {
            fill = 0;  // sections were lost and the demux's buffer emptied: start afresh
            continue;
        }
        if (count == -EAGAIN || count == -ETIMEDOUT || count == 0) {
            Ops().sleep_ms(kRetryMs);
            continue;
        }
        if (count < 0) {
            result = TableRead::kFailed;
            break;
        }
        fill += static_cast<std::size_t>(count);
        bool done = false;
        for (;;) {
            const std::size_t size = SectionSize(pending, fill);
            if (size == 0 || size > fill) break;
            done = Feed(pending, size, collection) || done;
            std::memmove(pending, pending + size, fill - size);
            fill -= size;
        }
        // Stuffing (table id 0xFF) or a length no section can have: nothing more follows.
        if (fill > 0 && (pending[0] == 0xFF || SectionSize(pending, fill) > kMaxSectionBytes)) fill = 0;
        if (done) {
            result = TableRead::kComplete;
            break;
        }
    }
    Demux().ioctl(fd, DMX_STOP, 0);
    Demux().close(fd);
    return result;
}

}  // namespace

bool CollectNitSection(const std::uint8_t *bytes, std::size_t size, std::uint8_t table_id, NitTable *table) {
    Section section;
    if (!ReadSection(bytes, size, &section) || section.table_id != table_id) {
        ++table->broken_sections;
        return false;
    }
    if (!section.current) return false;
    NitNetwork *network = nullptr;
    for (int i = 0; i < table->network_count; ++i) {
        if (table->networks[i].network_id == section.id) network = &table->networks[i];
    }
    if (network == nullptr) {
        // There is one actual network; sections of another are not of this table.
        if (table->network_count == kMaxNitNetworks || (table_id == kTableNitActual && table->network_count == 1)) {
            return false;
        }
        network = &table->networks[table->network_count++];
        std::memset(network, 0, sizeof *network);
        network->network_id = section.id;
        network->version = section.version;
        network->last_section = section.last_number;
    } else if (network->version != section.version || network->last_section != section.last_number) {
        // A new version replaces what was collected of the old one.
        DropStreams(table, section.id);
        std::memset(network->received, 0, sizeof network->received);
        network->version = section.version;
        network->last_section = section.last_number;
        network->complete = false;
    }
    if (Received(network->received, section.number)) {
        table->repeated = true;
        return true;
    }
    NitStream streams[kMaxStreamsPerSection];
    char name[kMaxNetworkName];
    const int count = ReadNitSection(section, name, sizeof name, streams);
    if (count < 0) {
        ++table->broken_sections;
        return false;
    }
    if (name[0] != '\0') std::memcpy(network->name, name, sizeof name);
    for (int i = 0; i < count && table->stream_count < kMaxNitStreams; ++i) table->streams[table->stream_count++] = streams[i];
    MarkReceived(network->received, section.number);
    network->complete = AllReceived(network->received, network->last_section);
    return true;
}

TableRead ReadPat(const char *demux_path, std::uint32_t wait_ms, PatInfo *pat) {
    Collection collection;
    std::memset(&collection.pat, 0, sizeof collection.pat);
    collection.pat.pat = pat;
    *pat = PatInfo();
    return Collect(demux_path, kPatPid, kTablePat, wait_ms, &collection);
}

TableRead ReadNit(const char *demux_path, const TableRequest &request, NitTable *table) {
    table->network_count = 0;
    table->stream_count = 0;
    table->broken_sections = 0;
    table->repeated = false;
    Collection collection;
    collection.nit = table;
    collection.request = &request;
    return Collect(demux_path, request.pid, request.table_id, request.wait_ms, &collection);
}

}  // namespace dvb
