#include "report/list_writer.h"

#include <cstddef>
#include <cstdio>

#include "platform/platform.h"
#include "record/code_text.h"
#include "record/value_names.h"
#include "report/name_text.h"
#include "report/output_file.h"
#include "record/link_margin.h"

namespace {


// ---- INI-style lists (formats 0..4) ----------------------------------------------------
// Source: the channel-list files these formats are imported from. The FEC is written as its
// two rate digits; the formats disagree only on 9/10.
struct IniFecRow {
    std::int32_t fec;
    const char *formats_0_3_4;
    const char *format_1;
    const char *format_2;
};
const IniFecRow kIniFec[] = {
    {1, "12", "12", "12"},   {2, "23", "23", "23"},   {3, "34", "34", "34"},    {4, "45", "45", "45"},
    {5, "56", "56", "56"},   {6, "67", "67", "67"},   {7, "78", "78", "78"},    {8, "89", "89", "89"},
    {9, "910", "91", "9A"},  {10, "14", "14", "14"},  {11, "13", "13", "13"},   {12, "25", "25", "25"},
    {13, "35", "35", "35"},
};

// Format 0 marks the delivery system after the FEC.
const CodeText kFormat0Suffix[] = {{2, ",S2"}, {3, ",DSS"}};
// Format 1 gives the modulation as a number: 1 QPSK, 2 8PSK, 3 16APSK, 4 32APSK.
const CodeText kFormat1Suffix[] = {{1, ",1"}, {2, ",2"}, {3, ",3"}, {4, ",4"}, {5, ",2"}, {6, ",1"}, {7, ",2"}};
// Format 2 names the modulation.
const CodeText kFormat2Suffix[] = {{1, ",QPSK"},     {2, ",8PSK"},       {3, ",16APSK"},     {4, ",32APSK"},
                                   {5, ",NBC_QPSK"}, {6, ",Turbo-QPSK"}, {7, ",Turbo-8PSK"}};
// Format 4 names the modulation and marks the second generation.
const CodeText kFormat4Suffix[] = {{1, ",QPSK"},       {2, ",8PSK,S2"}, {3, ",16APSK,S2"},
                                   {4, ",32APSK,S2"}, {5, ",QPSK,S2"}, {9, ",DIRECTV"}};

// Format 3 packs the modulation, system, roll-off and pilot into one flags byte:
// bits 0-1 modulation (1 QPSK, 2 8PSK), bit 2 DVB-S2, bits 3-4 roll-off, bit 7 pilot on.
struct CodeBits {
    std::int32_t code;
    unsigned bits;
};
const CodeBits kFlagsModulation[] = {{1, 1}, {5, 1}, {6, 1}, {2, 2}, {7, 2}};
const CodeBits kFlagsRollOff[] = {{1, 0}, {2, 8}, {3, 16}};  // 0.35, 0.25, 0.20; others 24
constexpr unsigned kFlagsDvbS2 = 4;
constexpr unsigned kFlagsRollOffOther = 24;
constexpr unsigned kFlagsPilotOn = 128;

template <std::size_t N>
unsigned BitsOf(const CodeBits (&rows)[N], std::int32_t code, unsigned other) {
    for (const CodeBits &row : rows) {
        if (row.code == code) return row.bits;
    }
    return other;
}

unsigned Format3Flags(const TransponderRecord &record) {
    unsigned flags = BitsOf(kFlagsModulation, record.modulation, 0);
    if (record.system == 2) flags |= kFlagsDvbS2;
    flags |= BitsOf(kFlagsRollOff, record.rolloff, kFlagsRollOffOther);
    if (record.pilot == 2) flags |= kFlagsPilotOn;
    return flags;
}

// ---- Text list (format 5) --------------------------------------------------------------
// Source: the plain channel-list lines "system frequency pol symbolrate fec rolloff mod [stream]".
const CodeText kTextSystem[] = {{1, "S1"}, {2, "S2"}};
// The code rates of DVB-S and DVB-S2 and the satellite modulations (codes 1..7) by their
// names; anything else is AUTO.
constexpr std::int32_t kLastTextModulation = 7;
const CodeText kTextRollOff[] = {{1, "35"}, {2, "25"}, {3, "20"}};  // percent

// ---- XML list (format 6) ---------------------------------------------------------------
// Source: the numbering of the XML satellite lists (fec_inner 0 auto, 1 1/2, 2 2/3, 3 3/4,
// 4 5/6, 5 7/8, 6 8/9, 7 3/5, 8 4/5, 9 9/10; modulation 1 QPSK, 2 8PSK, 3 16APSK, 4 32APSK;
// rolloff 0 0.35, 1 0.25, 2 0.20, 3 auto; pilot 0 off, 1 on, 2 auto).
const CodeText kXmlFec[] = {{1, "1"}, {2, "2"}, {3, "3"},  {4, "8"},  {5, "4"},  {6, "0"},  {7, "5"},
                            {8, "6"}, {9, "9"}, {10, "0"}, {11, "0"}, {12, "0"}, {13, "7"}};
const CodeText kXmlModulation[] = {{1, "1"}, {2, "2"}, {3, "3"}, {4, "4"}, {5, "1"}, {6, "1"}, {7, "2"}};
const CodeText kXmlRollOff[] = {{1, "0"}, {2, "1"}, {3, "2"}};
const CodeText kXmlPilot[] = {{1, "0"}, {2, "1"}};

// ---- Derived values --------------------------------------------------------------------

constexpr std::size_t kInfoSize = 80;
constexpr std::size_t kCommentSize = 80;
constexpr std::size_t kDateSize = 128;
constexpr std::uint32_t kMaxStreams = 16;  // stream_ids holds 16 identifiers

enum ListFormat { kIni0, kIni1, kIni2, kIni3, kIni4, kTextList, kXmlList };

ListFormat FormatOf(int ini_format) {
    switch (ini_format) {
        case 1: return kIni1;
        case 2: return kIni2;
        case 3: return kIni3;
        case 4: return kIni4;
        case 5: return kTextList;
        case 6: return kXmlList;
        default: return kIni0;  // every other value is written as format 0
    }
}

// Circular left is listed as H and circular right as V.
const char *PolarizationLetter(std::int32_t polarization) {
    switch (static_cast<std::uint32_t>(polarization)) {
        case 0:
        case 2: return "H";
        case 1:
        case 3: return "V";
        default: return "?";
    }
}

// The info text of a record by InfoFormat (taken as unsigned); cut to the buffer.
void InfoText(const TransponderRecord &record, int info_format, char (&out)[kInfoSize]) {
    std::uint32_t m = static_cast<std::uint32_t>(info_format);
    if (m <= 3u) {
        std::snprintf(out, sizeof out, "%d dBm, %.1f dB", record.rf_level, record.snr);
    } else if (m <= 5u) {
        std::snprintf(out, sizeof out, "%.1f dB", record.snr);
    } else {
        std::snprintf(out, sizeof out, "%.1f (%.1f) dB", record.snr, LinkMargin(record));
    }
}

struct CommentForms {
    const char *one_value;
    const char *two_values;
};

// The comment of formats 1, 3 and 5; empty for the others, and for InfoFormat 0, 8 and
// above and negative values.
void CommentText(ListFormat format, const TransponderRecord &record, int info_format, const char *date,
                 char (&out)[kCommentSize]) {
    out[0] = '\0';
    CommentForms forms;
    switch (format) {
        case kIni1: forms = {" ;%s", " ;%s; %s"}; break;
        case kIni3: forms = {",|%s", ",|%s; %s"}; break;
        case kTextList: forms = {" # %s", " # %s; %s"}; break;
        default: return;
    }
    char info[kInfoSize];
    switch (info_format) {
        case 1:
        case 4:
        case 6:
            InfoText(record, info_format, info);
            std::snprintf(out, sizeof out, forms.one_value, info);
            break;
        case 2: std::snprintf(out, sizeof out, forms.one_value, date); break;
        case 3:
        case 5:
        case 7:
            InfoText(record, info_format, info);
            std::snprintf(out, sizeof out, forms.two_values, info, date);
            break;
        default: break;
    }
}


// ---- Headers and lines -----------------------------------------------------------------

void WriteHeader(OutputFile *file, ListFormat format, int position, const char *satellite_name,
                 std::uint32_t lof1_mhz, std::uint32_t lof2_mhz, std::uint32_t lofsw_mhz,
                 std::uint32_t switch_value, std::uint32_t count) {
    if (format == kTextList) {
        EastWest ew = EastWestOf(position);
        WriteLine(file, "# %s @ %u.%u%c\n", satellite_name, ew.degrees, ew.tenths, ew.letter);
        WriteLine(file, "# %u transponders\n", count);
        return;
    }
    if (format == kXmlList) {
        // A 99-byte name: no byte grows beyond 6 characters (a quote; "&#1114111;" takes 4 bytes).
        char escaped[600];
        XmlEscape(satellite_name, escaped, sizeof escaped);
        WriteLine(file, "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n<satellites>\n");
        WriteLine(file, "\t<sat name=\"%s\" flags=\"%i\" position=\"%i\">\n", escaped, 5,
                  position <= 1800 ? position : position - 3600);
        return;
    }
    WriteLine(file, "[SATTYPE]\n1=%04u\n2=%s\n", static_cast<unsigned>(position), satellite_name);
    if (format == kIni3) {
        WriteLine(file, "3=%u\n4=%u\n5=%u\n6=%u\n", switch_value, lof1_mhz, lof2_mhz, lofsw_mhz);
    }
    WriteLine(file, "\n[DVB]\n0=%u\n", count);
}

void WriteIniLine(OutputFile *file, ListFormat format, std::uint32_t number, const TransponderRecord &record,
                  std::uint32_t frequency_mhz, std::uint32_t symbol_rate_ksps, const char *comment) {
    const char *fec = "?";
    for (const IniFecRow &row : kIniFec) {
        if (row.fec != record.fec) continue;
        fec = format == kIni1 ? row.format_1 : format == kIni2 ? row.format_2 : row.formats_0_3_4;
    }
    char flags[16];
    const char *suffix = "";
    switch (format) {
        case kIni0: suffix = TextOf(kFormat0Suffix, record.system, ""); break;
        case kIni1: suffix = TextOf(kFormat1Suffix, record.modulation, ""); break;
        case kIni2: suffix = TextOf(kFormat2Suffix, record.modulation, ""); break;
        case kIni3:
            std::snprintf(flags, sizeof flags, ",%u", Format3Flags(record));
            suffix = flags;
            break;
        case kIni4: suffix = TextOf(kFormat4Suffix, record.modulation, ""); break;
        default: break;
    }
    WriteLine(file, "%u=%u,%s,%u,%s%s%s\n", number, frequency_mhz, PolarizationLetter(record.polarization),
              symbol_rate_ksps, fec, suffix, comment);
}

void WriteTextLines(OutputFile *file, const TransponderRecord &record, std::uint32_t frequency_mhz,
                    std::uint32_t symbol_rate_ksps, const char *comment) {
    const char *system = TextOf(kTextSystem, record.system, "S");
    const char *letter = PolarizationLetter(record.polarization);
    const char *fec = FecText(record.fec);
    const char *rolloff = TextOf(kTextRollOff, record.rolloff, "");
    const char *modulation = record.modulation >= 1 && record.modulation <= kLastTextModulation
                                 ? ModulationName(record.modulation)
                                 : "AUTO";
    if (record.stream_count == 0) {
        WriteLine(file, "%s %u %s %u %s %s %s%s\n", system, frequency_mhz * 1000u, letter, symbol_rate_ksps * 1000u,
                  fec, rolloff, modulation, comment);
        return;
    }
    std::uint32_t streams = record.stream_count < kMaxStreams ? record.stream_count : kMaxStreams;
    for (std::uint32_t i = 0; i < streams; ++i) {
        WriteLine(file, "%s %u %s %u %s %s %s %u%s\n", system, frequency_mhz * 1000u, letter,
                  symbol_rate_ksps * 1000u, fec, rolloff, modulation, static_cast<unsigned>(record.stream_ids[i]),
                  comment);
    }
}

void WriteXmlLines(OutputFile *file, const TransponderRecord &record, std::uint32_t frequency_mhz,
                   std::uint32_t symbol_rate_ksps) {
    int frequency = static_cast<int>(frequency_mhz * 1000u);
    int symbol_rate = static_cast<int>(symbol_rate_ksps * 1000u);
    const char *fec = TextOf(kXmlFec, record.fec, "0");
    const char *modulation = TextOf(kXmlModulation, record.modulation, "0");
    const char *rolloff = TextOf(kXmlRollOff, record.rolloff, "3");
    if (record.system != 2) {
        // Every system but DVB-S2 is written as system 0, without pilot and streams.
        WriteLine(file,
                  "\t\t<transponder frequency=\"%i\" symbol_rate=\"%i\" polarization=\"%i\" fec_inner=\"%s\" "
                  "system=\"%i\" modulation=\"%s\" rolloff=\"%s\"/>\n",
                  frequency, symbol_rate, record.polarization, fec, 0, modulation, rolloff);
        return;
    }
    const char *pilot = TextOf(kXmlPilot, record.pilot, "2");
    if (record.stream_count == 0) {
        WriteLine(file,
                  "\t\t<transponder frequency=\"%i\" symbol_rate=\"%i\" polarization=\"%i\" fec_inner=\"%s\" "
                  "system=\"%i\" modulation=\"%s\" rolloff=\"%s\" pilot=\"%s\"/>\n",
                  frequency, symbol_rate, record.polarization, fec, 1, modulation, rolloff, pilot);
        return;
    }
    std::uint32_t streams = record.stream_count < kMaxStreams ? record.stream_count : kMaxStreams;
    for (std::uint32_t i = 0; i < streams; ++i) {
        WriteLine(file,
                  "\t\t<transponder frequency=\"%i\" symbol_rate=\"%i\" polarization=\"%i\" fec_inner=\"%s\" "
                  "system=\"%i\" modulation=\"%s\" rolloff=\"%s\" pilot=\"%s\" is_id=\"%i\"/>\n",
                  frequency, symbol_rate, record.polarization, fec, 1, modulation, rolloff, pilot,
                  static_cast<int>(record.stream_ids[i]));
    }
}

}  // namespace

