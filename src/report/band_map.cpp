#include "report/band_map.h"

#include <cmath>
#include <cstdio>

#include "report/list_writer.h"
#include "report/output_file.h"
#include "record/value_names.h"
#include "record/link_margin.h"

namespace {

// The picture is drawn for 1600 pixels across. Every coordinate is a whole pixel, every
// number is formed from integers, so the file reads the same in every locale.
constexpr long kWidth = 1600;
constexpr long kPlotLeft = 90;
constexpr long kPlotRight = 1570;
constexpr long kHeaderHeight = 100;
// One lane: its title, a band of upright labels, the bars standing on the frequency axis,
// and the tick labels under it.
constexpr long kLaneHeight = 330;
constexpr long kLaneTitle = 18;       // baseline of the lane's title, below the lane top
constexpr long kLabelBase = 145;      // where the upright labels start, below the lane top
constexpr long kBarTop = 150;         // the tallest bar reaches here
constexpr long kAxis = 300;           // the frequency axis, below the lane top
constexpr long kMinBar = 4;           // px; the bar of a carrier at 0 dB and below
constexpr long kFullScaleSnr = 200;   // tenths of a dB: 20 dB and above reach the top
constexpr long kMinBarWidth = 2;      // px, so that the narrowest carrier stays visible
constexpr long kLabelPitch = 14;      // px between two upright labels of 11 px type

// Colours of the margin classes that readers with any kind of colour blindness tell apart:
// vermillion, orange and blue of Okabe and Ito, "Color Universal Design" (2002), and grey for a
// margin that is not known. Then the page, the text, and the band a pass did not scan.
const char *const kMarginColour[] = {"#d55e00", "#e69f00", "#0072b2", "#999999"};  // short, tight, good, unknown
const char *const kBackground = "#ffffff";
const char *const kInk = "#222222";
const char *const kNotScanned = "#ececec";

// Tick spacings in MHz, the smallest that leaves at most 14 ticks across the window is used.
const std::uint32_t kTickSpacingMhz[] = {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000};

// Lanes in the order they are drawn; codes outside 0..3 share the last lane.
constexpr int kLaneCount = 5;
int LaneOf(std::int32_t polarization) {
    return polarization >= 0 && polarization <= 3 ? polarization : kLaneCount - 1;
}

// A value in tenths as text, e.g. -5 as "-0.5".
void TenthsText(long tenths, char (&out)[24]) {
    const char *sign = tenths < 0 ? "-" : "";
    long magnitude = tenths < 0 ? -tenths : tenths;
    std::snprintf(out, sizeof out, "%s%ld.%ld", sign, magnitude / 10, magnitude % 10);
}

// dB in tenths, rounded. The SNR is the tuner's word: a value beyond any real one is held
// at +-100000 dB and one that is not a number counts 0.
long Tenths(double value_db) {
    if (std::isnan(value_db)) return 0;
    const double held = value_db > 1e5 ? 1e5 : value_db < -1e5 ? -1e5 : value_db;
    return std::lround(held * 10.0);
}

struct Axis {
    std::uint64_t start_khz;
    std::uint64_t span_khz;
};

// The window in kHz; without one, the span of the carriers, widened to whole MHz.
Axis AxisOf(const TransponderRecord *records, std::uint32_t count, const BandMapPass &pass) {
    if (pass.window_stop_mhz > pass.window_start_mhz) {
        return {pass.window_start_mhz * 1000ull, (pass.window_stop_mhz - pass.window_start_mhz) * 1000ull};
    }
    std::uint64_t low = UINT64_MAX;
    std::uint64_t high = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t half = records[i].carrier_width / 2u;
        const std::uint64_t left = records[i].frequency > half ? records[i].frequency - half : 0;
        const std::uint64_t right = records[i].frequency + half;
        if (left < low) low = left;
        if (right > high) high = right;
    }
    low = low / 1000u * 1000u;
    high = (high / 1000u + 1u) * 1000u;
    return {low, high - low};
}

