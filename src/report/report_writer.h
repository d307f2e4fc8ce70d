// The detailed transponder report, one block of labelled lines per record.
#pragma once

#include <cstdint>

#include "tuner/lumorath.h"

// Returns 0 when the file was written; -1 when the name or the records are missing or the
// count is 0 (no file is touched); -2 when the file cannot be written.
int WriteReport(const char *file_name, const TransponderRecord *records, std::uint32_t count,
                double scan_time_s);
