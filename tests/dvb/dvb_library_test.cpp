// The DVB tuner library over a model frontend: whole runs of the program for each driver
// personality and LNB, the satellite-equipment sequences with their pauses, the record each
// personality yields, faults, and a real satellite's carriers as the scenario.
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

#include "driver/exit_codes.h"
#include "driver/startup.h"
#include "dvb/model_frontend.h"
#include "record/dvb_standard.h"
#include "library.h"
#include "scenario.h"
#include "settings.h"
#include "support/fake_platform.h"
#include "tuner/tuner_library.h"

using model::LnbKind;
using model::Personality;

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

// Every locked record the library handed to the program, in order.
std::vector<TransponderRecord> g_locked;

int RecordingVesker(unsigned frequency_khz, unsigned step_khz, unsigned polarization, unsigned lof1_khz,
                    unsigned lof2_khz, unsigned lofsw_khz, unsigned min_symbol_rate, TransponderRecord *record) {
    const int result = dvb::Vesker(frequency_khz, step_khz, polarization, lof1_khz, lof2_khz, lofsw_khz,
                                   min_symbol_rate, record);
    if (result != 0 && record->locked != 0) g_locked.push_back(*record);
    return result;
}

bool BindDvbLibrary(const char *, TunerLibrary *table) {
    *table = TunerLibrary{dvb::CheckForDVBEx, dvb::StartDVBEx, dvb::StopDVB,  dvb::GetCaps,
                          dvb::SendDiSEqC,    dvb::SendDiseqCmd, RecordingVesker};
    return true;
}

struct ProgramRun {
    int exit_code;
    std::string console;
    std::string errors;  // the library's standard error
};

// The program over the library and the installed model, with `satinfo` and `scans` as the
// configuration and the library's settings file in the same directory. Device 0 is
// configured, or typed at the prompt after the device list when `prompt` is set.
ProgramRun RunVesker(const TempDir &dir, const std::string &satinfo, const std::string &scans, bool prompt = false) {
    dir.Write("Lumorath.ini", "[DVB]\r\n");
    dvb::UseDvbSettingsFile(dir.File("Lumorath.ini").c_str());
    const std::string config = dir.Write("scan.ini", "[SatInfo]\r\n" + satinfo + "[Options]\r\n" + (prompt ? "" : "Device=0\r\n") + "ReportDir=" +
                                                        dir.path().string() + "\r\nTPDir=" + dir.path().string() +
                                                        "\r\n" + scans);
    setenv("LUMORATH_DVB_DIR", model::Model().dvb_dir.c_str(), 1);
    InstallFakePlatform();
    if (prompt) Fake().typed.push_back(0);
    g_locked.clear();
    dvb::ResetLibrary();
    const char *argv[] = {"vesker", config.c_str(), nullptr};
    testing::internal::CaptureStderr();
    const int exit_code = VeskerMain(2, argv, BindDvbLibrary);
    ProgramRun run{exit_code, Fake().console, testing::internal::GetCapturedStderr()};
    RestoreSystemPlatform();
    unsetenv("LUMORATH_DVB_DIR");
    return run;
}

std::string Interval(int index, const char *pol, std::uint32_t start_mhz, std::uint32_t stop_mhz) {
    char text[160];
    std::snprintf(text, sizeof text, "[Scan%d]\r\nPol=%s\r\nStart=%u\r\nStop=%u\r\nStep=5\r\n", index, pol, start_mhz,
                  stop_mhz);
    return text;
}

// The carriers the program accepted, from its console: one line per new carrier.
struct Accepted {
    double frequency_mhz;
    unsigned symbol_rate_ks;
    int polarization;
};
std::vector<Accepted> AcceptedCarriers(const std::string &console) {
    static const char *const kNames[] = {"Horizontal", "Vertical", "Left", "Right"};
    std::vector<Accepted> accepted;
    int polarization = -1;
    std::size_t start = 0;
    while (start < console.size()) {
        std::size_t end = console.find('\n', start);
        if (end == std::string::npos) end = console.size();
        const std::string line = console.substr(start, end - start);
        start = end + 1;
        if (line.rfind("From ", 0) == 0) {
            for (int p = 0; p < 4; ++p) {
                if (line.find(std::string(", ") + kNames[p] + ",") != std::string::npos) polarization = p;
            }
            continue;
        }
        const std::size_t at = line.find(" Mhz ... ");
        Accepted carrier{0.0, 0, polarization};
        if (at != std::string::npos &&
            std::sscanf(line.c_str() + at + 9, "%lf Mhz, %u KS", &carrier.frequency_mhz, &carrier.symbol_rate_ks) == 2) {
            accepted.push_back(carrier);
        }
    }
    return accepted;
}

