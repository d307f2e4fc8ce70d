// The broadcast's own tables: crafted sections through the section reader (one table of
// cases), and the tables read after a lock through the model demux: what completes the
// record, what becomes a hint, what is refused, and what each read costs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "dvb/model_demux.h"
#include "frontend_api.h"
#include "dvb/model_frontend.h"
#include "library.h"
#include "network_tables.h"
#include "psi_sections.h"
#include "record/dvb_standard.h"
#include "scenario.h"
#include "section_reader.h"
#include "tuning.h"

using model::Bytes;

namespace {

sim::Carrier Carrier(std::uint32_t frequency_khz, int polarization, std::uint32_t symbol_rate, int system,
                     int constellation, int fec, int rolloff) {
    sim::Carrier carrier;
    carrier.frequency_khz = frequency_khz;
    carrier.polarization = polarization;
    carrier.symbol_rate = symbol_rate;
    carrier.system = system;
    carrier.constellation = constellation;
    carrier.fec = fec;
    carrier.rolloff = rolloff;
    carrier.pilot = 1;
    carrier.esno_db = 14.0;
    carrier.level_dbm = -45.0;
    carrier.has_esno = carrier.has_level = true;
    return carrier;
}

// Re-seals a section whose bytes a case changed, so that only the change itself is wrong.
Bytes Resealed(Bytes section) {
    section.resize(section.size() - 4);
    const std::uint32_t crc = dvb::SectionCrc32(section.data(), section.size());
    for (int shift = 24; shift >= 0; shift -= 8) section.push_back(static_cast<std::uint8_t>(crc >> shift));
    return section;
}

Bytes OneEntryNit(const Bytes &descriptors) {
    return model::NitSections(dvb::kTableNitActual, 7, "Net", 3, {{0x1234, 0x0001, descriptors}}, 40)[0];
}

TEST(SectionReader, CraftedSections) {
    // The catalogued check value of this CRC (CRC-32/MPEG-2 of the digits 1..9).
    const char *digits = "123456789";
    EXPECT_EQ(0x0376E6E7u, dvb::SectionCrc32(reinterpret_cast<const std::uint8_t *>(digits), 9));

    const sim::Carrier s2 = Carrier(11766750, 1, 27500000, 2, 2, 13, 3);  // 8PSK 3/5, roll-off 0.20
    const Bytes delivery = model::SatelliteDescriptor(s2, 130);
    Bytes west = model::SatelliteDescriptor(Carrier(3845000, 3, 4444000, 1, 1, 4, 1), -300);
    Bytes edge = delivery;  // the largest values the digits hold
    edge.at(2) = edge.at(3) = edge.at(4) = edge.at(5) = 0x99;
    edge.at(6) = 0x18;
    edge.at(7) = 0x00;
    edge[8] |= 0x80;
    Bytes beyond_pole = edge;
    beyond_pole[7] = 0x01;  // 180.1 degrees
    Bytes not_bcd = delivery;
    not_bcd[9] = 0x2A;
    Bytes several = {0x41, 3, 0x01, 0x01, 0x01};  // service list, the delivery, a private one
    several.insert(several.end(), delivery.begin(), delivery.end());
    several.insert(several.end(), {0x5F, 4, 0, 0, 0, 5});

    struct Row {
        const char *name;
        Bytes section;
        int streams;  // -1: refused
        bool has_delivery;
        std::uint32_t frequency_khz, symbol_rate;
        int position, polarization, system, constellation, fec, rolloff;
    };
    Bytes loop_overrun = OneEntryNit(delivery);
    loop_overrun[8 + 2 + 5 + 1] += 1;  // transport_stream_loop_length one past the CRC
    Bytes heads_only = OneEntryNit(delivery);
    heads_only[8 + 2 + 5 + 1] = 6;  // the loop length counts the entry's head alone
    Bytes descriptor_overrun = OneEntryNit(delivery);
    descriptor_overrun[8 + 2 + 5 + 2 + 6 + 1] = 12;  // the 0x43 descriptor claims a byte more
    Bytes truncated = OneEntryNit(delivery);
    truncated.resize(truncated.size() - 3);
    Bytes wrong_crc = OneEntryNit(delivery);
    wrong_crc[20] ^= 0x01;
    const Row rows[] = {
        {"DVB-S2 8PSK, east", OneEntryNit(delivery), 1, true, 11766750, 27500000, 130, 1, 2, 2, 13, 3},
        {"DVB-S, west, circular", OneEntryNit(west), 1, true, 3845000, 4444000, -300, 3, 1, 1, 4, 1},
        {"several descriptors", OneEntryNit(several), 1, true, 11766750, 27500000, 130, 1, 2, 2, 13, 3},
        {"BCD at its limits", OneEntryNit(edge), 1, true, 999999990, 27500000, 1800, 1, 2, 2, 13, 3},
        {"position beyond 180 degrees", OneEntryNit(beyond_pole), 1, false, 0, 0, 0, 0, 0, 0, 0, 0},
        {"digit that is not BCD", OneEntryNit(not_bcd), 1, false, 0, 0, 0, 0, 0, 0, 0, 0},
        {"no delivery descriptor", OneEntryNit({0x41, 3, 0x01, 0x01, 0x01}), 1, false, 0, 0, 0, 0, 0, 0, 0, 0},
        {"loop length of the heads alone", Resealed(heads_only), 1, true, 11766750, 27500000, 130, 1, 2, 2, 13, 3},
        {"wrong CRC", wrong_crc, -1, false, 0, 0, 0, 0, 0, 0, 0, 0},
        {"section cut short", truncated, -1, false, 0, 0, 0, 0, 0, 0, 0, 0},
        {"loop past the end", Resealed(loop_overrun), -1, false, 0, 0, 0, 0, 0, 0, 0, 0},
        {"descriptor past its loop", Resealed(descriptor_overrun), -1, false, 0, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        dvb::Section section;
        dvb::NitStream streams[dvb::kMaxStreamsPerSection];
        char name[dvb::kMaxNetworkName];
        int count = -1;
        if (dvb::ReadSection(row.section.data(), row.section.size(), &section)) {
            count = dvb::ReadNitSection(section, name, sizeof name, streams);
        }
        ASSERT_EQ(row.streams, count);
        if (count < 0) continue;
        EXPECT_STREQ("Net", name);
        EXPECT_EQ(0x1234, streams[0].transport_stream_id);
        EXPECT_EQ(7, streams[0].network_id);
        ASSERT_EQ(row.has_delivery, streams[0].has_delivery);
        if (!row.has_delivery) continue;
        const dvb::SatelliteDelivery &d = streams[0].delivery;
        EXPECT_EQ(row.frequency_khz, d.frequency_khz);
        EXPECT_EQ(row.symbol_rate, d.symbol_rate);
        EXPECT_EQ(row.position, d.orbital_position);
        EXPECT_EQ(row.polarization, d.polarization);
        EXPECT_EQ(row.system, d.system);
        EXPECT_EQ(row.constellation, d.constellation);
        EXPECT_EQ(row.fec, d.fec);
        EXPECT_EQ(row.rolloff, d.rolloff);
    }

    // A table over three sections is whole only with all three, in any order, and a new
    // version starts it again.
    std::vector<model::NitEntry> entries;
    for (int i = 0; i < 7; ++i) entries.push_back({static_cast<std::uint16_t>(i + 1), 1, delivery});
    const std::vector<Bytes> sections = model::NitSections(dvb::kTableNitActual, 9, "Multi", 4, entries, 3);
    ASSERT_EQ(3u, sections.size());
    static dvb::NitTable table;
    table.network_count = table.stream_count = 0;
    for (int i : {2, 0, 2}) EXPECT_TRUE(dvb::CollectNitSection(sections[i].data(), sections[i].size(), 0x40, &table));
    EXPECT_FALSE(table.networks[0].complete);
    EXPECT_TRUE(table.repeated);
    const Bytes newer = model::NitSections(dvb::kTableNitActual, 9, "Multi", 5, entries, 3)[1];
    EXPECT_TRUE(dvb::CollectNitSection(newer.data(), newer.size(), 0x40, &table));
    EXPECT_EQ(3, table.stream_count) << "the old version's entries are gone";
    EXPECT_TRUE(dvb::CollectNitSection(sections[1].data(), sections[1].size(), 0x40, &table));
    EXPECT_FALSE(dvb::CollectNitSection(sections[1].data(), sections[1].size(), 0x41, &table)) << "NIT other";
    for (int i : {0, 1, 2}) {
        const Bytes again = model::NitSections(dvb::kTableNitActual, 9, "Multi", 4, entries, 3)[i];
        dvb::CollectNitSection(again.data(), again.size(), 0x40, &table);
    }
    EXPECT_TRUE(table.networks[0].complete);
    EXPECT_EQ(7, table.stream_count);
    EXPECT_STREQ("Multi", table.networks[0].name);

    // The PAT: program 0 names the network PID, which need not be 0x10.
    dvb::Section section;
    dvb::PatInfo pat;
    const Bytes with_nit = model::PatSection(0x4081, 0x0123);
    ASSERT_TRUE(dvb::ReadSection(with_nit.data(), with_nit.size(), &section));
    ASSERT_TRUE(dvb::ReadPatSection(section, &pat));
    EXPECT_EQ(0x4081, pat.transport_stream_id);
    EXPECT_TRUE(pat.has_network_pid);
    EXPECT_EQ(0x0123, pat.network_pid);
    const Bytes without_nit = model::PatSection(0x4081, -1);
    ASSERT_TRUE(dvb::ReadSection(without_nit.data(), without_nit.size(), &section));
    pat = dvb::PatInfo();
    ASSERT_TRUE(dvb::ReadPatSection(section, &pat));
    EXPECT_FALSE(pat.has_network_pid);
}

// A satellite at 13.0E seen through a universal LNB on the echoing sweep personality.
const std::vector<sim::Carrier> kSky = {
    Carrier(10971000, 0, 29700000, 2, 2, 2, 3), Carrier(11013000, 0, 27500000, 1, 1, 3, 1),
    Carrier(11034000, 0, 7200000, 2, 1, 3, 2),  Carrier(11054000, 1, 27500000, 1, 1, 5, 1),
};

struct Harness {
    dvb::FrontendEntry entry{};
    dvb::DvbSettings settings{};
    dvb::NetworkTables *tables = nullptr;
    std::string errors;

    explicit Harness(const model::ModelTables &demux) {
        sim::Scenario scenario;
        scenario.source = "test";
        scenario.satellites.emplace_back();
        scenario.satellites.back().position = 130;
        scenario.satellites.back().carriers = kSky;
        model::InstallModel(model::Personality::kSweepEcho, {}, scenario);
        model::InstallDemux(demux);
        setenv("LUMORATH_DVB_DIR", "/model/dvb", 1);
        dvb::UseDvbSettingsFile("/nonexistent/Lumorath.ini");
        dvb::ResetLibrary();
        dvb::ReadDvbSettings("/nonexistent/Lumorath.ini", &settings);
        EXPECT_NE(0, dvb::CheckForDVBEx(nullptr));
        EXPECT_NE(0, dvb::StartDVBEx(0));
        std::snprintf(entry.path, sizeof entry.path, "/model/dvb/adapter0/frontend0");
        entry.search = dvb::SearchKind::kSweep;
        entry.plan = dvb::SystemPlan::kTogether;
        entry.read_tables = true;
        entry.frequency_min_khz = 950000;
        entry.frequency_max_khz = 2150000;
        entry.symbol_rate_min = 1000000;
        entry.symbol_rate_max = 45000000;
        static dvb::NetworkTables storage;
        tables = &storage;
        dvb::StartTables(tables, entry, settings);
    }
    ~Harness() {
        dvb::StopDVB();
        model::RemoveDemux();
        model::RemoveModel();
        unsetenv("LUMORATH_DVB_DIR");
    }

    // A search of the step at `step_mhz` (the library echoes the tuned frequency), then the
    // tables after its lock, as the search does it.
    TransponderRecord Lock(std::uint32_t step_mhz, unsigned polarization, std::uint32_t rate) {
        setenv("LUMORATH_DVB_SYMBOL_RATES", std::to_string(rate / 1000).c_str(), 1);
        dvb::ResetLibrary();
        dvb::CheckForDVBEx(nullptr);
        dvb::StartDVBEx(0);
        unsetenv("LUMORATH_DVB_SYMBOL_RATES");
        TransponderRecord record{};
        EXPECT_NE(0, dvb::Vesker(step_mhz * 1000, 5000, polarization, 9750000, 10600000, 11700000, 1000000, &record));
        EXPECT_NE(0, record.locked) << step_mhz;
        record.frequency = step_mhz * 1000;  // as the driver echoes it, before the search finds the centre
        dvb::TuneRequest asked;
        asked.if_khz = step_mhz * 1000 - 9750000;
        asked.symbol_rate = rate;
        asked.system = SYS_DVBS2;
        // The search's probes for the centre leave the tuner beside the carrier: back on it.
        dvb::Failure failure;
        EXPECT_EQ(dvb::Attempt::kLocked, dvb::TryTune(3, asked, 2000, &failure));
        testing::internal::CaptureStderr();
        dvb::AfterLock(tables, SelectLnbBand(step_mhz * 1000, polarization, 9750000, 10600000, 11700000, 6000, 21000),
                       asked, &record);
        errors += testing::internal::GetCapturedStderr();
        return record;
    }
};

TEST(NetworkTables, AfterALockThroughTheModelDemux) {
    struct Row {
        const char *name;
        void (*arrange)(model::ModelTables &);
        bool completed;
        std::uint32_t nit_reads;
        const char *error;
    };
    const Row rows[] = {
        {"the network lists its carriers", [](model::ModelTables &) {}, true, 1, "lists 4 transport streams (4 with"},
        {"NIT on another PID, several sections, every other copy broken",
         [](model::ModelTables &t) {
             t.nit_pid = 0x0123;
             t.networks[0].streams_per_section = 1;
             t.corrupt_every_other = true;
         },
         true, 1, "lists 4 transport streams (4 with"},
        {"no NIT named in the PAT", [](model::ModelTables &t) { t.pat_names_nit = false; }, false, 0, ""},
        {"a NIT without delivery descriptors",
         [](model::ModelTables &t) { t.networks[0].delivery = false; }, false, 1,
         "11010.000 MHz carries transport stream 2; its network 77 \"Model network\" lists 4 transport streams (0 with"},
        {"listed on the other polarization", [](model::ModelTables &t) { t.networks[0].lists_khz = {11054000}; }, false, 1,
         "lists 1 transport stream (1 with"},
        {"no demux", [](model::ModelTables &) {}, false, 0, ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        model::ModelTables demux;
        demux.networks.push_back(model::ModelNetwork());
        demux.networks[0].network_id = 77;
        demux.networks[0].repeat_ms = 2000;
        row.arrange(demux);
        Harness harness(demux);
        const bool no_demux = std::string(row.name) == "no demux";
        if (no_demux) model::RemoveDemux();
        // The step at 11010 MHz locks 11013 MHz DVB-S 3/4 at 27500 kS/s and echoes 11010.
        const TransponderRecord record = harness.Lock(11010, 0, 27500000);
        const dvb::TablesCost &cost = harness.tables->cost;
        EXPECT_EQ(row.completed ? 11013000u : 11010000u, record.frequency);
        EXPECT_EQ(row.completed ? 1 : 0, record.system);
        EXPECT_EQ(row.completed ? 3 : 0, record.fec);
        EXPECT_EQ(row.completed ? 1 : 0, record.modulation);
        EXPECT_EQ(row.completed ? 1 : 0, record.pilot);
        EXPECT_EQ(row.completed ? UsefulBitRate(1, 1, 3, 0, 1, 27500000) : 0u, record.bit_rate);
        EXPECT_EQ(row.nit_reads, cost.nit_reads);
        if (row.error[0] == '\0') EXPECT_EQ("", harness.errors);
        else EXPECT_NE(std::string::npos, harness.errors.find(row.error)) << harness.errors;
        // The time: one PAT at its 100 ms repetition, a NIT within a repetition (two when every
        // other copy is broken), never the whole wait.
        EXPECT_LE(cost.pat_ms, 150u);
        EXPECT_LE(cost.nit_ms, row.name[0] == 'N' ? 4200u : 2200u);
        EXPECT_EQ(!no_demux, harness.tables->enabled);
    }
}

TEST(NetworkTables, HintsAndTheSecondLockOfANetwork) {
    model::ModelTables demux;
    demux.networks.push_back(model::ModelNetwork());
    demux.networks[0].repeat_ms = 8000;
    Harness harness(demux);
    const dvb::StepRequest first{10965000, 5000, 0, 9750000, 10600000, 11700000, 1000000};
    dvb::HintTune hint;
    EXPECT_FALSE(dvb::NextHint(harness.tables, harness.entry, harness.settings, first, &hint)) << "no table read yet";
    harness.Lock(11010, 0, 27500000);
    EXPECT_TRUE(harness.tables->position_known);
    EXPECT_EQ(130, harness.tables->position);
    // The steps that follow: each listed carrier of this polarization and band comes once, in
    // the step it falls into (or the stretch the program jumped over); the found one not at all.
    struct Step {
        std::uint32_t frequency_khz;
        std::uint32_t hint_khz;  // 0: none
    };
    const Step steps[] = {{10965000, 0},        {10970000, 10971000}, {10970000, 0},
                          {11005000, 0},        {11040000, 11034000}, {11045000, 0}};
    for (const Step &step : steps) {
        dvb::StepRequest request = first;
        request.frequency_khz = step.frequency_khz;
        const bool due = dvb::NextHint(harness.tables, harness.entry, harness.settings, request, &hint);
        EXPECT_EQ(step.hint_khz != 0, due) << step.frequency_khz;
        if (!due) continue;
        EXPECT_EQ(step.hint_khz, hint.frequency_khz);
        EXPECT_EQ(step.hint_khz - 9750000, hint.request.if_khz);
    }
    // The vertical carrier is a hint for a vertical step, and a 7.2 MS/s one not below MinSR 10 MS/s.
    dvb::NewTablesPass(harness.tables);
    harness.Lock(11010, 0, 27500000);
    dvb::StepRequest vertical = first;
    vertical.polarization = 1;
    vertical.frequency_khz = 11050000;
    ASSERT_TRUE(dvb::NextHint(harness.tables, harness.entry, harness.settings, vertical, &hint));
    EXPECT_EQ(11054000u, hint.frequency_khz);
    EXPECT_EQ(static_cast<std::uint32_t>(SYS_DVBS), hint.request.system);
    dvb::StepRequest narrow = first;
    narrow.frequency_khz = 11030000;
    narrow.min_symbol_rate = 10000000;
    EXPECT_FALSE(dvb::NextHint(harness.tables, harness.entry, harness.settings, narrow, &hint));
    // A second carrier of the network read: its own entry is known, no NIT is read again.
    const std::uint32_t nit_reads = harness.tables->cost.nit_reads;
    const TransponderRecord second = harness.Lock(10970, 0, 30000000);
    EXPECT_EQ(nit_reads, harness.tables->cost.nit_reads);
    EXPECT_EQ(10971000u, second.frequency);
    EXPECT_EQ(29700000u, second.symbol_rate);
    EXPECT_EQ(2, second.modulation) << "DVB-S2 8PSK";
    EXPECT_EQ(3, second.rolloff);
}

}  // namespace
