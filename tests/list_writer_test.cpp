#include "report/list_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/fake_platform.h"
#include "support/scripted_tuner.h"

namespace {


TransponderRecord Record(std::uint32_t frequency_khz, std::int32_t polarization, std::uint32_t symbol_rate,
                         std::int32_t system, std::int32_t modulation, std::int32_t fec, std::int32_t rolloff,
                         std::int32_t pilot, std::vector<std::uint8_t> streams, std::int32_t rf_level_dbm,
                         double snr_db) {
    TransponderRecord r{};
    r.locked = 1;
    r.frequency = frequency_khz;
    r.polarization = polarization;
    r.symbol_rate = symbol_rate;
    r.system = system;
    r.modulation = modulation;
    r.fec = fec;
    r.rolloff = rolloff;
    r.pilot = pilot;
    r.stream_count = static_cast<std::uint32_t>(streams.size());
    for (std::size_t i = 0; i < streams.size() && i < 16; ++i) r.stream_ids[i] = streams[i];
    r.rf_level = rf_level_dbm;
    r.snr = snr_db;
    return r;
}

// A band that walks the corners of every format's tables.
std::vector<TransponderRecord> MixedBand() {
    std::vector<TransponderRecord> band = {
        // DVB-S with streams listed (only the text list shows them), roll-off 0.35
        Record(10744250, 0, 21999000, 1, 1, 5, 1, 0, {3, 4}, -50, 11.3),
        // DSS, circular left, roll-off code 0
        Record(11000501, 2, 20000000, 3, 1, 7, 0, 0, {}, -60, 8.2),
        // DVB-S2 16APSK 9/10 with three input streams, pilot off, short frame
        Record(11495000, 1, 30000000, 2, 3, 9, 3, 1, {1, 2, 5}, -40, 14.5),
        // DVB-S2 QPSK, circular right, unknown FEC and pilot codes
        Record(11996000, 3, 7200000, 2, 5, 0, 2, 0, {}, -55, 5.0),
        // DVB-Turbo 8PSK, pilot on
        Record(12300000, 1, 10005000, 4, 7, 3, 0, 2, {}, -62, 7.7),
        // DVB-S2 32APSK, a FEC code named but without list text, one stream 255
        Record(12522000, 0, 27500000, 2, 4, 14, 1, 2, {255}, -38, 16.1),
        // another system, an unknown polarization code
        Record(12640000, 4, 2000000, 9, 9, 2, 5, 1, {}, -70, 3.2),
    };
    band[2].frame_length = 1;
    return band;
}

struct Site {
    int position = 130;  // 13.0 E
    const char *name = "Testsat 13E";
    std::uint32_t switch_value = 4;
};

const char *ExtensionOf(int ini_format) { return ini_format == 6 ? "xml" : "ini"; }

class ListWriterTest : public ::testing::Test {
protected:
    void SetUp() override { InstallFakePlatform(); }
    void TearDown() override { RestoreSystemPlatform(); }

    std::string Write(const std::vector<TransponderRecord> &records, int ini_format, int info_format,
                      const Site &site = Site{}) {
        std::string path = dir_.File("list.out");
        int result = WriteTransponderList(records.data(), site.position, path.c_str(), site.name, 9750, 10600,
                                          11700, site.switch_value, static_cast<std::uint32_t>(records.size()),
                                          ini_format, info_format);
        EXPECT_EQ(0, result);
        return ReadFileBytes(path);
    }

    // The n-th line of the file (0-based), without its CR LF.
    static std::string Line(const std::string &bytes, std::size_t n) {
        std::size_t start = 0;
        for (std::size_t i = 0; i < n; ++i) {
            start = bytes.find("\r\n", start);
            if (start == std::string::npos) return "<none>";
            start += 2;
        }
        std::size_t end = bytes.find("\r\n", start);
        return end == std::string::npos ? "<none>" : bytes.substr(start, end - start);
    }

