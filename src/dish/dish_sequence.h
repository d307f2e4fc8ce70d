// The once-per-run dish sequence: DiSEqC 1.1 uncommitted switch, DiSEqC 1.0 committed
// switch, tone burst, DiSEqC 1.2 stored position and USALS, each when configured.
#pragma once

// What the sequence hands on to the scan and the output step.
struct DishPointing {
    int diseqc;              // the DiSEqC key as read (1..4 is a committed switch port)
    int satellite_position;  // tenths of a degree counted eastward, 0..3599
};

// Runs the sequence on the started device, reading its keys from the configuration file.
// It never ends the program: a failure prints one line and the sequence goes on. After a stop
// request it sends nothing more (its pauses end at once on the request).
DishPointing RunDishSequence(const char *config_path);
