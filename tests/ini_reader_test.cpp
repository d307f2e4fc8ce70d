// The INI lookups on real files: on POSIX the project's own reader, on Windows the system's
// profile calls. Where Windows' own behaviour is known the rows follow it; where it is open they follow the project's choices (base-0 numbers, a line without '=' is
// absent, an empty value gives the integer default, a UTF-8 byte-order mark is skipped).
#include "platform/ini_reader.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/fake_platform.h"

using namespace std::string_literals;

// Set by the build where IniReadInt and IniReadText are the system's own lookups (Windows,
// tested under Wine).
#if defined(VESKER_SYSTEM_INI_LOOKUPS)
constexpr bool kSystemLookups = true;
#else
constexpr bool kSystemLookups = false;
#endif

namespace {

const char kNoFile[] = "\x01(no file)";

struct IniCase {
    std::string name;        // printed on failure
    std::string bytes;       // the file, byte for byte; kNoFile for none
    bool integer;            // IniReadInt rather than IniReadText
    const char *section;
    const char *key;
    const char *default_text;
    int default_value;
    std::uint32_t size;      // the text buffer handed over
    std::string text;        // expected text ("(untouched)" when nothing may be written)
    std::uint32_t count;     // expected text count
    int number;              // expected integer
    // Why Wine's own lookups answer otherwise than Windows here; such rows are left out
    // wherever the system lookups run under Wine.
    const char *wine_differs = nullptr;
};

IniCase Text(std::string name, std::string bytes, const char *section, const char *key, const char *default_text,
             std::uint32_t size, std::string text, std::uint32_t count) {
    return {std::move(name), std::move(bytes), false, section, key, default_text, 0, size, std::move(text), count,
            0};
}

IniCase Text(std::string name, std::string bytes, const char *section, const char *key, std::string text) {
    const std::uint32_t count = static_cast<std::uint32_t>(text.size());
    return Text(std::move(name), std::move(bytes), section, key, "d", 64, std::move(text), count);
}

IniCase Int(std::string name, std::string bytes, const char *key, int default_value, int number) {
    return {std::move(name), std::move(bytes), true, "s", key, nullptr, default_value, 0, "", 0, number};
}

IniCase Int(std::string value, int number) {
    return Int("value " + value, "[s]\r\nk=" + value + "\r\n", "k", 7, number);
}

IniCase WineDiffers(IniCase row, const char *why) {
    row.wine_differs = why;
    return row;
}

const std::string kKv = "[s]\r\nk=v\r\n";
const std::string kAbcdef = "[s]\r\nk=abcdef\r\n";

std::vector<IniCase> Rows() {
    return {
        // Names: case, blanks around names and values, only spaces stripped from the names asked for.
        Text("case ignored", "[Tuner]\r\nFreq=11778\r\n", "tuner", "FREQ", "11778"),
        Text("blanks around", "  [ Tuner ]  \r\n  Freq  =  11778  \r\n", "Tuner", "Freq", "11778"),
        Text("tab and vt trimmed", "[s]\r\nk=\t\v v \t\v\r\n", "s", "k", "v"),
        Text("inner blanks kept", "[My Sec]\r\nmy key = a  b \r\n", "My Sec", "my key", "a  b"),
        Text("spaces around asked names", kKv, " s ", " k ", "v"),
        WineDiffers(Text("tab in asked section", kKv, "\ts", "k", "d"), "Wine strips TABs from the names asked for"),
        // Comments: only a line starting with ';'.
        Text("semicolon line", "[s]\r\n;k=v\r\n", "s", "k", "d"),
        WineDiffers(Text("semicolon line asked by name", "[s]\r\n;k=v\r\n", "s", ";k", "d"),
                    "Wine keeps a ';' line as the key \";k\""),
        Text("hash is a key character", "[s]\r\n#k=v\r\n", "s", "#k", "v"),
        Text("hash line is not key k", "[s]\r\n#k=v\r\n", "s", "k", "d"),
        Text("semicolon inside a value", "[s]\r\nk=v ; comment\r\n", "s", "k", "v ; comment"),
        Text("value starting with a semicolon", "[s]\r\nk=;v\r\n", "s", "k", ";v"),
        Text("text after a header", "[s] ; note\r\nk=v\r\n", "s", "k", "v"),
        // Headers.
        Text("key on the header line", "[s]k=v\r\n", "s", "k", "d"),
        Text("bracket kept in a name", "[[s]\r\nk=v\r\n", "[s", "k", "v"),
        Text("no opening bracket", "s]\r\nk=v\r\n", "s", "k", "d"),
        WineDiffers(Text("name ends at the first bracket", "[a]b]\r\nk=v\r\n", "a", "k", "v"),
                    "Wine ends the name at the last ']'"),
        WineDiffers(Text("header without closing bracket", "[s   \r\nk=v\r\n", "s", "k", "v"),
                    "Wine does not take a line without ']' as a header"),
        // Quotes: one outer matching pair goes.
        Text("double quotes", "[s]\r\nk=\"  v  \"\r\n", "s", "k", "  v  "),
        Text("single quotes", "[s]\r\nk='v'\r\n", "s", "k", "v"),
        Text("mismatched quotes", "[s]\r\nk=\"v'\r\n", "s", "k", "\"v'"),
        Text("outer pair only", "[s]\r\nk=\"'v'\"\r\n", "s", "k", "'v'"),
        Text("quote inside", "[s]\r\nk=\"a\"b\"\r\n", "s", "k", "a\"b"),
        Text("quotes not at the end", "[s]\r\nk=  \"a\" b  \r\n", "s", "k", "\"a\" b"),
        // Empty values are found: the default is not used.
        Text("empty value", "[s]\r\nk=\r\n", "s", "k", ""),
        Text("blank value", "[s]\r\nk=   \r\n", "s", "k", ""),
        Text("empty quotes", "[s]\r\nk=\"\"\r\n", "s", "k", ""),
        // First of a name wins.
        Text("first key wins", "[s]\r\nk=1\r\nk=2\r\n", "s", "k", "1"),
        Text("only the first section", "[s]\r\na=1\r\n[t]\r\nx=0\r\n[S]\r\nk=2\r\n", "s", "k", "d"),
        Text("repeated section ignored", "[s]\r\na=1\r\n[t]\r\nx=0\r\n[S]\r\na=2\r\n", "s", "a", "1"),
        Text("line before the first header", "k=0\r\n[s]\r\nk=1\r\n", "s", "k", "1"),
        WineDiffers(Text("no section before the first header", "k=0\r\n[s]\r\nk=1\r\n", "", "k", "d"),
                    "Wine files lines before the first header under the section \"\""),
        // Key lines.
        Text("line without equals", "[s]\r\nflag\r\nk=v\r\n", "s", "flag", "d"),
        WineDiffers(Text("line without equals hides nothing", "[s]\r\nk\r\nk=v\r\n", "s", "k", "v"),
                    "a line without '=' hides a later key of its name in Wine (Windows untested)"),
        Text("later equals in the value", "[s]\r\nk=a=b\r\n", "s", "k", "a=b"),
        Text("empty key name", "[s]\r\n=v\r\n", "s", "", "v"),
        Text("value cut at a zero byte", "[s]\r\nk=ab\0cd\r\nm=1\r\n"s, "s", "k", "ab"),
        Text("line after a zero byte", "[s]\r\nk=ab\0cd\r\nm=1\r\n"s, "s", "m", "1"),
        Text("Latin-1 bytes unchanged", "[s]\r\nk=\xe9t\xe9\r\n", "s", "k", "\xe9t\xe9"),
        // Line ends and the byte-order mark.
        Text("LF only", "[s]\nk=v\n", "s", "k", "v"),
        Text("CR only", "[s]\rk=v\r", "s", "k", "v"),
        Text("no final line end", "[s]\r\nk=v", "s", "k", "v"),
        Text("mixed and empty lines", "\r\n\n[s]\n\r\r\nk=v\r", "s", "k", "v"),
        WineDiffers(Text("UTF-8 byte-order mark skipped", "\xEF\xBB\xBF[s]\r\nk=v\r\n", "s", "k", "v"),
                    "Windows keeps the mark glued to the first line; Wine, like this reader, skips it"),
        Text("byte-order mark on its own line", "\xEF\xBB\xBF\r\n[s]\r\nk=v\r\n", "s", "k", "v"),
        // Defaults and missing pieces.
        Text("missing key", kKv, "s", "x", "d"),
        Text("missing section", kKv, "t", "k", "d"),
        Text("missing file", kNoFile, "s", "k", "d"),
        Text("null default", kKv, "s", "x", nullptr, 64, "", 0),
        Text("default trailing spaces", kKv, "s", "x", "d  ", 64, "d", 1),
        Text("default leading spaces", kKv, "s", "x", "  d", 64, "  d", 3),
        Text("default trailing tab", kKv, "s", "x", "d\t", 64, "d\t", 2),
        WineDiffers(Text("quoted default copied", kKv, "s", "x", "\"d\"", 64, "\"d\"", 3),
                    "Wine strips quotes from the default"),
        // The buffer: at most size-1 characters, the count copied.
        Text("cut to size 4", kAbcdef, "s", "k", "d", 4, "abc", 3),
        Text("cut to size 6", kAbcdef, "s", "k", "d", 6, "abcde", 5),
        Text("exact size", kAbcdef, "s", "k", "d", 7, "abcdef", 6),
        Text("size 1", kAbcdef, "s", "k", "d", 1, "", 0),
        Text("size 0", kAbcdef, "s", "k", "d", 0, "(untouched)", 0),
        Text("default cut", kKv, "s", "x", "default", 4, "def", 3),
        WineDiffers(Text("quoted value cut at its length", "[s]\r\nk=\"abcd\"\r\n", "s", "k", "d", 5, "abcd", 4),
                    "Wine drops one more character of a quoted value in this case"),
        // Integers: blanks, one sign, 0x, the first non-digit ends the number, low 32 bits.
        Int("123", 123),
        Int("  -5", -5),
        Int("+7", 7),
        Int("12abc", 12),
        Int("abc", 0),
        Int("42A94967297", 42),
        Int("4294967296", 0),
        Int("4294967297", 1),
        Int("-4294967297", -1),
        Int("2147483648", INT_MIN),
        Int("4294967295", -1),
        Int("9999999999", 1410065407),
        Int("1.9", 1),
        Int("1 2", 1),
        Int("010", 10),
        Int("--5", 0),
        Int("- 5", 0),
        Int("\"42\"", 42),
        Int("0x1F", 31),
        Int("0X1F", 0),
        Int("", 7),
        Int("   ", 7),
        Int("\"\"", 7),
        Int(";5", 0),
        WineDiffers(Int("000000000000000000000000000042", 42), "Wine cuts the value to 29 characters first"),
        Int("missing key", kKv, "x", -1, -1),
        Int("missing file", kNoFile, "k", 99, 99),
        Int("line without equals", "[s]\r\nflag\r\n", "flag", 7, 7),
        Int("negative default", "[t]\r\nk=5\r\n", "k", -20, -20),
    };
}

struct Answer {
    std::string text;
    std::uint32_t count = 0;
    int number = 0;
};

// Calls a text lookup into a buffer that shows whether it was written at all.
template <typename Lookup>
Answer AskText(Lookup lookup) {
    char out[80];
    std::memset(out, '#', sizeof out);
    out[sizeof out - 1] = '\0';
    Answer answer;
    answer.count = lookup(out);
    answer.text = out[0] == '#' ? "(untouched)" : out;
    return answer;
}

Answer AskFile(const IniCase &row, const std::string &path) {
    if (row.integer) {
        Answer answer;
        answer.number = IniReadInt(row.section, row.key, row.default_value, path.c_str());
        return answer;
    }
    return AskText([&](char *out) {
        return IniReadText(row.section, row.key, row.default_text, out, row.size, path.c_str());
    });
}

std::string Trace(const IniCase &row) {
    std::string trace = row.name + ": ";
    trace += row.integer ? "int(" : "text(";
    trace += "\"" + std::string(row.section) + "\", \"" + row.key + "\", ";
    trace += row.integer ? "default " + std::to_string(row.default_value) : "size " + std::to_string(row.size);
    trace += ")";
    return trace;
}

std::string RowFile(const TempDir &dir, std::size_t index, const IniCase &row) {
    // One file per row: the system lookups may cache a file by name and time.
    const std::string name = "row" + std::to_string(index) + ".ini";
    if (row.bytes == kNoFile) return dir.File(name);
    return dir.Write(name, row.bytes);
}

void ExpectAnswer(const IniCase &row, const Answer &answer) {
    if (row.integer) {
        EXPECT_EQ(answer.number, row.number);
    } else {
        EXPECT_EQ(answer.text, row.text);
        EXPECT_EQ(answer.count, row.count);
    }
}

}  // namespace

