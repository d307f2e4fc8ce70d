// The simulated tuner library: a first version with two devices and an empty band.
#include <cstring>

#include "tuner/lumorath.h"

namespace {

struct SimDevice {
    const char *name;
    int caps;
};

const SimDevice kDevices[] = {
    {"Simulated DVB-S2 tuner", LUMORATH_CAP_BLIND_SEARCH | LUMORATH_CAP_DISEQC | LUMORATH_CAP_TONE_BURST},
    {"Simulated DVB-S tuner (no blind search)", LUMORATH_CAP_DISEQC},
};
constexpr int kDeviceCount = static_cast<int>(sizeof kDevices / sizeof kDevices[0]);

int g_started = -1;

}  // namespace

extern "C" {

int CheckForDVBEx(LumorathDeviceCallback callback) {
    if (callback == nullptr) return 0;
    for (int i = 0; i < kDeviceCount; ++i) callback(i, kDevices[i].name);
    return 1;
}

int StartDVBEx(int device) {
    if (device < 0 || device >= kDeviceCount || g_started >= 0) return 0;
    g_started = device;
    return 1;
}

int StopDVB(void) {
    if (g_started < 0) return 0;
    g_started = -1;
    return 1;
}

int GetCaps(void) { return g_started < 0 ? 0 : kDevices[g_started].caps; }

int SendDiSEqC(int kind, int value) {
    if (g_started < 0 || (kind != LUMORATH_SEND_TONE_BURST && kind != LUMORATH_SEND_COMMITTED_SWITCH)) return 0;
    return value >= 0 && value <= 255;
}

int SendDiseqCmd(unsigned char *bytes, int count) {
    return g_started >= 0 && bytes != nullptr && count >= 3 && count <= 6;
}

int Vesker(unsigned int, unsigned int, unsigned int, unsigned int, unsigned int, unsigned int, unsigned int,
           TransponderRecord *record) {
    if (g_started < 0 || record == nullptr) return 0;
    std::memset(record, 0, sizeof *record);  // nothing locked yet
    return 1;
}

}  // extern "C"
