// The simulated tuner: band model, blind search, dish, scenario readers and the library's
// device functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "dish.h"
#include "record/dvb_standard.h"
#include "scan/interval_scan.h"
#include "scenario.h"
#include "search.h"
#include "simulator.h"
#include "support/fake_platform.h"
#include "tuner/lumorath.h"
#include "tuner/tuner_library.h"

using namespace sim;

namespace {

Carrier MakeCarrier(std::uint32_t frequency_khz, int polarization, std::uint32_t symbol_rate, int system,
                    int constellation, int fec, double esno_db) {
    Carrier carrier;
    carrier.frequency_khz = frequency_khz;
    carrier.polarization = polarization;
    carrier.symbol_rate = symbol_rate;
    carrier.system = system;
    carrier.constellation = constellation;
    carrier.fec = fec;
    carrier.rolloff = kRollOff35;
    carrier.pilot = kPilotOff;
    carrier.esno_db = esno_db;
    carrier.level_dbm = -45.0;
    carrier.has_esno = true;
    carrier.has_level = true;
    return carrier;
}

Scenario OneSatellite(std::vector<Carrier> carriers) {
    Scenario scenario;
    scenario.satellites.emplace_back();
    scenario.satellites.back().name = "Test";
    scenario.satellites.back().position = 130;
    scenario.satellites.back().carriers = std::move(carriers);
    return scenario;
}

// A universal LNB search (9750/10600/11700 MHz) at `frequency_khz`.
SearchRequest Universal(std::uint32_t frequency_khz, unsigned polarization, std::uint32_t min_rate = 1000000) {
    SearchRequest request;
    request.frequency_khz = frequency_khz;
    request.step_khz = 5000;
    request.polarization = polarization;
    request.lof1_khz = 9750000;
    request.lof2_khz = 10600000;
    request.lofsw_khz = 11700000;
    request.min_symbol_rate = min_rate;
    return request;
}

std::vector<std::string> g_devices;
void CollectDevice(int index, const char *name) { g_devices.push_back(std::to_string(index) + " " + name); }

}  // namespace

TEST(SimulatorPhysics, BitRatesMatchWorkedValuesFromTheStandards) {
    struct Row {
        const char *what;
        int system, constellation, fec, frame_length, pilot;
        std::uint32_t symbol_rate;
        double expected_mbps;
    };
    const Row rows[] = {
        {"DVB-S 27.5 MS/s 3/4", kDvbS, kQpsk, 3, 0, kPilotOff, 27500000, 38.014706},
        {"DVB-S 27.5 MS/s 7/8", kDvbS, kQpsk, 7, 0, kPilotOff, 27500000, 44.350490},
        {"S2 22 MS/s 8PSK 2/3 pilots off", kDvbS2, k8psk, 2, 0, kPilotOff, 22000000, 43.574},
        {"S2 22 MS/s 8PSK 2/3 pilots on", kDvbS2, k8psk, 2, 0, kPilotOn, 22000000, 42.584},
        // (Kbch - 80) / N_pl without pilots is the spectral efficiency of EN 302 307-1 Table 13.
        {"S2 QPSK 1/2 efficiency", kDvbS2, kQpsk, 1, 0, kPilotOff, 1000000, 0.988858},
        {"S2 32APSK 9/10 efficiency", kDvbS2, k32apsk, 9, 0, kPilotOff, 1000000, 4.453027},
        // Short frames: 16200-bit codewords, 8PSK 3/4: (11712 - 80) / 5490 symbols.
        {"S2 short 8PSK 3/4", kDvbS2, k8psk, 3, 1, kPilotOff, 1000000, 11632.0 / 5490.0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        double mbps = UsefulBitRate(row.system, row.constellation, row.fec, row.frame_length, row.pilot, row.symbol_rate) / 1e6;
        EXPECT_NEAR(mbps, row.expected_mbps, 0.0005 + row.expected_mbps * 1e-6);
    }
    EXPECT_EQ(UsefulBitRate(kDvbS2, k8psk, 1, 0, kPilotOff, 22000000), 0u) << "8PSK has no rate 1/2";
    EXPECT_EQ(UsefulBitRate(kDvbS2, kQpsk, 9, 1, kPilotOff, 22000000), 0u) << "no short 9/10 frame";
    EXPECT_EQ(CarrierWidthKhz(27500000, kRollOff35), 37125u);
    EXPECT_EQ(CarrierWidthKhz(30000000, kRollOff20), 36000u);
}

TEST(SimulatorPhysics, LockThresholdsAddTheImplementationMargin) {
    EXPECT_DOUBLE_EQ(LockThresholdDb(kDvbS, kQpsk, 3, 0), 6.91);
    EXPECT_DOUBLE_EQ(LockThresholdDb(kDvbS2, k8psk, 2, 0), 6.62 + 0.6);
    EXPECT_DOUBLE_EQ(LockThresholdDb(kDvbS2, k8psk, 2, 1), 6.62 + 0.6 + 0.3);
    EXPECT_TRUE(std::isnan(LockThresholdDb(kDvbS, kQpsk, 4, 0))) << "DVB-S has no 4/5";
    EXPECT_EQ(RecordModulation(kDvbS, kQpsk), 1);
    EXPECT_EQ(RecordModulation(kDvbS2, kQpsk), 5);
    EXPECT_EQ(RecordModulation(kDvbS2, k8psk), 2);
    EXPECT_EQ(RecordModulation(kDvbS2, k16apsk), 3);
    EXPECT_EQ(RecordModulation(kDvbS2, k32apsk), 4);
}

TEST(SimulatorSearch, LockOutcomeFollowsTheMarginAtTheThreshold) {
    EXPECT_DOUBLE_EQ(LockProbability(0.0), 0.5);
    EXPECT_NEAR(LockProbability(1.0), 0.9933, 1e-4);
    EXPECT_NEAR(LockProbability(-1.0), 0.0067, 1e-4);
    struct Row {
        double margin_db;
        int min_locks, max_locks;  // of 400 searches at different steps
    };
    const Row rows[] = {{2.0, 400, 400}, {0.0, 160, 240}, {-2.0, 0, 0}, {0.4, 330, 375}};
    TunerModel tuner;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.margin_db);
        Scenario scenario = OneSatellite({MakeCarrier(11000000, 0, 27500000, kDvbS, kQpsk, 3, 6.91 + row.margin_db)});
        int locks = 0;
        for (int i = 0; i < 400; ++i) {
            TransponderRecord record;
            SearchOutcome outcome = BlindSearch(scenario, tuner, DishState(), Universal(10999000 + i, 0), &record);
            ASSERT_NE(outcome.result, SearchResult::kEmpty);
            locks += record.locked != 0;
            if (!record.locked) {
                EXPECT_NE(record.rf_level, 0) << "a carrier seen gives a level";
            }
        }
        EXPECT_GE(locks, row.min_locks);
        EXPECT_LE(locks, row.max_locks);
    }
}

