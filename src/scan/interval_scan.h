// Scanning one interval step by step with the tuner's blind search.
#pragma once

#include <cstdint>

#include "tuner/lumorath.h"

// The pass's record array holds this many records: a crowded satellite carries more than 200
// transponders in the Ku band alone, and 2048 records (229 KB) cover both bands of any
// satellite on every polarization.
constexpr std::uint32_t kMaxTransponders = 2048;

// Result of ScanInterval besides the accepted count.
constexpr int kScanBadArguments = -1;  // no record array, polarization above 3, or step 0
constexpr int kScanSearchFailed = -2;  // a blind search failed

// The stop request at the keyboard: Left-Ctrl and A held together (A is asked only while
// Left-Ctrl is down).
bool StopKeysHeld();

// Scans [start, stop] MHz in steps of `step_mhz` on one polarization and appends each new,
// accepted carrier to `records` after the first `found_count`. Returns the number accepted,
// or a negative code. When `published_count` is given, it receives found_count plus the number
// accepted so far after each acceptance, so the records below it are always whole (also when a
// search then fails: those records stay in the array).
int ScanInterval(std::uint32_t start_mhz, std::uint32_t found_count, TransponderRecord *records, int *stop_flag,
                 std::uint32_t switch_port, std::uint32_t stop_mhz, std::uint32_t step_mhz, std::uint32_t lof1_mhz,
                 std::uint32_t lof2_mhz, std::uint32_t lofsw_mhz, std::uint32_t polarization,
                 std::uint32_t min_symbol_rate_ks, std::uint32_t max_symbol_rate_ks, double min_snr1_db,
                 double min_snr2_db, std::uint32_t *published_count = nullptr);
