// The entry function: banner, the two INI files, the LNB check, the device start, the dish,
// the output options and the pass loop. Returns the exit code (driver/exit_codes.h).
#pragma once

#include "tuner/tuner_library.h"

// `bind` fills the tuner table: LoadTunerLibrary for the program, a scripted tuner in tests.
int VeskerMain(int argc, const char *const *argv, TunerBinder bind);
