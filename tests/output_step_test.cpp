#include "report/output_step.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/fake_platform.h"
#include "support/scripted_tuner.h"

namespace {

namespace fs = std::filesystem;


OutputOptions Options(const std::string &report_dir, const std::string &tp_dir) {
    OutputOptions o{};
    o.report_dir = report_dir.c_str();
    o.tp_dir = tp_dir.c_str();
    o.satellite_name = "Testsat";
    o.ini_format = 0;
    o.info_format = 1;
    o.loop = 0;
    o.satellite_position = 192;
    o.diseqc = 0;
    o.lof1_mhz = 9750;
    o.lof2_mhz = 10600;
    o.lofsw_mhz = 11700;
    return o;
}

class OutputStepTest : public ::testing::Test {
protected:
    void SetUp() override {
        InstallFakePlatform();
        report_dir_ = dir_.File("rep") + "/";
        tp_dir_ = dir_.File("tp") + "/";
        fs::create_directory(dir_.File("rep"));
        fs::create_directory(dir_.File("tp"));
    }
    void TearDown() override { RestoreSystemPlatform(); }

    static std::string Announced(const std::string &report, const std::string &list) {
        return "Report detailed transponder info to " + report + " ...\nStore transponder info in " + list + " ...\n";
    }

    TempDir dir_;
    std::string report_dir_;
    std::string tp_dir_;
    TransponderRecord carrier_ = WorkedExampleRecord();
};

TEST_F(OutputStepTest, NamesByFormatLoopAndPosition) {
    struct Row {
        int ini_format;
        int loop;
        unsigned pass;
        int position;
        const char *report;
        const char *list;
    };
    const Row rows[] = {
        {0, 0, 1, 192, "0192.txt", "0192.ini"},
        {5, 1, 3, 3550, "S5.0W_3.txt", "S5.0W_3.ini"},
        {5, 0, 1, 1800, "S180.0E.txt", "S180.0E.ini"},
        {5, 0, 1, 1801, "S179.9W.txt", "S179.9W.ini"},
        {5, 0, 1, 0, "S0.0E.txt", "S0.0E.ini"},
        {5, 0, 1, 130, "S13.0E.txt", "S13.0E.ini"},
        {5, -1, 4, 3599, "S0.1W.txt", "S0.1W.ini"},
        {6, 0, 1, 0, "0000.txt", "0000.xml"},
        {6, 1, 2, 130, "0130_2.txt", "0130_2.xml"},
        {0, 2, 5, 192, "0192.txt", "0192.ini"},
        {3, 1, 1, 3599, "3599_1.txt", "3599_1.ini"},
        {7, 0, 1, 192, "0192.txt", "0192.ini"},
        {-1, 1, 12, 50, "0050_12.txt", "0050_12.ini"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.report) + " / " + row.list);
        Fake().console.clear();
        OutputOptions o = Options(report_dir_, tp_dir_);
        o.ini_format = row.ini_format;
        o.loop = row.loop;
        o.satellite_position = row.position;
        RunOutputStep(&carrier_, 1, 1.5, row.pass, o);
        EXPECT_EQ(Announced(report_dir_ + row.report, tp_dir_ + row.list), Fake().console);
        EXPECT_TRUE(fs::exists(report_dir_ + row.report));
        EXPECT_TRUE(fs::exists(tp_dir_ + row.list));
    }
}

TEST_F(OutputStepTest, EmptyDirectoriesWriteIntoTheCurrentDirectory) {
    fs::path previous = fs::current_path();
    fs::current_path(dir_.path());
    RunOutputStep(&carrier_, 1, 1.5, 1, Options("", ""));
    fs::current_path(previous);
    EXPECT_EQ("Report detailed transponder info to 0192.txt ...\nStore transponder info in 0192.ini ...\n",
              Fake().console);
    EXPECT_TRUE(fs::exists(dir_.File("0192.txt")));
    EXPECT_TRUE(fs::exists(dir_.File("0192.ini")));
}

