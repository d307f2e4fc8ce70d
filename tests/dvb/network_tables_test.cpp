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
#include "dvb/program_run.h"
#include "library.h"
#include "network_tables.h"
#include "psi_sections.h"
#include "record/dvb_standard.h"
#include "scenario.h"
#include "support/fake_platform.h"
#include "section_reader.h"

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

// The model of that satellite, with the demux (none when null).
void InstallSky(const model::ModelTables *demux) {
    sim::Scenario scenario;
    scenario.source = "test";
    scenario.satellites.emplace_back();
    scenario.satellites.back().position = 130;
    scenario.satellites.back().carriers = kSky;
    model::InstallModel(model::Personality::kSweepEcho, {}, scenario);
    if (demux != nullptr) model::InstallDemux(*demux);
}

// The library started on that model with these candidate rates.
void StartOnModel(const model::ModelTables *demux, const char *rates_ks) {
    InstallSky(demux);
    setenv("LUMORATH_DVB_DIR", "/model/dvb", 1);
    setenv("LUMORATH_DVB_SYMBOL_RATES", rates_ks, 1);
    dvb::UseDvbSettingsFile("/nonexistent/Lumorath.ini");
    dvb::ResetLibrary();
    EXPECT_NE(0, dvb::CheckForDVBEx(nullptr));
    EXPECT_NE(0, dvb::StartDVBEx(0));
    unsetenv("LUMORATH_DVB_SYMBOL_RATES");
    unsetenv("LUMORATH_DVB_DIR");
}

void StopModel() {
    dvb::StopDVB();
    model::RemoveDemux();
    model::RemoveModel();
}

TransponderRecord Search(std::uint32_t step_khz, std::string *errors) {
    TransponderRecord record{};
    testing::internal::CaptureStderr();
    EXPECT_NE(0, dvb::Vesker(step_khz, 5000, 0, 9750000, 10600000, 11700000, 1000000, &record));
    *errors += testing::internal::GetCapturedStderr();
    EXPECT_NE(0, record.locked) << step_khz;
    return record;
}

