#include "report/output_step.h"

#include <cstdio>

#include "platform/platform.h"
#include "report/band_map.h"
#include "report/extra_lists.h"
#include "report/list_writer.h"
#include "report/output_file.h"
#include "report/report_writer.h"

namespace {

// Ends a writer's console line: nothing on success; "error !" on failure, with the file and
// the system's reason on standard error, since the results may now exist only on the console.
bool Announced(bool written, bool fits, const char *name) {
    if (written) return true;
    Print("error !\n");
    if (fits) {
        PrintError("Can't write %s: %s\n", name, LastOutputError());
    } else {
        PrintError("Can't write %s: the name is longer than %u characters\n", name,
                   static_cast<unsigned>(kPathSize - 1));
    }
    return false;
}

// Forms "<dir><stem>[_<pass>].<extension>" into `name`: the text list (format 5) names its
// files by the east/west form, all others by the position as four digits. False when the
// name does not fit; it is then cut to the buffer.
bool FormName(char (&name)[kPathSize], const char *dir, const char *extension, const OutputOptions &options,
              std::uint32_t pass_number) {
    char pass[16] = "";
    if (options.loop == 1) std::snprintf(pass, sizeof pass, "_%u", pass_number);
    int length;
    if (options.ini_format == 5) {
        EastWest ew = EastWestOf(options.satellite_position);
        length = std::snprintf(name, sizeof name, "%sS%u.%u%c%s.%s", dir, ew.degrees, ew.tenths, ew.letter, pass,
                               extension);
    } else {
        length = std::snprintf(name, sizeof name, "%s%04u%s.%s", dir, static_cast<unsigned>(options.satellite_position),
                               pass, extension);
    }
    return length >= 0 && static_cast<unsigned>(length) < sizeof name;
}

const char *ListExtension(int ini_format) {
    if (ini_format == 6) return "xml";
    return "ini";  // the text list of format 5 is stored as .ini too
}

}  // namespace

bool RunOutputStep(const TransponderRecord *records, std::uint32_t count, double scan_time_s,
                   std::uint32_t pass_number, const OutputOptions &options) {
    const char *report_dir = options.report_dir != nullptr ? options.report_dir : "";
    const char *tp_dir = options.tp_dir != nullptr ? options.tp_dir : "";

    // Both names are formed in turn in the one buffer. A name too long for it is announced
    // cut and its writer is not called.
    char name[kPathSize];
    bool fits = FormName(name, report_dir, "txt", options, pass_number);
    Print("Report detailed transponder info to %s ...\n", name);
    bool all_written = Announced(fits && WriteReport(name, records, count, scan_time_s) == 0, fits, name);

    fits = FormName(name, tp_dir, ListExtension(options.ini_format), options, pass_number);
    Print("Store transponder info in %s ...\n", name);
    std::uint32_t switch_value = options.diseqc == 0 ? 0u : static_cast<std::uint32_t>(options.diseqc) + 2u;
    const bool list_written =
        fits && WriteTransponderList(records, options.satellite_position, name, options.satellite_name,
                                     options.lof1_mhz, options.lof2_mhz, options.lofsw_mhz, switch_value, count,
                                     options.ini_format, options.info_format) == 0;
    all_written = Announced(list_written, fits, name) && all_written;

    // The further lists stand beside the list, named like it: S9.0E.dvbv5.conf.
    const ExtraListPass extra{options.satellite_name, options.satellite_position, pass_number, scan_time_s,
                              options.stopped != 0, options.coverage};
    for (const ExtraListForm &form : kExtraLists) {
        if ((options.extra_lists & form.bit) == 0) continue;
        fits = FormName(name, tp_dir, form.extension, options, pass_number);
        Print("Store transponder info in %s ...\n", name);
        all_written = Announced(fits && WriteExtraList(form.bit, name, records, count, extra) == 0, fits, name) &&
                      all_written;
    }

    // The band map is named like the report and stands beside it.
    if (options.band_map == 0) return all_written;
    fits = FormName(name, report_dir, "svg", options, pass_number);
    Print("Draw the band map to %s ...\n", name);
    const BandMapPass pass{options.satellite_name, options.satellite_position, pass_number, options.window_start_mhz,
                           options.window_stop_mhz, options.lofsw_mhz, options.coverage, options.stopped != 0};
    all_written = Announced(fits && WriteBandMap(name, records, count, pass) == 0, fits, name) && all_written;
    return all_written;
}