TEST_F(OutputStepTest, WritersGetTheRecordsAndSettings) {
    OutputOptions o = Options(report_dir_, tp_dir_);
    o.ini_format = 3;
    o.diseqc = 2;
    RunOutputStep(&carrier_, 1, 12.5, 1, o);
    std::string report = ReadFileBytes(report_dir_ + "0192.txt");
    EXPECT_NE(std::string::npos, report.find("Frequency: 11778.123 Mhz\r\n"));
    EXPECT_NE(std::string::npos, report.find("Total Scan Time = 12.500s\r\n"));
    EXPECT_EQ("[SATTYPE]\r\n1=0192\r\n2=Testsat\r\n3=4\r\n4=9750\r\n5=10600\r\n6=11700\r\n\r\n[DVB]\r\n0=1\r\n"
              "1=11778,V,27500,34,134,|-45 dBm, 9.0 dB\r\n",
              ReadFileBytes(tp_dir_ + "0192.ini"));
}

TEST_F(OutputStepTest, SwitchValueIsDiseqcPlusTwo) {
    const int rows[][2] = {{0, 0}, {1, 3}, {2, 4}, {4, 6}, {16, 18}};
    for (const auto &row : rows) {
        SCOPED_TRACE("DiSEqC " + std::to_string(row[0]));
        OutputOptions o = Options(report_dir_, tp_dir_);
        o.ini_format = 3;
        o.diseqc = row[0];
        RunOutputStep(&carrier_, 1, 1.0, 1, o);
        std::string list = ReadFileBytes(tp_dir_ + "0192.ini");
        EXPECT_NE(std::string::npos, list.find("\r\n3=" + std::to_string(row[1]) + "\r\n"));
    }
}

TEST_F(OutputStepTest, AFailedWriterPrintsErrorAndTheOtherStillRuns) {
    std::string missing = dir_.File("missing") + "/";
    RunOutputStep(&carrier_, 1, 1.0, 1, Options(report_dir_, missing));
    EXPECT_EQ(Announced(report_dir_ + "0192.txt", missing + "0192.ini") + "error !\n", Fake().console);
    EXPECT_TRUE(fs::exists(report_dir_ + "0192.txt"));

    Fake().console.clear();
    RunOutputStep(&carrier_, 1, 1.0, 1, Options(missing, tp_dir_));
    EXPECT_EQ("Report detailed transponder info to " + missing + "0192.txt ...\nerror !\n" +
                  "Store transponder info in " + tp_dir_ + "0192.ini ...\n",
              Fake().console);
    EXPECT_TRUE(fs::exists(tp_dir_ + "0192.ini"));
}

TEST_F(OutputStepTest, NamesLongerThan259CharactersAreRefused) {
    // A real directory whose names come out at exactly 259 and at 260 characters.
    std::string base = dir_.path().string() + "/";
    ASSERT_LT(base.size(), 200u);
    std::string fits = base + std::string(251 - base.size() - 1, 'd') + "/";   // 251 + "0192.txt" = 259
    std::string too_long = base + std::string(252 - base.size() - 1, 'e') + "/";  // 260
    ASSERT_EQ(251u, fits.size());
    std::error_code error;
    fs::create_directory(fits, error);
    if (!error) fs::create_directory(too_long, error);
    if (error) GTEST_SKIP() << "this system refuses paths of this length";

    RunOutputStep(&carrier_, 1, 1.0, 1, Options(fits, fits));
    EXPECT_EQ(Announced(fits + "0192.txt", fits + "0192.ini"), Fake().console);
    EXPECT_TRUE(fs::exists(fits + "0192.txt"));
    EXPECT_TRUE(fs::exists(fits + "0192.ini"));

    Fake().console.clear();
    RunOutputStep(&carrier_, 1, 1.0, 1, Options(too_long, too_long));
    // Announced cut to 259 characters, then refused; nothing is written.
    std::string report = (too_long + "0192.txt").substr(0, 259);
    std::string list = (too_long + "0192.ini").substr(0, 259);
    EXPECT_EQ("Report detailed transponder info to " + report + " ...\nerror !\n" + "Store transponder info in " +
                  list + " ...\nerror !\n",
              Fake().console);
    EXPECT_TRUE(fs::is_empty(too_long));

    // A prefix far beyond the buffer is cut the same way.
    Fake().console.clear();
    std::string huge(1000, 'x');
    RunOutputStep(&carrier_, 1, 1.0, 1, Options(huge, huge));
    EXPECT_EQ("Report detailed transponder info to " + huge.substr(0, 259) + " ...\nerror !\n" +
                  "Store transponder info in " + huge.substr(0, 259) + " ...\nerror !\n",
              Fake().console);
}

