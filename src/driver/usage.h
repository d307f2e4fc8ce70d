// The text of `vesker --help`. The README's "Running" section and the manual page show it
// too; a process test compares all three.
#pragma once

extern const char kUsageText[];

// The first lines of the text with a pointer to the rest, for a mistyped option.
extern const char kUsageLine[];
