// Whole runs in-process: the entry function with a scripted tuner, fake platform hooks and a
// configuration file in a temporary directory.
#pragma once

#include <string>

struct WholeRun {
    int exit_code;
    std::string console;  // with the temporary directory shown as "<dir>"
};

// Runs the program with `config_path` as its argument (no argument when empty). The scripted
// tuner and the fake platform must be installed; their state is left for inspection.
WholeRun RunProgram(const std::string &config_path, const std::string &temp_dir = "");
