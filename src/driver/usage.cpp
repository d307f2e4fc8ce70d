#include "driver/usage.h"

// Lines of at most 72 characters, so the manual page shows them unbroken. The exit codes
// one per line, in the order of driver/exit_codes.h.
const char kUsageText[] =
    "Usage: vesker [CONFIGURATION]\n"
    "       vesker --help | -h | -? | /?\n"
    "       vesker --version\n"
    "\n"
    "Blind-scans a satellite band with a DVB-S/S2 tuner and writes, per\n"
    "pass, a report and a channel list.\n"
    "\n"
    "CONFIGURATION is the INI file to read, taken from the current directory\n"
    "(a full path as it stands); without it, Vesker.ini beside the\n"
    "executable is read. Its keys are described in the README and in the\n"
    "manual page vesker(1). The tuner's IF limits come from Lumorath.ini\n"
    "beside the executable.\n"
    "--help, -h, -? and /? print this text, --version the version line;\n"
    "when a file of that name exists in the current directory, it is read\n"
    "as the configuration instead.\n"
    "\n"
    "Tuner library: libLumorath.so (Lumorath.dll on Windows) beside the\n"
    "executable, or the file named by the environment variable\n"
    "LUMORATH_LIBRARY.\n"
    "\n"
    "Stopping: Ctrl+C, or Ctrl+A typed at the terminal (Left-Ctrl and A\n"
    "held together on Windows), stops a scan: the current step finishes,\n"
    "the pass writes what it found and the device is stopped.\n"
    "\n"
    "Exit codes (the POSIX value in brackets):\n"
    "   0        the scan ran: all passes done, or stopped at the keyboard\n"
    "  -1 (255)  the LNB description or a path was rejected\n"
    "  -2 (254)  no tuner library, or the library reported no device\n"
    "  -3 (253)  the device could not be started\n"
    "  -4 (252)  the device cannot blind-search\n"
    "  -5 (251)  a blind search failed; what was found before it is written\n"
    "  -6 (250)  a report or list of the run could not be written\n"
    "  -7 (249)  cut short inside a tuner library call that did not return\n";

const char kUsageLine[] =
    "Usage: vesker [CONFIGURATION]\n"
    "Try 'vesker --help' for more.\n";
