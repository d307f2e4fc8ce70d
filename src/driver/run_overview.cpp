#include "driver/run_overview.h"

#include <cstdio>

#include "driver/pass_loop.h"
#include "platform/platform.h"
#include "report/name_text.h"
#include "scan/scan_progress.h"
#include "tuner/tuner_library.h"

namespace {

// Devices whose names are kept; a library that lists more names the others by number only.
constexpr int kNamedDevices = 16;
char g_device_names[kNamedDevices][128];

// "8.2 min" or "41 s".
void MinutesText(double ms, char (&out)[32]) {
    if (ms >= 60000.0) {
        std::snprintf(out, sizeof out, "%.1f min", ms / 60000.0);
    } else {
        std::snprintf(out, sizeof out, "%.0f s", ms / 1000.0);
    }
}

}  // namespace

void RememberDeviceName(int index, const char *name) {
    if (index < 0 || index >= kNamedDevices) return;
    PrintableName(name != nullptr ? name : "", g_device_names[index], sizeof g_device_names[index]);
}

void AnnounceTuner(int device_number) {
    const char *file = TunerLibraryFile();
    const char *name = device_number >= 0 && device_number < kNamedDevices ? g_device_names[device_number] : "";
    PrintError("Tuner library %s, device %i%s%s\n", file[0] != '\0' ? file : "(built in)", device_number,
               name[0] != '\0' ? ": " : "", name);
}

void PlanScan(const char *config_path, const LnbSettings &lnb) {
    std::uint32_t intervals = 0;
    std::uint64_t band_khz = 0;
    double modelled_ms = 0.0;
    std::uint32_t pace_percent = 0;
    bool modelled = true;
    // The sections as the walk takes them, up to the first without a valid Pol or with no band
    // inside the scan window; the walk itself says what is wrong with a section.
    for (std::uint32_t i = 0;; ++i) {
        char section[16];
        std::snprintf(section, sizeof section, "Scan%u", i);
        char pol[16];
        std::uint32_t polarization = 0;
        if (IniReadText(section, "Pol", "", pol, sizeof pol, config_path) == 0 || !ParsePolarization(pol, &polarization)) break;
        const auto start_mhz = static_cast<std::uint32_t>(
            IniReadInt(section, "Start", static_cast<int>(lnb.window_start_mhz), config_path));
        const auto stop_mhz = static_cast<std::uint32_t>(
            IniReadInt(section, "Stop", static_cast<int>(lnb.window_stop_mhz), config_path));
        const auto step_mhz = static_cast<std::uint32_t>(IniReadInt(section, "Step", 5, config_path));
        const auto min_symbol_rate_ks = static_cast<std::uint32_t>(IniReadInt(section, "MinSR", 1000, config_path));
        if (start_mhz < lnb.window_start_mhz || stop_mhz > lnb.window_stop_mhz || start_mhz >= stop_mhz ||
            step_mhz == 0 || step_mhz > 10) {
            break;
        }
        ++intervals;
        band_khz += (stop_mhz - start_mhz) * 1000ull;
        std::uint32_t interval_ms = 0;
        modelled = modelled && TunerModelledScan(start_mhz * 1000u, stop_mhz * 1000u, step_mhz * 1000u, polarization,
                                                 lnb.lof1_mhz * 1000u, lnb.lof2_mhz * 1000u, lnb.lofsw_mhz * 1000u,
                                                 min_symbol_rate_ks * 1000u, &interval_ms, &pace_percent);
        modelled_ms += interval_ms;
    }
    PlanScanProgress(intervals, band_khz);
    if (!modelled || intervals == 0) return;
    char on_hardware[32];
    MinutesText(modelled_ms, on_hardware);
    // A simulated tuner waits only part of the modelled time; a real one (pace 100) all of it.
    char here[96] = "";
    if (pace_percent != 100) {
        char pace_time[32];
        MinutesText(modelled_ms * pace_percent / 100.0, pace_time);
        std::snprintf(here, sizeof here, "; at the pace of %u %% it takes about %s here (LUMORATH_PACE)",
                      static_cast<unsigned>(pace_percent), pace_time);
    }
    PrintError("Tuner library: a pass of this scan is modelled at %s on a real tuner%s\n", on_hardware, here);
}