TEST(SimulatorSearch, FillsTheRecordLikeAReceiver) {
    Carrier carrier = MakeCarrier(11778000, 1, 27500000, kDvbS2, k8psk, 3, 12.0);
    carrier.pilot = kPilotOn;
    carrier.rolloff = kRollOff20;
    carrier.stream_ids = {4, 7, 12};
    carrier.coding_mode = 1;
    carrier.issy = true;
    Scenario scenario = OneSatellite({carrier});
    TransponderRecord record;
    BlindSearch(scenario, TunerModel(), DishState(), Universal(11776000, 1), &record);
    ASSERT_EQ(record.locked, 1);
    EXPECT_LE(std::abs(static_cast<int>(record.frequency) - 11778000), 3 * 48) << "three sigma of 20 + 27.5 kHz";
    double ppm = (static_cast<double>(record.symbol_rate) / 27500000.0 - 1.0) * 1e6;
    EXPECT_GE(ppm, 13.9);
    EXPECT_LE(ppm, 86.1);
    EXPECT_EQ(record.polarization, 1);
    EXPECT_EQ(record.system, 2);
    EXPECT_EQ(record.modulation, 2);
    EXPECT_EQ(record.fec, 3);
    EXPECT_EQ(record.inversion, 1);
    EXPECT_EQ(record.rolloff, kRollOff20);
    EXPECT_EQ(record.pilot, kPilotOn);
    EXPECT_EQ(record.coding_mode, 1);
    ASSERT_EQ(record.stream_count, 3u);
    EXPECT_EQ(record.stream_ids[0], 4);
    EXPECT_EQ(record.stream_ids[2], 12);
    EXPECT_EQ(record.issy, 1);
    EXPECT_EQ(record.carrier_width, static_cast<std::uint32_t>(std::lround(record.symbol_rate * 1.2 / 1000.0)));
    EXPECT_EQ(record.bit_rate, UsefulBitRate(kDvbS2, k8psk, 3, 0, kPilotOn, record.symbol_rate));
    EXPECT_NEAR(record.snr, 12.0, 1.0);
    EXPECT_NEAR(record.snr * 10.0, std::round(record.snr * 10.0), 1e-9) << "0.1 dB steps";
    EXPECT_NEAR(record.rf_level, -45, 2);
}

TEST(SimulatorSearch, PicksTheNearestEligibleCarrierWithinTheSearchRange) {
    Scenario scenario = OneSatellite({
        MakeCarrier(11000000, 0, 27500000, kDvbS, kQpsk, 3, 12.0),  // occupies 10981.4..11018.6 MHz
        MakeCarrier(11030000, 0, 2000000, kDvbS, kQpsk, 3, 12.0),
        MakeCarrier(11034000, 0, 500000, kDvbS, kQpsk, 3, 12.0),    // below 1000 kS/s
        MakeCarrier(11100000, 1, 27500000, kDvbS, kQpsk, 3, 12.0),  // vertical
    });
    struct Row {
        std::uint32_t step_khz;
        unsigned polarization;
        std::uint32_t min_rate;
        std::uint32_t expected_khz;  // 0: nothing
    };
    const Row rows[] = {
        {11001000, 0, 1000000, 11000000},  // at the centre
        {10985000, 0, 1000000, 11000000},  // 15 MHz off, but inside its occupied band
        {11027000, 0, 1000000, 11030000},  // the narrow one is nearer
        {11035000, 0, 1000000, 11030000},  // the 500 kS/s carrier is below the minimum rate
        {11035000, 0, 400000, 11034000},   // ... unless the program asks for it
        {11045000, 0, 1000000, 0},         // 15 MHz from the narrow one: out of range
        {11100000, 0, 1000000, 0},         // wrong polarization
        {11100000, 3, 1000000, 11100000},  // 13 V: right circular sees the vertical carrier
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.step_khz);
        TransponderRecord record;
        BlindSearch(scenario, TunerModel(), DishState(), Universal(row.step_khz, row.polarization, row.min_rate), &record);
        if (row.expected_khz == 0) {
            EXPECT_EQ(record.locked, 0);
        } else {
            ASSERT_EQ(record.locked, 1);
            EXPECT_NEAR(record.frequency, row.expected_khz, 200.0);
        }
    }
}

