#include "settings.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

namespace dvb {

namespace {

// The most common symbol rates of Ku- and C-band carriers, as counted over the published
// transponder tables of the satellites in view of Europe, Africa and Asia (dtv-scan-tables,
// dvb-s/, 2023): 27500, 30000 and 22000 kS/s cover about half the Ku carriers within the
// +-5 % a demodulator captures; the C list about 60 % of the C-band ones.
const std::uint32_t kDefaultKuRates[] = {27500, 30000, 22000};
const std::uint32_t kDefaultCRates[] = {30000, 27500, 6666, 6111, 4444, 4000, 3333, 3000, 2222, 2000};

constexpr std::uint32_t kMinRateKs = 100;
constexpr std::uint32_t kMaxRateKs = 100000;
constexpr int kMaxLockTimeoutMs = 60000;

char g_settings_file[kPathSize] = "";

void SetDefaults(CandidateList *list, const std::uint32_t *rates, int count) {
    for (int i = 0; i < count; ++i) list->rates_ks[i] = rates[i];
    list->count = count;
}

const char *NonEmptyEnvironment(const char *name) {
    const char *value = EnvironmentValue(name);
    return value != nullptr && value[0] != '\0' ? value : nullptr;
}

void ReadRates(const char *ini_path, const char *key, const char *environment, CandidateList *list) {
    char text[512];
    const char *value = NonEmptyEnvironment(environment);
    const char *where = environment;
    if (value == nullptr) {
        if (IniReadText("DVB", key, "", text, sizeof text, ini_path) == 0) return;
        value = text;
        where = ini_path;
    }
    CandidateList parsed;
    if (ParseSymbolRates(value, &parsed)) {
        *list = parsed;
        return;
    }
    std::fprintf(stderr,
                 "Lumorath DVB: %s: %s=%s is not a list of up to %d symbol rates in kS/s (%u..%u); "
                 "using the default list\n",
                 where, key, value, kMaxCandidates, kMinRateKs, kMaxRateKs);
}

bool SameText(const char *a, const char *b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
    }
    return *a == *b;
}

}  // namespace

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
    SetDefaults(&settings->ku, kDefaultKuRates, static_cast<int>(sizeof kDefaultKuRates / sizeof kDefaultKuRates[0]));
    SetDefaults(&settings->c_band, kDefaultCRates, static_cast<int>(sizeof kDefaultCRates / sizeof kDefaultCRates[0]));
    ReadRates(ini_path, "SymbolRates", "LUMORATH_DVB_SYMBOL_RATES", &settings->ku);
    ReadRates(ini_path, "SymbolRatesC", "LUMORATH_DVB_SYMBOL_RATES_C", &settings->c_band);

    int timeout = IniReadInt("DVB", "LockTimeout", 0, ini_path);
    const char *where = ini_path;
    if (const char *value = NonEmptyEnvironment("LUMORATH_DVB_LOCK_TIMEOUT")) {
        timeout = std::atoi(value);
        where = "LUMORATH_DVB_LOCK_TIMEOUT";
    }
    if (timeout < 0 || timeout > kMaxLockTimeoutMs) {
        std::fprintf(stderr, "Lumorath DVB: %s: LockTimeout=%d is not 0..%d ms; timing each attempt by its symbol rate\n",
                     where, timeout, kMaxLockTimeoutMs);
        timeout = 0;
    }
    settings->lock_timeout_ms = static_cast<std::uint32_t>(timeout);

    char strategy[32];
    where = ini_path;
    if (const char *value = NonEmptyEnvironment("LUMORATH_DVB_STRATEGY")) {
        std::snprintf(strategy, sizeof strategy, "%s", value);
        where = "LUMORATH_DVB_STRATEGY";
    } else {
        IniReadText("DVB", "Strategy", "auto", strategy, sizeof strategy, ini_path);
    }
    if (SameText(strategy, "driver")) {
        settings->strategy = Strategy::kDriver;
    } else if (SameText(strategy, "sweep")) {
        settings->strategy = Strategy::kSweep;
    } else {
        if (!SameText(strategy, "auto") && strategy[0] != '\0') {
            std::fprintf(stderr, "Lumorath DVB: %s: Strategy=%s is not auto, driver or sweep; using auto\n", where,
                         strategy);
        }
        settings->strategy = Strategy::kAuto;
    }

    settings->lnb_mid_mhz = static_cast<std::uint32_t>(IniReadInt("Lumorath", "LNBMid", 6000, ini_path));
    settings->lnb_stacked_mhz = static_cast<std::uint32_t>(IniReadInt("Lumorath", "LNBStk", 21000, ini_path));
    const char *dir = NonEmptyEnvironment("LUMORATH_DVB_DIR");
    std::snprintf(settings->dvb_dir, sizeof settings->dvb_dir, "%s", dir != nullptr ? dir : "/dev/dvb");
}

}  // namespace dvb
