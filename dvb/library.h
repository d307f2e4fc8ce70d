// The seven functions of tuner/lumorath.h over the Linux DVB frontend API, and its optional one. exports.cpp gives
// them their C names in the shared library; tests call them here, with a model frontend in
// the seam (frontend_api.h).
#pragma once

#include "tuner/lumorath.h"

namespace dvb {

int CheckForDVBEx(LumorathDeviceCallback callback);
int StartDVBEx(int device);
int StopDVB();
int GetCaps();
int SendDiSEqC(int kind, int value);
int SendDiseqCmd(unsigned char *bytes, int count);
int Vesker(unsigned int frequency_khz, unsigned int step_khz, unsigned int polarization, unsigned int lof1_khz,
           unsigned int lof2_khz, unsigned int lofsw_khz, unsigned int min_symbol_rate, TransponderRecord *record);

// The optional LumorathModelledScan: the longest a sweep of start..stop takes at the configured
// depth, stepped as the program steps it, in ms (pace 100: a real tuner takes its time); it also
// counts the interval into the plan the first search's estimate states. 0 for a device that does
// not sweep, or before a device is started.
int ModelledScan(unsigned int start_khz, unsigned int stop_khz, unsigned int step_khz, unsigned int polarization,
                 unsigned int lof1_khz, unsigned int lof2_khz, unsigned int lofsw_khz, unsigned int min_symbol_rate,
                 unsigned int *modelled_ms, unsigned int *pace_percent);

// Forgets the device list and closes a started device (tests start afresh with it).
void ResetLibrary();

}  // namespace dvb