TEST(SimulatorSearch, ReachesCarriersThroughEachKindOfLnb) {
    Scenario scenario = OneSatellite({
        MakeCarrier(10720000, 0, 27500000, kDvbS, kQpsk, 3, 12.0),
        MakeCarrier(11720000, 0, 27500000, kDvbS, kQpsk, 3, 12.0),
        MakeCarrier(12730000, 0, 27500000, kDvbS, kQpsk, 3, 12.0),
        MakeCarrier(3800000, 1, 27500000, kDvbS, kQpsk, 3, 12.0),
        MakeCarrier(3900000, 0, 27500000, kDvbS, kQpsk, 3, 12.0),
        MakeCarrier(1500000, 0, 27500000, kDvbS, kQpsk, 3, 12.0),
    });
    struct Row {
        const char *what;
        std::uint32_t frequency_khz;
        unsigned polarization;
        std::uint32_t lof1_mhz, lof2_mhz, lofsw_mhz;
        int locked;
        int inversion;
    };
    const Row rows[] = {
        {"universal low band", 10720000, 0, 9750, 10600, 11700, 1, 1},
        {"universal high band, IF 1120", 11720000, 0, 9750, 10600, 11700, 1, 1},
        {"universal high band top, IF 2130", 12730000, 0, 9750, 10600, 11700, 1, 1},
        {"low band oscillator cannot reach 12730 (IF 2980)", 12730000, 0, 9750, 0, 0, 0, 0},
        {"C-band single 5150, IF 1350 inverted", 3800000, 1, 5150, 0, 0, 1, 2},
        {"C-band as the high-band oscillator", 3800000, 1, 0, 5150, 0, 1, 2},
        {"Ku LNB does not reach C band", 3800000, 1, 9750, 10600, 11700, 0, 0},
        {"band-stacked: vertical takes the lower 5150", 3800000, 1, 5150, 5750, 21000, 1, 2},
        {"band-stacked: horizontal takes the higher 5750, IF 1850", 3900000, 0, 5150, 5750, 21000, 1, 2},
        {"band-stacked in either order", 3900000, 0, 5750, 5150, 21000, 1, 2},
        {"band-stacked: vertical at 5150 cannot reach 3900 H", 3900000, 1, 5150, 5750, 21000, 0, 0},
        {"no LNB: the IF itself", 1500000, 0, 0, 0, 0, 1, 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        SearchRequest request = Universal(row.frequency_khz, row.polarization);
        request.lof1_khz = row.lof1_mhz * 1000;
        request.lof2_khz = row.lof2_mhz * 1000;
        request.lofsw_khz = row.lofsw_mhz * 1000;
        TransponderRecord record;
        BlindSearch(scenario, TunerModel(), DishState(), request, &record);
        EXPECT_EQ(record.locked, row.locked);
        if (row.locked) {
            EXPECT_EQ(record.inversion, row.inversion);
        }
    }
    TunerModel narrow;
    narrow.if_stop_mhz = 2000;  // IFStop from Lumorath.ini
    TransponderRecord record;
    BlindSearch(scenario, narrow, DishState(), Universal(12730000, 0), &record);
    EXPECT_EQ(record.locked, 0) << "IF 2130 MHz lies above IFStop 2000";
}

TEST(SimulatorDish, OnlyTheSatelliteTheDishPointsAtIsSeen) {
    Scenario scenario;
    scenario.has_site = true;
    scenario.site_latitude = 500;
    scenario.site_longitude = 100;
    const char *names[] = {"port 2", "stored 7", "usals 19.2E", "usals 13.0E"};
    for (int i = 0; i < 4; ++i) {
        scenario.satellites.emplace_back();
        scenario.satellites.back().name = names[i];
    }
    scenario.satellites[0].port = 2;
    scenario.satellites[1].stored = 7;
    scenario.satellites[2].position = 192;
    scenario.satellites[3].position = 130;
    auto visible = [&](const DishState &dish) {
        std::string seen;
        for (std::size_t i = 0; i < scenario.satellites.size(); ++i)
            if (SatelliteVisible(scenario, i, dish, 0, 0)) seen += std::string(seen.empty() ? "" : ",") + names[i];
        return seen;
    };
    DishState dish;
    EXPECT_EQ(visible(dish), "") << "port 1 at power-up, motor never moved";
    ApplyCommittedByte(&dish, 0xF6);  // port 2, horizontal, low band
    EXPECT_EQ(visible(dish), "port 2");
    ApplyCommittedByte(&dish, 0xF8);  // port 3
    EXPECT_EQ(visible(dish), "");
    const unsigned char stored[] = {0xE0, 0x31, 0x6B, 0x07};
    ASSERT_TRUE(ApplyDiseqcMessage(&dish, stored, 4));
    EXPECT_EQ(visible(dish), "stored 7");
    // The program's message for 19.2E from 50.0N 10.0E: 10.18 degrees east, E0 31 6E E0 A3.
    const unsigned char usals[] = {0xE1, 0x31, 0x6E, 0xE0, 0xA3};
    ASSERT_TRUE(ApplyDiseqcMessage(&dish, usals, 5));
    EXPECT_NEAR(dish.angle_deg, 10.1875, 1e-9);
    EXPECT_EQ(visible(dish), "usals 19.2E");
    const unsigned char west[] = {0xE0, 0x31, 0x6E, 0xD1, 0x09};
    ASSERT_TRUE(ApplyDiseqcMessage(&dish, west, 5));
    EXPECT_NEAR(dish.angle_deg, -16.5625, 1e-9);
    EXPECT_EQ(visible(dish), "");
    const unsigned char bad[] = {0x12, 0x31, 0x6E, 0xE0, 0xA3};
    EXPECT_FALSE(ApplyDiseqcMessage(&dish, bad, 5)) << "not a master framing byte";

    Scenario single;
    single.satellites.emplace_back();
    EXPECT_TRUE(SatelliteVisible(single, 0, DishState(), 0, 0)) << "one satellite, no dish: always seen";
    double angle = 0.0;
    ASSERT_TRUE(MotorAngleTowards(-50, 500, 100, &angle));
    EXPECT_NEAR(angle, -16.59, 0.01);
}

TEST(SimulatorScenario, ReadsTheProgramsTextList) {
    const std::string text =
        "# Test Sat @ 19.2E\r\n"
        "# 4 transponders\r\n"
        "S1 10719000 V 27500000 3/4 35 QPSK # -45 dBm, 9.0 dB\r\n"
        "S2 11778000 H 27500000 2/3  8PSK\r\n"
        "S2 11919000 V 27500000 2/3 20 8PSK 5 # first stream\r\n"
        "S2 11919000 V 27500000 2/3 20 8PSK 1\r\n"
        "S 12000000 R 22000000 AUTO\r\n"
        "S2 12100000 L 30000000 AUTO AUTO 16APSK\r\n";
    Scenario scenario;
    ScenarioError error;
    ASSERT_TRUE(ParseScenario(text, "list.ini", &scenario, &error)) << error.what;
    ASSERT_EQ(scenario.satellites.size(), 1u);
    const Satellite &satellite = scenario.satellites[0];
    EXPECT_EQ(satellite.name, "Test Sat");
    EXPECT_EQ(satellite.position, 192);
    ASSERT_EQ(satellite.carriers.size(), 5u);
    EXPECT_EQ(satellite.carriers[0].system, kDvbS);
    EXPECT_EQ(satellite.carriers[0].rolloff, kRollOff35);
    EXPECT_EQ(satellite.carriers[1].rolloff, 0) << "two blanks: roll-off left open";
    EXPECT_EQ(satellite.carriers[1].constellation, k8psk);
    EXPECT_EQ(satellite.carriers[2].stream_ids, (std::vector<int>{5, 1}));
    EXPECT_EQ(satellite.carriers[3].polarization, 3);
    EXPECT_EQ(satellite.carriers[3].fec, 0);
    EXPECT_EQ(satellite.carriers[4].constellation, k16apsk);
    EXPECT_EQ(satellite.carriers[4].rolloff, 0);

    CompleteScenario(&scenario, 1);
    const Satellite &done = scenario.satellites[0];
    EXPECT_EQ(done.carriers[2].stream_ids, (std::vector<int>{1, 5})) << "streams ascending";
    EXPECT_EQ(done.carriers[3].fec, 5) << "DVB-S 22000 kS/s completes to 5/6";
    EXPECT_TRUE(done.carriers[1].rolloff == kRollOff35 || done.carriers[1].rolloff == kRollOff20);
    EXPECT_EQ(done.carriers[1].pilot, kPilotOn) << "pilots on for 8PSK";
    EXPECT_TRUE(done.carriers[4].fec == 2 || done.carriers[4].fec == 3);
    for (const Carrier &carrier : done.carriers) {
        EXPECT_TRUE(carrier.has_esno && carrier.has_level);
        EXPECT_GE(carrier.esno_db,
                  LockThresholdDb(carrier.system, carrier.constellation, carrier.fec, carrier.frame_length) + 0.5);
    }
}

TEST(SimulatorScenario, ReadsTheProgramsXmlList) {
    const std::string text =
        "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n<satellites lat=\"500\" long=\"100\">\n"
        "\t<sat name=\"West\" flags=\"5\" position=\"-50\" port=\"2\">\n"
        "\t\t<transponder frequency=\"11778000\" symbol_rate=\"27500000\" polarization=\"1\" fec_inner=\"3\" "
        "system=\"1\" modulation=\"2\" rolloff=\"0\" pilot=\"1\" is_id=\"3\"/>\n"
        "\t\t<transponder frequency=\"11778000\" symbol_rate=\"27500000\" polarization=\"1\" fec_inner=\"3\" "
        "system=\"1\" modulation=\"2\" rolloff=\"0\" pilot=\"1\" is_id=\"4\"/>\n"
        "\t</sat>\n\t<sat name=\"East\" flags=\"5\" position=\"3550\" stored=\"4\">\n"
        "\t\t<transponder frequency=\"10719000\" symbol_rate=\"27500000\" polarization=\"0\" fec_inner=\"5\" "
        "system=\"0\" modulation=\"1\" rolloff=\"3\"/>\n"
        "\t\t<transponder frequency=\"10800000\" symbol_rate=\"27500000\" polarization=\"2\" fec_inner=\"8\" "
        "system=\"1\" modulation=\"3\" rolloff=\"2\" pilot=\"2\" esno=\"9.5\"/>\n"
        "\t</sat>\n</satellites>\n";
    Scenario scenario;
    ScenarioError error;
    ASSERT_TRUE(ParseScenario(text, "list.xml", &scenario, &error)) << error.what;
    ASSERT_EQ(scenario.satellites.size(), 2u);
    EXPECT_TRUE(scenario.has_site);
    EXPECT_EQ(scenario.satellites[0].position, -50);
    EXPECT_EQ(scenario.satellites[0].port, 2);
    EXPECT_EQ(scenario.satellites[1].position, -50) << "3550 is 5.0W";
    EXPECT_EQ(scenario.satellites[1].stored, 4);
    const Carrier &multi = scenario.satellites[0].carriers.at(0);
    EXPECT_EQ(scenario.satellites[0].carriers.size(), 1u);
    EXPECT_EQ(multi.stream_ids, (std::vector<int>{3, 4}));
    EXPECT_EQ(multi.system, kDvbS2);
    EXPECT_EQ(multi.constellation, k8psk);
    EXPECT_EQ(multi.fec, 3);
    EXPECT_EQ(multi.rolloff, kRollOff35);
    EXPECT_EQ(multi.pilot, kPilotOn);
    const Carrier &dvbs = scenario.satellites[1].carriers.at(0);
    EXPECT_EQ(dvbs.system, kDvbS);
    EXPECT_EQ(dvbs.fec, 7) << "fec_inner 5 is 7/8";
    EXPECT_EQ(dvbs.rolloff, 0) << "rolloff 3 is automatic";
    const Carrier &apsk = scenario.satellites[1].carriers.at(1);
    EXPECT_EQ(apsk.fec, 4) << "fec_inner 8 is 4/5";
    EXPECT_EQ(apsk.rolloff, kRollOff20);
    EXPECT_EQ(apsk.pilot, 0);
    EXPECT_TRUE(apsk.has_esno);
    EXPECT_DOUBLE_EQ(apsk.esno_db, 9.5);
}

TEST(SimulatorScenario, ReadsDvbv5ChannelFiles) {
    const std::string text =
        "# a comment\n[CHANNEL]\n\tDELIVERY_SYSTEM = DVBS\n\tFREQUENCY = 10719000\n\tPOLARIZATION = VERTICAL\n"
        "\tSYMBOL_RATE = 27500000\n\tINNER_FEC = 3/4\n\tINVERSION = AUTO\n\n"
        "[MUX 2]\n\tDELIVERY_SYSTEM = DVBS2\n\tFREQUENCY = 11919000\n\tPOLARIZATION = HORIZONTAL\n"
        "\tSYMBOL_RATE = 27500000\n\tINNER_FEC = AUTO\n\tMODULATION = PSK/8\n\tROLLOFF = AUTO\n\tSTREAM_ID = 1\n\n"
        "[MUX 3]\n\tDELIVERY_SYSTEM = DVBS2\n\tFREQUENCY = 11919000\n\tPOLARIZATION = HORIZONTAL\n"
        "\tSYMBOL_RATE = 27500000\n\tMODULATION = PSK/8\n\tSTREAM_ID = 2\n";
    Scenario scenario;
    ScenarioError error;
    ASSERT_TRUE(ParseScenario(text, "/usr/share/dvb/dvb-s/Eutelsat-7-West-A-7.3W", &scenario, &error)) << error.what;
    ASSERT_EQ(scenario.satellites.size(), 1u);
    EXPECT_EQ(scenario.satellites[0].name, "Eutelsat-7-West-A");
    EXPECT_EQ(scenario.satellites[0].position, -73);
    ASSERT_EQ(scenario.satellites[0].carriers.size(), 2u);
    EXPECT_EQ(scenario.satellites[0].carriers[0].fec, 3);
    EXPECT_EQ(scenario.satellites[0].carriers[1].constellation, k8psk);
    EXPECT_EQ(scenario.satellites[0].carriers[1].stream_ids, (std::vector<int>{1, 2}));
}

TEST(SimulatorScenario, RejectsMalformedFilesNamingTheLine) {
    struct Row {
        const char *text;
        int line;
        const char *what;
    };
    const Row rows[] = {
        {"# Sat @ 13.0E\nS2 11778000 V 27500000 3/4 35 8PSK\nS3 11800000 V 27500000 3/4\n", 3, "delivery system"},
        {"S1 10719000 X 27500000 3/4\n", 1, "polarization"},
        {"S1 10719000 V 27500000 4/7\n", 1, "FEC"},
        {"S2 10719000 V 27500000 3/4 35 9PSK\n", 1, "modulation"},
        {"<satellites>\n<sat name=\"a\" position=\"10\">\n<transponder frequency=\"1\" polarization=\"0\"/>\n", 3, "symbol_rate"},
        {"<satellites>\n<transponder frequency=\"1\" symbol_rate=\"2\" polarization=\"0\"/>\n", 2, "outside"},
        {"[CHANNEL]\n\tFREQUENCY = 10719000\n\tSYMBOL_RATE = 27500000\n", 1, "POLARIZATION"},
        {"[CHANNEL]\n\tDELIVERY_SYSTEM = DVBT\n\tFREQUENCY = 1\n\tSYMBOL_RATE = 2\n\tPOLARIZATION = H\n", 1, "delivery"},
        {"# only comments\n\n", 2, "no carrier"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text);
        Scenario scenario;
        ScenarioError error;
        EXPECT_FALSE(ParseScenario(row.text, "bad.txt", &scenario, &error));
        EXPECT_EQ(error.line, row.line);
        EXPECT_NE(error.what.find(row.what), std::string::npos) << error.what;
    }
}

TEST(SimulatorScenario, BuiltinSatelliteIsCompleteAndPlausible) {
    Scenario scenario = BuiltinScenario();
    ASSERT_EQ(scenario.satellites.size(), 1u);
    int ku = 0, horizontal = 0, s2 = 0, apsk = 0, multistream = 0, narrow = 0, near = 0, cband = 0;
    for (const Carrier &carrier : scenario.satellites[0].carriers) {
        double threshold = LockThresholdDb(carrier.system, carrier.constellation, carrier.fec, carrier.frame_length);
        ASSERT_FALSE(std::isnan(threshold)) << carrier.frequency_khz;
        ASSERT_TRUE(carrier.has_esno && carrier.has_level && carrier.rolloff != 0 && carrier.pilot != 0);
        if (carrier.frequency_khz >= 10700000 && carrier.frequency_khz <= 12750000) {
            ++ku;
            horizontal += carrier.polarization == 0;
        }
        cband += carrier.frequency_khz < 4200001;
        s2 += carrier.system == kDvbS2;
        apsk += carrier.constellation >= k16apsk;
        multistream += carrier.stream_ids.size() > 1;
        narrow += carrier.symbol_rate < 8000000;
        near += carrier.esno_db - threshold < 0.6;
    }
    EXPECT_GE(ku, 60);
    EXPECT_LE(ku, 100);
    EXPECT_GT(horizontal, ku / 3);
    EXPECT_LT(horizontal, 2 * ku / 3);
    EXPECT_GT(s2, 20);
    EXPECT_GE(apsk, 2);
    EXPECT_EQ(multistream, 1);
    EXPECT_GE(narrow, 3);
    EXPECT_EQ(near, 2);
    EXPECT_GE(cband, 8);
}

class SimulatorLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        InstallFakePlatform();
        g_devices.clear();
    }
    void TearDown() override {
        StopDVB();
        UseSettingsFile("");
        RestoreSystemPlatform();
    }
    void UseSettings(const std::string &simulator_section) {
        UseSettingsFile(dir_.Write("Lumorath.ini", "[Simulator]\r\n" + simulator_section));
    }
    TempDir dir_;
};

