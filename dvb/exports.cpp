// The library's C interface: the seven functions of tuner/lumorath.h by their own names, and the
// optional LumorathModelledScan.
#include "library.h"

extern "C" {

int CheckForDVBEx(LumorathDeviceCallback callback) { return dvb::CheckForDVBEx(callback); }
int StartDVBEx(int device) { return dvb::StartDVBEx(device); }
int StopDVB(void) { return dvb::StopDVB(); }
int GetCaps(void) { return dvb::GetCaps(); }
int SendDiSEqC(int kind, int value) { return dvb::SendDiSEqC(kind, value); }
int SendDiseqCmd(unsigned char *bytes, int count) { return dvb::SendDiseqCmd(bytes, count); }
int Vesker(unsigned int frequency_khz, unsigned int step_khz, unsigned int polarization, unsigned int lof1_khz,
           unsigned int lof2_khz, unsigned int lofsw_khz, unsigned int min_symbol_rate, TransponderRecord *record) {
    return dvb::Vesker(frequency_khz, step_khz, polarization, lof1_khz, lof2_khz, lofsw_khz, min_symbol_rate, record);
}
int LumorathModelledScan(unsigned int start_khz, unsigned int stop_khz, unsigned int step_khz, unsigned int polarization,
                         unsigned int lof1_khz, unsigned int lof2_khz, unsigned int lofsw_khz,
                         unsigned int min_symbol_rate, unsigned int *modelled_ms, unsigned int *pace_percent) {
    return dvb::ModelledScan(start_khz, stop_khz, step_khz, polarization, lof1_khz, lof2_khz, lofsw_khz,
                             min_symbol_rate, modelled_ms, pace_percent);
}

}