// The pixel column of a frequency, held inside the plot.
long ColumnOf(const Axis &axis, std::uint64_t khz) {
    if (khz <= axis.start_khz) return kPlotLeft;
    const std::uint64_t offset = khz - axis.start_khz;
    if (offset >= axis.span_khz) return kPlotRight;
    return kPlotLeft + static_cast<long>(offset * static_cast<std::uint64_t>(kPlotRight - kPlotLeft) / axis.span_khz);
}

void WriteHeader(OutputFile *file, std::uint32_t count, const BandMapPass &pass,
                 const Axis &axis, long height) {
    WriteLine(file, "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\n");
    // No width or height: the picture scales to the window that shows it.
    WriteLine(file,
              "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" viewBox=\"0 0 %ld %ld\" "
              "font-family=\"DejaVu Sans, Arial, sans-serif\" fill=\"%s\">\n",
              kWidth, height, kInk);
    char name[600];  // a 99-character name, every character an entity of at most 6
    XmlEscape(pass.satellite_name != nullptr ? pass.satellite_name : "", name, sizeof name);
    const EastWest ew = EastWestOf(pass.satellite_position);
    WriteLine(file, "<title>%s at %u.%u%c, pass %u</title>\n", name, ew.degrees, ew.tenths, ew.letter,
              static_cast<unsigned>(pass.pass_number));
    WriteLine(file, "<rect x=\"0\" y=\"0\" width=\"%ld\" height=\"%ld\" fill=\"%s\"/>\n", kWidth, height, kBackground);
    WriteLine(file, "<text x=\"20\" y=\"30\" font-size=\"20\" font-weight=\"bold\">%s at %u.%u%c</text>\n", name,
              ew.degrees, ew.tenths, ew.letter);
    char date[128];
    DateText(date, sizeof date);
    const std::uint64_t stop_khz = axis.start_khz + axis.span_khz;
    char stopped[64] = "";
    if (pass.stopped && pass.coverage != nullptr && pass.coverage->begun > 0 && pass.coverage->begun == pass.coverage->count) {
        std::snprintf(stopped, sizeof stopped, ", stopped at %u MHz",
                      ReachedMhz(*pass.coverage, pass.coverage->begun - 1, true));
    } else if (pass.stopped) {
        std::snprintf(stopped, sizeof stopped, ", stopped");
    }
    WriteLine(file, "<text x=\"20\" y=\"52\" font-size=\"13\">Pass %u, %u transponders, %s, %u to %u MHz%s</text>\n",
              static_cast<unsigned>(pass.pass_number), static_cast<unsigned>(count), date,
              static_cast<unsigned>(axis.start_khz / 1000u), static_cast<unsigned>(stop_khz / 1000u), stopped);
    WriteLine(file,
              "<text x=\"20\" y=\"70\" font-size=\"12\" fill=\"#555555\">Bar width: occupied band. Bar height: "
              "signal/noise, 0 to 20 dB. Label: frequency in MHz / symbol rate in kS/s; a dot: no room for "
              "the label.</text>\n");
    WriteLine(file,
              "<text x=\"20\" y=\"86\" font-size=\"12\" fill=\"#555555\">Point at a bar for its report line. "
              "Grey band: not scanned. Dashed line: the LNB's band switch.</text>\n");
    // The legend: the margin classes.
    const char *const legend[] = {"Link margin below 0 dB", "Link margin 0 to under 2 dB", "Link margin 2 dB and more",
                                  "Link margin unknown"};
    for (int i = 0; i < 4; ++i) {
        const long y = 8 + 20 * i;
        WriteLine(file, "<rect x=\"1290\" y=\"%ld\" width=\"16\" height=\"16\" fill=\"%s\" stroke=\"%s\"/>\n", y,
                  kMarginColour[i], kInk);
        WriteLine(file, "<text x=\"1314\" y=\"%ld\" font-size=\"13\">%s</text>\n", y + 13, legend[i]);
    }
}

