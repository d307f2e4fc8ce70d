#include "settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/ini_reader.h"
#include "platform/platform.h"
#include "report/name_text.h"

namespace dvb {

namespace {

constexpr std::uint32_t kMinRateKs = 100;
constexpr std::uint32_t kMaxRateKs = 100000;
constexpr std::uint32_t kMaxLockTimeoutMs = 60000;
// Every section of a NIT comes round at least every 10 s on satellite (ETSI TR 101 211
// 4.4.1); a second more for the filter to start and the first section to arrive.
constexpr std::uint32_t kDefaultNitWaitMs = 11000;
constexpr std::uint32_t kMinNitWaitMs = 1000;
constexpr std::uint32_t kMaxNitWaitMs = 60000;

char g_settings_file[kSystemPathSize] = "";

const char *NonEmptyEnvironment(const char *name) {
    const char *value = EnvironmentValue(name);
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

// A setting or a path as the library prints it: each control character replaced, as the
// program does for device names, so that a terminal never takes one for a command.
struct ShownText {
    char text[kSystemPathSize];
};
ShownText Shown(const char *text) {
    ShownText shown;
    PrintableName(text, shown.text, sizeof shown.text);
    return shown;
}

bool HasControlCharacter(const char *text) {
    const bool utf8 = IsUtf8(text);
    std::uint32_t code_point = 0;
    for (std::size_t length = 0; (length = NextCharacter(text, utf8, &code_point)) != 0; text += length) {
        if (IsControlCharacter(code_point)) return true;
    }
    return false;
}

// Reads one setting into `out`: the environment variable when set and not empty, else the key
// of section DVB; `where` names the source for messages. False for a missing or empty value,
// and for one longer than `out` holds, which is said on standard error (`instead` says what is
// used then): a cut value would be read as another one.
bool ReadSetting(const char *ini_path, const char *key, const char *environment, char *out, std::size_t size,
                 const char **where, const char *instead) {
    const char *value = NonEmptyEnvironment(environment);
    std::size_t length = 0;
    if (value != nullptr) {
        *where = environment;
        length = std::strlen(value);
        std::snprintf(out, size, "%s", value);
    } else {
        *where = ini_path;
        length = IniReadText("DVB", key, "", out, static_cast<std::uint32_t>(size), ini_path);
    }
    if (length + 1 >= size) {
        std::fprintf(stderr, "Lumorath DVB: %s: %s is longer than %u characters; %s\n", Shown(*where).text, key,
                     static_cast<unsigned>(size - 2), instead);
        return false;
    }
    return length > 0;
}

void ReadRates(const char *ini_path, const char *key, const char *environment, CandidateList *list) {
    char text[512];
    const char *where = nullptr;
    if (!ReadSetting(ini_path, key, environment, text, sizeof text, &where, "using the measured list")) return;
    CandidateList parsed;
    if (ParseSymbolRates(text, &parsed)) {
        *list = parsed;
        return;
    }
    std::fprintf(stderr,
                 "Lumorath DVB: %s: %s=%s is not a list of up to %d symbol rates in kS/s (%u..%u); "
                 "using the measured list\n",
                 Shown(where).text, key, Shown(text).text, kMaxCandidates, kMinRateKs, kMaxRateKs);
}

// A whole number up to `max`, digits only.
bool ParseWholeNumber(const char *text, std::uint32_t max, std::uint32_t *number) {
    std::uint32_t value = 0;
    for (const char *digit = text; *digit != '\0'; ++digit) {
        if (*digit < '0' || *digit > '9') return false;
        value = value * 10 + static_cast<std::uint32_t>(*digit - '0');
        if (value > max) return false;
    }
    *number = value;
    return text[0] != '\0';
}

// A whole number of min..max (`unit` names it) from the setting; `fallback` when it is absent,
// and, after one line on standard error ending in `instead`, when it is no such number.
std::uint32_t ReadNumber(const char *ini_path, const char *key, const char *environment, std::uint32_t fallback,
                         std::uint32_t min, std::uint32_t max, const char *unit, const char *instead) {
    char text[32];
    const char *where = nullptr;
    if (!ReadSetting(ini_path, key, environment, text, sizeof text, &where, instead)) return fallback;
    std::uint32_t value = 0;
    if (ParseWholeNumber(text, max, &value) && value >= min) return value;
    std::fprintf(stderr, "Lumorath DVB: %s: %s=%s is not a number of %u..%u%s; %s\n", Shown(where).text, key,
                 Shown(text).text, min, max, unit, instead);
    return fallback;
}

bool SameText(const char *a, const char *b) { return IniSameName(a, std::strlen(a), b); }

Depth ReadDepth(const char *ini_path) {
    static const struct {
        const char *name;
        Depth depth;
    } kDepths[] = {{"quick", Depth::kQuick}, {"normal", Depth::kNormal}, {"thorough", Depth::kThorough}};
    char text[32];
    const char *where = nullptr;
    if (!ReadSetting(ini_path, "Depth", "LUMORATH_DVB_DEPTH", text, sizeof text, &where, "using normal")) {
        return Depth::kNormal;
    }
    for (const auto &row : kDepths) {
        if (SameText(text, row.name)) return row.depth;
    }
    std::fprintf(stderr, "Lumorath DVB: %s: Depth=%s is not quick, normal or thorough; using normal\n", Shown(where).text,
                 Shown(text).text);
    return Depth::kNormal;
}

}  // namespace

const char *DepthName(Depth depth) {
    switch (depth) {
        case Depth::kQuick: return "quick";
        case Depth::kNormal: return "normal";
        case Depth::kThorough: return "thorough";
    }
    return "normal";
}

bool ParseSymbolRates(const char *text, CandidateList *list) {
    list->count = 0;
    const char *at = text;
    while (*at != '\0') {
        while (*at == ' ' || *at == ',' || *at == '\t') ++at;
        if (*at == '\0') break;
        if (*at < '0' || *at > '9') return false;
        char *end = nullptr;
        const unsigned long rate = std::strtoul(at, &end, 10);
        if (end == at || (*end != '\0' && *end != ' ' && *end != ',' && *end != '\t')) return false;
        if (rate < kMinRateKs || rate > kMaxRateKs || list->count == kMaxCandidates) return false;
        list->rates_ks[list->count++] = static_cast<std::uint32_t>(rate);
        at = end;
    }
    return list->count > 0;
}

void UseDvbSettingsFile(const char *ini_path) {
    std::snprintf(g_settings_file, sizeof g_settings_file, "%s", ini_path != nullptr ? ini_path : "");
}

const char *DvbSettingsFile() {
    if (g_settings_file[0] != '\0') return g_settings_file;
    // None at all when the library cannot find its own file: the current directory is no
    // stand-in, anyone may have put settings there.
    static char beside_library[kSystemPathSize + 16];
    static const char anchor = 0;
    char path[kSystemPathSize];
    if (!ModulePathOf(&anchor, path, sizeof path)) return "";
    char *slash = std::strrchr(path, '/');
    if (slash == nullptr) return "";
    slash[1] = '\0';
    std::snprintf(beside_library, sizeof beside_library, "%sLumorath.ini", path);
    return beside_library;
}

void ReadDvbSettings(const char *ini_path, DvbSettings *settings) {
    settings->ku.count = 0;
    settings->c_band.count = 0;
    settings->depth = ReadDepth(ini_path);
    ReadRates(ini_path, "SymbolRates", "LUMORATH_DVB_SYMBOL_RATES", &settings->ku);
    ReadRates(ini_path, "SymbolRatesC", "LUMORATH_DVB_SYMBOL_RATES_C", &settings->c_band);

    settings->lock_timeout_ms = ReadNumber(ini_path, "LockTimeout", "LUMORATH_DVB_LOCK_TIMEOUT", 0, 0, kMaxLockTimeoutMs,
                                           " ms", "timing each attempt by its symbol rate");

    const char *where = nullptr;
    char strategy[32];
    settings->strategy = Strategy::kAuto;
    if (ReadSetting(ini_path, "Strategy", "LUMORATH_DVB_STRATEGY", strategy, sizeof strategy, &where, "using auto")) {
        if (SameText(strategy, "driver")) {
            settings->strategy = Strategy::kDriver;
        } else if (SameText(strategy, "sweep")) {
            settings->strategy = Strategy::kSweep;
        } else if (!SameText(strategy, "auto")) {
            std::fprintf(stderr, "Lumorath DVB: %s: Strategy=%s is not auto, driver or sweep; using auto\n",
                         Shown(where).text, Shown(strategy).text);
        }
    }

    // Absent: tables are read where the driver echoes the request.
    const std::uint32_t read_tables =
        ReadNumber(ini_path, "ReadTables", "LUMORATH_DVB_READ_TABLES", 2, 0, 1, "", "reading them where the driver echoes");
    settings->read_tables = read_tables == 2 ? ReadTables::kWhereEchoed
                                             : read_tables == 0 ? ReadTables::kNever : ReadTables::kAlways;
    settings->nit_wait_ms = ReadNumber(ini_path, "NitWait", "LUMORATH_DVB_NIT_WAIT", kDefaultNitWaitMs, kMinNitWaitMs,
                                       kMaxNitWaitMs, " ms", "using the default");
    settings->nit_other = ReadNumber(ini_path, "NitOther", "LUMORATH_DVB_NIT_OTHER", 0, 0, 1, "", "using the default") == 1;

    settings->lnb_mid_mhz = static_cast<std::uint32_t>(IniReadInt("Lumorath", "LNBMid", 6000, ini_path));
    settings->lnb_stacked_mhz = static_cast<std::uint32_t>(IniReadInt("Lumorath", "LNBStk", 21000, ini_path));
    // The directory is refused rather than cut or printed as it stands: every device path and
    // message of the library is made from it.
    const char *dir = NonEmptyEnvironment("LUMORATH_DVB_DIR");
    if (dir == nullptr) dir = "/dev/dvb";
    settings->dvb_dir[0] = '\0';
    if (std::strlen(dir) >= sizeof settings->dvb_dir) {
        std::fprintf(stderr, "Lumorath DVB: LUMORATH_DVB_DIR is longer than %u characters; no device is looked for\n",
                     static_cast<unsigned>(sizeof settings->dvb_dir - 1));
    } else if (HasControlCharacter(dir)) {
        std::fprintf(stderr, "Lumorath DVB: LUMORATH_DVB_DIR=%s holds control characters; no device is looked for\n",
                     Shown(dir).text);
    } else {
        std::snprintf(settings->dvb_dir, sizeof settings->dvb_dir, "%s", dir);
    }
}

}  // namespace dvb
