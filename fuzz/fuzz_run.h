// Shared by the fuzz targets that run the whole program in-process: a scratch directory per
// process, and the checks every run must pass.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "fuzz_check.h"
#include "scan/interval_scan.h"
#include "support/fake_platform.h"
#include "support/scripted_tuner.h"

namespace fuzz_run {


// /tmp/vesker-fuzz-<name>-<random>/, created once per process and removed at its end.
inline const std::string &ScratchDir(const char *name) {
    static const std::string dir = [name] {
        std::random_device random;
        std::string path = "/tmp/vesker-fuzz-" + std::string(name) + "-" + std::to_string(random()) + "/";
        std::filesystem::create_directories(path);
        return path;
    }();
    static const bool removed_at_exit = [] {
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        });
        return true;
    }();
    (void)removed_at_exit;
    return dir;
}

// Runs `body` with the scratch directory as the current directory, then returns to where
// the fuzzer was (its corpus paths may be relative).
template <typename Body>
void InDirectory(const std::string &dir, Body body) {
    const std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    body();
    std::filesystem::current_path(here);
}

// Removes every file the run wrote, keeping `keep`.
inline void ClearOutputs(const std::string &dir, const std::string &keep) {
    std::error_code ignored;
    for (const auto &entry : std::filesystem::directory_iterator(dir, ignored)) {
        if (entry.path().filename() != keep) std::filesystem::remove_all(entry.path(), ignored);
    }
}

// The rules every whole run keeps, whatever its input: the device is stopped exactly once
// when it was started and never otherwise; the number of searches stays within what the stop
// request allows.
inline void CheckRunInvariants(int exit_code, int max_searches) {
    const ScriptedTuner &tuner = Script();
    FUZZ_CHECK(exit_code == 0 || exit_code == -1 || exit_code == -5);
    if (exit_code == -1) FUZZ_CHECK(tuner.log.empty());
    FUZZ_CHECK(tuner.stop_calls == (tuner.start_calls > 0 ? 1 : 0));
    FUZZ_CHECK(tuner.search_calls <= max_searches);
    // Each pass reports at most the records the array holds.
    const std::string &console = Fake().console;
    static const std::string kFound = "Total tranponders found = ";
    for (auto at = console.find(kFound); at != std::string::npos; at = console.find(kFound, at + 1)) {
        FUZZ_CHECK(std::strtoul(console.c_str() + at + kFound.size(), nullptr, 10) <= kMaxTransponders);
    }
}

}  // namespace fuzz_run
