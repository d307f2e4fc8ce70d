#include "tuner/tuner_library.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

TunerLibrary g_tuner = {};

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
        // A bare file name means the file in the current directory, as for any other file the
        // user names; the loader would search its library path for it instead.
        const bool bare = std::strchr(chosen, '/') == nullptr && std::strchr(chosen, kPathSeparator) == nullptr &&
                          !IsAbsolutePath(chosen);
        if (std::snprintf(file, sizeof file, "%s%s", bare ? kCurrentDirectory : "", chosen) >=
            static_cast<int>(sizeof file)) {
            Print("Tuner library name too long: %s !\n", chosen);
            return false;
        }
    } else if (std::snprintf(file, sizeof file, "%s%s", executable_dir, kTunerLibraryFile) >=
               static_cast<int>(sizeof file)) {
        Print("Tuner library path too long !\n");
        return false;
    }
    char reason[512];
    void *library = OpenLibrary(file, reason, sizeof reason);
    if (library == nullptr) {
        Print("Can't load tuner library %s !\n", file);
        PrintError("Can't load tuner library %s: %s\n", file, reason);
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
    *table = resolved;
    return true;
}
