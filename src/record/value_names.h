// The printed names of the coded fields of a transponder record. Every code has a text:
// codes are compared as unsigned 32-bit values, so 0 (where a table starts at 1) and every
// negative code fall to the table's default text.
#pragma once

#include <cstdint>

const char *FecName(std::int32_t code);           // default "?/?"
const char *ModulationName(std::int32_t code);    // default "Unknown"
const char *SystemName(std::int32_t code);        // default "Unknown"
const char *RollOffName(std::int32_t code);       // default "?"
const char *StreamTypeName(std::int32_t code);    // default "?"
const char *PolarizationName(std::int32_t code);  // default "Unknown"
const char *InversionName(std::int32_t code);     // default "Unknown"
const char *PilotName(std::int32_t code);         // default "?"
const char *CodingModeName(std::int32_t code);    // default "Unknown"
const char *FrameLengthName(std::int32_t code);   // default "?"
