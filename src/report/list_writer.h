// The transponder list in seven formats: 0..4 INI-style variants (any other value as 0),
// 5 the text list, 6 the XML list.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tuner/lumorath.h"

// The east/west form of a satellite position counted eastward (0..3599 tenths of a degree):
// up to 180.0 east, beyond that west, as whole degrees and a tenths digit.
struct EastWest {
    unsigned degrees;
    unsigned tenths;
    char letter;  // 'E' or 'W'
};
EastWest EastWestOf(int satellite_position);

// A name as XML text under the ISO 8859-1 declaration: the characters special to XML as
// entities, control characters dropped (XML allows none of C0 in an attribute, and the C1
// ones are no part of a name), and the characters of a UTF-8 name beyond ASCII as character
// references, so that a reader sees them whatever the declaration says. A name that is not
// UTF-8 keeps its bytes, which are then Latin-1. Cut at a whole character when `out` is full.
void XmlEscape(const char *text, char *out, std::size_t size);

// The frequency and symbol rate as every list gives them: kHz to MHz, a remainder above 500 kHz
// rounding up (exactly 500 down); symbols per second to kS/s, above 20000 kS/s rounded to a
// multiple of 50 and above 10000 to a multiple of 10, a remainder of exactly half staying.
std::uint32_t FrequencyMhz(std::uint32_t frequency_khz);
std::uint32_t SymbolRateKsps(std::uint32_t symbol_rate);

// The local date and time as the lists write it: "14:05 - 09/12/2026".
void DateText(char *out, std::size_t size);

// `satellite_position` in tenths of a degree counted eastward (0..3599); LOF values in MHz;
// `switch_value` 0 when DiSEqC is 0, else DiSEqC + 2. Returns 0 when written; -1 when the
// name or records are missing or the count is 0; -2 when the file cannot be written.
int WriteTransponderList(const TransponderRecord *records, int satellite_position, const char *file_name,
                         const char *satellite_name, std::uint32_t lof1_mhz, std::uint32_t lof2_mhz,
                         std::uint32_t lofsw_mhz, std::uint32_t switch_value, std::uint32_t count,
                         int ini_format, int info_format);
