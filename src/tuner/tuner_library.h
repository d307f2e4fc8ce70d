// The seam to the tuner library: one table of the seven functions the program calls, and the
// library's optional one.
#pragma once

#include <cstdint>

#include "tuner/lumorath.h"

struct TunerLibrary {
    int (*CheckForDVBEx)(LumorathDeviceCallback callback);
    int (*StartDVBEx)(int device);
    int (*StopDVB)(void);
    int (*GetCaps)(void);
    int (*SendDiSEqC)(int kind, int value);
    int (*SendDiseqCmd)(unsigned char *bytes, int count);
    int (*Vesker)(unsigned int frequency_khz, unsigned int step_khz, unsigned int polarization,
                  unsigned int lof1_khz, unsigned int lof2_khz, unsigned int lofsw_khz,
                  unsigned int min_symbol_rate, TransponderRecord *record);
    // Optional (LumorathModelledScan): null when the library does not offer it.
    LumorathModelledScanFunction ModelledScan;
};

// The table every part of the program calls through. Empty until a library is bound.
const TunerLibrary &Tuner();
void UseTuner(const TunerLibrary &table);

// Fills `table` with the library's functions, or prints one line saying what is missing
// and returns false. `executable_dir` ends in the path separator.
typedef bool (*TunerBinder)(const char *executable_dir, TunerLibrary *table);

// Loads the library file (LUMORATH_LIBRARY when set and non-empty, a bare file name taken
// from the current directory; else the platform's library name in `executable_dir`) and
// resolves all seven functions before any is called. A file that cannot be loaded, or is not
// a plain file (a pipe, a device, a directory), also gets the reason on standard error.
// The table calls the library last loaded; its calls work whether the library's functions
// pop their own arguments or not. The callback it hands on is called the C way (lumorath.h).
bool LoadTunerLibrary(const char *executable_dir, TunerLibrary *table);

// The library file the table calls ("" when the table was bound otherwise, as in tests).
const char *TunerLibraryFile();

// The tuner library's modelled time of scanning one interval (LumorathModelledScan in
// lumorath.h), in ms, and its pace in percent. False when the library does not offer it.
bool TunerModelledScan(std::uint32_t start_khz, std::uint32_t stop_khz, std::uint32_t step_khz,
                       std::uint32_t polarization, std::uint32_t lof1_khz, std::uint32_t lof2_khz,
                       std::uint32_t lofsw_khz, std::uint32_t min_symbol_rate, std::uint32_t *modelled_ms,
                       std::uint32_t *pace_percent);
