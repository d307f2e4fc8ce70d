// What the three scenario readers share: text helpers, error filling, adding a carrier, and
// the readers themselves (one file per format). The public entry points are in scenario.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scenario.h"

namespace sim {

// Blanks removed at both ends.
std::string Trim(const std::string &text);
std::string Upper(std::string text);
// A whole unsigned decimal number, at most 4294967295.
bool ParseUnsigned(const std::string &text, std::uint32_t *value);
// An optional sign and a whole decimal number within int.
bool ParseSigned(const std::string &text, int *value);
// A whole finite decimal number.
bool ParseDouble(const std::string &text, double *value);
// Lines ended by CR LF, LF or CR, without their line ends.
std::vector<std::string> SplitLines(const std::string &text);
// The file name without its directory.
std::string BaseName(const std::string &path);
// Fills the error and returns false.
bool Fail(ScenarioError *error, const std::string &file, int line, const std::string &what);

// Adds a carrier to a satellite. The same carrier listed again (same system, frequency,
// polarization and symbol rate) adds its input stream to the one already there.
void AddCarrier(Satellite *satellite, const Carrier &carrier);

// H, V, L, R (or the words); -1 for none of them.
int PolarizationFromText(const std::string &text);
// Modulation names of the text list; -1 for none of them.
int ConstellationFromText(const std::string &text);
// Roll-off texts "35", "25", "20" (and "AUTO" = 0); -1 for none of them.
int RollOffFromText(const std::string &text);

// The readers: each appends what its file holds to `scenario`; false with the error filled.
bool ParseTextList(const std::vector<std::string> &lines, const std::string &file, Scenario *scenario,
                   ScenarioError *error);
bool ParseXmlList(const std::string &text, const std::string &file, Scenario *scenario, ScenarioError *error);
bool ParseDvbv5(const std::vector<std::string> &lines, const std::string &file, Scenario *scenario,
                ScenarioError *error);

}  // namespace sim