TEST_F(SimulatorLibrary, DevicesStartHonestly) {
    UseSettings("Seed=3\r\n");
    EXPECT_EQ(GetCaps(), 0) << "no device started";
    ASSERT_EQ(CheckForDVBEx(CollectDevice), 1);
    ASSERT_EQ(g_devices.size(), 2u);
    EXPECT_EQ(g_devices[0].substr(0, 2), "0 ");
    EXPECT_EQ(StartDVBEx(2), 0);
    EXPECT_EQ(StartDVBEx(-1), 0);
    ASSERT_EQ(StartDVBEx(1), 1);
    EXPECT_EQ(StartDVBEx(0), 0) << "already started";
    EXPECT_EQ(GetCaps(), LUMORATH_CAP_DISEQC);
    TransponderRecord record;
    EXPECT_EQ(Vesker(11000000, 5000, 0, 9750000, 10600000, 11700000, 1000000, &record), 0) << "no blind search";
    EXPECT_EQ(SendDiSEqC(LUMORATH_SEND_TONE_BURST, 0), 0) << "no tone burst";
    EXPECT_EQ(SendDiSEqC(LUMORATH_SEND_COMMITTED_SWITCH, 0xF0), 1);
    EXPECT_EQ(StopDVB(), 1);
    EXPECT_EQ(StopDVB(), 0);
    ASSERT_EQ(StartDVBEx(0), 1);
    EXPECT_EQ(GetCaps(), LUMORATH_CAP_BLIND_SEARCH | LUMORATH_CAP_DISEQC | LUMORATH_CAP_TONE_BURST);
    EXPECT_EQ(Vesker(11000000, 5000, 4, 9750000, 10600000, 11700000, 1000000, &record), 0) << "polarization 4";
    EXPECT_EQ(Vesker(11000000, 5000, 0, 9750000, 10600000, 11700000, 1000000, nullptr), 0);
}

