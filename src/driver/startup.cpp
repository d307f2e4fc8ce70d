#include "driver/startup.h"

#include <cstdio>
#include <cstring>

#include "driver/exit_codes.h"
#include "driver/lnb.h"
#include "driver/config_check.h"
#include "driver/pass_ledger.h"
#include "driver/pass_loop.h"
#include "driver/run_overview.h"
#include "driver/usage.h"
#include "dish/dish_sequence.h"
#include "platform/platform.h"
#include "report/name_text.h"
#include "report/extra_lists.h"
#include "report/output_step.h"

namespace {

const char kVersion[] = "1.1.0.1338-commited";
const char kNoDeviceNumberRead[] =
    "No device number was read at the prompt (end of input, or not a number): type one of the numbers "
    "listed, or set Device in [Options]\n";

void PrintBanner() { Print("Vesker ver.%s\n", kVersion); }

// Process-wide because the enumeration callback receives no context of its own.
int g_device_number = -1;
unsigned g_device_count = 0;

void OnDeviceFound(int index, const char *name) {
    if (g_device_number < 0) {
        // The library's text reaches the terminal: no control character gets through.
        char printable[512];
        PrintableName(name != nullptr ? name : "", printable, sizeof printable);
        Print("Device %i: %s\n", index, printable);
    }
    RememberDeviceName(index, name);
    ++g_device_count;
}

// The directory of the running executable, ending in the separator. When the system cannot
// say where the program is, it says so and loads nothing: the current directory is no stand-in,
// anyone may have put a library or settings there.
bool FindExecutableDirectory(char (&directory)[kSystemPathSize]) {
    char path[kSystemPathSize];
    char *cut = nullptr;
    char reason[256] = "no directory in its path";
    if (!ExecutablePath(path, sizeof path)) {
        DescribeLastError(reason, sizeof reason);
    } else {
        cut = std::strrchr(path, kPathSeparator);
    }
    if (cut == nullptr) {
        Print("Can't find the program's own directory !\n");
        PrintError("Can't find the program's own directory (%s): its tuner library and settings are not looked for "
                   "elsewhere\n",
                   reason);
        return false;
    }
    cut[1] = '\0';
    std::snprintf(directory, sizeof directory, "%s", path);
    return true;
}

// Joins two texts into a path buffer of `size`; false when the result would not fit.
bool JoinPath(char *out, std::size_t size, const char *first, const char *second) {
    int length = std::snprintf(out, size, "%s%s", first, second);
    return length >= 0 && static_cast<std::size_t>(length) < size;
}

// The configuration path of a command-line argument: a relative name is taken from the
// current directory, a full path as it stands. False when it would exceed 259 characters.
bool ConfigPathOf(const char *argument, char *config_path) {
    return JoinPath(config_path, kPathSize, IsAbsolutePath(argument) ? "" : kCurrentDirectory, argument);
}

// `--help` and its short forms print the usage text, `--version` the banner line; both end
// the program before any library is loaded. Any other argument that begins with '-' is a
// mistyped option: it is said on standard error with the usage line, and the run ends with
// -1 before anything is read or started. A file that really carries such a name is still
// read as the configuration. True when the argument ended the run, with its exit code.
bool AnswerOption(const char *argument, int *exit_code) {
    const bool help = std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0 ||
                      std::strcmp(argument, "-?") == 0 || std::strcmp(argument, "/?") == 0;
    const bool version = std::strcmp(argument, "--version") == 0;
    const bool option = help || version || argument[0] == '-';
    char config_path[kPathSize];
    if (!option || !ConfigPathOf(argument, config_path) || PathExists(config_path)) return false;
    *exit_code = kExitOk;
    if (help) {
        Platform().write_console(kUsageText, std::strlen(kUsageText));
    } else if (version) {
        PrintBanner();
    } else {
        PrintError("vesker: unknown option %s\n%s", argument, kUsageLine);
        *exit_code = kExitBadLnb;
    }
    return true;
}

// A directory option: empty, or ending in the separator (appended when missing). The buffer
// holds one more byte, so a 259-character value keeps its separator; a file name formed
// from it is then too long and refused by the output step.
void ReadDirectoryOption(const char *key, char (&directory)[kPathSize + 1], const char *config_path) {
    std::uint32_t length = IniReadText("Options", key, "", directory, kPathSize, config_path);
    if (length > 0 && directory[length - 1] != kPathSeparator) {
        directory[length] = kPathSeparator;
        directory[length + 1] = '\0';
    }
}

}  // namespace

