// The DVB tuner library over a model frontend: whole runs of the program for each driver
// personality and LNB, the satellite-equipment sequences with their pauses, the record each
// personality yields, faults, settings, the candidate rates, repeated passes, and real
// satellites' carriers as the sky.
#include <gtest/gtest.h>

#include <linux/ioctl.h>
#include <linux/dvb/frontend.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "candidate_rates.h"
#include "driver/exit_codes.h"
#include "dvb/program_run.h"
#include "library.h"
#include "record/dvb_standard.h"
#include "scenario.h"
#include "settings.h"
#include "support/fake_platform.h"

using model::AcceptedCarriers;
using model::Interval;
using model::LnbKind;
using model::Personality;
using model::ProgramRun;
using model::RunVesker;

namespace {

const Personality kPersonalities[] = {Personality::kSweepEcho, Personality::kBuiltinBlind, Personality::kApartSystems,
                                      Personality::kDriverBlind};

bool ReportsFrequency(Personality personality) {
    return personality == Personality::kBuiltinBlind || personality == Personality::kDriverBlind;
}
bool Blind(Personality personality) { return ReportsFrequency(personality); }

sim::Carrier MakeCarrier(std::uint32_t frequency_khz, int polarization, std::uint32_t symbol_rate, int system,
                         int constellation, int fec) {
    sim::Carrier carrier;
    carrier.frequency_khz = frequency_khz;
    carrier.polarization = polarization;
    carrier.symbol_rate = symbol_rate;
    carrier.system = system;
    carrier.constellation = constellation;
    carrier.fec = fec;
    carrier.rolloff = system == 2 ? 3 : 1;
    carrier.pilot = system == 2 ? 2 : 1;
    carrier.esno_db = 12.0;
    carrier.level_dbm = -45.0;
    carrier.has_esno = carrier.has_level = true;
    return carrier;
}

sim::Scenario OneSatellite(std::vector<sim::Carrier> carriers) {
    sim::Scenario scenario;
    scenario.source = "test";
    scenario.satellites.emplace_back();
    scenario.satellites.back().name = "Test";
    scenario.satellites.back().carriers = std::move(carriers);
    return scenario;
}

// Every locked record the library handed to the program in the last run, in order.
std::vector<model::Search> g_searches;

ProgramRun ScanRun(const TempDir &dir, const std::string &satinfo, const std::string &scans, bool prompt = false,
               const std::string &dvb_settings = "") {
    return RunVesker(dir, satinfo, scans, prompt, dvb_settings, &g_searches);
}

// The library's line on standard error before a sweep's first search: what the scan costs (the
// scan the program announced, or else the band a polarization).
bool IsEstimate(const std::string &line) {
    return line.find(": a pass of this scan (") != std::string::npos || line.find(": a sweep ") != std::string::npos;
}

// Standard error without the estimate line.
std::string ErrorsBesideEstimate(const std::string &errors) {
    std::string kept;
    std::size_t start = 0;
    while (start < errors.size()) {
        std::size_t end = errors.find('\n', start);
        end = end == std::string::npos ? errors.size() : end + 1;
        const std::string line = errors.substr(start, end - start);
        if (!IsEstimate(line)) kept += line;
        start = end;
    }
    return kept;
}

// Whether a sweep at the default depth captures this rate (within 5 % of a candidate).
bool SweepCovers(Personality personality, const sim::Carrier &carrier) {
    dvb::DvbSettings settings;
    dvb::ReadDvbSettings("", &settings);
    dvb::FrontendEntry entry{};
    entry.capture = personality == Personality::kSweepEcho ? dvb::RateCapture::kFivePercent : dvb::RateCapture::kUnknown;
    dvb::CandidatePlan plan;
    dvb::PlanCandidates(entry, settings, settings.depth, carrier.frequency_khz, 1000000, &plan);
    for (int i = 0; i < plan.count; ++i) {
        const double ratio = carrier.symbol_rate / static_cast<double>(plan.items[i].symbol_rate);
        if (ratio >= 0.95 && ratio <= 1.05) return true;
    }
    return false;
}

struct LnbCase {
    const char *name;
    model::PhysicalLnb lnb;
    std::string satinfo;
    const char *pols[2];
    std::uint32_t start_mhz, stop_mhz;
    std::vector<sim::Carrier> carriers;
};

std::vector<LnbCase> LnbCases() {
    return {
        {"universal Ku",
         {LnbKind::kUniversal, 9750000, 10600000},
         "LOF1=9750\r\nLOF2=10600\r\nLOFSW=11700\r\n",
         {"H", "V"},
         10700,
         12750,
         {MakeCarrier(10758000, 0, 22000000, 2, 2, 3), MakeCarrier(11303000, 0, 27500000, 1, 1, 3),
          MakeCarrier(11720000, 0, 30000000, 2, 1, 9), MakeCarrier(12515000, 0, 4444000, 2, 1, 2),
          MakeCarrier(11000000, 1, 27500000, 2, 2, 2), MakeCarrier(11680000, 1, 27500000, 1, 1, 5),
          MakeCarrier(12187000, 1, 30000000, 2, 1, 4), MakeCarrier(12640000, 1, 21500000, 1, 1, 7)}},
        {"single oscillator Ku",
         {LnbKind::kSingle, 10750000, 0},
         "LOF=10750\r\n",
         {"H", "V"},
         11700,
         12900,
         {MakeCarrier(11766000, 0, 27500000, 1, 1, 3), MakeCarrier(12380000, 1, 30000000, 2, 2, 3),
          MakeCarrier(12722000, 0, 22000000, 2, 1, 2)}},
        {"C band, inverted",
         {LnbKind::kSingle, 5150000, 0},
         "LOF=5150\r\n",
         {"H", "V"},
         3000,
         4200,
         {MakeCarrier(3725000, 0, 30000000, 2, 2, 3), MakeCarrier(3845000, 1, 4444000, 1, 1, 3),
          MakeCarrier(4080000, 0, 27500000, 1, 1, 7), MakeCarrier(3500000, 1, 13000000, 2, 1, 3)}},
        {"band-stacked C band",
         {LnbKind::kStacked, 5150000, 5750000},
         "LOF1=5150\r\nLOF2=5750\r\nBandStacked=1\r\n",
         {"R", "L"},
         3600,
         4200,
         {MakeCarrier(3700000, 3, 27500000, 1, 1, 3), MakeCarrier(3900000, 2, 6666000, 2, 1, 3),
          MakeCarrier(4100000, 3, 4444000, 1, 1, 2), MakeCarrier(4000000, 2, 30000000, 2, 2, 5)}},
    };
}

TEST(DvbLibrary, WholeRunsFindEachCoveredCarrierOnceAtItsFrequency) {
    for (const LnbCase &lnb : LnbCases()) {
        for (Personality personality : kPersonalities) {
            SCOPED_TRACE(std::string(lnb.name) + ", " + model::PersonalityName(personality));
            TempDir dir;
            model::InstallModel(personality, lnb.lnb, OneSatellite(lnb.carriers));
            const ProgramRun run = ScanRun(dir, lnb.satinfo,
                                       Interval(0, lnb.pols[0], lnb.start_mhz, lnb.stop_mhz) +
                                           Interval(1, lnb.pols[1], lnb.start_mhz, lnb.stop_mhz));
            EXPECT_EQ(kExitOk, run.exit_code) << run.console << run.errors;
            // A sweep says what a pass of the two intervals costs before its first search; nothing
            // else is said.
            EXPECT_EQ("", ErrorsBesideEstimate(run.errors));
            if (!Blind(personality)) {
                EXPECT_NE(std::string::npos, run.errors.find(": a pass of this scan (2 intervals) takes up to ")) << run.errors;
            }
            EXPECT_EQ(Blind(personality) ? 0 : 1, std::count(run.errors.begin(), run.errors.end(), '\n')) << run.errors;
            const std::vector<model::Accepted> accepted = AcceptedCarriers(run.console);
            std::size_t expected = 0;
            for (const sim::Carrier &carrier : lnb.carriers) {
                if (!Blind(personality) && !SweepCovers(personality, carrier)) continue;
                ++expected;
                // Where the driver echoes the frequency asked for, the library finds the centre,
                // through an LNB that inverts the spectrum too.
                const double tolerance_mhz = ReportsFrequency(personality) ? 0.0005 : carrier.symbol_rate / 1e7;
                const auto matches = std::count_if(accepted.begin(), accepted.end(), [&](const model::Accepted &a) {
                    return a.polarization == carrier.polarization &&
                           std::fabs(a.frequency_mhz - carrier.frequency_khz / 1000.0) <= tolerance_mhz;
                });
                EXPECT_EQ(1, matches) << "carrier " << carrier.frequency_khz << " kHz, pol " << carrier.polarization
                                      << "\n" << run.console;
            }
            EXPECT_EQ(expected, accepted.size()) << run.console;
            int reports = 0;
            for (const auto &entry : std::filesystem::directory_iterator(dir.path())) {
                reports += entry.path().filename().string() != "scan.ini" &&
                           entry.path().filename().string() != "Lumorath.ini";
            }
            EXPECT_EQ(2, reports) << "the report and the list";
            model::RemoveModel();
        }
    }
}

// A multi-standard frontend still on a terrestrial system reports its limits in Hz: the
// satellite IFs must not look out of range.
TEST(DvbLibrary, MultistandardFrontendLimitsReadInHz) {
    TempDir dir;
    model::InstallModel(Personality::kSweepEcho, {}, OneSatellite({MakeCarrier(11050000, 0, 27500000, 2, 1, 3)}));
    model::Model().terrestrial_first = true;
    const ProgramRun run = ScanRun(dir, "", Interval(0, "H", 11030, 11070));
    EXPECT_NE(std::string::npos, run.console.find("Total tranponders found = 1")) << run.console;
    model::RemoveModel();
}

// One carrier through a C-band LNB (an inverting oscillator): what each personality lets the
// record know, and what it leaves unknown.
TEST(DvbLibrary, RecordHoldsWhatTheDriverReportsAndNoMore) {
    const sim::Carrier carrier = MakeCarrier(3845000, 1, 27500000, 2, 2, 3);  // DVB-S2 8PSK 3/4, roll-off 0.20, pilots
    struct Row {
        Personality personality;
        bool measured;  // the driver reports the rate; else the rate asked for comes back
        int system, modulation, fec, inversion, rolloff, pilot;
        bool snr_known;
    };
    const Row rows[] = {
        {Personality::kSweepEcho, false, 0, 0, 0, 0, 0, 0, false},
        {Personality::kBuiltinBlind, true, 0, 0, 0, 0, 0, 0, false},
        {Personality::kApartSystems, true, 2, 2, 3, 1, 3, 2, true},
        {Personality::kDriverBlind, true, 2, 2, 3, 1, 3, 2, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(model::PersonalityName(row.personality));
        TempDir dir;
        model::InstallModel(row.personality, {LnbKind::kSingle, 5150000, 0}, OneSatellite({carrier}));
        const ProgramRun run = ScanRun(dir, "LOF=5150\r\n", Interval(0, "V", 3830, 3860));
        ASSERT_EQ(1u, g_searches.size()) << run.console << run.errors;
        const TransponderRecord &record = g_searches[0].record;
        // Within a tenth of the symbol rate where the centre is found by tuning either side.
        EXPECT_NEAR(3845000.0, record.frequency, ReportsFrequency(row.personality) ? 0.0 : 2750.0);
        EXPECT_NEAR(27500000.0, record.symbol_rate, row.measured ? 0.0 : 27500000 * 0.05);
        EXPECT_EQ(1, record.polarization);
        EXPECT_EQ(row.system, record.system);
        EXPECT_EQ(row.modulation, record.modulation);
        EXPECT_EQ(row.fec, record.fec);
        EXPECT_EQ(row.inversion, record.inversion) << "the LNB's inversion undone";
        EXPECT_EQ(row.rolloff, record.rolloff);
        EXPECT_EQ(row.pilot, record.pilot);
        EXPECT_EQ(row.personality == Personality::kDriverBlind ? 0 : -1, record.frame_length);
        EXPECT_EQ(row.snr_known ? 12.0 : 0.0, record.snr);
        EXPECT_EQ(-45, record.rf_level) << "the level on each driver's own scale";
        EXPECT_EQ(CarrierWidthKhz(record.symbol_rate, row.rolloff == 3 ? 3 : 1), record.carrier_width);
        EXPECT_EQ(row.fec != 0 ? UsefulBitRate(2, 2, 3, 0, 2, 27500000) : 0u, record.bit_rate);
        model::RemoveModel();
    }
}

// A driver with its own blind algorithm also lists a multistream carrier's input streams
// and its baseband header.
TEST(DvbLibrary, DriverBlindSearchReportsInputStreams) {
    sim::Carrier carrier = MakeCarrier(11303000, 0, 27500000, 2, 2, 3);
    carrier.stream_ids = {1, 2, 5};
    carrier.coding_mode = 1;
    TempDir dir;
    model::InstallModel(Personality::kDriverBlind, {}, OneSatellite({carrier}));
    const ProgramRun run = ScanRun(dir, "", Interval(0, "H", 11290, 11310));
    ASSERT_EQ(1u, g_searches.size()) << run.console << run.errors;
    const TransponderRecord &record = g_searches[0].record;
    EXPECT_EQ(3u, record.stream_count);
    EXPECT_EQ(std::vector<int>({1, 2, 5}), std::vector<int>(record.stream_ids, record.stream_ids + 3));
    EXPECT_EQ(1, record.coding_mode) << "ACM/VCM";
    EXPECT_EQ(0, record.stream_type) << "transport stream";
    model::RemoveModel();
}

// The equipment calls of a run, as the frontend saw them.
std::vector<model::SecEvent> SecLog() { return model::Model().sec_log; }

void ExpectQuietAroundMessages(const std::vector<model::SecEvent> &log) {
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (log[i].request != FE_DISEQC_SEND_MASTER_CMD && log[i].request != FE_DISEQC_SEND_BURST) continue;
        if (i > 0) {
            EXPECT_GE(log[i].at_ms - log[i - 1].at_ms, 15u) << "pause before event " << i;
        }
        if (i + 1 < log.size()) {
            EXPECT_GE(log[i + 1].at_ms - log[i].at_ms, 15u) << "pause after event " << i;
        }
        int tone = SEC_TONE_OFF;
        for (std::size_t j = 0; j < i; ++j) {
            if (log[j].request == FE_SET_TONE) tone = log[j].value;
        }
        EXPECT_EQ(SEC_TONE_OFF, tone) << "the tone is off while a message or burst goes out (event " << i << ")";
    }
}

TEST(DvbLibrary, EquipmentCallsComeInOrderWithTheirPauses) {
    const std::vector<sim::Carrier> none = {MakeCarrier(12000000, 1, 27500000, 1, 1, 3)};
    {
        SCOPED_TRACE("committed switch port 2 across the band switch");
        TempDir dir;
        model::InstallModel(Personality::kDriverBlind, {}, OneSatellite(none));
        const ProgramRun run = ScanRun(dir, "DiSEqC=2\r\n", Interval(0, "H", 11690, 11710));
        EXPECT_EQ(kExitOk, run.exit_code) << run.console;
        std::vector<std::vector<std::uint8_t>> messages;
        std::vector<std::pair<unsigned long, int>> settings;
        for (const model::SecEvent &event : SecLog()) {
            if (event.request == FE_DISEQC_SEND_MASTER_CMD) messages.push_back(event.bytes);
            else settings.emplace_back(event.request, event.value);
        }
        // Start-up (port only), the interval's first step (horizontal, low band), the high band.
        const std::vector<std::vector<std::uint8_t>> expected_messages = {
            {0xE0, 0x10, 0x38, 0xF4}, {0xE0, 0x10, 0x38, 0xF6}, {0xE0, 0x10, 0x38, 0xF7}};
        EXPECT_EQ(expected_messages, messages);
        const std::vector<std::pair<unsigned long, int>> expected_settings = {
            {FE_SET_VOLTAGE, SEC_VOLTAGE_13}, {FE_SET_TONE, SEC_TONE_OFF}, {FE_SET_VOLTAGE, SEC_VOLTAGE_18},
            {FE_SET_TONE, SEC_TONE_ON},       {FE_SET_TONE, SEC_TONE_OFF}, {FE_SET_VOLTAGE, SEC_VOLTAGE_OFF}};
        EXPECT_EQ(expected_settings, settings) << "each value set once when it changes; off at the stop";
        ExpectQuietAroundMessages(SecLog());
        model::RemoveModel();
    }
    {
        SCOPED_TRACE("no switch: the searches set supply and tone, only on a change");
        TempDir dir;
        model::InstallModel(Personality::kSweepEcho, {}, OneSatellite(none));
        ScanRun(dir, "", Interval(0, "H", 11690, 11710) + Interval(1, "V", 11690, 11710));
        std::vector<std::pair<unsigned long, int>> settings;
        for (const model::SecEvent &event : SecLog()) settings.emplace_back(event.request, event.value);
        const std::vector<std::pair<unsigned long, int>> expected = {
            {FE_SET_VOLTAGE, SEC_VOLTAGE_18}, {FE_SET_TONE, SEC_TONE_OFF}, {FE_SET_TONE, SEC_TONE_ON},
            {FE_SET_VOLTAGE, SEC_VOLTAGE_13}, {FE_SET_TONE, SEC_TONE_OFF}, {FE_SET_TONE, SEC_TONE_ON},
            {FE_SET_TONE, SEC_TONE_OFF},      {FE_SET_VOLTAGE, SEC_VOLTAGE_OFF}};
        EXPECT_EQ(expected, settings);
        model::RemoveModel();
    }
    {
        SCOPED_TRACE("tone burst and raw messages on a started device with the tone on");
        model::InstallModel(Personality::kSweepEcho, {}, OneSatellite(none));
        setenv("LUMORATH_DVB_DIR", model::Model().dvb_dir.c_str(), 1);
        dvb::ResetLibrary();
        ASSERT_NE(0, dvb::CheckForDVBEx(nullptr));
        ASSERT_NE(0, dvb::StartDVBEx(0));
        TransponderRecord record;
        ASSERT_NE(0, dvb::Vesker(11800000, 5000, 0, 9750000, 10600000, 11700000, 1000000, &record));  // tone on
        unsigned char usals[] = {0xE0, 0x31, 0x6E, 0xD0, 0x00};
        unsigned char too_short[] = {0xE0, 0x10};
        unsigned char too_long[7] = {0xE0, 0x10, 0x38, 0xF0, 0, 0, 0};
        EXPECT_NE(0, dvb::SendDiSEqC(1, 1));
        EXPECT_NE(0, dvb::SendDiseqCmd(usals, 5));
        EXPECT_EQ(0, dvb::SendDiseqCmd(too_short, 2));
        EXPECT_EQ(0, dvb::SendDiseqCmd(too_long, 7));
        EXPECT_EQ(0, dvb::SendDiSEqC(3, 0)) << "no such kind";
        const std::vector<model::SecEvent> log = SecLog();
        std::vector<std::pair<unsigned long, int>> calls;
        for (const model::SecEvent &event : log) calls.emplace_back(event.request, event.value);
        const std::vector<std::pair<unsigned long, int>> expected = {
            {FE_SET_VOLTAGE, SEC_VOLTAGE_18}, {FE_SET_TONE, SEC_TONE_ON},  {FE_SET_TONE, SEC_TONE_OFF},
            {FE_DISEQC_SEND_BURST, SEC_MINI_B}, {FE_SET_TONE, SEC_TONE_ON}, {FE_SET_TONE, SEC_TONE_OFF},
            {FE_DISEQC_SEND_MASTER_CMD, 5},   {FE_SET_TONE, SEC_TONE_ON}};
        EXPECT_EQ(expected, calls);
        ExpectQuietAroundMessages(log);
        dvb::StopDVB();
        unsetenv("LUMORATH_DVB_DIR");
        model::RemoveModel();
    }
}

TEST(DvbLibrary, FaultsEndTheRunWithAClearLine) {
    const std::vector<sim::Carrier> carriers = {MakeCarrier(10758000, 0, 27500000, 1, 1, 3),
                                                MakeCarrier(11303000, 0, 27500000, 1, 1, 3)};
    struct Row {
        const char *name;
        void (*arrange)(model::ModelFrontend &);
        int exit_code;
        const char *console;
        const char *error;
    };
    const Row rows[] = {
        {"frontend gone mid-scan", [](model::ModelFrontend &m) { m.vanish_at_tune = 120; }, kExitSearchFailed,
         "error !", "Lumorath DVB: /model/dvb/adapter0/frontend0 has gone (reading the lock status failed: No such device)"},
        {"tuning refused by the driver",
         [](model::ModelFrontend &m) {
             m.fail_request = FE_SET_PROPERTY;
             m.fail_errno = EIO;
             m.fail_after = 120;
         },
         kExitSearchFailed, "error !", "/model/dvb/adapter0/frontend0: tuning failed (Input/output error)"},
        {"in use by another program", [](model::ModelFrontend &m) { m.read_write_open_error = EBUSY; }, kExitCantStart,
         "Can't start device 0 !",
         "Lumorath DVB: /model/dvb/adapter0/frontend0 is in use by another program; close it (or stop its service) "
         "and start again\n"},
        {"no permission", [](model::ModelFrontend &m) { m.read_only_open_error = EACCES; }, kExitCantStart,
         "Device 0: adapter0/frontend0 (no permission to open it)",
         "Lumorath DVB: no permission to open /model/dvb/adapter0/frontend0; add your user to the group"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        model::InstallModel(Personality::kSweepEcho, {}, OneSatellite(carriers));
        row.arrange(model::Model());
        const bool prompt = std::string(row.name) == "no permission";  // the device list shows why
        const ProgramRun run = ScanRun(dir, "", Interval(0, "H", 10700, 11400), prompt);
        EXPECT_EQ(row.exit_code, run.exit_code) << run.console;
        EXPECT_NE(std::string::npos, run.console.find(row.console)) << run.console;
        EXPECT_NE(std::string::npos, run.errors.find(row.error)) << run.errors;
        const std::string failures = ErrorsBesideEstimate(run.errors);
        EXPECT_EQ(1, std::count(failures.begin(), failures.end(), '\n')) << run.errors;
        if (row.exit_code == kExitSearchFailed) {
            EXPECT_NE(std::string::npos, run.console.find(" Mhz ... 1075")) << "what was found before is kept\n" << run.console;
        }
        model::RemoveModel();
    }
}

TEST(DvbLibrary, SettingsListsAndOverrides) {
    struct Row {
        const char *text;
        bool valid;
        std::vector<std::uint32_t> rates;
    };
    const Row rows[] = {
        {"27500,30000 22000", true, {27500, 30000, 22000}}, {" 4444 , 2222", true, {4444, 2222}},
        {"", false, {}}, {"27500,abc", false, {}}, {"27500.5", false, {}}, {"99", false, {}}, {"100001", false, {}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text);
        dvb::CandidateList list;
        EXPECT_EQ(row.valid, dvb::ParseSymbolRates(row.text, &list));
        if (row.valid) {
            EXPECT_EQ(row.rates, std::vector<std::uint32_t>(list.rates_ks, list.rates_ks + list.count));
        }
    }
    // The example settings file reads without a word and gives the defaults: the measured
    // rates at the normal depth.
    dvb::DvbSettings example;
    testing::internal::CaptureStderr();
    dvb::ReadDvbSettings(VESKER_SOURCE_DIR "/examples/Lumorath.ini", &example);
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    EXPECT_EQ(0, example.ku.count);
    EXPECT_EQ(0, example.c_band.count);
    EXPECT_EQ(dvb::Depth::kNormal, example.depth);
    EXPECT_EQ(dvb::Strategy::kAuto, example.strategy);
    EXPECT_EQ(dvb::ReadTables::kWhereEchoed, example.read_tables);
    // A bad value names itself on standard error and leaves the default; the environment wins over the file.
    TempDir dir;
    const std::string ini = dir.Write("Lumorath.ini", "[DVB]\r\nSymbolRates=fast\r\nStrategy=Sweep\r\nLockTimeout=-3\r\n"
                                                      "Depth=deep\r\nReadTables=0\r\nNitWait=50\r\nNitOther=1\r\n");
    dvb::DvbSettings settings;
    testing::internal::CaptureStderr();
    dvb::ReadDvbSettings(ini.c_str(), &settings);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(4, std::count(errors.begin(), errors.end(), '\n')) << errors;
    EXPECT_NE(std::string::npos, errors.find("NitWait=50 is not a number of 1000..60000 ms; using the default")) << errors;
    EXPECT_EQ(dvb::ReadTables::kNever, settings.read_tables);
    EXPECT_EQ(11000u, settings.nit_wait_ms);
    EXPECT_TRUE(settings.nit_other);
    EXPECT_NE(std::string::npos, errors.find("SymbolRates=fast is not a list")) << errors;
    EXPECT_NE(std::string::npos, errors.find("Depth=deep is not quick, normal or thorough; using normal")) << errors;
    EXPECT_EQ(0, settings.ku.count);
    EXPECT_EQ(dvb::Depth::kNormal, settings.depth);
    EXPECT_EQ(dvb::Strategy::kSweep, settings.strategy);
    EXPECT_EQ(0u, settings.lock_timeout_ms);
    setenv("LUMORATH_DVB_STRATEGY", "driver", 1);
    setenv("LUMORATH_DVB_SYMBOL_RATES", "45000", 1);
    setenv("LUMORATH_DVB_READ_TABLES", "1", 1);
    setenv("LUMORATH_DVB_DEPTH", "Thorough", 1);
    dvb::ReadDvbSettings(ini.c_str(), &settings);
    unsetenv("LUMORATH_DVB_READ_TABLES");
    EXPECT_EQ(dvb::ReadTables::kAlways, settings.read_tables);
    unsetenv("LUMORATH_DVB_STRATEGY");
    unsetenv("LUMORATH_DVB_SYMBOL_RATES");
    unsetenv("LUMORATH_DVB_DEPTH");
    EXPECT_EQ(dvb::Strategy::kDriver, settings.strategy);
    EXPECT_EQ(dvb::Depth::kThorough, settings.depth);
    ASSERT_EQ(1, settings.ku.count);
    EXPECT_EQ(45000u, settings.ku.rates_ks[0]);
}

// The candidates by depth and capture: a rate serving two common ones at the edge of a
// +-5 % capture (28753 for 27500 and 30000) only where the driver is known to capture that
// wide; each depth takes more of the same list; the user's own list and the scan's least
// rate; the system tried first where DVB-S and DVB-S2 are tuned apart.
TEST(DvbLibrary, CandidateRatesByDepthCaptureAndBand) {
    struct Row {
        const char *name;
        dvb::RateCapture capture;
        dvb::Depth depth;
        std::uint32_t frequency_khz, min_symbol_rate;
        const char *own_ku;
        std::vector<std::uint32_t> first_rates_ks;
        std::vector<bool> first_dvbs2;
    };
    const Row rows[] = {
        {"known +-5 %, quick", dvb::RateCapture::kFivePercent, dvb::Depth::kQuick, 11000000, 1000000, "", {28753, 20987, 23362}, {}},
        {"capture not known, quick", dvb::RateCapture::kUnknown, dvb::Depth::kQuick, 11000000, 1000000, "", {27500, 30000, 22500},
         {false, true, false}},
        {"C band", dvb::RateCapture::kUnknown, dvb::Depth::kQuick, 3800000, 1000000, "", {30000, 27500}, {}},
        {"least rate 25000", dvb::RateCapture::kUnknown, dvb::Depth::kQuick, 11000000, 25000000, "", {27500, 30000}, {}},
        {"own list", dvb::RateCapture::kUnknown, dvb::Depth::kThorough, 11000000, 1000000, "30000, 2222", {30000, 2222},
         {true, false}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        dvb::FrontendEntry entry{};
        entry.capture = row.capture;
        entry.symbol_rate_min = 1000000;
        entry.symbol_rate_max = 45000000;
        dvb::DvbSettings settings;
        dvb::ReadDvbSettings("", &settings);
        if (row.own_ku[0] != '\0') {
            ASSERT_TRUE(dvb::ParseSymbolRates(row.own_ku, &settings.ku));
        }
        dvb::CandidatePlan plan;
        dvb::PlanCandidates(entry, settings, row.depth, row.frequency_khz, row.min_symbol_rate, &plan);
        ASSERT_EQ(row.first_rates_ks.size(), static_cast<std::size_t>(plan.count));
        for (std::size_t i = 0; i < row.first_rates_ks.size(); ++i) {
            EXPECT_EQ(row.first_rates_ks[i] * 1000, plan.items[i].symbol_rate) << i;
            if (i < row.first_dvbs2.size()) {
                EXPECT_EQ(row.first_dvbs2[i], plan.items[i].dvbs2_first) << i;
            }
        }
    }
    // Each depth tries the one before it and more.
    for (const dvb::RateCapture capture : {dvb::RateCapture::kFivePercent, dvb::RateCapture::kUnknown}) {
        for (const std::uint32_t frequency_khz : {3800000u, 11000000u}) {
            dvb::FrontendEntry entry{};
            entry.capture = capture;
            dvb::DvbSettings settings;
            dvb::ReadDvbSettings("", &settings);
            dvb::CandidatePlan plans[3];
            for (int depth = 0; depth < 3; ++depth) {
                dvb::PlanCandidates(entry, settings, static_cast<dvb::Depth>(depth), frequency_khz, 0, &plans[depth]);
            }
            for (int depth = 1; depth < 3; ++depth) {
                ASSERT_GT(plans[depth].count, plans[depth - 1].count);
                for (int i = 0; i < plans[depth - 1].count; ++i) {
                    EXPECT_EQ(plans[depth - 1].items[i].symbol_rate, plans[depth].items[i].symbol_rate);
                }
            }
        }
    }
}

// A value the library cannot use as it stands is named on standard error, as it was written but
// with control characters replaced, and the default is used: a value cut at its buffer, a
// number too large or no number at all, and a device directory it cannot hold.
TEST(DvbLibrary, UnusableSettingsAreNamedNotCutOrWrapped) {
    const std::string long_rates = "27500" + std::string(600, ' ') + "22000";
    const struct {
        const char *name;
        std::string ini;
        const char *variable;
        std::string value;
        std::string error;
    } rows[] = {
        {"rates cut", "SymbolRates=" + long_rates, nullptr, "",
         ": SymbolRates is longer than 510 characters; using the measured list"},
        {"timeout too large", "LockTimeout=99999999999", nullptr, "",
         ": LockTimeout=99999999999 is not a number of 0..60000 ms"},
        {"timeout no number", "", "LUMORATH_DVB_LOCK_TIMEOUT", "abc",
         "LUMORATH_DVB_LOCK_TIMEOUT: LockTimeout=abc is not a number of 0..60000 ms"},
        {"tables neither on nor off", "ReadTables=yes", nullptr, "",
         ": ReadTables=yes is not a number of 0..1; reading them where the driver echoes"},
        {"control characters", "Strategy=\x1b]0;owned\x07", nullptr, "",
         ": Strategy=?]0;owned? is not auto, driver or sweep; using auto"},
        {"directory too long", "", "LUMORATH_DVB_DIR", "/" + std::string(300, 'd'),
         "LUMORATH_DVB_DIR is longer than 255 characters; no device is looked for"},
        {"directory with control characters", "", "LUMORATH_DVB_DIR", "/dev/dvb\r\x1b[2J",
         "LUMORATH_DVB_DIR=/dev/dvb??[2J holds control characters; no device is looked for"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::string ini = dir.Write("Lumorath.ini", "[DVB]\r\n" + row.ini + "\r\n");
        if (row.variable != nullptr) setenv(row.variable, row.value.c_str(), 1);
        dvb::DvbSettings settings;
        testing::internal::CaptureStderr();
        dvb::ReadDvbSettings(ini.c_str(), &settings);
        const std::string errors = testing::internal::GetCapturedStderr();
        if (row.variable != nullptr) unsetenv(row.variable);
        EXPECT_EQ(1, std::count(errors.begin(), errors.end(), '\n')) << errors;
        EXPECT_NE(std::string::npos, errors.find(row.error)) << errors;
        EXPECT_EQ(0, settings.ku.count) << "the measured list";
        EXPECT_EQ(0u, settings.lock_timeout_ms);
        EXPECT_EQ(dvb::Strategy::kAuto, settings.strategy);
        EXPECT_EQ(dvb::ReadTables::kWhereEchoed, settings.read_tables);
    }
}

TEST(DvbLibrary, DeviceNameTellsTheSearchAndTheStrategyCanBeForced) {
    struct Row {
        Personality personality;
        const char *strategy;
        const char *name;
    };
    const Row rows[] = {
        {Personality::kSweepEcho, "auto", "STV090x Multistandard (adapter0/frontend0, symbol-rate sweep, depth normal, tables read)"},
        {Personality::kBuiltinBlind, "auto", "STV0900 frontend (adapter0/frontend0, blind search in the driver)"},
        {Personality::kApartSystems, "auto",
         "Montage Technology M88DS3103 (adapter0/frontend0, symbol-rate sweep, DVB-S and DVB-S2 apart, depth normal, tables read)"},
        {Personality::kDriverBlind, "auto", "STiD135 blind-scan model (adapter0/frontend0, driver blind search)"},
        {Personality::kDriverBlind, "sweep", "STiD135 blind-scan model (adapter0/frontend0, symbol-rate sweep, depth normal, tables read)"},
        {Personality::kSweepEcho, "driver", "STV090x Multistandard (adapter0/frontend0, blind search in the driver)"},
    };
    static std::string listed;
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        model::InstallModel(row.personality, {}, OneSatellite({}));
        model::Model().frontends = 2;
        setenv("LUMORATH_DVB_DIR", "/model/dvb", 1);
        setenv("LUMORATH_DVB_STRATEGY", row.strategy, 1);
        dvb::UseDvbSettingsFile("/nonexistent/Lumorath.ini");
        dvb::ResetLibrary();
        listed.clear();
        EXPECT_NE(0, dvb::CheckForDVBEx([](int index, const char *name) {
            listed += std::to_string(index) + ": " + name + "\n";
        }));
        EXPECT_EQ(std::string("0: ") + row.name + "\n1: " + std::string(row.name).replace(std::string(row.name).find("frontend0"), 9, "frontend1") + "\n", listed);
        unsetenv("LUMORATH_DVB_STRATEGY");
        unsetenv("LUMORATH_DVB_DIR");
        model::RemoveModel();
    }
}

// A pass the program repeats (Loop) must find everything again: the library, which never
// sees the passes, takes a search at or below the last one as a new start. The cost of a
// sweep is said once, before its first search.
TEST(DvbLibrary, EveryPassOfALoopFindsEveryCarrier) {
    const std::vector<sim::Carrier> carriers = {MakeCarrier(11010000, 0, 27500000, 1, 1, 3),
                                                MakeCarrier(11041000, 0, 3333000, 2, 1, 3),
                                                MakeCarrier(11046000, 0, 3333000, 2, 1, 3)};
    const std::string scan = Interval(0, "H", 11000, 11060);
    for (Personality personality : kPersonalities) {
        SCOPED_TRACE(model::PersonalityName(personality));
        TempDir dir;
        model::InstallModel(personality, {}, OneSatellite(carriers));
        const ProgramRun once = ScanRun(dir, "", scan, false, "Depth=thorough\r\n");
        ASSERT_NE(std::string::npos, once.console.find("Total tranponders found = 3")) << once.console;
        // A pass polls the keys after each step and once after its interval: held at the
        // second pass's last poll, the run stops after two passes.
        long polls = 1;
        for (std::size_t at = once.console.find(" Mhz ... "); at != std::string::npos; at = once.console.find(" Mhz ... ", at + 1)) {
            ++polls;
        }
        model::InstallModel(personality, {}, OneSatellite(carriers));
        const ProgramRun twice = RunVesker(dir, "", "Loop=1\r\n" + scan, false, "Depth=thorough\r\n", nullptr,
                                           static_cast<int>(2 * polls));
        std::size_t passes = 0;
        for (std::size_t at = twice.console.find("Total tranponders found = 3"); at != std::string::npos;
             at = twice.console.find("Total tranponders found = 3", at + 1)) {
            ++passes;
        }
        EXPECT_EQ(2u, passes) << twice.console;
        EXPECT_NE(std::string::npos, twice.console.find("---------- Pass 2 ----------")) << twice.console;
        std::size_t estimates = 0;
        for (std::size_t at = twice.errors.find(", swept at depth thorough ("); at != std::string::npos;
             at = twice.errors.find(", swept at depth", at + 1)) {
            ++estimates;
        }
        EXPECT_EQ(Blind(personality) ? 0u : 1u, estimates) << twice.errors;
        model::RemoveModel();
    }
}

// Where the driver reads a level before a lock, an empty stretch of band costs a level
// reading a step or less, not every candidate rate.
TEST(DvbLibrary, AStepWithoutEnergyCostsOneLevelReading) {
    // The wide carrier shows the level with a carrier in the window, against which the floor stands out.
    const std::vector<sim::Carrier> carriers = {MakeCarrier(10721000, 0, 27500000, 1, 1, 3)};
    struct Row {
        Personality personality;
        int most_tunes_per_step;
    };
    const Row rows[] = {{Personality::kSweepEcho, 3}, {Personality::kApartSystems, 1000}};
    for (const Row &row : rows) {
        SCOPED_TRACE(model::PersonalityName(row.personality));
        TempDir dir;
        model::InstallModel(row.personality, {}, OneSatellite(carriers));
        const ProgramRun run = ScanRun(dir, "", Interval(0, "H", 10700, 11400), false, "Depth=thorough\r\n");
        EXPECT_NE(std::string::npos, run.console.find("Total tranponders found = 1")) << run.console;
        long steps = 0;
        for (std::size_t at = run.console.find(" Mhz ... "); at != std::string::npos; at = run.console.find(" Mhz ... ", at + 1)) {
            ++steps;
        }
        EXPECT_LE(model::Model().tunes, steps * row.most_tunes_per_step);
        if (row.personality == Personality::kApartSystems) {
            EXPECT_GT(model::Model().tunes, steps * 20) << "no level, every rate";
        }
        model::RemoveModel();
    }
}

// The published tables of three satellites (Eutelsat 16A: feeds and DTH; Turksat 42E: narrow
// carriers in clusters; Hotbird 13E: DTH), the sky each can hold: every record is a carrier a
// search locked, none twice, near its own frequency, and each search finds the share it
// promises (the figures themselves: build/tests/dvb_benchmark).
TEST(DvbLibrary, RealSatellitesEveryRecordALockedCarrier) {
    struct Row {
        Personality personality;
        const char *depth;
        int least_percent;
    };
    const Row rows[] = {{Personality::kDriverBlind, "normal", 98},
                        {Personality::kBuiltinBlind, "normal", 94},
                        {Personality::kSweepEcho, "thorough", 85},
                        {Personality::kApartSystems, "thorough", 85},
                        // Rows of carriers of nearly the same rate (Turksat: 2155, 2222 and
                        // 2177 kS/s, 3 and 5 MHz apart) on a driver that measures the rate.
                        {Personality::kApartSystems, "normal", 60}};
    for (const char *name : {"Eutelsat-16A-16.0E", "Turksat-42.0E", "Hotbird-13.0E"}) {
        const std::string file = std::string("/usr/share/dvb/dvb-s/") + name;
        sim::Scenario table;
        sim::ScenarioError error;
        if (!sim::ReadScenarioFile(file, &table, &error)) GTEST_SKIP() << file << " not installed (dtv-scan-tables)";
        const sim::Scenario sky = model::ConsistentSky(table);
        for (const Row &row : rows) {
            SCOPED_TRACE(std::string(name) + ", " + model::PersonalityName(row.personality) + ", " + row.depth);
            const model::Score score = model::ScanKuBand(row.personality, sky, row.depth);
            EXPECT_GE(score.found * 100, score.sky * row.least_percent) << score.found << " of " << score.sky;
            EXPECT_EQ(0, score.false_records);
            EXPECT_LE(score.wide_mean_khz, 300.0);
            EXPECT_LE(score.narrow_mean, 0.1) << "in symbol rates";
            model::RemoveModel();
        }
    }
}

}  // namespace
