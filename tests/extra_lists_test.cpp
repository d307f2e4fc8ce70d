// The further lists of a pass: a DVBv5 channel file, a VDR channels.conf, CSV and JSON, in
// golden files for a band that walks the corners of their tables, and the choice of lists.
#include "report/extra_lists.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/fake_platform.h"
#include "support/scripted_tuner.h"

namespace {

// DVB-S; DVB-S2 with two input streams, 1/4 and roll-off 0.15 (no DVBv5 name for either); a
// carrier of a system the tuner did not name, with an SNR that is not a number; DVB-Turbo on
// circular right.
std::vector<TransponderRecord> MixedBand() {
    std::vector<TransponderRecord> band = {Carrier(10744250, 0, 21999000), Carrier(11495000, 1, 30000000, 2, 3, 10),
                                           Carrier(11996000, 0, 7200000, 0, 0, 0), Carrier(12300000, 3, 10005000, 4, 7, 3)};
    band[1].rolloff = 4;
    band[1].pilot = 2;
    band[1].stream_count = 2;
    band[1].stream_ids[0] = 1;
    band[1].stream_ids[1] = 5;
    band[2].snr = std::nan("");
    return band;
}

// A pass stopped in its second interval.
PassCoverage StoppedCoverage() {
    PassCoverage coverage{};
    coverage.intervals[0] = {0, 10700, 12750, 5, 1000, 100000, 12745000};
    coverage.intervals[1] = {1, 10700, 12750, 5, 1000, 100000, 11500000};
    coverage.count = coverage.begun = 2;
    return coverage;
}

TEST(ExtraListsTest, MixedBandInEveryForm) {
    InstallFakePlatform();
    TempDir dir;
    const std::vector<TransponderRecord> band = MixedBand();
    const PassCoverage coverage = StoppedCoverage();
    // A name with what each form must escape: quotes, ';' and ':' (VDR), a comma (CSV), UTF-8.
    const ExtraListPass pass{"Sat \"A\"; x:y, \xce\xa9mega", 3550, 2, 95.25, true, &coverage};
    for (const ExtraListForm &form : kExtraLists) {
        SCOPED_TRACE(form.name);
        const std::string file = dir.File(std::string("list.") + form.extension);
        ASSERT_EQ(0, WriteExtraList(form.bit, file.c_str(), band.data(), static_cast<std::uint32_t>(band.size()), pass));
        ExpectGolden(std::string("extra_mixed.") + form.extension, ReadFileBytes(file));
    }
    EXPECT_EQ(-1, WriteExtraList(1, dir.File("none").c_str(), band.data(), 0, pass));
    EXPECT_EQ(-2, WriteExtraList(1, dir.File("missing/list").c_str(), band.data(), 1, pass));
    RestoreSystemPlatform();
}

TEST(ExtraListsTest, ChoiceOfLists) {
    struct Row {
        const char *text;
        unsigned mask;
        const char *unknown;
    };
    const Row rows[] = {
        {"", 0, ""},
        {"dvbv5,vdr,csv,json", 0xF, ""},
        {" JSON , Csv ", 0xC, ""},
        {"all", 0xF, ""},
        {"dvbv5 vdr,,xml", 0x3, "xml"},
        {"channels.conf,vdr", 0x2, "channels.conf"},
    };
    for (const Row &row : rows) {
        char unknown[32];
        EXPECT_EQ(row.mask, ParseExtraLists(row.text, unknown, sizeof unknown)) << row.text;
        EXPECT_STREQ(row.unknown, unknown) << row.text;
    }
}

}  // namespace
