#include "report/band_map.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "support/fake_platform.h"
#include "support/scripted_tuner.h"

namespace {

TransponderRecord Carrier(std::uint32_t frequency_khz, std::int32_t polarization, std::uint32_t symbol_rate,
                          std::int32_t system, std::int32_t modulation, std::int32_t fec, double snr_db) {
    TransponderRecord r{};
    r.locked = 1;
    r.frequency = frequency_khz;
    r.polarization = polarization;
    r.symbol_rate = symbol_rate;
    r.system = system;
    r.modulation = modulation;
    r.fec = fec;
    r.rolloff = 1;
    r.snr = snr_db;
    r.carrier_width = symbol_rate / 1000u * 135u / 100u;
    return r;
}

// A band that walks the corners of the picture: every lane, each margin class, a carrier
// cut at each edge of the window, one too narrow to draw to scale, neighbours too close for
// both labels, a carrier not locked and a name with XML's special characters.
std::vector<TransponderRecord> MixedBand() {
    std::vector<TransponderRecord> band = {
        Carrier(10705000, 0, 27500000, 1, 1, 3, 9.0),     // cut at the left edge, DVB-S 3/4: margin 3.5
        Carrier(10900000, 1, 1000000, 2, 5, 1, 0.9),      // 1 MS/s QPSK 1/2: margin -0.1
        Carrier(10903000, 1, 27500000, 2, 2, 3, 8.0),     // 8PSK 3/4 beside it: margin 0.1
        Carrier(11200000, 2, 30000000, 2, 3, 4, 25.0),    // circular left, above full scale
        Carrier(11500000, 3, 22000000, 1, 1, 5, -1.5),    // circular right, SNR below 0
        Carrier(12000000, 7, 20000000, 9, 9, 2, 5.0),     // an unknown polarization and system
        Carrier(12748000, 0, 30000000, 2, 4, 3, 14.6),    // cut at the right edge, 32APSK 3/4: margin 1.87
    };
    band[2].locked = 0;
    return band;
}

const PassCoverage &StoppedCoverage() {
    static PassCoverage coverage{};
    coverage.intervals[0] = {0, 10700, 12750, 5, 1000, 100000, 12745000};
    coverage.intervals[1] = {1, 10700, 12750, 5, 1000, 100000, 11400000};
    coverage.count = coverage.begun = 2;
    return coverage;
}

class BandMapTest : public ::testing::Test {
protected:
    void SetUp() override { InstallFakePlatform(); }
    void TearDown() override { RestoreSystemPlatform(); }

    std::string Draw(const std::vector<TransponderRecord> &records, BandMapPass pass) {
        const std::string path = dir_.File("map.svg");
        EXPECT_EQ(0, WriteBandMap(path.c_str(), records.data(), static_cast<std::uint32_t>(records.size()), pass));
        return ReadFileBytes(path);
    }

    TempDir dir_;
};

// The worked example and the mixed band, byte for byte, and well-formed XML where xmllint
// is at hand.
TEST_F(BandMapTest, GoldenPictures) {
    const struct {
        const char *golden;
        std::vector<TransponderRecord> records;
        BandMapPass pass;
    } rows[] = {
        {"band_map_example.svg", {WorkedExampleRecord()}, {"Testsat", 192, 1, 10700, 12750}},
        {"band_map_mixed.svg", MixedBand(), {"Sat & <\"Test\">", 3550, 3, 10700, 12750}},
        {"band_map_no_window.svg", MixedBand(), {"Testsat", 130, 1, 0, 0}},
        // Stopped in its second interval (vertical): the band switch marked, the rest of the
        // vertical lane and the circular lanes, which no interval scanned, greyed.
        {"band_map_stopped.svg", MixedBand(), {"Testsat", 192, 2, 10700, 12750, 11700, &StoppedCoverage(), true}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.golden);
        const std::string bytes = Draw(row.records, row.pass);
        ExpectGolden(row.golden, bytes);
        for (std::size_t at = bytes.find('\n'); at != std::string::npos; at = bytes.find('\n', at + 1)) {
            ASSERT_TRUE(at > 0 && bytes[at - 1] == '\r') << "every line ends in CR LF";
        }
        if (std::system("xmllint --version >/dev/null 2>&1") == 0) {
            EXPECT_EQ(0, std::system(("xmllint --noout " + dir_.File("map.svg")).c_str()));
        }
    }
}

TEST_F(BandMapTest, MarginClassesAsTheReportShowsTheMargin) {
    // DVB-S 3/4 needs 5.46 dB; the class follows the margin rounded to one decimal.
    const struct {
        double snr_db;
        MarginClass expected;
    } rows[] = {
        {5.36, kMarginShort}, {5.40, kMarginShort}, {5.42, kMarginTight}, {5.46, kMarginTight},
        {7.40, kMarginTight}, {7.42, kMarginGood},  {7.46, kMarginGood},  {20.0, kMarginGood},
        {1e300, kMarginGood}, {-1e300, kMarginShort}, {std::nan(""), kMarginUnknown},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.snr_db);
        EXPECT_EQ(row.expected, MarginClassOf(Carrier(11000000, 0, 27500000, 1, 1, 3, row.snr_db)));
    }
    // No model for the system, or no required C/N for the modulation and code rate: grey.
    EXPECT_EQ(kMarginUnknown, MarginClassOf(Carrier(11000000, 0, 27500000, 6, 1, 3, 10.0)));
    EXPECT_EQ(kMarginUnknown, MarginClassOf(Carrier(11000000, 0, 27500000, 2, 2, 0, 10.0)));
}