// kHz to MHz; a remainder above 500 kHz rounds up, exactly 500 rounds down.
std::uint32_t FrequencyMhz(std::uint32_t frequency_khz) {
    return frequency_khz / 1000u + (frequency_khz % 1000u > 500u ? 1u : 0u);
}

namespace {

// Rounds s to a multiple of `step` about the remainder `half`: above goes up, below goes
// down, exactly `half` stays.
std::uint32_t RoundAbout(std::uint32_t s, std::uint32_t step, std::uint32_t half) {
    std::uint32_t r = s % step;
    if (r > half) return s + (step - r);
    if (r < half) return s - r;
    return s;
}

}  // namespace

// Symbols per second to kS/s: above 20000 kS/s to multiples of 50, above 10000 to 10.
std::uint32_t SymbolRateKsps(std::uint32_t symbol_rate) {
    std::uint32_t s = symbol_rate / 1000u;
    if (s > 20000u) return RoundAbout(s, 50u, 25u);
    if (s > 10000u) return RoundAbout(s, 10u, 5u);
    return s;
}


EastWest EastWestOf(int satellite_position) {
    const int value = satellite_position <= 1800 ? satellite_position : 3600 - satellite_position;
    const unsigned magnitude = static_cast<unsigned>(value);
    return {magnitude / 10u, magnitude % 10u, satellite_position <= 1800 ? 'E' : 'W'};
}

