// The simulator as a 32-bit Windows library whose seven functions pop their own arguments
// (stdcall), as some vendors build theirs. Lumorath.def beside this file exports them under
// the plain names, so the program cannot tell the two builds apart by name: only a caller
// that keeps its stack whichever way the callee leaves it works with both.
#include "tuner/lumorath.h"

#define POPS_ITS_ARGUMENTS __attribute__((stdcall))

extern "C" {

int POPS_ITS_ARGUMENTS StdcallCheckForDVBEx(LumorathDeviceCallback callback) { return CheckForDVBEx(callback); }
int POPS_ITS_ARGUMENTS StdcallStartDVBEx(int device) { return StartDVBEx(device); }
int POPS_ITS_ARGUMENTS StdcallStopDVB(void) { return StopDVB(); }
int POPS_ITS_ARGUMENTS StdcallGetCaps(void) { return GetCaps(); }
int POPS_ITS_ARGUMENTS StdcallSendDiSEqC(int kind, int value) { return SendDiSEqC(kind, value); }
int POPS_ITS_ARGUMENTS StdcallSendDiseqCmd(unsigned char *bytes, int count) { return SendDiseqCmd(bytes, count); }
int POPS_ITS_ARGUMENTS StdcallVesker(unsigned int frequency_khz, unsigned int step_khz, unsigned int polarization,
                                     unsigned int lof1_khz, unsigned int lof2_khz, unsigned int lofsw_khz,
                                     unsigned int min_symbol_rate, TransponderRecord *record) {
    return Vesker(frequency_khz, step_khz, polarization, lof1_khz, lof2_khz, lofsw_khz, min_symbol_rate, record);
}

}  // extern "C"