    TempDir dir_;
};

TEST_F(ListWriterTest, WorkedExampleInEveryFormat) {
    // The record lines as the formats define them, and the line index where each stands.
    struct Row {
        int format;
        std::size_t line;
        const char *expected;
    };
    const Row rows[] = {
        {0, 6, "1=11778,V,27500,34,S2"},
        {1, 6, "1=11778,V,27500,34,2 ;-45 dBm, 9.0 dB"},
        {2, 6, "1=11778,V,27500,34,8PSK"},
        {3, 10, "1=11778,V,27500,34,134,|-45 dBm, 9.0 dB"},
        {4, 6, "1=11778,V,27500,34,8PSK,S2"},
        {5, 2, "S2 11778000 V 27500000 3/4 35 8PSK # -45 dBm, 9.0 dB"},
        {6, 3, "\t\t<transponder frequency=\"11778000\" symbol_rate=\"27500000\" polarization=\"1\" fec_inner=\"3\" "
               "system=\"1\" modulation=\"2\" rolloff=\"0\" pilot=\"1\"/>"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE("IniFormat " + std::to_string(row.format));
        std::string bytes = Write({WorkedExampleRecord()}, row.format, 1);
        EXPECT_EQ(row.expected, Line(bytes, row.line));
        ExpectGolden("list_example_" + std::to_string(row.format) + "." + ExtensionOf(row.format), bytes);
    }
}

TEST_F(ListWriterTest, MixedBandInEveryFormat) {
    for (int format = 0; format <= 6; ++format) {
        SCOPED_TRACE("IniFormat " + std::to_string(format));
        ExpectGolden("list_mixed_" + std::to_string(format) + "." + ExtensionOf(format), Write(MixedBand(), format, 7));
    }
}

TEST_F(ListWriterTest, HeadersOfEachFamily) {
    const std::string ini = "[SATTYPE]\r\n1=0130\r\n2=Testsat 13E\r\n\r\n[DVB]\r\n0=1\r\n";
    EXPECT_EQ(ini, Write({WorkedExampleRecord()}, 0, 0).substr(0, ini.size()));
    // Format 3 adds the switch value (DiSEqC 2 + 2) and the three oscillators.
    const std::string ini3 =
        "[SATTYPE]\r\n1=0130\r\n2=Testsat 13E\r\n3=4\r\n4=9750\r\n5=10600\r\n6=11700\r\n\r\n[DVB]\r\n0=7\r\n";
    EXPECT_EQ(ini3, Write(MixedBand(), 3, 0).substr(0, ini3.size()));
    // The text list counts records, not lines: the three-stream record counts once.
    Site west{3550, "West 5.0", 0};
    std::string text = Write(MixedBand(), 5, 0, west);
    EXPECT_EQ("# West 5.0 @ 5.0W", Line(text, 0));
    EXPECT_EQ("# 7 transponders", Line(text, 1));
    std::string xml = Write(MixedBand(), 6, 0, west);
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>", Line(xml, 0));
    EXPECT_EQ("\t<sat name=\"West 5.0\" flags=\"5\" position=\"-50\">", Line(xml, 2));
    const std::string footer = "\t</sat>\r\n</satellites>\r\n";
    EXPECT_EQ(footer, xml.substr(xml.size() - footer.size()));

    struct Row {
        int position;
        const char *text_header;
        const char *xml_position;
    };
    const Row positions[] = {{0, "@ 0.0E", "\"0\""}, {1800, "@ 180.0E", "\"1800\""}, {1801, "@ 179.9W", "\"-1799\""}};
    for (const Row &row : positions) {
        SCOPED_TRACE(row.position);
        Site site{row.position, "X", 0};
        EXPECT_NE(std::string::npos, Line(Write({WorkedExampleRecord()}, 5, 0, site), 0).find(row.text_header));
        EXPECT_NE(std::string::npos, Line(Write({WorkedExampleRecord()}, 6, 0, site), 2).find(row.xml_position));
    }
}

TEST_F(ListWriterTest, FrequencyAndSymbolRateRounding) {
    struct Row {
        std::uint32_t frequency_khz;
        std::uint32_t symbol_rate;
        const char *format0_start;
    };
    const Row rows[] = {
        {11778500, 27500000, "1=11778,H,27500,"}, {11778501, 27500000, "1=11779,H,27500,"},
        {11778999, 27500000, "1=11779,H,27500,"}, {11778000, 27499000, "1=11778,H,27500,"},
        {11778000, 27525000, "1=11778,H,27525,"}, {11778000, 27526000, "1=11778,H,27550,"},
        {11778000, 27524999, "1=11778,H,27500,"}, {11778000, 9999999, "1=11778,H,9999,"},
        {11778000, 10000999, "1=11778,H,10000,"}, {11778000, 10004999, "1=11778,H,10000,"},
        {11778000, 10005000, "1=11778,H,10005,"}, {11778000, 10006000, "1=11778,H,10010,"},
        {11778000, 20000999, "1=11778,H,20000,"}, {11778000, 20007000, "1=11778,H,20000,"},
        {11778000, 20026000, "1=11778,H,20050,"}, {0, 0, "1=0,H,0,"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::to_string(row.frequency_khz) + " kHz, " + std::to_string(row.symbol_rate) + " S/s");
        TransponderRecord r = Record(row.frequency_khz, 0, row.symbol_rate, 1, 1, 3, 1, 0, {}, -40, 9.0);
        EXPECT_EQ(0u, Line(Write({r}, 0, 0), 6).rfind(row.format0_start, 0));
    }
    // The text and XML lists show the same rounding, times 1000.
    TransponderRecord half = Record(11778500, 0, 27500000, 2, 2, 3, 1, 2, {}, -40, 9.0);
    TransponderRecord above = Record(11778501, 0, 27500000, 2, 2, 3, 1, 2, {}, -40, 9.0);
    std::string text = Write({half, above}, 5, 0);
    EXPECT_EQ(0u, Line(text, 2).rfind("S2 11778000 H 27500000 ", 0));
    EXPECT_EQ(0u, Line(text, 3).rfind("S2 11779000 H 27500000 ", 0));
    std::string xml = Write({half, above}, 6, 0);
    EXPECT_NE(std::string::npos, Line(xml, 3).find("frequency=\"11778000\""));
    EXPECT_NE(std::string::npos, Line(xml, 4).find("frequency=\"11779000\""));
}

TEST_F(ListWriterTest, FecAndSuffixTexts) {
    struct Row {
        int format;
        std::int32_t system, modulation, fec;
        const char *tail;  // the line after "1=11778,V,27500,"
    };
    const Row rows[] = {
        {0, 2, 2, 9, "910,S2"},    {1, 2, 2, 9, "91,2"},       {2, 2, 2, 9, "9A,8PSK"},
        {3, 1, 1, 9, "910,9"},     {4, 2, 2, 9, "910,8PSK,S2"}, {0, 3, 1, 7, "78,DSS"},
        {0, 1, 1, 0, "?"},         {2, 2, 6, 14, "?,Turbo-QPSK"}, {4, 3, 9, 12, "25,DIRECTV"},
        {4, 4, 7, 2, "23"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE("format " + std::to_string(row.format) + " system " + std::to_string(row.system) +
                     " modulation " + std::to_string(row.modulation) + " fec " + std::to_string(row.fec));
        TransponderRecord r = Record(11778000, 3, 27500000, row.system, row.modulation, row.fec, 2, 0, {}, -40, 9.0);
        std::string line = Line(Write({r}, row.format, 0), row.format == 3 ? 10 : 6);
        EXPECT_EQ(std::string("1=11778,V,27500,") + row.tail, line);
    }
}

TEST_F(ListWriterTest, Format3FlagsByte) {
    struct Row {
        std::int32_t system, modulation, rolloff, pilot;
        unsigned flags;
    };
    const Row rows[] = {
        {2, 2, 1, 2, 134}, {1, 1, 0, 0, 25},  {2, 7, 3, 1, 22}, {4, 6, 2, 2, 137},
        {1, 9, 4, 2, 152}, {2, 3, 2, 0, 12},  {2, 5, 1, 1, 5},  {3, 4, 6, 0, 24},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE("system " + std::to_string(row.system) + " modulation " + std::to_string(row.modulation) +
                     " rolloff " + std::to_string(row.rolloff) + " pilot " + std::to_string(row.pilot));
        TransponderRecord r = Record(11778000, 0, 27500000, row.system, row.modulation, 3, row.rolloff, row.pilot, {},
                                     -40, 9.0);
        EXPECT_EQ("1=11778,H,27500,34," + std::to_string(row.flags), Line(Write({r}, 3, 0), 10));
    }
}

TEST_F(ListWriterTest, CommentByInfoFormat) {
    // The example: -45 dBm, 9.04 dB; 8PSK 3/4 needs 7.91 dB, so the margin is 1.1 dB. The
    // fake local time is 07:05 on 9 December 2026.
    struct Row {
        int info_format;
        const char *one_or_two_values;  // the text after the format's comment mark, or null
    };
    const Row rows[] = {
        {0, nullptr},
        {1, "-45 dBm, 9.0 dB"},
        {2, "7:05 - 09/12/2026"},
        {3, "-45 dBm, 9.0 dB; 7:05 - 09/12/2026"},
        {4, "9.0 dB"},
        {5, "9.0 dB; 7:05 - 09/12/2026"},
        {6, "9.0 (1.1) dB"},
        {7, "9.0 (1.1) dB; 7:05 - 09/12/2026"},
        {8, nullptr},
        {-1, nullptr},
        {1000, nullptr},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE("InfoFormat " + std::to_string(row.info_format));
        std::string comment = row.one_or_two_values == nullptr ? "" : row.one_or_two_values;
        std::string mark1 = comment.empty() ? "" : " ;";
        std::string mark3 = comment.empty() ? "" : ",|";
        std::string mark5 = comment.empty() ? "" : " # ";
        EXPECT_EQ("1=11778,V,27500,34,2" + mark1 + comment, Line(Write({WorkedExampleRecord()}, 1, row.info_format), 6));
        EXPECT_EQ("1=11778,V,27500,34,134" + mark3 + comment, Line(Write({WorkedExampleRecord()}, 3, row.info_format), 10));
        EXPECT_EQ("S2 11778000 V 27500000 3/4 35 8PSK" + mark5 + comment,
                  Line(Write({WorkedExampleRecord()}, 5, row.info_format), 2));
        // The other formats never carry a comment.
        EXPECT_EQ("1=11778,V,27500,34,S2", Line(Write({WorkedExampleRecord()}, 0, row.info_format), 6));
        EXPECT_EQ("1=11778,V,27500,34,8PSK", Line(Write({WorkedExampleRecord()}, 2, row.info_format), 6));
        EXPECT_EQ("1=11778,V,27500,34,8PSK,S2", Line(Write({WorkedExampleRecord()}, 4, row.info_format), 6));
        EXPECT_EQ(std::string::npos, Write({WorkedExampleRecord()}, 6, row.info_format).find("dB"));
    }
}

TEST_F(ListWriterTest, DateIsTakenOncePerFile) {
    static int reads;
    reads = 0;
    Platform().local_time = [](LocalTime *out) {
        ++reads;
        *out = LocalTime{2027, 1, 2, 23 + reads, 59};  // a second read would show hour 25
    };
    std::string bytes = Write(MixedBand(), 1, 2);
    EXPECT_EQ(1, reads);
    EXPECT_EQ("7=12640,?,2000,23 ;24:59 - 02/01/2027", Line(bytes, 12));
}

TEST_F(ListWriterTest, FormatsOutside0To6WriteFormat0) {
    std::string format0 = Write(MixedBand(), 0, 3);
    for (int format : {7, 9, -1, 1000}) {
        SCOPED_TRACE(format);
        EXPECT_EQ(format0, Write(MixedBand(), format, 3));
    }
}

TEST_F(ListWriterTest, StreamsBeyondSixteenAreCut) {
    std::vector<std::uint8_t> ids;
    for (std::uint8_t i = 0; i < 16; ++i) ids.push_back(static_cast<std::uint8_t>(100 + i));
    TransponderRecord r = Record(11000000, 0, 27500000, 2, 2, 3, 1, 2, ids, -40, 9.0);
    r.stream_count = 4000000000u;
    std::string text = Write({r}, 5, 0);
    EXPECT_EQ("S2 11000000 H 27500000 3/4 35 8PSK 115", Line(text, 17));
    EXPECT_EQ("<none>", Line(text, 18));
    std::string xml = Write({r}, 6, 0);
    EXPECT_NE(std::string::npos, Line(xml, 18).find("is_id=\"115\""));
    EXPECT_EQ("\t</sat>", Line(xml, 19));
}

TEST_F(ListWriterTest, OverlongInfoTextIsCut) {
    TransponderRecord r = WorkedExampleRecord();
    r.snr = 1e300;
    std::string line = Line(Write({r}, 1, 7), 6);
    const std::string start = "1=11778,V,27500,34,2 ;";
    ASSERT_EQ(0u, line.rfind(start, 0));
    EXPECT_EQ(79u, line.size() - start.size() + 2);  // the comment holds 79 characters
    EXPECT_EQ(0u, line.find("1000000000", start.size()) - start.size());
}

// Satellite names as the XML list writes them, and as an XML reader reads them back (UTF-8).
struct XmlNameCase {
    const char *name;
    const char *attribute;
    const char *reads_as;
};
const XmlNameCase kXmlNames[] = {
    {"Sat \"A\" & <B>", "Sat &quot;A&quot; &amp; &lt;B&gt;", "Sat \"A\" & <B>"},
    // Control characters are dropped: C0, DEL and, read from UTF-8 or from Latin-1, C1.
    {"Astra\x01\x1b[31m\t19.2E\x7f", "Astra[31m19.2E", "Astra[31m19.2E"},
    {"A\xc2\x85" "B\xef\xbf\xbe", "AB", "AB"},
    {"A\x85" "B\xe9", "AB\xe9", "AB\xc3\xa9"},
    // A UTF-8 name: everything beyond ASCII as character references.
    {"T\xc3\xbcrksat 42\xc2\xb0" "E \xe2\x82\xac \xf0\x9f\x9b\xb0", "T&#252;rksat 42&#176;E &#8364; &#128752;",
     "T\xc3\xbcrksat 42\xc2\xb0" "E \xe2\x82\xac \xf0\x9f\x9b\xb0"},
    // Not UTF-8 as a whole (a Latin-1 byte, an overlong form, a surrogate): Latin-1 bytes.
    {"T\xfcrksat 42\xb0" "E \xc3\xbc", "T\xfcrksat 42\xb0" "E \xc3\xbc", "T\xc3\xbcrksat 42\xc2\xb0" "E \xc3\x83\xc2\xbc"},
    {"\xc0\xaf\xed\xa0\x80", "\xc0\xaf\xed\xa0", "\xc3\x80\xc2\xaf\xc3\xad\xc2\xa0"},
};

TEST_F(ListWriterTest, XmlEscapesTheSatelliteName) {
    for (const XmlNameCase &c : kXmlNames) {
        SCOPED_TRACE(c.name);
        Site site{192, c.name, 0};
        EXPECT_EQ(std::string("\t<sat name=\"") + c.attribute + "\" flags=\"5\" position=\"192\">",
                  Line(Write({WorkedExampleRecord()}, 6, 0, site), 2));
    }
    Site site{192, "Sat \"A\" & <B>", 0};
    // The longest name, every character an entity, is written whole.
    std::string quotes(99, '"');
    Site worst{192, quotes.c_str(), 0};
    std::string expected = "\t<sat name=\"";
    for (int i = 0; i < 99; ++i) expected += "&quot;";
    EXPECT_EQ(expected + "\" flags=\"5\" position=\"192\">", Line(Write({WorkedExampleRecord()}, 6, 0, worst), 2));
    // The other formats take the name as it is.
    EXPECT_EQ("2=Sat \"A\" & <B>", Line(Write({WorkedExampleRecord()}, 0, 0, site), 2));
}

TEST_F(ListWriterTest, MissingArgumentsAndUnwritableFiles) {
    TransponderRecord r = WorkedExampleRecord();
    std::string path = dir_.File("list.ini");
    EXPECT_EQ(-1, WriteTransponderList(nullptr, 130, path.c_str(), "X", 0, 0, 0, 0, 1, 0, 1));
    EXPECT_EQ(-1, WriteTransponderList(&r, 130, nullptr, "X", 0, 0, 0, 0, 1, 0, 1));
    EXPECT_EQ(-1, WriteTransponderList(&r, 130, path.c_str(), "X", 0, 0, 0, 0, 0, 0, 1));
    EXPECT_TRUE(std::filesystem::is_empty(dir_.path()));

    std::string missing = dir_.File("no-such-dir/list.ini");
    EXPECT_EQ(-2, WriteTransponderList(&r, 130, missing.c_str(), "X", 0, 0, 0, 0, 1, 0, 1));
}

// With VESKER_INTEROP_DIR set, leaves sample lists there for the outside parsers
// (tests/process/list_interop.sh).
TEST_F(ListWriterTest, InteropSamples) {
    const char *out = std::getenv("VESKER_INTEROP_DIR");
    if (out == nullptr || out[0] == '\0') GTEST_SKIP() << "VESKER_INTEROP_DIR not set";
    std::vector<TransponderRecord> band = MixedBand();
    band.push_back(WorkedExampleRecord());
    std::string text = std::string(out) + "/sample_text.ini";
    std::string xml = std::string(out) + "/sample.xml";
    const std::uint32_t count = static_cast<std::uint32_t>(band.size());
    EXPECT_EQ(0, WriteTransponderList(band.data(), 130, text.c_str(), "Testsat 13E", 9750, 10600, 11700, 0, count,
                                      5, 1));
    EXPECT_EQ(0, WriteTransponderList(band.data(), 3550, xml.c_str(), "Sat \"A\" & <B> 5W", 9750, 10600, 11700, 0,
                                      count, 6, 1));
    // One list per satellite name, with the name as a reader must see it.
    for (std::size_t i = 0; i < sizeof kXmlNames / sizeof kXmlNames[0]; ++i) {
        const std::string base = std::string(out) + "/name_" + std::to_string(i);
        EXPECT_EQ(0, WriteTransponderList(band.data(), 130, (base + ".xml").c_str(), kXmlNames[i].name, 9750, 10600,
                                          11700, 0, count, 6, 1));
        std::ofstream(base + ".expected", std::ios::binary) << kXmlNames[i].reads_as;
    }
}

}  // namespace