TEST_F(SimulatorLibrary, MissingOrMalformedScenarioMeansNoDevice) {
    struct Row {
        const char *file_content;  // null: the file does not exist
        const char *expected_stderr;
    };
    const Row rows[] = {
        {nullptr, ": cannot read the file ("},
        {"# Sat @ 9.0E\nS2 11778000 V 27500000 3/4 35 8PSK\nS2 11800000 Q 27500000 3/4\n", ", line 3: bad polarization"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.expected_stderr);
        std::string path = row.file_content ? dir_.Write("scenario.txt", row.file_content) : dir_.File("missing.txt");
        UseSettings("Scenario=" + path + "\r\n");
        testing::internal::CaptureStderr();
        EXPECT_EQ(CheckForDVBEx(CollectDevice), 0);
        std::string error = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(g_devices.empty());
        EXPECT_EQ(error.rfind("Lumorath simulator: scenario " + path, 0), 0u) << error;
        EXPECT_NE(error.find(row.expected_stderr), std::string::npos) << error;
        EXPECT_EQ(std::count(error.begin(), error.end(), '\n'), 1);
        EXPECT_EQ(StartDVBEx(0), 0);
    }
}

TEST_F(SimulatorLibrary, SameSeedGivesTheSameBytesInAnyOrder) {
    auto sweep = [this](const char *seed, bool backwards) {
        UseSettings(std::string("Seed=") + seed + "\r\n");
        EXPECT_EQ(CheckForDVBEx(CollectDevice), 1);
        EXPECT_EQ(StartDVBEx(0), 1);
        std::vector<std::string> records(2 * 410);
        for (int n = 0; n < 2 * 410; ++n) {
            int i = backwards ? 2 * 410 - 1 - n : n;
            TransponderRecord record;
            std::memset(&record, 0xA5, sizeof record);
            unsigned frequency = 10700000 + static_cast<unsigned>(i / 2) * 5000;
            EXPECT_EQ(Vesker(frequency, 5000, static_cast<unsigned>(i % 2), 9750000, 10600000, 11700000, 1000000, &record), 1);
            records[static_cast<std::size_t>(i)].assign(reinterpret_cast<const char *>(&record), sizeof record);
        }
        StopDVB();
        return records;
    };
    std::vector<std::string> first = sweep("7", false);
    EXPECT_EQ(sweep("7", true), first);
    EXPECT_NE(sweep("8", false), first);
    int locked = 0;
    for (const std::string &bytes : first) locked += bytes[0] != 0;
    EXPECT_GT(locked, 80) << "the built-in satellite is there";
}

