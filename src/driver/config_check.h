// The configuration checked at start, before any device or search: what the program would
// silently pass over is said at once, one line each on standard error. Nothing here changes
// what the run does; every lookup still yields what it yields.
#pragma once

#include <cstddef>

// Warns about every section and key the program does not read (naming the file, the line and
// the nearest known name), repeated sections and keys (only the first is read), lines that are
// no key line, Scan sections the walk never reaches, an unknown ExtraLists entry, and a
// ReportDir or TPDir that does not exist or cannot be written. Returns the number of warnings.
unsigned CheckConfiguration(const char *config_path);

// The known name nearest to `name` (compared without regard to case) among `count` candidates,
// or null when none is close enough to be the one meant: at most one edit (a letter added,
// dropped, changed, or two neighbours swapped) for names up to four letters, two beyond.
const char *NearestName(const char *name, std::size_t length, const char *const *candidates, std::size_t count);
