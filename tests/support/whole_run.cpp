#include "support/whole_run.h"

#include "driver/startup.h"
#include "platform/platform.h"
#include "support/fake_platform.h"
#include "support/scripted_tuner.h"

WholeRun RunProgram(const std::string &config_path, const std::string &temp_dir) {
    const char *argv[] = {"vesker", config_path.c_str(), nullptr};
    const int argc = config_path.empty() ? 1 : 2;
    WholeRun run{VeskerMain(argc, argv, BindScriptedTuner), Fake().console};
    if (!temp_dir.empty()) {
        // "<dir>/" on every platform, so one transcript serves the Windows build too.
        const std::string with_separator = temp_dir + kPathSeparator;
        for (std::size_t at = run.console.find(with_separator); at != std::string::npos;
             at = run.console.find(with_separator, at)) {
            run.console.replace(at, with_separator.size(), "<dir>/");
        }
        for (std::size_t at = run.console.find(temp_dir); at != std::string::npos;
             at = run.console.find(temp_dir, at)) {
            run.console.replace(at, temp_dir.size(), "<dir>");
        }
    }
    return run;
}