// The modelled time is counted by outcome, and with Pace the waits add up to the paced share
// of it: what a whole-ms pause leaves over is not lost.
TEST_F(SimulatorLibrary, PaceWaitsItsShareOfTheModelledTimeInFull) {
    for (int pace : {0, 33}) {
        SCOPED_TRACE(pace);
        UseSettings("Pace=" + std::to_string(pace) + "\r\n");
        Fake().sleeps.clear();
        ASSERT_EQ(CheckForDVBEx(CollectDevice), 1);
        ASSERT_EQ(StartDVBEx(0), 1);
        ASSERT_EQ(SendDiSEqC(LUMORATH_SEND_COMMITTED_SWITCH, 0xF0), 1);
        TransponderRecord record;
        ASSERT_EQ(Vesker(10700000, 5000, 0, 9750000, 10600000, 11700000, 1000000, &record), 1);  // locks 10714 H
        ASSERT_EQ(record.locked, 1);
        for (int i = 0; i < 40; ++i) {
            ASSERT_EQ(Vesker(10810000, 5000, 0, 9750000, 10600000, 11700000, 1000000, &record), 1);  // an empty step
            ASSERT_EQ(record.locked, 0);
        }
        SimStats stats = CurrentStats();
        EXPECT_EQ(stats.searches, 41u);
        EXPECT_EQ(stats.locks, 1u);
        const int empty = static_cast<int>(SearchResult::kEmpty), locked = static_cast<int>(SearchResult::kLocked);
        EXPECT_EQ(stats.outcome_searches[empty], 40u);
        EXPECT_EQ(stats.outcome_searches[locked], 1u);
        EXPECT_EQ(stats.outcome_searches[static_cast<int>(SearchResult::kFailed)], 0u);
        EXPECT_GT(stats.outcome_ms[locked], 3000.0) << "a lock takes seconds";
        EXPECT_LT(stats.outcome_ms[locked], 4500.0);
        EXPECT_NEAR(stats.outcome_ms[empty] / 40, 175.0, 25.0) << "about 0.2 s for an empty step";
        EXPECT_NEAR(stats.modelled_ms, stats.outcome_ms[empty] + stats.outcome_ms[locked] + 84.0, 1e-6)
            << "the switch command counts in the total";
        std::uint64_t slept = 0;
        for (std::uint32_t ms : Fake().sleeps) slept += ms;
        if (pace == 0) {
            EXPECT_TRUE(Fake().sleeps.empty());
        } else {
            EXPECT_EQ(Fake().sleeps.size(), 42u);
            EXPECT_NEAR(static_cast<double>(slept), stats.modelled_ms * 0.33, 1.0);
        }
        StopDVB();
    }
}

