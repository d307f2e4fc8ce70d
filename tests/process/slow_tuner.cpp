// A tuner library for process tests: one device, and a blind search that takes 20 ms (or
// SLOW_TUNER_SEARCH_MS) and locks a carrier every 30 MHz from 10710 MHz up, so a scan can be
// interrupted mid-way. SLOW_TUNER_HANG makes one call never return, as a stuck driver would:
// "enumerate", "start", "stop", or "search:N" for the Nth search. SLOW_TUNER_LOG names a file
// that receives one line per call ("search:N", "switch:2:F0", "command:E0 31 6B 07", ...).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "tuner/lumorath.h"

namespace {

void Log(const char *call) {
    const char *log = std::getenv("SLOW_TUNER_LOG");
    if (log == nullptr) return;
    if (std::FILE *file = std::fopen(log, "a")) {
        std::fprintf(file, "%s\n", call);
        std::fclose(file);
    }
}

// Never returns when SLOW_TUNER_HANG names this call.
void MaybeHang(const char *call) {
    Log(call);
    const char *hang = std::getenv("SLOW_TUNER_HANG");
    if (hang == nullptr || std::strcmp(hang, call) != 0) return;
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

int g_searches = 0;

}  // namespace

extern "C" {

int CheckForDVBEx(LumorathDeviceCallback callback) {
    MaybeHang("enumerate");
    callback(0, "Slow test tuner");
    return 1;
}
int StartDVBEx(int device) {
    MaybeHang("start");
    return device == 0;
}
int StopDVB(void) {
    MaybeHang("stop");
    return 1;
}
int GetCaps(void) { return LUMORATH_CAP_BLIND_SEARCH | LUMORATH_CAP_DISEQC | LUMORATH_CAP_TONE_BURST; }
int SendDiSEqC(int kind, int value) {
    char call[32];
    std::snprintf(call, sizeof call, "switch:%d:%02X", kind, value & 0xFF);
    Log(call);
    return 1;
}
int SendDiseqCmd(unsigned char *bytes, int count) {
    char call[32] = "command:";
    for (int i = 0; i < count && i < 6; ++i) {
        std::snprintf(call + std::strlen(call), sizeof call - std::strlen(call), i == 0 ? "%02X" : " %02X", bytes[i]);
    }
    Log(call);
    return 1;
}

int Vesker(unsigned int frequency_khz, unsigned int step_khz, unsigned int polarization, unsigned int,
           unsigned int, unsigned int, unsigned int, TransponderRecord *record) {
    char call[32];
    std::snprintf(call, sizeof call, "search:%d", ++g_searches);
    MaybeHang(call);
    const char *search_ms = std::getenv("SLOW_TUNER_SEARCH_MS");
    std::this_thread::sleep_for(std::chrono::milliseconds(search_ms != nullptr ? std::atoi(search_ms) : 20));
    std::memset(record, 0, sizeof *record);
    const unsigned first_khz = 10710000, spacing_khz = 30000;
    if (frequency_khz < first_khz) return 1;
    const unsigned offset_khz = (frequency_khz - first_khz) % spacing_khz;
    if (offset_khz >= step_khz) return 1;
    record->locked = 1;
    record->frequency = frequency_khz - offset_khz + 500;
    record->polarization = static_cast<int>(polarization);
    record->symbol_rate = 27500000;
    record->system = 1;
    record->modulation = 1;
    record->fec = 3;
    record->rolloff = 1;
    record->carrier_width = 2000;
    record->bit_rate = 38014706;
    record->rf_level = -50;
    record->snr = 10.0;
    return 1;
}

}  // extern "C"
