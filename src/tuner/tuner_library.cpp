#include "tuner/tuner_library.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace {

TunerLibrary g_library = {};  // the library's own functions
char g_library_file[kSystemPathSize] = "";

// Every call into the library is bracketed, so that a stop request knows the program is
// waiting there (a search in progress is never interrupted; one that never returns is survived),
// and goes through CallLibrary, so a library that pops its own arguments works as well as one
// that leaves that to the caller (32-bit Windows has both kinds).
template <typename Function, Function TunerLibrary::*member>
struct Bracketed;
template <typename... Arguments, int (*TunerLibrary::*member)(Arguments...)>
struct Bracketed<int (*)(Arguments...), member> {
    static int Call(Arguments... arguments) {
        EnterBlockingCall();
        const int result = CallLibrary(g_library.*member, arguments...);
        LeaveBlockingCall();
        return result;
    }
};
#define VESKER_BRACKETED(name) Bracketed<decltype(TunerLibrary::name), &TunerLibrary::name>::Call

const TunerLibrary kBracketed = {VESKER_BRACKETED(CheckForDVBEx), VESKER_BRACKETED(StartDVBEx),
                                 VESKER_BRACKETED(StopDVB),       VESKER_BRACKETED(GetCaps),
                                 VESKER_BRACKETED(SendDiSEqC),    VESKER_BRACKETED(SendDiseqCmd),
                                 VESKER_BRACKETED(Vesker),        nullptr};
#undef VESKER_BRACKETED

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

const TunerLibrary &Tuner() { return kBracketed; }

void UseTuner(const TunerLibrary &table) { g_library = table; }

const char *TunerLibraryFile() { return g_library_file; }

bool TunerModelledScan(std::uint32_t start_khz, std::uint32_t stop_khz, std::uint32_t step_khz,
                       std::uint32_t polarization, std::uint32_t lof1_khz, std::uint32_t lof2_khz,
                       std::uint32_t lofsw_khz, std::uint32_t min_symbol_rate, std::uint32_t *modelled_ms,
                       std::uint32_t *pace_percent) {
    if (g_library.ModelledScan == nullptr) return false;
    unsigned int modelled = 0;
    unsigned int pace = 0;
    EnterBlockingCall();
    const int result = CallLibrary(g_library.ModelledScan, start_khz, stop_khz, step_khz, polarization, lof1_khz, lof2_khz,
                                   lofsw_khz, min_symbol_rate, &modelled, &pace);
    LeaveBlockingCall();
    *modelled_ms = modelled;
    *pace_percent = pace;
    return result != 0;
}

bool LoadTunerLibrary(const char *executable_dir, TunerLibrary *table) {
    char file[kSystemPathSize];
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
    // Only a plain file is handed to the loader: a pipe would keep it waiting for a writer, and
    // a device or directory is no library.
    char reason[512];
    void *library = CheckReadableFile(file, reason, sizeof reason) ? OpenLibrary(file, reason, sizeof reason) : nullptr;
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
    resolved.ModelledScan =
        reinterpret_cast<LumorathModelledScanFunction>(FindLibrarySymbol(library, "LumorathModelledScan"));
    *table = resolved;
    std::snprintf(g_library_file, sizeof g_library_file, "%s", file);
    return true;
}