// The frequency axis of a lane with its ticks and their MHz labels, and the SNR scale.
void WriteAxis(OutputFile *file, const Axis &axis, long lane_top) {
    const long axis_y = lane_top + kAxis;
    WriteLine(file, "<line x1=\"%ld\" y1=\"%ld\" x2=\"%ld\" y2=\"%ld\" stroke=\"%s\"/>\n", kPlotLeft, axis_y,
              kPlotRight, axis_y, kInk);
    const std::uint64_t span_mhz = axis.span_khz / 1000u;
    std::uint64_t spacing_mhz = kTickSpacingMhz[sizeof kTickSpacingMhz / sizeof kTickSpacingMhz[0] - 1];
    for (std::uint32_t candidate : kTickSpacingMhz) {
        if (span_mhz / candidate <= 14u) {
            spacing_mhz = candidate;
            break;
        }
    }
    const std::uint64_t spacing_khz = spacing_mhz * 1000u;
    const std::uint64_t stop_khz = axis.start_khz + axis.span_khz;
    for (std::uint64_t tick = (axis.start_khz + spacing_khz - 1) / spacing_khz * spacing_khz; tick <= stop_khz;
         tick += spacing_khz) {
        const long x = ColumnOf(axis, tick);
        WriteLine(file, "<line x1=\"%ld\" y1=\"%ld\" x2=\"%ld\" y2=\"%ld\" stroke=\"%s\"/>\n", x, axis_y, x, axis_y + 6,
                  kInk);
        WriteLine(file, "<text x=\"%ld\" y=\"%ld\" font-size=\"11\" text-anchor=\"middle\">%u</text>\n", x,
                  axis_y + 19, static_cast<unsigned>(tick / 1000u));
    }
    WriteLine(file, "<text x=\"%ld\" y=\"%ld\" font-size=\"11\" text-anchor=\"end\">MHz</text>\n", kPlotLeft - 8,
              axis_y + 19);
    WriteLine(file, "<text x=\"%ld\" y=\"%ld\" font-size=\"11\" text-anchor=\"end\">20 dB</text>\n", kPlotLeft - 8,
              lane_top + kBarTop + 4);
    WriteLine(file, "<text x=\"%ld\" y=\"%ld\" font-size=\"11\" text-anchor=\"end\">0 dB</text>\n", kPlotLeft - 8,
              axis_y - kMinBar);
}

// The parts of a lane's axis that no interval of its polarization scanned, greyed: beyond the
// step where a stopped pass ended, and the band another polarization's intervals span alone.
// Known only where the pass kept every interval it began.
void WriteNotScanned(OutputFile *file, const Axis &axis, long lane_top, std::uint32_t polarization,
                     const PassCoverage *coverage) {
    if (coverage == nullptr || coverage->begun != coverage->count) return;
    const std::uint64_t stop_khz = axis.start_khz + axis.span_khz;
    std::uint64_t at_khz = axis.start_khz;
    while (at_khz < stop_khz) {
        // Past every scanned range that holds `at_khz`, then on to the next that starts after it.
        for (bool moved = true; moved;) {
            moved = false;
            for (std::uint32_t i = 0; i < coverage->count; ++i) {
                const CoveredInterval &interval = coverage->intervals[i];
                const std::uint64_t begin = interval.start_mhz * 1000ull;
                const std::uint64_t end = ReachedMhz(*coverage, i, true) * 1000ull;
                if (interval.polarization == polarization && begin <= at_khz && end > at_khz) {
                    at_khz = end;
                    moved = true;
                }
            }
        }
        if (at_khz >= stop_khz) return;
        std::uint64_t next_khz = stop_khz;
        for (std::uint32_t i = 0; i < coverage->count; ++i) {
            const std::uint64_t begin = coverage->intervals[i].start_mhz * 1000ull;
            if (coverage->intervals[i].polarization == polarization && begin > at_khz && begin < next_khz) next_khz = begin;
        }
        const long x0 = ColumnOf(axis, at_khz);
        const long x1 = ColumnOf(axis, next_khz);
        WriteLine(file, "<rect x=\"%ld\" y=\"%ld\" width=\"%ld\" height=\"%ld\" fill=\"%s\"/>\n", x0,
                  lane_top + kLabelBase - 100, x1 - x0, kAxis - kLabelBase + 100, kNotScanned);
        at_khz = next_khz;
    }
}