// The modelled time the simulator announces before a scan is the time the program's own scan
// of the interval then takes, and announcing it neither waits nor counts anything.
TEST_F(SimulatorLibrary, ModelledScanIsTheScanThatFollows) {
    UseSettings("Pace=40\r\n");
    ASSERT_EQ(CheckForDVBEx(CollectDevice), 1);
    ASSERT_EQ(StartDVBEx(0), 1);
    unsigned modelled_ms = 0;
    unsigned pace_percent = 0;
    ASSERT_EQ(1, LumorathModelledScan(10700000, 12750000, 2000, 0, 9750000, 10600000, 11700000, 1000000, &modelled_ms,
                                      &pace_percent));
    EXPECT_EQ(40u, pace_percent);
    EXPECT_EQ(0u, CurrentStats().searches);
    EXPECT_TRUE(Fake().sleeps.empty());
    UseTuner(TunerLibrary{CheckForDVBEx, StartDVBEx, StopDVB, GetCaps, SendDiSEqC, SendDiseqCmd, Vesker, LumorathModelledScan});
    std::vector<TransponderRecord> records(kMaxTransponders);
    int stop_flag = 0;
    const int found = ScanInterval(10700, 0, records.data(), &stop_flag, 0, 12750, 2, 9750, 10600, 11700, 0, 1000, 100000,
                                   -100.0, -100.0);
    EXPECT_GT(found, 40);
    EXPECT_GT(modelled_ms, 60000u);
    EXPECT_NEAR(static_cast<double>(modelled_ms), CurrentStats().modelled_ms, 1.0);
    StopDVB();
}