void XmlEscape(const char *text, char *out, std::size_t size) {
    const bool utf8 = IsUtf8(text);
    std::size_t used = 0;
    std::uint32_t code_point = 0;
    for (std::size_t length; (length = NextCharacter(text, utf8, &code_point)) != 0; text += length) {
        // U+FFFE and U+FFFF are not characters of XML either.
        if (IsControlCharacter(code_point) || code_point == 0xFFFEu || code_point == 0xFFFFu) continue;
        char piece[16];
        switch (code_point) {
            case '&': std::snprintf(piece, sizeof piece, "&amp;"); break;
            case '<': std::snprintf(piece, sizeof piece, "&lt;"); break;
            case '>': std::snprintf(piece, sizeof piece, "&gt;"); break;
            case '"': std::snprintf(piece, sizeof piece, "&quot;"); break;
            default:
                if (utf8 && code_point >= 0x80u) {
                    std::snprintf(piece, sizeof piece, "&#%u;", static_cast<unsigned>(code_point));
                } else {
                    piece[0] = *text;  // ASCII, or a Latin-1 byte
                    piece[1] = '\0';
                }
                break;
        }
        std::size_t piece_length = 0;
        while (piece[piece_length] != '\0') ++piece_length;
        if (used + piece_length >= size) break;
        for (std::size_t i = 0; i < piece_length; ++i) out[used++] = piece[i];
    }
    out[used] = '\0';
}

