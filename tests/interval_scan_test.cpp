// Scanning one interval: progress lines, band switching, duplicates, acceptance, stop keys,
// failures and the bounds that keep every interval finite.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "dish/committed_switch.h"
#include "scan/interval_scan.h"
#include "support/fake_platform.h"
#include "support/scripted_tuner.h"

namespace {

const std::string kRule(80, '-');

std::string Footer(const char *seconds) { return kRule + "\nScan Time = " + seconds + "s\n" + kRule + "\n"; }

class IntervalScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallFakePlatform();
        ResetScriptedTuner();
        std::fill(std::begin(records_), std::end(records_), TransponderRecord{});
    }
    void TearDown() override { RestoreSystemPlatform(); }

    // A scan with the default LNB and thresholds; returns the result.
    int Scan(std::uint32_t start_mhz, std::uint32_t stop_mhz, std::uint32_t step_mhz, std::uint32_t polarization,
             std::uint32_t port = 0, std::uint32_t found = 0, double snr1 = -100, double snr2 = -100,
             std::uint32_t max_sr_ks = 100000) {
        return ScanInterval(start_mhz, found, records_, &stop_flag_, port, stop_mhz, step_mhz, 9750, 10600, 11700,
                            polarization, 1000, max_sr_ks, snr1, snr2, &accepted_before_failure_);
    }

    TransponderRecord records_[kMaxTransponders];
    int stop_flag_ = -7;
    std::uint32_t accepted_before_failure_ = 12345;
};

TEST_F(IntervalScanTest, EmptyIntervalSearchesEveryStepIncludingTheStop) {
    EXPECT_EQ(0, Scan(10700, 10720, 10, 0));
    EXPECT_EQ("From 10700 to 10720 Mhz, Step 10 Mhz, Horizontal, Minimal SR 1000 KS, Maximal SR 100000 KS\n"
              "10700 Mhz ... \n10710 Mhz ... \n10720 Mhz ... \n" + Footer("0.000"),
              Fake().console);
    EXPECT_EQ((std::vector<std::string>{"Vesker(10700000,10000,0,9750000,10600000,11700000,1000000)",
                                        "Vesker(10710000,10000,0,9750000,10600000,11700000,1000000)",
                                        "Vesker(10720000,10000,0,9750000,10600000,11700000,1000000)"}),
              Script().log);
    EXPECT_EQ(0, stop_flag_);
}

TEST_F(IntervalScanTest, NewCarrierLineTimesAndNextStepAboveItsUpperEdge) {
    TransponderRecord carrier = Carrier(10714000, 0, 27500000, 1, 1, 3, 8.0);
    carrier.carrier_width = 30000;
    Script().searches = {{1, carrier}};
    Fake().tick_ms = 250;  // every clock read moves on a quarter second
    EXPECT_EQ(1, Scan(10710, 10740, 10, 0));
    // Margin of DVB-S 3/4 at 8.0 dB is 2.54 dB; the step took one clock tick.
    EXPECT_EQ("From 10710 to 10740 Mhz, Step 10 Mhz, Horizontal, Minimal SR 1000 KS, Maximal SR 100000 KS\n"
              "10710 Mhz ... 10714.000 Mhz, 27500 KS, DVB-S/QPSK, 3/4, 8.0 (2.5) dB - time 0.250s\n"
              "10739 Mhz ... \n" + Footer("1.000"),
              Fake().console);
    EXPECT_EQ("Vesker(10739000,10000,0,9750000,10600000,11700000,1000000)", Script().log.back());
    EXPECT_EQ(10714000u, records_[0].frequency);
}

