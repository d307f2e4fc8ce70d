// What the run says about itself on standard error, beside the console transcript: which tuner
// library file and device answer, and what a pass will scan (for the status line's share done
// and, with the simulated tuner, the time a real tuner would take and the time it takes here).
#pragma once

#include "driver/lnb.h"

// Keeps the name the library gives a device, so that the device started can be named.
void RememberDeviceName(int index, const char *name);

// One line naming the tuner library file and the device in use.
void AnnounceTuner(int device_number);

// Reads the intervals a pass walks, hands their number and band to the status line, and where
// the library models its time (the simulated tuner), says how long a pass is modelled to take
// and how long it takes at the simulator's pace.
void PlanScan(const char *config_path, const LnbSettings &lnb);
