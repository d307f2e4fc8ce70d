// The section reader fed with arbitrary demux output: the bytes a hostile or broken
// multiplex could put on the PAT and NIT PIDs, handed over in reads of arbitrary size, read
// as the PAT, the NIT actual and the NIT other; what they list then goes into the pass
// memory, completes a record and yields hints, and the whole path after a lock runs on them.
// No read may go past a buffer (the sanitizers watch), and everything taken must be in range.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frontend_api.h"
#include "fuzz_check.h"
#include "network_tables.h"
#include "section_reader.h"

namespace {

struct Feed {
    const std::uint8_t *data;
    std::size_t size, next;
    std::uint8_t chunk;  // bytes per read: 1..256
    std::uint32_t now_ms;
};
Feed g_feed;

int FeedOpen(const char *) { return 5; }
void FeedClose(int) {}
int FeedIoctl(int, unsigned long, std::uintptr_t) { return 0; }
int FeedWait(int, std::uint32_t timeout_ms) {
    if (g_feed.next >= g_feed.size) {
        g_feed.now_ms += timeout_ms;
        return 0;
    }
    g_feed.now_ms += 7;
    return 1;
}
int FeedRead(int, std::uint8_t *buffer, std::size_t size) {
    std::size_t count = g_feed.chunk;
    if (count > size) count = size;
    if (count > g_feed.size - g_feed.next) count = g_feed.size - g_feed.next;
    if (count == 0) return -EAGAIN;
    std::memcpy(buffer, g_feed.data + g_feed.next, count);
    g_feed.next += count;
    return static_cast<int>(count);
}
std::uint32_t FeedClock() { return g_feed.now_ms; }
void FeedSleep(std::uint32_t milliseconds) { g_feed.now_ms += milliseconds; }
DeviceFileKind NoKind(const char *) { return DeviceFileKind::kMissing; }
int NoOpen(const char *, bool) { return -ENOENT; }
int NoIoctl(int, unsigned long, std::uintptr_t) { return -ENODEV; }

void CheckDelivery(const dvb::SatelliteDelivery &delivery) {
    FUZZ_CHECK(delivery.orbital_position >= -1800 && delivery.orbital_position <= 1800);
    FUZZ_CHECK(delivery.polarization >= 0 && delivery.polarization <= 3);
    FUZZ_CHECK(delivery.system == 1 || delivery.system == 2);
    FUZZ_CHECK(delivery.constellation >= 0 && delivery.constellation <= 2);
    FUZZ_CHECK(delivery.rolloff >= 0 && delivery.rolloff <= 3);
    FUZZ_CHECK(delivery.fec >= 0 && delivery.fec <= 13);
    FUZZ_CHECK(delivery.frequency_khz % 10 == 0 && delivery.symbol_rate % 100 == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2) return 0;
    dvb::Demux() = DemuxOps{FeedOpen, FeedClose, FeedIoctl, FeedWait, FeedRead};
    dvb::Ops() = FrontendOps{NoKind, NoOpen, FeedClose, NoIoctl, FeedClock, FeedSleep};
    g_feed = Feed{data + 2, size - 2, 0, static_cast<std::uint8_t>(data[0] == 0 ? 1 : data[0]), 0};

    dvb::PatInfo pat;
    dvb::ReadPat("/fuzz/demux0", 1000, &pat);
    g_feed.next = 0;
    static dvb::NitTable table;
    const std::uint8_t table_id = (data[1] & 1) != 0 ? dvb::kTableNitOther : dvb::kTableNitActual;
    dvb::TableRequest request{dvb::kDefaultNitPid, table_id, 11000, nullptr, 0};
    dvb::ReadNit("/fuzz/demux0", request, &table);
    FUZZ_CHECK(table.network_count >= 0 && table.network_count <= dvb::kMaxNitNetworks);
    FUZZ_CHECK(table.stream_count >= 0 && table.stream_count <= dvb::kMaxNitStreams);
    FUZZ_CHECK(table_id == dvb::kTableNitOther || table.network_count <= 1);
    for (int i = 0; i < table.network_count; ++i) FUZZ_CHECK(std::strlen(table.networks[i].name) < dvb::kMaxNetworkName);
    for (int i = 0; i < table.stream_count; ++i) {
        if (table.streams[i].has_delivery) CheckDelivery(table.streams[i].delivery);
    }

    // What the pass memory makes of it: every entry kept has delivery parameters, a record
    // completed from one keeps its polarization and gets a listed frequency, hints come once.
    static dvb::NetworkTables tables;
    dvb::FrontendEntry entry{};
    entry.read_tables = true;
    entry.frequency_min_khz = 950000;
    entry.frequency_max_khz = 2150000;
    dvb::DvbSettings settings{};
    settings.lnb_mid_mhz = 6000;
    settings.lnb_stacked_mhz = 21000;
    dvb::StartTables(&tables, entry, settings);
    dvb::HarvestNit(&tables, table);
    FUZZ_CHECK(tables.known_count <= table.stream_count);
    for (int i = 0; i < tables.known_count; ++i) {
        FUZZ_CHECK(tables.known[i].stream.has_delivery);
        const dvb::SatelliteDelivery &listed = tables.known[i].stream.delivery;
        TransponderRecord record{};
        record.locked = 1;
        record.frequency = listed.frequency_khz;
        record.symbol_rate = listed.symbol_rate;
        record.polarization = listed.polarization ^ (data[1] >> 1 & 1);
        const int own = dvb::OwnEntry(tables, tables.known[i].stream.transport_stream_id, record);
        if (own < 0) continue;
        FUZZ_CHECK((tables.known[own].stream.delivery.polarization & 1) == (record.polarization & 1));
        dvb::CompleteRecord(tables.known[own].stream.delivery, true, true, &record);
        FUZZ_CHECK(record.frequency == tables.known[own].stream.delivery.frequency_khz);
        FUZZ_CHECK(record.polarization == (listed.polarization ^ (data[1] >> 1 & 1)));
        if (!tables.position_known) {
            tables.position_known = true;
            tables.position = listed.orbital_position;
        }
    }
    int hints = 0;
    dvb::SatelliteDelivery hint;
    for (std::uint32_t step_khz = 10700000; step_khz <= 12750000; step_khz += 5000) {
        const dvb::StepRequest step{step_khz, 5000, static_cast<unsigned>(data[1] >> 2 & 3), 9750000, 10600000, 11700000, 0};
        const std::int64_t from_khz = step_khz - 2500;
        while (dvb::NextHint(&tables, entry, settings, step, from_khz, step_khz + 5000, from_khz + 1000, &hint)) {
            FUZZ_CHECK(hint.frequency_khz >= from_khz && hint.frequency_khz < step_khz + 5000);
            FUZZ_CHECK(hint.orbital_position == tables.position && (hint.polarization & 1) == (step.polarization & 1));
            ++hints;
        }
    }
    FUZZ_CHECK(hints <= tables.known_count);

    // The whole path after a lock, the PAT and the NIT read one after the other from the same
    // stream: a record completed keeps its polarization and takes a listed frequency.
    g_feed.next = 0;
    dvb::StartTables(&tables, entry, settings);
    const LnbBand band = SelectLnbBand(11000000, 0, 9750000, 10600000, 11700000, 6000, 21000);
    dvb::TuneRequest asked;
    asked.if_khz = 1250000;
    asked.symbol_rate = 27500000;
    TransponderRecord record{};
    record.locked = 1;
    record.frequency = 11000000;
    record.symbol_rate = 27500000;
    if (dvb::AfterLock(&tables, band, asked, &record)) {
        FUZZ_CHECK(record.polarization == 0 && record.frequency % 10 == 0);
        FUZZ_CHECK(record.frequency >= 11000000 - 5500 && record.frequency <= 11000000 + 5500);
    }
    return 0;
}
