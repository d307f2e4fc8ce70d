#include "record/value_names.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

namespace {

struct NameCase {
    std::int32_t code;
    const char *text;
};

// Every listed code gives its text; every code in `outside` gives the default text.
void ExpectNames(const char *(*lookup)(std::int32_t), const std::vector<NameCase> &rows, const char *fallback,
                 const std::vector<std::int32_t> &outside) {
    for (const NameCase &row : rows) {
        SCOPED_TRACE("code " + std::to_string(row.code));
        const char *text = lookup(row.code);
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(text, row.text);
    }
    for (std::int32_t code : outside) {
        SCOPED_TRACE("code " + std::to_string(code) + " (default)");
        const char *text = lookup(code);
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(text, fallback);
    }
}

}  // namespace

TEST(ValueNames, FecNames) {
    ExpectNames(FecName,
                {{1, "1/2"},    {2, "2/3"},    {3, "3/4"},    {4, "4/5"},    {5, "5/6"},    {6, "6/7"},
                 {7, "7/8"},    {8, "8/9"},    {9, "9/10"},   {10, "1/4"},   {11, "1/3"},   {12, "2/5"},
                 {13, "3/5"},   {14, "5/9"},   {15, "7/9"},   {16, "8/15"},  {17, "11/15"}, {18, "13/18"},
                 {19, "9/20"},  {20, "11/20"}, {21, "23/36"}, {22, "25/36"}, {23, "13/45"}, {24, "26/45"},
                 {25, "28/45"}, {26, "32/45"}, {27, "77/90"}},
                "?/?", {0, 28, 29, 100, -1, INT_MIN, INT_MAX});
}

TEST(ValueNames, ModulationNames) {
    ExpectNames(ModulationName,
                {{1, "QPSK"},      {2, "8PSK"},      {3, "16APSK"},    {4, "32APSK"},    {5, "QPSK"},
                 {6, "QPSK"},      {7, "8PSK"},      {8, "16APSK"},    {9, "QPSK"},      {10, "DVB-S/BPSK"},
                 {11, "OQPSK"},    {12, "Combo"},    {13, "Split(I)"}, {14, "Split(Q)"}, {15, "OQPSK"},
                 {16, "8VSB"},     {17, "16VSB"},    {18, "16QAM"},    {19, "32QAM"},    {20, "64QAM"},
                 {21, "128QAM"},   {22, "256QAM"},   {23, "512QAM"},   {24, "1024QAM"},  {25, "4096QAM"},
                 {26, "64APSK"},   {27, "128APSK"},  {28, "256APSK"},  {29, "8PSK_L"},   {30, "16APSK_L"},
                 {31, "32APSK_L"}, {32, "64APSK_L"}, {33, "256APSK_L"}},
                "Unknown", {0, 34, 35, -1, -33, INT_MIN});
}

TEST(ValueNames, SystemNames) {
    ExpectNames(SystemName,
                {{1, "DVB-S"},  {2, "DVB-S2"}, {3, "DSS"},     {4, "DVB-Turbo"}, {5, "DCII"},    {6, "DVB-T"},
                 {7, "DVB-T2"}, {8, "DVB-C"},  {9, "DVB-C2"},  {10, "ATSC"},     {11, "ISDB-T"}, {12, "ISDB-S"}},
                "Unknown", {0, 13, -1, -2, INT_MIN});
}

TEST(ValueNames, RollOffNames) {
    ExpectNames(RollOffName, {{1, "0.35"}, {2, "0.25"}, {3, "0.20"}, {4, "0.15"}, {5, "0.10"}, {6, "0.5"}}, "?",
                {0, 7, -1, -6});
}

TEST(ValueNames, StreamTypeNamesStartAtZero) {
    ExpectNames(StreamTypeName,
                {{0, "Transport"}, {1, "Reserved"}, {2, "Generic continous"}, {3, "Generic packetized"}}, "?",
                {4, 5, -1, INT_MIN});
}

TEST(ValueNames, ShortTables) {
    {
        SCOPED_TRACE("PolarizationName");
        ExpectNames(PolarizationName, {{0, "Horizontal"}, {1, "Vertical"}, {2, "Left"}, {3, "Right"}}, "Unknown",
                    {4, -1, INT_MIN});
    }
    {
        SCOPED_TRACE("InversionName");
        ExpectNames(InversionName, {{1, "Normal"}, {2, "Inverted"}}, "Unknown", {0, 3, -1, -2});
    }
    {
        SCOPED_TRACE("PilotName");
        ExpectNames(PilotName, {{1, "off"}, {2, "on"}}, "?", {0, 3, -1, -2});
    }
    {
        SCOPED_TRACE("CodingModeName");
        ExpectNames(CodingModeName, {{0, "CCM"}, {1, "ACM/VCM"}}, "Unknown", {2, -1, INT_MIN});
    }
    {
        SCOPED_TRACE("FrameLengthName");
        ExpectNames(FrameLengthName, {{0, "Normal"}, {1, "Short"}}, "?", {2, -1, INT_MIN});
    }
}