// Whether a sweep over the default candidates captures this rate (within 5 % of one of them).
bool SweepCovers(const sim::Carrier &carrier) {
    dvb::DvbSettings settings;
    unsetenv("LUMORATH_DVB_SYMBOL_RATES");
    dvb::ReadDvbSettings("", &settings);
    const dvb::CandidateList &list = carrier.frequency_khz < dvb::kCBandTopKhz ? settings.c_band : settings.ku;
    for (int i = 0; i < list.count; ++i) {
        const double ratio = carrier.symbol_rate / (list.rates_ks[i] * 1000.0);
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
            const ProgramRun run = RunVesker(dir, lnb.satinfo,
                                      Interval(0, lnb.pols[0], lnb.start_mhz, lnb.stop_mhz) +
                                          Interval(1, lnb.pols[1], lnb.start_mhz, lnb.stop_mhz));
            EXPECT_EQ(kExitOk, run.exit_code) << run.console << run.errors;
            EXPECT_EQ("", run.errors);
            const std::vector<Accepted> accepted = AcceptedCarriers(run.console);
            // The echoing drivers report the tuned frequency: within their capture range of the carrier.
            const double tolerance_mhz = ReportsFrequency(personality) ? 0.0005 : 5.0;
            std::size_t expected = 0;
            for (const sim::Carrier &carrier : lnb.carriers) {
                if (!Blind(personality) && !SweepCovers(carrier)) continue;
                ++expected;
                const auto matches = std::count_if(accepted.begin(), accepted.end(), [&](const Accepted &a) {
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
    const ProgramRun run = RunVesker(dir, "", Interval(0, "H", 11030, 11070));
    EXPECT_NE(std::string::npos, run.console.find("Total tranponders found = 1")) << run.console;
    model::RemoveModel();
}

// One carrier through a C-band LNB (an inverting oscillator): what each personality lets the
// record know, and what it leaves unknown.
TEST(DvbLibrary, RecordHoldsWhatTheDriverReportsAndNoMore) {
    const sim::Carrier carrier = MakeCarrier(3845000, 1, 27500000, 2, 2, 3);  // DVB-S2 8PSK 3/4, roll-off 0.20, pilots
    struct Row {
        Personality personality;
        bool frequency_exact;  // else the tuned frequency
        int system, modulation, fec, inversion, rolloff, pilot;
        bool snr_known;
    };
    const Row rows[] = {
        {Personality::kSweepEcho, false, 0, 0, 0, 0, 0, 0, false},
        {Personality::kBuiltinBlind, true, 0, 0, 0, 0, 0, 0, false},
        {Personality::kApartSystems, false, 2, 2, 3, 1, 3, 2, true},
        {Personality::kDriverBlind, true, 2, 2, 3, 1, 3, 2, true},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(model::PersonalityName(row.personality));
        TempDir dir;
        model::InstallModel(row.personality, {LnbKind::kSingle, 5150000, 0}, OneSatellite({carrier}));
        const ProgramRun run = RunVesker(dir, "LOF=5150\r\n", Interval(0, "V", 3830, 3860));
        ASSERT_EQ(1u, g_locked.size()) << run.console << run.errors;
        const TransponderRecord &record = g_locked[0];
        if (row.frequency_exact) {
            EXPECT_EQ(3845000u, record.frequency);
        } else {
            EXPECT_LE(std::abs(static_cast<int>(record.frequency) - 3845000), 5000);
        }
        EXPECT_EQ(27500000u, record.symbol_rate);
        EXPECT_EQ(1, record.polarization);
        EXPECT_EQ(row.system, record.system);
        EXPECT_EQ(row.modulation, record.modulation);
        EXPECT_EQ(row.fec, record.fec);
        EXPECT_EQ(row.inversion, record.inversion) << "the LNB's inversion undone";
        EXPECT_EQ(row.rolloff, record.rolloff);
        EXPECT_EQ(row.pilot, record.pilot);
        EXPECT_EQ(row.personality == Personality::kDriverBlind ? 0 : -1, record.frame_length);
        EXPECT_EQ(row.snr_known ? 12.0 : 0.0, record.snr);
        EXPECT_EQ(-45, record.rf_level);
        EXPECT_EQ(row.rolloff == 3 ? 33000u : 37125u, record.carrier_width);
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
    const ProgramRun run = RunVesker(dir, "", Interval(0, "H", 11290, 11310));
    ASSERT_EQ(1u, g_locked.size()) << run.console << run.errors;
    const TransponderRecord &record = g_locked[0];
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
        const ProgramRun run = RunVesker(dir, "DiSEqC=2\r\n", Interval(0, "H", 11690, 11710));
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
        RunVesker(dir, "", Interval(0, "H", 11690, 11710) + Interval(1, "V", 11690, 11710));
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
        {"frontend gone mid-scan", [](model::ModelFrontend &m) { m.vanish_at_tune = 40; }, kExitSearchFailed,
         "error !", "Lumorath DVB: /model/dvb/adapter0/frontend0 has gone (reading the lock status failed: No such device)"},
        {"tuning refused by the driver",
         [](model::ModelFrontend &m) {
             m.fail_request = FE_SET_PROPERTY;
             m.fail_errno = EIO;
             m.fail_after = 40;
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
        const ProgramRun run = RunVesker(dir, "", Interval(0, "H", 10700, 11400), prompt);
        EXPECT_EQ(row.exit_code, run.exit_code) << run.console;
        EXPECT_NE(std::string::npos, run.console.find(row.console)) << run.console;
        EXPECT_NE(std::string::npos, run.errors.find(row.error)) << run.errors;
        EXPECT_EQ(1, std::count(run.errors.begin(), run.errors.end(), '\n')) << run.errors;
        if (row.exit_code == kExitSearchFailed) {
            EXPECT_NE(std::string::npos, run.console.find("10755.000 Mhz")) << "what was found before is kept\n" << run.console;
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
    // The example settings file reads without a word and gives the defaults.
    dvb::DvbSettings example;
    testing::internal::CaptureStderr();
    dvb::ReadDvbSettings(VESKER_SOURCE_DIR "/examples/Lumorath.ini", &example);
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    EXPECT_EQ(3, example.ku.count);
    EXPECT_EQ(10, example.c_band.count);
    EXPECT_EQ(dvb::Strategy::kAuto, example.strategy);
    // A bad value names itself on standard error and leaves the default; the environment wins over the file.
    TempDir dir;
    const std::string ini = dir.Write("Lumorath.ini", "[DVB]\r\nSymbolRates=fast\r\nStrategy=Sweep\r\nLockTimeout=-3\r\n");
    dvb::DvbSettings settings;
    testing::internal::CaptureStderr();
    dvb::ReadDvbSettings(ini.c_str(), &settings);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(2, std::count(errors.begin(), errors.end(), '\n')) << errors;
    EXPECT_NE(std::string::npos, errors.find("SymbolRates=fast is not a list")) << errors;
    EXPECT_EQ(3, settings.ku.count);
    EXPECT_EQ(dvb::Strategy::kSweep, settings.strategy);
    EXPECT_EQ(0u, settings.lock_timeout_ms);
    setenv("LUMORATH_DVB_STRATEGY", "driver", 1);
    setenv("LUMORATH_DVB_SYMBOL_RATES", "45000", 1);
    dvb::ReadDvbSettings(ini.c_str(), &settings);
    unsetenv("LUMORATH_DVB_STRATEGY");
    unsetenv("LUMORATH_DVB_SYMBOL_RATES");
    EXPECT_EQ(dvb::Strategy::kDriver, settings.strategy);
    ASSERT_EQ(1, settings.ku.count);
    EXPECT_EQ(45000u, settings.ku.rates_ks[0]);
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
         ": SymbolRates is longer than 510 characters; using the default list"},
        {"timeout too large", "LockTimeout=99999999999", nullptr, "",
         ": LockTimeout=99999999999 is not a number of 0..60000 ms"},
        {"timeout no number", "", "LUMORATH_DVB_LOCK_TIMEOUT", "abc",
         "LUMORATH_DVB_LOCK_TIMEOUT: LockTimeout=abc is not a number of 0..60000 ms"},
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
        EXPECT_EQ(3, settings.ku.count);
        EXPECT_EQ(0u, settings.lock_timeout_ms);
        EXPECT_EQ(dvb::Strategy::kAuto, settings.strategy);
    }
}

TEST(DvbLibrary, DeviceNameTellsTheSearchAndTheStrategyCanBeForced) {
    struct Row {
        Personality personality;
        const char *strategy;
        const char *name;
    };
    const Row rows[] = {
        {Personality::kSweepEcho, "auto", "STV090x Multistandard (adapter0/frontend0, symbol-rate sweep)"},
        {Personality::kBuiltinBlind, "auto", "STV0900 frontend (adapter0/frontend0, blind search in the driver)"},
        {Personality::kApartSystems, "auto",
         "Montage Technology M88DS3103 (adapter0/frontend0, symbol-rate sweep, DVB-S and DVB-S2 apart)"},
        {Personality::kDriverBlind, "auto", "STiD135 blind-scan model (adapter0/frontend0, driver blind search)"},
        {Personality::kDriverBlind, "sweep", "STiD135 blind-scan model (adapter0/frontend0, symbol-rate sweep)"},
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

// A real satellite's published transponder table as the sky (Eutelsat 16A: 141 Ku carriers,
// many of them narrow and closely packed): the share of its carriers each personality finds
// with the default settings in a full Ku scan (both polarizations, 5 MHz steps), and the
// modelled time of that scan.
TEST(DvbLibrary, RealSatelliteShareAndScanTime) {
    const char *file = "/usr/share/dvb/dvb-s/Eutelsat-16A-16.0E";
    sim::Scenario scenario;
    sim::ScenarioError error;
    if (!sim::ReadScenarioFile(file, &scenario, &error)) GTEST_SKIP() << file << " not installed (dtv-scan-tables)";
    std::printf("%-36s %9s %9s %12s\n", "personality", "carriers", "found", "scan time");
    for (Personality personality : kPersonalities) {
        TempDir dir;
        model::InstallModel(personality, {}, scenario);
        const ProgramRun run = RunVesker(dir, "", Interval(0, "H", 10700, 12750) + Interval(1, "V", 10700, 12750));
        EXPECT_EQ(kExitOk, run.exit_code) << run.errors;
        const std::vector<Accepted> accepted = AcceptedCarriers(run.console);
        std::size_t carriers = 0, found = 0;
        for (const sim::Carrier &carrier : model::Model().scenario.satellites[0].carriers) {
            if (carrier.frequency_khz < 10700000 || carrier.frequency_khz > 12750000) continue;
            ++carriers;
            const double tolerance_mhz = ReportsFrequency(personality) ? 0.0005 : 5.0;
            const bool hit = std::any_of(accepted.begin(), accepted.end(), [&](const Accepted &a) {
                return (a.polarization == 0 || a.polarization == 2) == (carrier.polarization == 0 || carrier.polarization == 2) &&
                       std::fabs(a.frequency_mhz - carrier.frequency_khz / 1000.0) <= tolerance_mhz;
            });
            found += hit ? 1 : 0;
        }
        const double minutes = model::Model().now_ms / 60000.0;
        std::printf("%-36s %9zu %9zu %9.1f min\n", model::PersonalityName(personality), carriers, found, minutes);
        ASSERT_GT(carriers, 50u);
        // Floors under the figures seen (blind about 80 %, the default sweep about 30 %): carriers
        // packed closer than the step, and rates no candidate covers, stay unfound.
        EXPECT_GE(found * 100, carriers * (Blind(personality) ? 70 : 25));
        model::RemoveModel();
    }
}

}  // namespace