TEST(IniReader, LookupsOnFiles) {
    TempDir dir;
    const std::vector<IniCase> rows = Rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const IniCase &row = rows[i];
        if (kSystemLookups && row.wine_differs != nullptr) continue;
        SCOPED_TRACE(Trace(row));
        ExpectAnswer(row, AskFile(row, RowFile(dir, i, row)));
    }
}

#if defined(VESKER_SYSTEM_INI_LOOKUPS)
namespace {

// The project's portable reader over the same bytes.
Answer AskPortable(const IniCase &row) {
    const std::string bytes = row.bytes == kNoFile ? "" : row.bytes;
    IniMemory memory{bytes.data(), bytes.size(), 0};
    if (row.integer) {
        Answer answer;
        answer.number = IniIntLookup(IniMemorySource(&memory), row.section, row.key, row.default_value);
        return answer;
    }
    return AskText([&](char *out) {
        return IniTextLookup(IniMemorySource(&memory), row.section, row.key, row.default_text, out, row.size);
    });
}

}  // namespace

// The portable reader answers every row as expected, and as the system lookups do wherever
// Windows and Wine agree.
TEST(IniReader, PortableReaderMatchesSystemLookups) {
    TempDir dir;
    const std::vector<IniCase> rows = Rows();
    int compared = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const IniCase &row = rows[i];
        SCOPED_TRACE(Trace(row));
        const Answer portable = AskPortable(row);
        ExpectAnswer(row, portable);
        if (row.wine_differs != nullptr) continue;  // row.wine_differs says why
        const Answer system = AskFile(row, RowFile(dir, i, row));
        EXPECT_EQ(portable.text, system.text);
        EXPECT_EQ(portable.count, system.count);
        EXPECT_EQ(portable.number, system.number);
        ++compared;
    }
    EXPECT_GE(compared, 70);  // the exclusions stay the exception
}
#endif