// A full band of 2048 carriers: one bar and one title each, every bar inside the plot, and
// no two labels of a lane closer than their type.
TEST_F(BandMapTest, CrowdedBandStaysInsideAndReadable) {
    std::vector<TransponderRecord> band;
    for (std::uint32_t i = 0; i < 2048; ++i) {
        band.push_back(Carrier(10700000 + i * 1000, static_cast<std::int32_t>(i % 2), 1000000 + i * 7000, 1, 1, 3,
                               static_cast<double>(i % 23)));
    }
    const std::string bytes = Draw(band, {"Crowded", 192, 1, 10700, 12750});
    // One element a line: bars "<rect x= y= width= height= fill=...><title>", upright labels
    // "<text x= y= font-size="11" transform=...".
    std::size_t bars = 0;
    std::size_t labels = 0;
    std::size_t dots = 0;
    long last_x = 0;
    long last_y = 0;
    std::istringstream lines(bytes);
    for (std::string line; std::getline(lines, line);) {
        long x = 0, y = 0, width = 0, height = 0;
        if (std::sscanf(line.c_str(), "<rect x=\"%ld\" y=\"%ld\" width=\"%ld\" height=\"%ld\"", &x, &y, &width,
                        &height) == 4 &&
            line.find("<title>TP ") != std::string::npos) {
            EXPECT_GE(x, 90);
            EXPECT_LE(x + width, 1570);
            EXPECT_GE(width, 2);
            ++bars;
        } else if (std::sscanf(line.c_str(), "<text x=\"%ld\" y=\"%ld\" font-size=\"11\" transform", &x, &y) == 2 &&
                   line.find("transform") != std::string::npos) {
            if (y == last_y) {
                EXPECT_GE(x - last_x, 14) << "labels at " << last_x << " and " << x;
            }
            last_x = x;
            last_y = y;
            ++labels;
        } else if (line.rfind("<circle ", 0) == 0) {
            ++dots;
        }
    }
    EXPECT_EQ(2048u, labels + dots) << "every carrier has its label or a dot";
    EXPECT_EQ(2048u, bars);
    EXPECT_GT(labels, 100u);
    EXPECT_LT(labels, 2048u);
}

TEST_F(BandMapTest, MissingArgumentsAndUnwritableFiles) {
    const TransponderRecord record = WorkedExampleRecord();
    const BandMapPass pass{"Testsat", 192, 1, 10700, 12750};
    EXPECT_EQ(-1, WriteBandMap(nullptr, &record, 1, pass));
    EXPECT_EQ(-1, WriteBandMap(dir_.File("a.svg").c_str(), nullptr, 1, pass));
    EXPECT_EQ(-1, WriteBandMap(dir_.File("a.svg").c_str(), &record, 0, pass));
    EXPECT_EQ(-2, WriteBandMap(dir_.File("missing/a.svg").c_str(), &record, 1, pass));
    EXPECT_FALSE(std::filesystem::exists(dir_.File("a.svg")));
}

}  // namespace
