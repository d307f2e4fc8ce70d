// The text of `vesker --help`. The README's "Running" section and the manual page show it
// too; a process test compares all three.
#pragma once

extern const char kUsageText[];