namespace {

// A source that hands out at most `chunk` bytes per read, like a pipe.
struct ChunkedText {
    std::string text;
    std::size_t position;
    std::size_t chunk;
};

std::size_t ReadChunk(void *context, char *buffer, std::size_t size) {
    auto *source = static_cast<ChunkedText *>(context);
    std::size_t count = source->text.size() - source->position;
    if (count > size) count = size;
    if (count > source->chunk) count = source->chunk;
    source->text.copy(buffer, count, source->position);
    source->position += count;
    return count;
}

TEST(IniReader, ByteOrderMarkSkippedHoweverTheSourceSplitsItsReads) {
    for (std::size_t chunk : {1u, 2u, 3u, 4u, 4096u}) {
        SCOPED_TRACE(chunk);
        ChunkedText text{"\xEF\xBB\xBF[Scan0]\rPol=Horizontal\r", 0, chunk};
        char value[32] = "";
        EXPECT_EQ(10, IniFindValue(IniSource{&text, ReadChunk}, "Scan0", "Pol", value, sizeof value));
        EXPECT_STREQ("Horizontal", value);
    }
}

}  // namespace

namespace {

// A configuration path that names an endless device or a directory reads as a missing file
// and never holds the program.
TEST(IniReader, EndlessOrNonFileSourcesGiveTheDefaults) {
    TempDir dir;
    for (const std::string &path : {std::string("/dev/zero"), dir.path().string()}) {
        SCOPED_TRACE(path);
        char text[16] = "";
        EXPECT_EQ(42, IniReadInt("SatInfo", "LOF1", 42, path.c_str()));
        EXPECT_EQ(3u, IniReadText("SatInfo", "SatName", "Sat", text, sizeof text, path.c_str()));
        EXPECT_STREQ("Sat", text);
    }
}

}  // namespace

namespace {

// The walk over the lines numbers them as an editor does, whatever ends them (CR LF, CR or LF),
// and passes over blank lines and comments.
TEST(IniReader, WalkNumbersLinesAsAnEditorDoes) {
    const std::string text = "\xEF\xBB\xBF[A]\r\nkey=1\r\r; note\nno equals\n\n[ B ]\rx = 2";
    IniMemory memory{text.data(), text.size(), 0};
    std::vector<std::string> seen;
    IniWalkLines(
        IniMemorySource(&memory),
        [](void *context, const IniLine &line) {
            static const char *const kKinds[] = {"comment", "section", "key", "other"};
            static_cast<std::vector<std::string> *>(context)->push_back(
                std::to_string(line.number) + " " + kKinds[static_cast<int>(line.kind)] + " " +
                std::string(line.name, line.name_length));
        },
        &seen);
    EXPECT_EQ((std::vector<std::string>{"1 section A", "2 key key", "5 other no equals", "7 section B", "8 key x"}),
              seen);
}

}  // namespace