// The search of the step at 11010 MHz locks 11013 MHz (DVB-S QPSK 3/4, 27500 kS/s), which
// the driver echoes as 11010 MHz: the carrier's own NIT entry makes the record exact, and
// where the tables give nothing the search finds the centre itself. The next carrier of a
// network read is tuned as listed, with the PAT read alone.
TEST(NetworkTables, ReadAfterALockThroughTheModelDemux) {
    struct Row {
        const char *name;
        void (*arrange)(model::ModelTables &);
        bool completed;
        int filters;  // PAT and NIT reads
        const char *error;
    };
    const Row rows[] = {
        {"the network lists its carriers", [](model::ModelTables &) {}, true, 2, "lists 4 transport streams (4 with"},
        {"NIT on another PID, several sections, every other copy broken",
         [](model::ModelTables &t) {
             t.nit_pid = 0x0123;
             t.networks[0].streams_per_section = 1;
             t.corrupt_every_other = true;
         },
         true, 2, "lists 4 transport streams (4 with"},
        {"no NIT named in the PAT", [](model::ModelTables &t) { t.pat_names_nit = false; }, false, 1, ""},
        {"a NIT without delivery descriptors, its name in UTF-8 with a control character",
         [](model::ModelTables &t) {
             t.networks[0].delivery = false;
             t.networks[0].name = "\x15Mod\xc3\xa8l\x1b[2J";
         },
         false, 2, "11010.000 MHz carries transport stream 2; its network 77 \"Mod\xc3\xa8l?[2J\" lists 4 transport streams (0 with"},
        {"listed on the other polarization", [](model::ModelTables &t) { t.networks[0].lists_khz = {11054000}; }, false, 2,
         "lists 1 transport stream (1 with"},
        {"no demux", nullptr, false, 0, ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        model::ModelTables demux;
        demux.networks.push_back(model::ModelNetwork());
        demux.networks[0].network_id = 77;
        demux.networks[0].repeat_ms = 2000;
        if (row.arrange != nullptr) row.arrange(demux);
        StartOnModel(row.arrange != nullptr ? &demux : nullptr, "27500");
        std::string errors;
        const TransponderRecord record = Search(11010000, &errors);
        if (row.completed) {
            EXPECT_EQ(11013000u, record.frequency);
        } else {
            EXPECT_NEAR(11013000.0, record.frequency, 700.0);
        }
        EXPECT_EQ(27500000u, record.symbol_rate);
        EXPECT_EQ(row.completed ? 1 : 0, record.system);
        EXPECT_EQ(row.completed ? 3 : 0, record.fec);
        EXPECT_EQ(row.completed ? 1 : 0, record.modulation);
        EXPECT_EQ(row.completed ? 1 : 0, record.pilot);
        EXPECT_EQ(row.completed ? UsefulBitRate(1, 1, 3, 0, 1, 27500000) : 0u, record.bit_rate);
        const model::ModelTables *served = model::InstalledDemux();
        EXPECT_EQ(row.filters, served != nullptr ? served->filters : 0);
        // The sweep's cost with the tables', then what the tables said.
        const std::size_t estimate_end = errors.find('\n') + 1;
        EXPECT_NE(std::string::npos, errors.substr(0, estimate_end).find("; reading the tables adds up to 1 s a lock and 11 s a network")) << errors;
        const std::string said = errors.substr(estimate_end);
        if (row.error[0] == '\0') {
            EXPECT_EQ("", said);
        } else {
            EXPECT_NE(std::string::npos, said.find(row.error)) << said;
        }
        StopModel();
    }

    model::ModelTables demux;
    demux.networks.push_back(model::ModelNetwork());
    StartOnModel(&demux, "27500,30000");
    std::string errors;
    const TransponderRecord first = Search(10970000, &errors);
    EXPECT_EQ(10971000u, first.frequency);
    EXPECT_EQ(29700000u, first.symbol_rate) << "the listed rate, not the candidate's";
    EXPECT_EQ(2, first.modulation) << "DVB-S2 8PSK";
    EXPECT_EQ(3, first.rolloff);
    const TransponderRecord second = Search(11010000, &errors);
    EXPECT_EQ(11013000u, second.frequency);
    EXPECT_EQ(3, model::InstalledDemux()->filters) << "one NIT for both";
    StopModel();
}

// A pass the program repeats reads the tables again and tunes the listed carriers again: the
// 7.2 MS/s carrier no candidate rate covers is found in both passes.
TEST(NetworkTables, EveryPassOfALoopReadsThemAgain) {
    model::ModelTables demux;
    demux.networks.push_back(model::ModelNetwork());
    const std::string scan = model::Interval(0, "H", 11000, 11060);
    TempDir dir;
    InstallSky(&demux);
    const model::ProgramRun once = model::RunVesker(dir, "", scan, false, "SymbolRates=27500\r\n");
    ASSERT_NE(std::string::npos, once.console.find("11034.000 Mhz, 7200 KS")) << once.console;
    // A pass polls the keys after each step and once after its interval: held at the second
    // pass's last poll, the run stops after two passes.
    int polls = 1;
    for (std::size_t at = once.console.find(" Mhz ... "); at != std::string::npos; at = once.console.find(" Mhz ... ", at + 1)) {
        ++polls;
    }
    StopModel();
    InstallSky(&demux);
    const model::ProgramRun twice =
        model::RunVesker(dir, "", "Loop=1\r\n" + scan, false, "SymbolRates=27500\r\n", nullptr, 2 * polls);
    const std::size_t first = twice.console.find("11034.000 Mhz, 7200 KS");
    EXPECT_NE(std::string::npos, twice.console.find("11034.000 Mhz, 7200 KS", first + 1)) << twice.console;
    EXPECT_EQ(6, model::InstalledDemux()->filters) << "in each pass the NIT once and a PAT a lock";
    StopModel();
}

// Whole scans with the tables on the sweep that echoes. On a DTH satellite whose network
// lists every carrier, each record is exact as listed and fully named, for at most a minute
// per network read beyond the scan without tables. On a satellite of feeds and DTH
// multiplexes whose network lists the multiplexes (10 MS/s and up) and whose feeds carry no
// NIT, the listed carriers the quick depth's rates do not cover are found from the hints.
TEST(NetworkTables, WholeScansWithTheTables) {
    struct Row {
        const char *satellite;
        const char *depth;
        std::uint32_t listed_from_rate;
    };
    const Row rows[] = {{"Hotbird-13.0E", "normal", 0}, {"Eutelsat-16A-16.0E", "quick", 10000000}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.satellite);
        const std::string file = std::string("/usr/share/dvb/dvb-s/") + row.satellite;
        sim::Scenario table;
        sim::ScenarioError error;
        if (!sim::ReadScenarioFile(file, &table, &error)) GTEST_SKIP() << file << " not installed (dtv-scan-tables)";
        const sim::Scenario sky = model::ConsistentSky(table);
        int listed = 0;
        for (const sim::Carrier &carrier : sky.satellites[0].carriers) listed += carrier.symbol_rate >= row.listed_from_rate;

        const model::Score without = model::ScanKuBand(model::Personality::kSweepEcho, sky, row.depth);
        const double without_ms = static_cast<double>(model::Model().now_ms);
        model::RemoveModel();
        model::ModelTables demux;
        demux.networks.push_back(model::ModelNetwork());
        demux.networks[0].min_symbol_rate = row.listed_from_rate;
        model::ProgramRun run;
        const model::Score with = model::ScanKuBand(model::Personality::kSweepEcho, sky, row.depth, &run, &demux);
        const double with_ms = static_cast<double>(model::Model().now_ms);
        model::RemoveDemux();
        model::RemoveModel();

        int networks = 0;  // the library's line for each network read
        for (std::size_t at = run.errors.find("\" lists "); at != std::string::npos; at = run.errors.find("\" lists ", at + 1)) {
            ++networks;
        }
        EXPECT_EQ(1, networks) << run.errors;
        EXPECT_EQ(0, with.false_records);
        EXPECT_EQ(listed, with.exact) << "every listed carrier found, as listed";
        EXPECT_GE(with.known, listed);
        EXPECT_LE(with_ms, without_ms + 60000.0 * networks) << with_ms / 60000 << " min against " << without_ms / 60000;
        if (row.listed_from_rate == 0) {
            EXPECT_EQ(without.found, with.found);
        } else {
            EXPECT_GT(with.found, without.found) << "listed carriers the rates do not cover";
        }
    }
}

}  // namespace
