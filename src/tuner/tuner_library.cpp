#include "tuner/tuner_library.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

TunerLibrary g_tuner = {};

// The functions of the loaded library as it exports them. The table handed out calls them
// through CallLibrary, so a library that pops its own arguments works as well as one that
// leaves that to the caller (32-bit Windows has both kinds).
TunerLibrary g_loaded = {};

int LoadedCheckForDVBEx(LumorathDeviceCallback callback) { return CallLibrary(g_loaded.CheckForDVBEx, callback); }
int LoadedStartDVBEx(int device) { return CallLibrary(g_loaded.StartDVBEx, device); }
int LoadedStopDVB() { return CallLibrary(g_loaded.StopDVB); }
int LoadedGetCaps() { return CallLibrary(g_loaded.GetCaps); }
int LoadedSendDiSEqC(int kind, int value) { return CallLibrary(g_loaded.SendDiSEqC, kind, value); }
int LoadedSendDiseqCmd(unsigned char *bytes, int count) { return CallLibrary(g_loaded.SendDiseqCmd, bytes, count); }
int LoadedVesker(unsigned int frequency_khz, unsigned int step_khz, unsigned int polarization, unsigned int lof1_khz,
                 unsigned int lof2_khz, unsigned int lofsw_khz, unsigned int min_symbol_rate, TransponderRecord *record) {
    return CallLibrary(g_loaded.Vesker, frequency_khz, step_khz, polarization, lof1_khz, lof2_khz, lofsw_khz,
                       min_symbol_rate, record);
}

template <typename Function>
bool Resolve(void *library, const char *file, const char *name, Function *out) {
    void *symbol = FindLibrarySymbol(library, name);
    if (symbol == nullptr) {
        Print("Tuner library %s lacks the function %s !\n", file, name);
        return false;
    }
    *out = reinterpret_cast<Function>(symbol);
    return true;
}

}  // namespace

const TunerLibrary &Tuner() { return g_tuner; }

void UseTuner(const TunerLibrary &table) { g_tuner = table; }

bool LoadTunerLibrary(const char *executable_dir, TunerLibrary *table) {
    char file[kPathSize];
    const char *chosen = EnvironmentValue("LUMORATH_LIBRARY");
    if (chosen != nullptr && chosen[0] != '\0') {
        if (std::snprintf(file, sizeof file, "%s", chosen) >= static_cast<int>(sizeof file)) {
            Print("Tuner library name too long: %s !\n", chosen);
            return false;
        }
    } else if (std::snprintf(file, sizeof file, "%s%s", executable_dir, kTunerLibraryFile) >=
               static_cast<int>(sizeof file)) {
        Print("Tuner library path too long !\n");
        return false;
    }
    void *library = OpenLibrary(file);
    if (library == nullptr) {
        Print("Can't load tuner library %s !\n", file);
        return false;
    }
    TunerLibrary resolved = {};
    bool complete = Resolve(library, file, "CheckForDVBEx", &resolved.CheckForDVBEx) &&
                    Resolve(library, file, "StartDVBEx", &resolved.StartDVBEx) &&
                    Resolve(library, file, "StopDVB", &resolved.StopDVB) &&
                    Resolve(library, file, "GetCaps", &resolved.GetCaps) &&
                    Resolve(library, file, "SendDiSEqC", &resolved.SendDiSEqC) &&
                    Resolve(library, file, "SendDiseqCmd", &resolved.SendDiseqCmd) &&
                    Resolve(library, file, "Vesker", &resolved.Vesker);
    if (!complete) return false;
    g_loaded = resolved;
    *table = {LoadedCheckForDVBEx, LoadedStartDVBEx, LoadedStopDVB,   LoadedGetCaps,
              LoadedSendDiSEqC,    LoadedSendDiseqCmd, LoadedVesker};
    return true;
}