void DateText(char *out, std::size_t size) {
    LocalTime now{};
    Platform().local_time(&now);
    std::snprintf(out, size, "%u:%02u - %02u/%02u/%04u", static_cast<unsigned>(now.hour),
                  static_cast<unsigned>(now.minute), static_cast<unsigned>(now.day),
                  static_cast<unsigned>(now.month), static_cast<unsigned>(now.year));
}

int WriteTransponderList(const TransponderRecord *records, int satellite_position, const char *file_name,
                         const char *satellite_name, std::uint32_t lof1_mhz, std::uint32_t lof2_mhz,
                         std::uint32_t lofsw_mhz, std::uint32_t switch_value, std::uint32_t count,
                         int ini_format, int info_format) {
    if (records == nullptr || file_name == nullptr || count == 0) return -1;
    if (satellite_name == nullptr) satellite_name = "";
    OutputFile file;
    if (!OpenOutputFile(&file, file_name)) return -2;

    ListFormat format = FormatOf(ini_format);
    WriteHeader(&file, format, satellite_position, satellite_name, lof1_mhz, lof2_mhz, lofsw_mhz, switch_value,
                count);

    // One date for the whole file, taken after the header.
    char date[kDateSize];
    DateText(date, sizeof date);

    for (std::uint32_t n = 1; n <= count; ++n) {
        const TransponderRecord &record = records[n - 1];
        std::uint32_t frequency_mhz = FrequencyMhz(record.frequency);
        std::uint32_t symbol_rate_ksps = SymbolRateKsps(record.symbol_rate);
        char comment[kCommentSize];
        CommentText(format, record, info_format, date, comment);
        switch (format) {
            case kTextList: WriteTextLines(&file, record, frequency_mhz, symbol_rate_ksps, comment); break;
            case kXmlList: WriteXmlLines(&file, record, frequency_mhz, symbol_rate_ksps); break;
            default: WriteIniLine(&file, format, n, record, frequency_mhz, symbol_rate_ksps, comment); break;
        }
    }
    if (format == kXmlList) WriteLine(&file, "\t</sat>\n</satellites>\n");
    return FinishOutputFile(&file);
}
