#include "report/extra_lists.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/ini_reader.h"
#include "platform/platform.h"
#include "record/code_text.h"
#include "record/link_margin.h"
#include "record/value_names.h"
#include "report/list_writer.h"
#include "report/name_text.h"
#include "report/output_file.h"

const ExtraListForm kExtraLists[kExtraListForms] = {
    {1, "dvbv5", "dvbv5.conf"},
    {2, "vdr", "vdr.conf"},
    {4, "csv", "csv"},
    {8, "json", "json"},
};

namespace {

constexpr std::uint32_t kMaxStreams = 16;  // stream_ids holds 16 identifiers

// ---- DVBv5 channel file ------------------------------------------------------------------
// Source: the value names of libdvbv5's channel files (dvb-file, as dvb-format-convert 1.22
// reads them; the DVB-S tables under /usr/share/dvb/dvb-s/ use the same). The rates 1/4 and 1/3
// and the roll-offs below 0.20 have no name there and are written AUTO.
const CodeText kDvbv5System[] = {{1, "DVBS"}, {2, "DVBS2"}, {3, "DSS"}, {4, "TURBO"}};
const CodeText kDvbv5Polarization[] = {{0, "HORIZONTAL"}, {1, "VERTICAL"}, {2, "LEFT"}, {3, "RIGHT"}};
const CodeText kDvbv5Fec[] = {{1, "1/2"}, {2, "2/3"}, {3, "3/4"}, {4, "4/5"},  {5, "5/6"},  {6, "6/7"},
                              {7, "7/8"}, {8, "8/9"}, {9, "9/10"}, {12, "2/5"}, {13, "3/5"}};
const CodeText kDvbv5Modulation[] = {{1, "QPSK"},    {2, "PSK/8"},  {3, "APSK/16"}, {4, "APSK/32"}, {5, "QPSK"},
                                     {6, "QPSK"},    {7, "PSK/8"},  {8, "APSK/16"}, {9, "QPSK"}};
const CodeText kDvbv5RollOff[] = {{1, "35"}, {2, "25"}, {3, "20"}};
const CodeText kDvbv5Pilot[] = {{1, "OFF"}, {2, "ON"}};

// ---- VDR channels.conf -------------------------------------------------------------------
// Source: VDR's channels.conf(5): the parameter letters C (code rate), M (modulation: 2 QPSK,
// 5 8PSK, 6 16APSK, 7 32APSK), O (roll-off, DVB-S2 only, 0 auto), P (input stream, DVB-S2),
// S (0 DVB-S, 1 DVB-S2); a value VDR has no number for is left out, meaning automatic.
const CodeText kVdrFec[] = {{1, "12"}, {2, "23"}, {3, "34"}, {4, "45"},  {5, "56"},
                            {6, "67"}, {7, "78"}, {8, "89"}, {9, "910"}, {13, "35"}};
const CodeText kVdrModulation[] = {{1, "2"}, {2, "5"}, {3, "6"}, {4, "7"}, {5, "2"},
                                   {6, "2"}, {7, "5"}, {8, "6"}, {9, "2"}};
const CodeText kVdrRollOff[] = {{1, "35"}, {2, "25"}, {3, "20"}};
const char kVdrPolarization[] = "HVLR";

// A system the tuner did not name locked with DVB-S2 and automatic parameters, which reach
// DVB-S carriers too: that is how such a carrier is tuned again.
bool TunedAsDvbS2(const TransponderRecord &record) { return record.system == 2 || record.system < 1 || record.system > 4; }

// The rows of a record: one per input stream, or one without a stream.
std::uint32_t RowsOf(const TransponderRecord &record) {
    return record.stream_count == 0 ? 1u : record.stream_count < kMaxStreams ? record.stream_count : kMaxStreams;
}
bool HasStream(const TransponderRecord &record) { return record.stream_count != 0; }

void WriteDvbv5(OutputFile *file, const TransponderRecord *records, std::uint32_t count, const ExtraListPass &pass) {
    const EastWest ew = EastWestOf(pass.satellite_position);
    char name[128];
    PrintableName(pass.satellite_name, name, sizeof name);
    WriteLine(file, "# %s at %u.%u%c, pass %u: %u transponders\n", name, ew.degrees, ew.tenths, ew.letter,
              static_cast<unsigned>(pass.pass_number), static_cast<unsigned>(count));
    for (std::uint32_t i = 0; i < count; ++i) {
        const TransponderRecord &record = records[i];
        const bool dvbs2 = TunedAsDvbS2(record);
        for (std::uint32_t row = 0; row < RowsOf(record); ++row) {
            WriteLine(file, "\n[CHANNEL]\n\tDELIVERY_SYSTEM = %s\n\tFREQUENCY = %u\n\tPOLARIZATION = %s\n",
                      TextOf(kDvbv5System, record.system, "DVBS2"), FrequencyMhz(record.frequency) * 1000u,
                      TextOf(kDvbv5Polarization, record.polarization, "OFF"));
            WriteLine(file, "\tSYMBOL_RATE = %u\n\tINNER_FEC = %s\n\tMODULATION = %s\n\tINVERSION = AUTO\n",
                      SymbolRateKsps(record.symbol_rate) * 1000u, TextOf(kDvbv5Fec, record.fec, "AUTO"),
                      TextOf(kDvbv5Modulation, record.modulation, "QAM/AUTO"));
            if (!dvbs2) continue;
            WriteLine(file, "\tROLLOFF = %s\n\tPILOT = %s\n", TextOf(kDvbv5RollOff, record.rolloff, "AUTO"),
                      TextOf(kDvbv5Pilot, record.pilot, "AUTO"));
            if (HasStream(record)) WriteLine(file, "\tSTREAM_ID = %u\n", static_cast<unsigned>(record.stream_ids[row]));
        }
    }
}

// VDR's fields are separated by ':' and its name from the provider by ';': such characters of
// the satellite name become '|' and ',' as VDR itself writes them; controls are dropped.
void VdrText(const char *text, char *out, std::size_t size) {
    PrintableName(text, out, size);
    for (char *c = out; *c != '\0'; ++c) {
        if (*c == ':') *c = '|';
        if (*c == ';') *c = ',';
    }
}

void WriteVdr(OutputFile *file, const TransponderRecord *records, std::uint32_t count, const ExtraListPass &pass) {
    const EastWest ew = EastWestOf(pass.satellite_position);
    char provider[128];
    VdrText(pass.satellite_name, provider, sizeof provider);
    // A line starting with ':' is a group separator: it titles the transponders below it.
    WriteLine(file, ":%s %u.%u%c transponders\n", provider, ew.degrees, ew.tenths, ew.letter);
    for (std::uint32_t i = 0; i < count; ++i) {
        const TransponderRecord &record = records[i];
        const bool dvbs2 = TunedAsDvbS2(record);
        const unsigned frequency_mhz = FrequencyMhz(record.frequency);
        const unsigned symbol_rate_ks = SymbolRateKsps(record.symbol_rate);
        const char letter = record.polarization >= 0 && record.polarization <= 3 ? kVdrPolarization[record.polarization] : 'H';
        for (std::uint32_t row = 0; row < RowsOf(record); ++row) {
            const unsigned stream = HasStream(record) ? record.stream_ids[row] : 0u;
            char parameters[48];
            const char *fec = TextOf(kVdrFec, record.fec, "");
            const char *modulation = TextOf(kVdrModulation, record.modulation, "");
            std::snprintf(parameters, sizeof parameters, "%c%s%s%s%s", letter, fec[0] != '\0' ? "C" : "", fec,
                          modulation[0] != '\0' ? "M" : "", modulation);
            if (dvbs2) {
                char more[24];
                std::snprintf(more, sizeof more, "O%s", TextOf(kVdrRollOff, record.rolloff, "0"));
                std::strncat(parameters, more, sizeof parameters - std::strlen(parameters) - 1);
                if (HasStream(record)) {
                    std::snprintf(more, sizeof more, "P%u", stream);
                    std::strncat(parameters, more, sizeof parameters - std::strlen(parameters) - 1);
                }
            }
            char name[48];
            if (HasStream(record)) {
                std::snprintf(name, sizeof name, "%u %c %u stream %u", frequency_mhz, letter, symbol_rate_ks, stream);
            } else {
                std::snprintf(name, sizeof name, "%u %c %u", frequency_mhz, letter, symbol_rate_ks);
            }
            // Name;Provider:Frequency:Parameters:Source:Srate:VPID:APID:TPID:CAID:SID:NID:TID:RID.
            // Without NID and TID, VDR tells the transponders apart by frequency and polarization;
            // the streams of one carrier are told apart by the RID.
            WriteLine(file, "%s;%s:%u:%sS%u:S%u.%u%c:%u:0:0:0:0:0:0:0:%u\n", name, provider, frequency_mhz, parameters,
                      dvbs2 ? 1u : 0u, ew.degrees, ew.tenths, ew.letter, symbol_rate_ks, stream);
        }
    }
}

// ---- CSV and JSON ------------------------------------------------------------------------

// The date and time of the list, ISO 8601 without a zone (local time).
void IsoTime(char (&out)[32]) {
    LocalTime now{};
    Platform().local_time(&now);
    std::snprintf(out, sizeof out, "%04d-%02d-%02dT%02d:%02d", now.year, now.month, now.day, now.hour, now.minute);
}

// A name as JSON text: ASCII only, the rest as \u escapes (a name that is not UTF-8 is read as
// Latin-1), control characters dropped. `out` holds six characters per byte and the quotes.
void JsonText(const char *text, char *out, std::size_t size) {
    const bool utf8 = IsUtf8(text);
    std::size_t used = 0;
    std::uint32_t code_point = 0;
    auto put = [&](const char *piece) {
        const std::size_t length = std::strlen(piece);
        if (used + length + 1 >= size) return false;
        std::memcpy(out + used, piece, length);
        used += length;
        return true;
    };
    put("\"");
    for (std::size_t step; (step = NextCharacter(text, utf8, &code_point)) != 0; text += step) {
        if (IsControlCharacter(code_point)) continue;
        char piece[16];
        if (code_point == '"' || code_point == '\\') {
            std::snprintf(piece, sizeof piece, "\\%c", static_cast<char>(code_point));
        } else if (code_point < 0x80) {
            std::snprintf(piece, sizeof piece, "%c", static_cast<char>(code_point));
        } else if (code_point < 0x10000) {
            std::snprintf(piece, sizeof piece, "\\u%04x", static_cast<unsigned>(code_point));
        } else {
            const std::uint32_t v = code_point - 0x10000;
            std::snprintf(piece, sizeof piece, "\\u%04x\\u%04x", static_cast<unsigned>(0xD800 + (v >> 10)),
                          static_cast<unsigned>(0xDC00 + (v & 0x3FF)));
        }
        if (!put(piece)) break;
    }
    out[used] = '\0';
    std::strncat(out, "\"", size - used - 1);
}

// A name as a CSV field (RFC 4180): UTF-8 (a Latin-1 name converted), controls dropped, quoted
// when it holds a comma, a quote or blanks at its ends, with its quotes doubled.
void CsvText(const char *text, char *out, std::size_t size) {
    const bool utf8 = IsUtf8(text);
    const std::size_t length = std::strlen(text);
    const bool quoted = std::strpbrk(text, ",\"") != nullptr || (length > 0 && (text[0] == ' ' || text[length - 1] == ' '));
    std::size_t used = 0;
    std::uint32_t code_point = 0;
    if (quoted && size > 1) out[used++] = '"';
    for (std::size_t step; (step = NextCharacter(text, utf8, &code_point)) != 0; text += step) {
        if (IsControlCharacter(code_point)) continue;
        char piece[8];
        std::size_t n = 0;
        if (code_point < 0x80) {
            piece[n++] = static_cast<char>(code_point);
            if (code_point == '"') piece[n++] = '"';
        } else if (code_point < 0x800) {
            piece[n++] = static_cast<char>(0xC0 | (code_point >> 6));
            piece[n++] = static_cast<char>(0x80 | (code_point & 0x3F));
        } else {
            std::memcpy(piece, text, step);  // UTF-8 already: three or four bytes as they stand
            n = step;
        }
        if (used + n + 2 >= size) break;
        std::memcpy(out + used, piece, n);
        used += n;
    }
    if (quoted) out[used++] = '"';
    out[used] = '\0';
}

// A figure in dB with two decimals, or `none` where it is not a number.
void DbText(double value_db, bool known, const char *none, char (&out)[32]) {
    if (!known || !std::isfinite(value_db)) {
        std::snprintf(out, sizeof out, "%s", none);
    } else {
        std::snprintf(out, sizeof out, "%.2f", value_db);
    }
}

// "H 10700-12750 MHz step 2, V 10700-11234 of 12750 MHz step 2" for the CSV column.
void IntervalsText(const PassCoverage *coverage, bool stopped, char *out, std::size_t size) {
    out[0] = '\0';
    if (coverage == nullptr) return;
    std::size_t used = 0;
    for (std::uint32_t i = 0; i < coverage->count; ++i) {
        const CoveredInterval &interval = coverage->intervals[i];
        const unsigned reached_mhz = ReachedMhz(*coverage, i, stopped);
        char reach[32] = "";
        if (reached_mhz < interval.stop_mhz) std::snprintf(reach, sizeof reach, "%u of ", reached_mhz);
        const int n = std::snprintf(out + used, size - used, "%s%s %u-%s%u MHz step %u", i > 0 ? "; " : "",
                                    PolarizationName(static_cast<std::int32_t>(interval.polarization)), interval.start_mhz,
                                    reach, interval.stop_mhz, interval.step_mhz);
        if (n < 0 || static_cast<std::size_t>(n) >= size - used) break;
        used += static_cast<std::size_t>(n);
    }
}

struct RowText {
    char margin[32];
    char snr[32];
};

void WriteCsv(OutputFile *file, const TransponderRecord *records, std::uint32_t count, const ExtraListPass &pass) {
    WriteLine(file, "satellite,position,pass,time,scan_time_s,stopped,intervals,number,stream_id,locked,frequency_khz,"
                    "polarization,symbol_rate_sps,system,modulation,fec,inversion,rolloff,pilot,frame_length,"
                    "coding_mode,stream_type,stream_count,issy,npd,carrier_width_khz,bit_rate_bps,rf_level_dbm,"
                    "snr_db,link_margin_db\n");
    char satellite[400];
    CsvText(pass.satellite_name, satellite, sizeof satellite);
    const EastWest ew = EastWestOf(pass.satellite_position);
    char time[32];
    IsoTime(time);
    char intervals[600];
    IntervalsText(pass.coverage, pass.stopped, intervals, sizeof intervals);
    char pass_text[700];
    std::snprintf(pass_text, sizeof pass_text, "%s,%u.%u%c,%u,%s,%.3f,%s,\"%s\"", satellite, ew.degrees, ew.tenths,
                  ew.letter, static_cast<unsigned>(pass.pass_number), time, pass.scan_time_s,
                  pass.stopped ? "true" : "false", intervals);
    for (std::uint32_t i = 0; i < count; ++i) {
        const TransponderRecord &r = records[i];
        RowText text{};
        DbText(r.snr, true, "", text.snr);
        DbText(LinkMargin(r), LinkMarginKnown(r), "", text.margin);
        for (std::uint32_t row = 0; row < RowsOf(r); ++row) {
            char stream[8] = "";
            if (HasStream(r)) std::snprintf(stream, sizeof stream, "%u", static_cast<unsigned>(r.stream_ids[row]));
            WriteLine(file, "%s,", pass_text);
            WriteLine(file, "%u,%s,%s,%u,%s,%u,%s,%s,%s,%s,%s,%s,%s,%s,%s,%u,%s,%s,%u,%u,%d,%s,%s\n",
                      static_cast<unsigned>(i + 1), stream, r.locked != 0 ? "true" : "false",
                      static_cast<unsigned>(r.frequency), PolarizationName(r.polarization),
                      static_cast<unsigned>(r.symbol_rate), SystemName(r.system), ModulationName(r.modulation),
                      FecName(r.fec), InversionName(r.inversion), RollOffName(r.rolloff), PilotName(r.pilot),
                      FrameLengthName(r.frame_length), CodingModeName(r.coding_mode), StreamTypeName(r.stream_type),
                      static_cast<unsigned>(r.stream_count), r.issy != 0 ? "true" : "false",
                      r.npd != 0 ? "true" : "false", static_cast<unsigned>(r.carrier_width),
                      static_cast<unsigned>(r.bit_rate), r.rf_level, text.snr, text.margin);
        }
    }
}

void WriteJson(OutputFile *file, const TransponderRecord *records, std::uint32_t count, const ExtraListPass &pass) {
    char satellite[700];
    JsonText(pass.satellite_name, satellite, sizeof satellite);
    const EastWest ew = EastWestOf(pass.satellite_position);
    char time[32];
    IsoTime(time);
    const int east_tenths = pass.satellite_position <= 1800 ? pass.satellite_position : pass.satellite_position - 3600;
    WriteLine(file, "{\n  \"satellite\": %s,\n  \"position\": \"%u.%u%c\",\n  \"longitude_deg\": %.1f,\n", satellite,
              ew.degrees, ew.tenths, ew.letter, east_tenths / 10.0);
    WriteLine(file, "  \"pass\": %u,\n  \"time\": \"%s\",\n  \"scan_time_s\": %.3f,\n  \"stopped\": %s,\n  \"intervals\": [",
              static_cast<unsigned>(pass.pass_number), time, pass.scan_time_s, pass.stopped ? "true" : "false");
    const std::uint32_t kept = pass.coverage != nullptr ? pass.coverage->count : 0;
    for (std::uint32_t i = 0; i < kept; ++i) {
        const CoveredInterval &interval = pass.coverage->intervals[i];
        WriteLine(file,
                  "%s\n    {\"polarization\": \"%s\", \"start_mhz\": %u, \"stop_mhz\": %u, \"step_mhz\": %u, "
                  "\"min_symbol_rate_ks\": %u, \"max_symbol_rate_ks\": %u, \"reached_mhz\": %u}",
                  i > 0 ? "," : "", PolarizationName(static_cast<std::int32_t>(interval.polarization)),
                  interval.start_mhz, interval.stop_mhz, interval.step_mhz, interval.min_symbol_rate_ks,
                  interval.max_symbol_rate_ks, ReachedMhz(*pass.coverage, i, pass.stopped));
    }
    WriteLine(file, "%s],\n  \"transponders\": [", kept > 0 ? "\n  " : "");
    bool first = true;
    for (std::uint32_t i = 0; i < count; ++i) {
        const TransponderRecord &r = records[i];
        RowText text{};
        DbText(r.snr, true, "null", text.snr);
        DbText(LinkMargin(r), LinkMarginKnown(r), "null", text.margin);
        for (std::uint32_t row = 0; row < RowsOf(r); ++row) {
            char stream[8] = "null";
            if (HasStream(r)) std::snprintf(stream, sizeof stream, "%u", static_cast<unsigned>(r.stream_ids[row]));
            WriteLine(file,
                      "%s\n    {\"number\": %u, \"stream_id\": %s, \"locked\": %s, \"frequency_khz\": %u, "
                      "\"polarization\": \"%s\", \"symbol_rate_sps\": %u, \"system\": \"%s\", \"modulation\": \"%s\", "
                      "\"fec\": \"%s\", \"inversion\": \"%s\", \"rolloff\": \"%s\", ",
                      first ? "" : ",", static_cast<unsigned>(i + 1), stream, r.locked != 0 ? "true" : "false",
                      static_cast<unsigned>(r.frequency), PolarizationName(r.polarization),
                      static_cast<unsigned>(r.symbol_rate), SystemName(r.system), ModulationName(r.modulation),
                      FecName(r.fec), InversionName(r.inversion), RollOffName(r.rolloff));
            WriteLine(file,
                      "\"pilot\": \"%s\", \"frame_length\": \"%s\", \"coding_mode\": \"%s\", \"stream_type\": \"%s\", "
                      "\"stream_count\": %u, \"issy\": %s, \"npd\": %s, \"carrier_width_khz\": %u, \"bit_rate_bps\": %u, "
                      "\"rf_level_dbm\": %d, \"snr_db\": %s, \"link_margin_db\": %s}",
                      PilotName(r.pilot), FrameLengthName(r.frame_length), CodingModeName(r.coding_mode),
                      StreamTypeName(r.stream_type), static_cast<unsigned>(r.stream_count), r.issy != 0 ? "true" : "false",
                      r.npd != 0 ? "true" : "false", static_cast<unsigned>(r.carrier_width),
                      static_cast<unsigned>(r.bit_rate), r.rf_level, text.snr, text.margin);
            first = false;
        }
    }
    WriteLine(file, "\n  ]\n}\n");
}

}  // namespace