TEST_F(SimulatorLibrary, DiseqcSelectsTheSatelliteOfAScenario) {
    std::string sky = dir_.Write("sky.xml",
                                 "<satellites>\n<sat name=\"A\" position=\"130\" port=\"1\">\n"
                                 "<transponder frequency=\"11000000\" symbol_rate=\"27500000\" polarization=\"0\"/>\n"
                                 "</sat>\n<sat name=\"B\" position=\"192\" port=\"2\">\n"
                                 "<transponder frequency=\"11200000\" symbol_rate=\"27500000\" polarization=\"0\"/>\n"
                                 "</sat>\n</satellites>\n");
    UseSettings("Scenario=sky.xml\r\n");  // relative to the settings file
    ASSERT_EQ(CheckForDVBEx(CollectDevice), 1);
    ASSERT_EQ(StartDVBEx(0), 1);
    auto locked_at = [](unsigned frequency_khz) {
        TransponderRecord record;
        Vesker(frequency_khz, 5000, 0, 9750000, 10600000, 11700000, 1000000, &record);
        return record.locked;
    };
    EXPECT_EQ(locked_at(11000000), 1) << "port 1 at power-up";
    EXPECT_EQ(locked_at(11200000), 0);
    EXPECT_EQ(SendDiSEqC(LUMORATH_SEND_COMMITTED_SWITCH, 0xF6), 1);
    EXPECT_EQ(locked_at(11000000), 0);
    EXPECT_EQ(locked_at(11200000), 1);
    unsigned char uncommitted[] = {0xE0, 0x10, 0x38, 0xF0};
    EXPECT_EQ(SendDiseqCmd(uncommitted, 4), 1);
    EXPECT_EQ(locked_at(11000000), 1);
    EXPECT_EQ(SendDiSEqC(LUMORATH_SEND_TONE_BURST, 1), 1) << "burst B: port 2";
    EXPECT_EQ(locked_at(11200000), 1);
    EXPECT_EQ(SendDiseqCmd(nullptr, 4), 0);
}

namespace {

// One session with a tuner table: every answer in order, each locked record as its bytes.
std::vector<std::string> Session(const TunerLibrary &tuner) {
    std::vector<std::string> answers;
    g_devices.clear();
    answers.push_back("check " + std::to_string(tuner.CheckForDVBEx(CollectDevice)));
    answers.insert(answers.end(), g_devices.begin(), g_devices.end());
    answers.push_back("start " + std::to_string(tuner.StartDVBEx(0)));
    answers.push_back("caps " + std::to_string(tuner.GetCaps()));
    answers.push_back("switch " + std::to_string(tuner.SendDiSEqC(LUMORATH_SEND_COMMITTED_SWITCH, 0xF0)));
    unsigned char message[] = {0xE0, 0x10, 0x38, 0xF0};
    answers.push_back("message " + std::to_string(tuner.SendDiseqCmd(message, 4)));
    for (unsigned frequency = 10700000; frequency < 12750000; frequency += 5000) {
        for (unsigned polarization = 0; polarization < 2; ++polarization) {
            TransponderRecord record;
            std::memset(&record, 0xA5, sizeof record);
            int found = tuner.Vesker(frequency, 5000, polarization, 9750000, 10600000, 11700000, 2000000, &record);
            if (found != 1 || record.locked != 0)
                answers.push_back(std::to_string(found) + std::string(reinterpret_cast<const char *>(&record), sizeof record));
        }
    }
    answers.push_back("stop " + std::to_string(tuner.StopDVB()) + " " + std::to_string(tuner.StopDVB()));
    return answers;
}

// The built simulator, loaded as the program loads a tuner library, answers a whole session
// exactly as its code does in-process: the calls carry every argument intact. On 32-bit
// Windows the same holds for the build whose functions pop their own arguments.
TEST_F(SimulatorLibrary, LoadedLibrariesAnswerLikeTheCodeItself) {
    // Both through the table the program calls, which brackets each call into the library.
    const TunerLibrary in_process = {CheckForDVBEx, StartDVBEx, StopDVB,     GetCaps,
                                     SendDiSEqC,    SendDiseqCmd, Vesker, LumorathModelledScan};
    UseTuner(in_process);
    const std::vector<std::string> expected = Session(Tuner());
    ASSERT_GT(expected.size(), 50u) << "the built-in satellite is there";
    const char *const directories[] = {VESKER_SIMULATOR_DIR,
#ifdef VESKER_STDCALL_SIMULATOR_DIR
                                       VESKER_STDCALL_SIMULATOR_DIR
#endif
    };
    for (const char *directory : directories) {
        SCOPED_TRACE(directory);
        TunerLibrary loaded{};
        ASSERT_TRUE(LoadTunerLibrary(directory, &loaded)) << Fake().console;
        UseTuner(loaded);
        EXPECT_TRUE(Session(Tuner()) == expected);
    }
    UseTuner(TunerLibrary{});
}

}  // namespace