// The LNB's band switch, where the 22 kHz tone turns to the high band's oscillator.
void WriteBandSwitch(OutputFile *file, const Axis &axis, long lane_top, std::uint32_t lofsw_mhz) {
    const std::uint64_t switch_khz = lofsw_mhz * 1000ull;
    if (switch_khz <= axis.start_khz || switch_khz >= axis.start_khz + axis.span_khz) return;
    const long x = ColumnOf(axis, switch_khz);
    WriteLine(file,
              "<line x1=\"%ld\" y1=\"%ld\" x2=\"%ld\" y2=\"%ld\" stroke=\"%s\" stroke-dasharray=\"6 4\"/>\n", x,
              lane_top + kLaneTitle + 8, x, lane_top + kAxis, kInk);
    WriteLine(file, "<text x=\"%ld\" y=\"%ld\" font-size=\"11\">band switch %u MHz</text>\n", x + 4,
              lane_top + kLaneTitle + 16, static_cast<unsigned>(lofsw_mhz));
}

// The pixel columns of a carrier's occupied band, at least kMinBarWidth apart.
struct Span {
    long x0;
    long x1;
};
Span SpanOf(const Axis &axis, const TransponderRecord &record) {
    const std::uint64_t half_khz = record.carrier_width / 2u;
    const std::uint64_t left_khz = record.frequency > half_khz ? record.frequency - half_khz : 0;
    Span span{ColumnOf(axis, left_khz), ColumnOf(axis, static_cast<std::uint64_t>(record.frequency) + half_khz)};
    if (span.x1 - span.x0 < kMinBarWidth) {
        span.x1 = span.x0 + kMinBarWidth;
        if (span.x1 > kPlotRight) span = {kPlotRight - kMinBarWidth, kPlotRight};
    }
    return span;
}

// One carrier's bar, with its report line as its title.
void WriteBar(OutputFile *file, const Axis &axis, long lane_top, std::uint32_t number, const TransponderRecord &record) {
    const Span span = SpanOf(axis, record);
    const long snr_tenths = Tenths(record.snr);
    const long shown_snr = snr_tenths < 0 ? 0 : snr_tenths > kFullScaleSnr ? kFullScaleSnr : snr_tenths;
    const long height = kMinBar + shown_snr * (kAxis - kBarTop - kMinBar) / kFullScaleSnr;
    char snr[24];
    char margin[24];
    TenthsText(snr_tenths, snr);
    TenthsText(Tenths(LinkMargin(record)), margin);
    WriteLine(file,
              "<rect x=\"%ld\" y=\"%ld\" width=\"%ld\" height=\"%ld\" fill=\"%s\" stroke=\"%s\" stroke-width=\"0.5\">",
              span.x0, lane_top + kAxis - height, span.x1 - span.x0, height, kMarginColour[MarginClassOf(record)], kInk);
    WriteLine(file,
              "<title>TP %u: %u.%03u MHz, %u kS/s, %s, %s/%s, FEC %s, SNR %s dB, margin %s dB%s</title></rect>\n",
              static_cast<unsigned>(number), static_cast<unsigned>(record.frequency / 1000u),
              static_cast<unsigned>(record.frequency % 1000u), static_cast<unsigned>(record.symbol_rate / 1000u),
              PolarizationName(record.polarization), SystemName(record.system), ModulationName(record.modulation),
              FecName(record.fec), snr, margin, record.locked == 0 ? ", not locked" : "");
}

// The bars of a lane, widest first, so that a narrow carrier beside a wide one stays on top.
// Picked one by one from the unsorted records: no copy, no allocation.
void WriteBars(OutputFile *file, const Axis &axis, long lane_top, int lane, const TransponderRecord *records,
               std::uint32_t count) {
    bool first = true;
    std::uint32_t last_width = 0;
    std::uint32_t last_index = 0;
    for (;;) {
        bool found = false;
        std::uint32_t next = 0;
        for (std::uint32_t i = 0; i < count; ++i) {
            if (LaneOf(records[i].polarization) != lane) continue;
            const std::uint32_t width = records[i].carrier_width;
            // After (last_width, last_index) in the order: width descending, index ascending.
            if (!first && (width > last_width || (width == last_width && i <= last_index))) continue;
            if (!found || width > records[next].carrier_width) {
                next = i;
                found = true;
            }
        }
        if (!found) return;
        WriteBar(file, axis, lane_top, next + 1, records[next]);
        first = false;
        last_width = records[next].carrier_width;
        last_index = next;
    }
}