int VeskerMain(int argc, const char *const *argv, TunerBinder bind) {
    g_device_number = -1;
    g_device_count = 0;
    int option_exit = kExitOk;
    if (argc > 1 && argv[1] != nullptr && AnswerOption(argv[1], &option_exit)) return option_exit;
    // Ctrl+C, SIGTERM and SIGHUP are stop requests from here on; one that arrives while the
    // library hangs saves the running pass and ends the run. A closed console is ignored.
    Platform().install_stop_handling(SaveRunningPass, kExitCutShort);
    PrintBanner();

    char directory[kSystemPathSize];
    if (!FindExecutableDirectory(directory)) return kExitNoDevice;
    char library_settings[kSystemPathSize];
    char config_path[kSystemPathSize];
    if (!JoinPath(library_settings, sizeof library_settings, directory, "Lumorath.ini") ||
        !JoinPath(config_path, sizeof config_path, directory, "Vesker.ini")) {
        Print("Path too long: %sVesker.ini !\n", directory);
        return kExitBadLnb;
    }

    TunerLimits limits{950, 2150, 6000, 21000};
    limits.if_start_mhz = static_cast<std::uint32_t>(
        IniReadInt("Lumorath", "IFStart", static_cast<int>(limits.if_start_mhz), library_settings));
    limits.if_stop_mhz = static_cast<std::uint32_t>(
        IniReadInt("Lumorath", "IFStop", static_cast<int>(limits.if_stop_mhz), library_settings));
    limits.lnb_mid_mhz = static_cast<std::uint32_t>(
        IniReadInt("Lumorath", "LNBMid", static_cast<int>(limits.lnb_mid_mhz), library_settings));
    limits.lnb_stacked_mhz = static_cast<std::uint32_t>(
        IniReadInt("Lumorath", "LNBStk", static_cast<int>(limits.lnb_stacked_mhz), library_settings));

    if (argc > 1 && argv[1] != nullptr) {
        if (!ConfigPathOf(argv[1], config_path)) {
            Print("Config name too long (over %u characters): %s%s\n", static_cast<unsigned>(kPathSize - 1),
                  IsAbsolutePath(argv[1]) ? "" : kCurrentDirectory, argv[1]);
            return kExitBadLnb;
        }
    }
    Print("Config name: %s\n", config_path);
    if (argc > 1 && argv[1] != nullptr) {
        // A named file that cannot be read is no error (every key takes its default), but the
        // user should know that their settings are not the ones in use.
        char reason[256];
        if (!CheckReadableFile(config_path, reason, sizeof reason)) {
            PrintError("Config file %s cannot be read (%s): the defaults are used\n", config_path, reason);
        }
    }
    CheckConfiguration(config_path);

    LnbSettings lnb{};
    if (!CheckLnb(limits, config_path, &lnb)) return kExitBadLnb;

    g_device_number = IniReadInt("Options", "Device", -1, config_path);
    TunerLibrary tuner{};
    if (!bind(directory, &tuner)) return kExitNoDevice;
    UseTuner(tuner);
    if (Tuner().CheckForDVBEx(OnDeviceFound) == 0 || g_device_count == 0) {
        Print("No devices !\n");
        return kExitNoDevice;
    }
    // A stop asked for before the device starts (during the enumeration or at the prompt)
    // ends the run with nothing started.
    if (g_device_number < 0 && !Platform().stop_requested()) {
        Print("Device number: ");
        std::uint32_t typed = 0;
        if (Platform().read_unsigned(&typed)) {
            g_device_number = static_cast<int>(typed);
        } else if (!Platform().stop_requested()) {
            // The console line that follows is fixed ("Can't start device 4294967295 !"); this says why.
            PrintError("%s", kNoDeviceNumberRead);
        }
    }
    if (Platform().stop_requested()) {
        Print("Terminated on user request ...\n");
        return kExitOk;
    }
    if (Tuner().StartDVBEx(g_device_number) == 0) {
        Print("Can't start device %u !\n", static_cast<unsigned>(g_device_number));
        return kExitCantStart;
    }

    // From here on every way out stops the device exactly once.
    if ((Tuner().GetCaps() & LUMORATH_CAP_BLIND_SEARCH) == 0) {
        Print("Vesker not supported !\n");
        Tuner().StopDVB();
        return kExitNoBlindSearch;
    }
    AnnounceTuner(g_device_number);
    const int start_wait_s = IniReadInt("Options", "StartWait", 0, config_path);
    if (start_wait_s >= 1 && start_wait_s <= 9) Platform().sleep_ms(static_cast<std::uint32_t>(start_wait_s) * 1000u);

    const DishPointing dish = RunDishSequence(config_path);

    char satellite_name[100];
    IniReadText("SatInfo", "SatName", "Satellite", satellite_name, sizeof satellite_name, config_path);
    OutputOptions output{};
    output.satellite_name = satellite_name;
    output.ini_format = IniReadInt("Options", "IniFormat", 0, config_path);
    output.info_format = IniReadInt("Options", "InfoFormat", 1, config_path);
    char report_dir[kPathSize + 1];
    char tp_dir[kPathSize + 1];
    ReadDirectoryOption("ReportDir", report_dir, config_path);
    ReadDirectoryOption("TPDir", tp_dir, config_path);
    output.report_dir = report_dir;
    output.tp_dir = tp_dir;
    output.loop = IniReadInt("Options", "Loop", 0, config_path);
    output.satellite_position = dish.satellite_position;
    output.diseqc = dish.diseqc;
    output.lof1_mhz = lnb.lof1_mhz;
    output.lof2_mhz = lnb.lof2_mhz;
    output.lofsw_mhz = lnb.lofsw_mhz;
    output.band_map = IniReadInt("Options", "BandMap", 0, config_path);

    output.extra_lists = ReadExtraLists(config_path);

    PlanScan(config_path, lnb);
    const int result = RunPassLoop(config_path, lnb, output);
    Tuner().StopDVB();
    return result;
}