TEST_F(IntervalScanTest, DuplicatesWithinOneMegahertzOnTheSamePolarization) {
    struct Case {
        const char *name;
        unsigned frequency_khz;
        int polarization;
        bool is_new;
    };
    const std::vector<Case> cases = {
        {"999 kHz above", 11000999, 1, false}, {"999 kHz below", 10999001, 1, false},
        {"1000 kHz above", 11001000, 1, true}, {"1000 kHz below", 10999000, 1, true},
        {"same frequency other polarization", 11000000, 0, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        records_[0] = Carrier(11000000, 1, 27500000);
        TransponderRecord candidate = Carrier(c.frequency_khz, c.polarization, 22000000);
        Script().searches = {{1, candidate}};
        EXPECT_EQ(c.is_new ? 1 : 0, Scan(11000, 11000, 5, static_cast<std::uint32_t>(c.polarization), 0, 1));
        EXPECT_EQ(c.is_new, Fake().console.find("KS, DVB-S") != std::string::npos) << Fake().console;
    }
}

TEST_F(IntervalScanTest, AcceptanceBySymbolRateCeilingAndSignalToNoise) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char *name;
        int system;
        unsigned symbol_rate;
        double snr;
        double min_snr1;
        double min_snr2;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {"defaults accept", 1, 27500000, -99.0, -100, -100, true},
        {"rate equal to the ceiling", 1, 30000000, 5.0, -100, -100, true},
        {"rate above the ceiling", 1, 30000001, 5.0, -100, -100, false},
        {"DVB-S tie on MinSNR1", 1, 27500000, 7.0, 7, 20, true},
        {"DVB-S below MinSNR1", 1, 27500000, 6.9, 7, -100, false},
        {"DVB-S2 judged by MinSNR2", 2, 27500000, 7.0, 20, 7, true},
        {"DVB-S2 below MinSNR2", 2, 27500000, 6.9, -100, 7, false},
        {"DVB-Turbo judged by MinSNR1", 4, 27500000, 7.0, 8, -100, false},
        {"DSS judged by MinSNR1", 3, 27500000, 8.0, 8, 20, true},
        {"NaN ratio rejected", 1, 27500000, nan, -100, -100, false},
        {"infinite ratio accepted", 2, 27500000, std::numeric_limits<double>::infinity(), -100, -100, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        Script().searches = {{1, Carrier(11000000, 0, c.symbol_rate, c.system, 2, 3, c.snr)}};
        EXPECT_EQ(c.accepted ? 1 : 0, Scan(11000, 11000, 5, 0, 0, 0, c.min_snr1, c.min_snr2, 30000));
        // A rejected carrier still shows its result text.
        EXPECT_NE(std::string::npos, Fake().console.find("11000.000 Mhz,")) << Fake().console;
    }
}

TEST(CommittedSwitchByteTest, PortPolarizationAndBandBits) {
    struct Case {
        std::uint32_t port, polarization, band;
        unsigned expected;
    };
    const std::vector<Case> cases = {
        {1, 1, 0, 0xF0}, {2, 0, 0, 0xF6}, {2, 0, 1, 0xF7}, {3, 3, 1, 0xF9}, {4, 2, 1, 0xFF}, {4, 1, 0, 0xFC},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << "port " << c.port << " pol " << c.polarization << " band " << c.band);
        EXPECT_EQ(c.expected, CommittedSwitchByte(c.port, c.polarization, c.band));
    }
}

TEST_F(IntervalScanTest, BandChangeAtTheSwitchFrequencySendsTheSwitchByteAgain) {
    EXPECT_EQ(0, Scan(11690, 11710, 5, 0, 2));
    EXPECT_EQ((std::vector<std::string>{"SendDiSEqC(2,F6)", "SendDiSEqC(2,F7)"}), Script().Calls("SendDiSEqC"));
    EXPECT_EQ(5u, Script().Calls("GetCaps").size()) << "capabilities asked afresh at every step";
    // The high-band byte goes out at the first step at or above 11700 MHz.
    const auto &log = Script().log;
    auto high = std::find(log.begin(), log.end(), "SendDiSEqC(2,F7)");
    ASSERT_NE(log.end(), high);
    EXPECT_EQ("Vesker(11700000,5000,0,9750000,10600000,11700000,1000000)", *(high + 1));
}

TEST_F(IntervalScanTest, SwitchByteRulesWithoutPortCapabilityOrSuccess) {
    // No port: neither GetCaps nor SendDiSEqC.
    Scan(10700, 10710, 5, 0, 0);
    EXPECT_TRUE(Script().Calls("GetCaps").empty());
    EXPECT_TRUE(Script().Calls("SendDiSEqC").empty());

    SetUp();
    Scan(10700, 10710, 5, 0, 5);
    EXPECT_TRUE(Script().Calls("GetCaps").empty()) << "port 5 is no port";

    SetUp();
    Script().caps = LUMORATH_CAP_BLIND_SEARCH;  // no DiSEqC
    Scan(10700, 10710, 5, 0, 1);
    EXPECT_EQ(3u, Script().Calls("GetCaps").size());
    EXPECT_TRUE(Script().Calls("SendDiSEqC").empty());

    SetUp();
    Script().send_diseqc_results = {0};
    Scan(10700, 10705, 5, 1, 3);
    EXPECT_EQ((std::vector<std::string>{"SendDiSEqC(2,F8)"}), Script().Calls("SendDiSEqC")) << "no retry";
    EXPECT_NE(std::string::npos, Fake().console.find("10700 Mhz ... SendDiSEqC failed !\n\n10705 Mhz ... \n"))
        << Fake().console;
}

