// The pass loop: walks the Scan0, Scan1, ... sections, scans each valid interval, sorts
// what was found and hands it to the output step; repeats passes when Loop is set.
#pragma once

#include <cstdint>

#include "driver/lnb.h"
#include "report/output_step.h"

// A Pol value as the walk reads it: lowercased in place (A to Z only), then one of the accepted
// spellings of a polarization code 0..3. False when it is none of them.
bool ParsePolarization(char *text, std::uint32_t *code);

// Runs the passes on the started device. Returns kExitOk; kExitSearchFailed when a blind
// search failed (what was found before the failure has been written); kExitNotWritten when a
// report or list of the run could not be written.
int RunPassLoop(const char *config_path, const LnbSettings &lnb, const OutputOptions &output);

