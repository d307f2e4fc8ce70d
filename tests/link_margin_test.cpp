#include "record/link_margin.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

namespace {

TransponderRecord Record(std::int32_t system, std::int32_t modulation, std::int32_t fec, std::int32_t frame_length,
                         double snr) {
    TransponderRecord record{};
    record.system = system;
    record.modulation = modulation;
    record.fec = fec;
    record.frame_length = frame_length;
    record.snr = snr;
    return record;
}

}  // namespace

TEST(RequiredCn, DvbSTable) {
    // FEC code -> dB; 0 = no entry.
    const std::vector<std::pair<std::int32_t, double>> table = {
        {1, 2.69}, {2, 4.36}, {3, 5.46}, {4, 0.0}, {5, 6.53}, {6, 6.8}, {7, 7.24},
        {0, 0.0},  {8, 0.0},  {9, 0.0},  {13, 0.0}, {27, 0.0}, {-1, 0.0}, {INT_MIN, 0.0},
    };
    for (const auto &row : table) {
        SCOPED_TRACE("fec " + std::to_string(row.first));
        EXPECT_EQ(RequiredCnDvbS(row.first), row.second);
    }
}

TEST(RequiredCn, DvbS2Table) {
    // Rows by FEC code; columns QPSK, 8PSK, 16APSK, 32APSK.
    struct Row {
        std::int32_t fec;
        double cn[4];
    };
    const Row table[] = {
        {10, {-2.35, 0, 0, 0}},           {11, {-1.24, 0, 0, 0}},          {12, {-0.3, 0, 0, 0}},
        {1, {1.0, 0, 0, 0}},              {13, {2.23, 5.5, 0, 0}},         {2, {3.1, 6.62, 8.97, 0}},
        {3, {4.03, 7.91, 10.21, 12.73}},  {4, {4.68, 0, 11.03, 13.64}},    {5, {5.18, 9.35, 11.61, 14.28}},
        {8, {6.2, 10.69, 12.89, 15.69}},  {9, {6.42, 10.98, 13.13, 16.05}},
        {6, {0, 0, 0, 0}},                {7, {0, 0, 0, 0}},               {14, {0, 0, 0, 0}},
        {27, {0, 0, 0, 0}},               {0, {0, 0, 0, 0}},               {-1, {0, 0, 0, 0}},
    };
    // Modulation code -> column; two codes each read the QPSK and 8PSK rows.
    const std::vector<std::pair<std::int32_t, int>> columns = {{5, 0}, {6, 0}, {2, 1}, {7, 1}, {3, 2}, {4, 3}};
    for (const Row &row : table) {
        for (const auto &column : columns) {
            SCOPED_TRACE("modulation " + std::to_string(column.first) + " fec " + std::to_string(row.fec));
            EXPECT_EQ(RequiredCnDvbS2(column.first, row.fec), row.cn[column.second]);
        }
    }
    for (std::int32_t modulation : {0, 1, 8, 9, 10, 33, -1, INT_MIN}) {
        for (const Row &row : table) {
            SCOPED_TRACE("modulation " + std::to_string(modulation) + " fec " + std::to_string(row.fec));
            EXPECT_EQ(RequiredCnDvbS2(modulation, row.fec), 0.0);
        }
    }
}

TEST(LinkMargin, WorkedValues) {
    struct Case {
        const char *what;
        TransponderRecord record;
        double margin;  // dB
    };
    const Case cases[] = {
        {"DVB-S 3/4", Record(1, 1, 3, 0, 8.0), 2.54},
        {"DSS 6/7 uses the DVB-S table", Record(3, 9, 6, 0, 7.0), 0.2},
        {"DVB-S 4/5 has no entry", Record(1, 1, 4, 0, 6.25), 6.25},
        {"DVB-S ignores a short frame", Record(1, 1, 3, 1, 8.0), 2.54},
        {"S2 8PSK 3/5 normal", Record(2, 2, 13, 0, 6.0), 0.5},
        {"S2 8PSK 3/5 short", Record(2, 2, 13, 1, 6.0), 0.2},
        {"S2 frame_length 2 adds nothing", Record(2, 2, 13, 2, 6.0), 0.5},
        {"S2 QPSK 1/4", Record(2, 5, 10, 0, 0.0), 2.35},
        {"S2 8PSK 3/4", Record(2, 2, 3, 0, 9.04), 9.04 - 7.91},
        {"Turbo modulation 6 reads QPSK", Record(4, 6, 2, 0, 5.0), 5.0 - 3.1},
        {"Turbo modulation 7 reads 8PSK", Record(4, 7, 2, 0, 8.0), 8.0 - 6.62},
        {"Turbo short frame", Record(4, 7, 5, 1, 10.0), 10.0 - (9.35 + 0.3)},
        {"S2 modulation 1 has no entry", Record(2, 1, 3, 0, 7.5), 7.5},
        {"S2 modulation 1 short frame", Record(2, 1, 3, 1, 7.5), 7.5 - 0.3},
        {"system 0", Record(0, 5, 3, 0, 12.0), 0.0},
        {"system 5 DCII", Record(5, 1, 3, 0, 12.0), 0.0},
        {"system 6 DVB-T", Record(6, 2, 3, 1, -4.0), 0.0},
        {"negative system", Record(-1, 2, 3, 0, 12.0), 0.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_NEAR(LinkMargin(c.record), c.margin, 1e-9);
    }
}
