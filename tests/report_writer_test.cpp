#include "report/report_writer.h"

#include "scan/interval_scan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "support/fake_platform.h"
#include "support/scripted_tuner.h"

namespace {


std::vector<TransponderRecord> SeveralRecords() {
    std::vector<TransponderRecord> records;

    // Not locked, DVB-S: no DVB-S2 lines although their fields hold values; unknown
    // roll-off and inversion.
    TransponderRecord dvbs = WorkedExampleRecord();
    dvbs.locked = 0;
    dvbs.frequency = 10744000;
    dvbs.polarization = 0;
    dvbs.symbol_rate = 22000000;
    dvbs.system = 1;
    dvbs.modulation = 1;
    dvbs.fec = 5;
    dvbs.rolloff = 0;
    dvbs.inversion = 0;
    dvbs.frame_length = 1;
    dvbs.stream_count = 3;
    dvbs.issy = 1;
    dvbs.npd = 1;
    dvbs.rf_level = -61;
    dvbs.snr = 5.0;
    dvbs.carrier_width = 29700;
    dvbs.bit_rate = 33790000;
    records.push_back(dvbs);

    // DVB-S2 multistream: streams 1 2 5, ISSY, NPD, short frames, generic stream, ACM.
    TransponderRecord multistream = WorkedExampleRecord();
    multistream.frequency = 11001500;
    multistream.polarization = 2;
    multistream.inversion = 2;
    multistream.modulation = 3;
    multistream.fec = 2;
    multistream.rolloff = 3;
    multistream.pilot = 1;
    multistream.coding_mode = 1;
    multistream.frame_length = 1;
    multistream.stream_type = 2;
    multistream.stream_count = 3;
    multistream.stream_ids[0] = 1;
    multistream.stream_ids[1] = 2;
    multistream.stream_ids[2] = 5;
    multistream.issy = 1;
    multistream.npd = 1;
    multistream.rf_level = 3;
    multistream.snr = 12.0;
    records.push_back(multistream);

    // A stream count beyond the record's 16 identifiers lists the 16 stored ones.
    TransponderRecord crowded = WorkedExampleRecord();
    crowded.frequency = 12699999;
    crowded.polarization = 3;
    crowded.symbol_rate = 999;
    crowded.rolloff = 6;
    crowded.pilot = 0;
    crowded.stream_type = 4;
    crowded.stream_count = 20;
    for (int i = 0; i < 16; ++i) crowded.stream_ids[i] = static_cast<std::uint8_t>(240 + i);
    crowded.snr = 7.0;
    records.push_back(crowded);

    // DVB-T: no margin model, 0.0 whatever the ratio.
    TransponderRecord terrestrial = WorkedExampleRecord();
    terrestrial.frequency = 11000000;
    terrestrial.system = 6;
    terrestrial.modulation = 20;
    terrestrial.snr = 23.45;
    terrestrial.carrier_width = 4294967;
    terrestrial.bit_rate = 4294967295u;
    records.push_back(terrestrial);
    return records;
}

bool Exists(const std::string &path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

}  // namespace

TEST(ReportWriter, WorkedExampleByteForByte) {
    TempDir dir;
    const std::string path = dir.File("report.txt");
    const TransponderRecord record = WorkedExampleRecord();
    ASSERT_EQ(WriteReport(path.c_str(), &record, 1, 12.5), 0);
    ExpectGolden("report_worked_example.txt", ReadFileBytes(path));
    EXPECT_FALSE(Exists(path + ".part"));
}

TEST(ReportWriter, SeveralRecordsByteForByte) {
    TempDir dir;
    const std::string path = dir.File("report.txt");
    const std::vector<TransponderRecord> records = SeveralRecords();
    ASSERT_EQ(WriteReport(path.c_str(), records.data(), static_cast<std::uint32_t>(records.size()), 95.25), 0);
    ExpectGolden("report_several.txt", ReadFileBytes(path));
}

TEST(ReportWriter, ScanTimeWithThreeDecimals) {
    struct Case {
        double scan_time_s;
        const char *last_line;
    };
    const Case cases[] = {
        {5.0, "Total Scan Time = 5.000s\r\n"},
        {95.25, "Total Scan Time = 95.250s\r\n"},
        {0.0, "Total Scan Time = 0.000s\r\n"},
        {1234.5678, "Total Scan Time = 1234.568s\r\n"},
    };
    TempDir dir;
    const std::string path = dir.File("report.txt");
    const TransponderRecord record = WorkedExampleRecord();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.last_line);
        ASSERT_EQ(WriteReport(path.c_str(), &record, 1, c.scan_time_s), 0);
        const std::string bytes = ReadFileBytes(path);
        const std::string expected = std::string("----------------------------------------\r\n") + c.last_line;
        ASSERT_GE(bytes.size(), expected.size());
        EXPECT_EQ(bytes.substr(bytes.size() - expected.size()), expected);
    }
}

TEST(ReportWriter, FullArrayOfRecords) {
    // The pass's whole array, far more than the writer's buffer holds at once.
    TempDir dir;
    const std::string path = dir.File("report.txt");
    std::vector<TransponderRecord> records(kMaxTransponders, WorkedExampleRecord());
    ASSERT_EQ(WriteReport(path.c_str(), records.data(), kMaxTransponders, 1.0), 0);
    const std::string bytes = ReadFileBytes(path);
    const std::string last = "\r\nTP N: " + std::to_string(kMaxTransponders) + "\r\nFrequency: 11778.123 Mhz\r\n";
    EXPECT_NE(bytes.find(last), std::string::npos);
    EXPECT_EQ(bytes.find("\n\n"), std::string::npos);
    // Every block has the same length but for the digits of its number beyond the first.
    const TransponderRecord single = WorkedExampleRecord();
    ASSERT_EQ(WriteReport(path.c_str(), &single, 1, 1.0), 0);
    const std::size_t block = ReadFileBytes(path).size() - std::strlen("Total Scan Time = 1.000s\r\n");
    std::size_t extra_digits = 0;
    for (std::uint32_t n = 1; n <= kMaxTransponders; ++n) extra_digits += std::to_string(n).size() - 1;
    EXPECT_EQ(bytes.size(), kMaxTransponders * block + extra_digits + std::strlen("Total Scan Time = 1.000s\r\n"));
}

TEST(ReportWriter, MissingArgumentsTouchNoFile) {
    TempDir dir;
    const std::string path = dir.File("report.txt");
    const TransponderRecord record = WorkedExampleRecord();
    EXPECT_EQ(WriteReport(nullptr, &record, 1, 1.0), -1);
    EXPECT_EQ(WriteReport(path.c_str(), nullptr, 1, 1.0), -1);
    EXPECT_EQ(WriteReport(path.c_str(), &record, 0, 1.0), -1);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    // An existing report is not truncated either.
    dir.Write("report.txt", "older\r\n");
    EXPECT_EQ(WriteReport(path.c_str(), &record, 0, 1.0), -1);
    EXPECT_EQ(ReadFileBytes(path), "older\r\n");
}

TEST(ReportWriter, MissingDirectoryGivesMinusTwo) {
    TempDir dir;
    const std::string path = dir.File("no such directory/report.txt");
    const TransponderRecord record = WorkedExampleRecord();
    EXPECT_EQ(WriteReport(path.c_str(), &record, 1, 1.0), -2);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}