TEST_F(IntervalScanTest, StopKeysEndTheIntervalAfterTheCurrentStep) {
    Fake().stop_at_poll = 2;
    EXPECT_EQ(0, Scan(10700, 10720, 5, 0));
    EXPECT_EQ(1, stop_flag_);
    EXPECT_EQ(2, Script().search_calls);
    EXPECT_NE(std::string::npos,
              Fake().console.find("10705 Mhz ... \nTerminated on user request ...\n" + Footer("0.000")))
        << Fake().console;

    SetUp();
    Fake().left_control_only = true;  // Left-Ctrl alone does not stop
    EXPECT_EQ(0, Scan(10700, 10720, 5, 0));
    EXPECT_EQ(0, stop_flag_);
    EXPECT_EQ(5, Script().search_calls);
}

TEST_F(IntervalScanTest, FailedSearchReportsWhatWasAcceptedBefore) {
    Script().searches = {{1, Carrier(10700000, 0, 27500000)}, {0, TransponderRecord{}}};
    EXPECT_EQ(kScanSearchFailed, Scan(10700, 10800, 5, 0));
    EXPECT_EQ(1u, accepted_before_failure_);
    EXPECT_EQ(10700000u, records_[0].frequency) << "the accepted record stays in its slot";
    const std::string &console = Fake().console;
    EXPECT_EQ("error !", console.substr(console.size() - 7)) << "no footer after a failed search";
    EXPECT_EQ(0, stop_flag_);
}

TEST_F(IntervalScanTest, RejectedArgumentsPrintNothing) {
    EXPECT_EQ(kScanBadArguments, Scan(10700, 10800, 5, 4));
    EXPECT_EQ(kScanBadArguments, Scan(10700, 10800, 0, 0)) << "a step of 0 would never end";
    EXPECT_EQ(kScanBadArguments, ScanInterval(10700, 0, nullptr, &stop_flag_, 0, 10800, 5, 9750, 10600, 11700, 0,
                                              1000, 100000, -100, -100));
    EXPECT_EQ("", Fake().console);
    EXPECT_EQ(-7, stop_flag_);
    EXPECT_EQ(0, Script().search_calls);
}

TEST_F(IntervalScanTest, FullRecordArrayEndsTheIntervalWithoutWritingPastIt) {
    Script().band = [](unsigned frequency_khz, unsigned, unsigned, TransponderRecord *record) {
        *record = Carrier(frequency_khz, 0, 2000000);
        record->carrier_width = 0;
        return 1;
    };
    const int accepted = Scan(10700, 12750, 1, 0, 0, kMaxTransponders - 2);
    EXPECT_EQ(2, accepted);
    EXPECT_EQ(2, Script().search_calls) << "no search once the array is full";
    const std::string full = "Transponder table full (" + std::to_string(kMaxTransponders) + " transponders)";
    EXPECT_NE(std::string::npos, Fake().console.find(full)) << Fake().console;
    EXPECT_NE(std::string::npos, Fake().console.find("Scan Time = "));
}

TEST_F(IntervalScanTest, CarrierBelowTheStepStartCannotHoldTheScanInPlace) {
    Script().band = [](unsigned, unsigned, unsigned, TransponderRecord *record) {
        // Always the same carrier far below the step: new the first time, a duplicate after.
        *record = Carrier(10000000, 0, 27500000);
        return 1;
    };
    EXPECT_EQ(1, Scan(10700, 10720, 10, 0));
    EXPECT_EQ(3, Script().search_calls);
}

TEST_F(IntervalScanTest, StopFrequencyBeyondThirtyTwoBitsStillEnds) {
    Script().band = [](unsigned frequency_khz, unsigned, unsigned, TransponderRecord *record) {
        *record = Carrier(frequency_khz, 0, 2000000);
        record->carrier_width = 4000000000u;  // absurd width
        return 1;
    };
    EXPECT_EQ(1, Scan(4294000, 4294967, 10, 0));
    EXPECT_EQ(1, Script().search_calls);
}

}  // namespace