// The labels of a lane in frequency order, each where there is room since the last one.
void WriteLabels(OutputFile *file, const Axis &axis, long lane_top, int lane, const TransponderRecord *records,
                 std::uint32_t count) {
    long last_label_x = -kLabelPitch;
    for (std::uint32_t i = 0; i < count; ++i) {
        const TransponderRecord &record = records[i];
        if (LaneOf(record.polarization) != lane) continue;
        const Span span = SpanOf(axis, record);
        const long centre = (span.x0 + span.x1) / 2;
        if (centre - last_label_x < kLabelPitch) {
            // No room for its label: a dot over the bar says so.
            WriteLine(file, "<circle cx=\"%ld\" cy=\"%ld\" r=\"2\"/>\n", centre, lane_top + kLabelBase + 3);
            continue;
        }
        last_label_x = centre;
        // Upright text grows to the left of its baseline: the baseline stands a little right
        // of the centre so the glyphs sit over the bar.
        const long x = centre + 4;
        const long y = lane_top + kLabelBase;
        const std::uint32_t hundreds_khz = (record.frequency + 50u) / 100u;
        WriteLine(file,
                  "<text x=\"%ld\" y=\"%ld\" font-size=\"11\" transform=\"rotate(-90 %ld %ld)\">%u.%u / %u</text>\n", x,
                  y, x, y, static_cast<unsigned>(hundreds_khz / 10u), static_cast<unsigned>(hundreds_khz % 10u),
                  static_cast<unsigned>(record.symbol_rate / 1000u));
    }
}

}  // namespace

MarginClass MarginClassOf(const TransponderRecord &record) {
    if (!LinkMarginKnown(record)) return kMarginUnknown;
    const long margin_tenths = Tenths(LinkMargin(record));  // as the report shows it
    if (margin_tenths < 0) return kMarginShort;
    if (margin_tenths < 20) return kMarginTight;
    return kMarginGood;
}

int WriteBandMap(const char *file_name, const TransponderRecord *records, std::uint32_t count,
                 const BandMapPass &pass) {
    if (file_name == nullptr || records == nullptr || count == 0) return -1;
    std::uint32_t in_lane[kLaneCount] = {};
    for (std::uint32_t i = 0; i < count; ++i) ++in_lane[LaneOf(records[i].polarization)];
    long lanes = 0;
    for (std::uint32_t carriers : in_lane) lanes += carriers != 0 ? 1 : 0;

    OutputFile file;
    if (!OpenOutputFile(&file, file_name)) return -2;
    const Axis axis = AxisOf(records, count, pass);
    const long height = kHeaderHeight + lanes * kLaneHeight + 10;
    WriteHeader(&file, count, pass, axis, height);

    long lane_top = kHeaderHeight;
    for (int lane = 0; lane < kLaneCount; ++lane) {
        if (in_lane[lane] == 0) continue;
        WriteLine(&file, "<g>\n<text x=\"%ld\" y=\"%ld\" font-size=\"14\" font-weight=\"bold\">%s: %u %s</text>\n",
                  kPlotLeft, lane_top + kLaneTitle, lane < 4 ? PolarizationName(lane) : "Other polarization",
                  static_cast<unsigned>(in_lane[lane]), in_lane[lane] == 1 ? "carrier" : "carriers");
        if (lane < 4) WriteNotScanned(&file, axis, lane_top, static_cast<std::uint32_t>(lane), pass.coverage);
        WriteAxis(&file, axis, lane_top);
        WriteBandSwitch(&file, axis, lane_top, pass.lofsw_mhz);
        WriteBars(&file, axis, lane_top, lane, records, count);
        WriteLabels(&file, axis, lane_top, lane, records, count);
        WriteLine(&file, "</g>\n");
        lane_top += kLaneHeight;
    }
    WriteLine(&file, "</svg>\n");
    return FinishOutputFile(&file);
}