unsigned ParseExtraLists(const char *text, char *unknown, std::size_t unknown_size) {
    if (unknown_size > 0) unknown[0] = '\0';
    unsigned mask = 0;
    while (*text != '\0') {
        const std::size_t skip = std::strspn(text, ", \t");
        text += skip;
        const std::size_t length = std::strcspn(text, ", \t");
        if (length == 0) break;
        unsigned bit = IniSameName(text, length, "all") ? 0xF : 0;
        for (const ExtraListForm &form : kExtraLists) {
            if (IniSameName(text, length, form.name)) bit = form.bit;
        }
        if (bit == 0 && unknown_size > 0 && unknown[0] == '\0') {
            std::snprintf(unknown, unknown_size, "%.*s", static_cast<int>(length), text);
        }
        mask |= bit;
        text += length;
    }
    return mask;
}

unsigned ReadExtraLists(const char *config_path) {
    char text[128];
    IniReadText("Options", "ExtraLists", "", text, sizeof text, config_path);
    char unknown[32];
    return ParseExtraLists(text, unknown, sizeof unknown);
}

int WriteExtraList(unsigned form, const char *file_name, const TransponderRecord *records, std::uint32_t count,
                   const ExtraListPass &pass) {
    if (file_name == nullptr || records == nullptr || count == 0) return -1;
    OutputFile file;
    if (!OpenOutputFile(&file, file_name)) return -2;
    file.lf_line_ends = true;
    const ExtraListPass named{pass.satellite_name != nullptr ? pass.satellite_name : "", pass.satellite_position,
                              pass.pass_number, pass.scan_time_s, pass.stopped, pass.coverage};
    switch (form) {
        case 1: WriteDvbv5(&file, records, count, named); break;
        case 2: WriteVdr(&file, records, count, named); break;
        case 4: WriteCsv(&file, records, count, named); break;
        default: WriteJson(&file, records, count, named); break;
    }
    return FinishOutputFile(&file);
}
