// The LNB check and the walk over the scan sections with arbitrary configuration text: the
// input is written as the configuration file and the whole program runs in-process, on a
// scripted tuner with a few carriers and a fake platform that never sleeps. The fake keys
// ask for a stop after a fixed number of polls, so a repeating run must end there.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "fuzz_run.h"
#include "support/whole_run.h"

namespace {

constexpr int kStopAtPoll = 300;

// The output directories stay the scratch directory: any "dir" in the input is spoiled so
// that ReportDir and TPDir are never found, and the run's current directory is the scratch
// directory.
std::string SpoilDirectoryKeys(const std::uint8_t *data, std::size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    for (std::size_t i = 0; i + 2 < text.size(); ++i) {
        if ((text[i] | 0x20) == 'd' && (text[i + 1] | 0x20) == 'i' && (text[i + 2] | 0x20) == 'r') text[i + 1] = 'x';
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string &dir = fuzz_run::ScratchDir("config");
    const std::string config = dir + "Vesker.ini";
    {
        std::ofstream out(config, std::ios::binary | std::ios::trunc);
        out << SpoilDirectoryKeys(data, size);
    }

    InstallFakePlatform();
    ResetScriptedTuner();
    Fake().stop_at_poll = kStopAtPoll;
    Script().band = BandOf({Carrier(10714000, 0, 27500000), Carrier(11038000, 1, 22000000, 2, 2, 4, 8.0),
                            Carrier(11720000, 2, 2000000, 4, 3, 1, 3.0), Carrier(12640000, 3, 45000000, 3)});

    int exit_code = 0;
    fuzz_run::InDirectory(dir, [&] { exit_code = RunProgram(config).exit_code; });

    fuzz_run::CheckRunInvariants(exit_code, kStopAtPoll);
    fuzz_run::ClearOutputs(dir, "Vesker.ini");
    RestoreSystemPlatform();
    return 0;
}