// The band map: off by default; when asked for, named like the report with .svg beside it
// and announced after the list. A picture that cannot be written leaves the other two.
TEST_F(OutputStepTest, BandMapBesideTheReport) {
    struct Row {
        int ini_format;
        int loop;
        unsigned pass;
        const char *report;
        const char *list;
        const char *picture;
    };
    const Row rows[] = {
        {0, 0, 1, "0192.txt", "0192.ini", "0192.svg"},
        {5, 1, 3, "S19.2E_3.txt", "S19.2E_3.ini", "S19.2E_3.svg"},
        {6, 1, 2, "0192_2.txt", "0192_2.xml", "0192_2.svg"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.picture);
        Fake().console.clear();
        OutputOptions o = Options(report_dir_, tp_dir_);
        o.ini_format = row.ini_format;
        o.loop = row.loop;
        o.band_map = 1;
        RunOutputStep(&carrier_, 1, 1.5, row.pass, o);
        EXPECT_EQ(Announced(report_dir_ + row.report, tp_dir_ + row.list) + "Draw the band map to " + report_dir_ +
                      row.picture + " ...\n",
                  Fake().console);
        EXPECT_NE(std::string::npos, ReadFileBytes(report_dir_ + row.picture).find("11778.123 MHz"));
    }

    // Off: no picture, no line.
    fs::remove(report_dir_ + "0192.svg");
    Fake().console.clear();
    RunOutputStep(&carrier_, 1, 1.5, 1, Options(report_dir_, tp_dir_));
    EXPECT_EQ(Announced(report_dir_ + "0192.txt", tp_dir_ + "0192.ini"), Fake().console);
    EXPECT_FALSE(fs::exists(report_dir_ + "0192.svg"));

    // A directory where the picture belongs: "error !" after its line, the others written.
    fs::remove(report_dir_ + "0192.txt");
    fs::remove(tp_dir_ + "0192.ini");
    fs::create_directory(report_dir_ + "0192.svg");
    Fake().console.clear();
    OutputOptions o = Options(report_dir_, tp_dir_);
    o.band_map = 1;
    RunOutputStep(&carrier_, 1, 1.5, 1, o);
    EXPECT_EQ(Announced(report_dir_ + "0192.txt", tp_dir_ + "0192.ini") + "Draw the band map to " + report_dir_ +
                  "0192.svg ...\nerror !\n",
              Fake().console);
    EXPECT_TRUE(fs::exists(report_dir_ + "0192.txt"));
    EXPECT_TRUE(fs::exists(tp_dir_ + "0192.ini"));
    EXPECT_FALSE(fs::exists(report_dir_ + "0192.svg.part"));

    // A missing report directory: the report and the picture fail, the list is written.
    const std::string missing = dir_.File("missing") + "/";
    Fake().console.clear();
    o = Options(missing, tp_dir_);
    o.band_map = 1;
    RunOutputStep(&carrier_, 1, 1.5, 1, o);
    EXPECT_EQ("Report detailed transponder info to " + missing + "0192.txt ...\nerror !\n" +
                  "Store transponder info in " + tp_dir_ + "0192.ini ...\n" + "Draw the band map to " + missing +
                  "0192.svg ...\nerror !\n",
              Fake().console);
    EXPECT_TRUE(fs::exists(tp_dir_ + "0192.ini"));
}

}  // namespace
