#include "driver/config_check.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/ini_reader.h"
#include "platform/platform.h"
#include "report/extra_lists.h"

namespace {

// Every key the program reads from its configuration, by section; "Scan" stands for Scan0,
// Scan1, ... Source: the program's key index (the README's table and vesker(1)).
struct KnownKey {
    const char *section;
    const char *key;
};
const KnownKey kKnownKeys[] = {
    {"SatInfo", "LOF1"},        {"SatInfo", "LOF2"},       {"SatInfo", "LOFSW"},     {"SatInfo", "LOF"},
    {"SatInfo", "22Khz"},       {"SatInfo", "BandStacked"}, {"SatInfo", "DiSEqC"},   {"SatInfo", "DiSEqC11"},
    {"SatInfo", "ToneBurst"},   {"SatInfo", "DiSEqC12"},   {"SatInfo", "Wait"},      {"SatInfo", "SatPos"},
    {"SatInfo", "USALS"},       {"SatInfo", "SatName"},    {"Options", "Device"},    {"Options", "StartWait"},
    {"Options", "Lat"},         {"Options", "Long"},       {"Options", "MinSNR1"},   {"Options", "MinSNR2"},
    {"Options", "IniFormat"},   {"Options", "InfoFormat"}, {"Options", "ReportDir"}, {"Options", "TPDir"},
    {"Options", "Loop"},        {"Options", "BandMap"},    {"Options", "ExtraLists"}, {"Scan", "Pol"},
    {"Scan", "Start"},          {"Scan", "Stop"},          {"Scan", "Step"},         {"Scan", "MinSR"},
    {"Scan", "MaxSR"},
};
constexpr std::size_t kKnownKeyCount = sizeof kKnownKeys / sizeof kKnownKeys[0];

// Sections of the tuner library's own settings file, which the program never reads here.
const char *const kLibrarySections[] = {"Lumorath", "Simulator", "DVB"};

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Scan sections are read as "Scan%u": the number as the walk forms it, or -1.
long ScanNumber(const char *name, std::size_t length) {
    if (length < 5 || length > 14 || !IniSameName(name, 4, "Scan")) return -1;
    if (name[4] == '0' && length > 5) return -1;  // "Scan01" is not what the walk forms
    long number = 0;
    for (std::size_t i = 4; i < length; ++i) {
        if (name[i] < '0' || name[i] > '9') return -1;
        number = number * 10 + (name[i] - '0');
    }
    return number <= 0x7FFFFFFF ? number : -1;
}

// The line being walked: in which known section (null: none, or one not read), and which keys
// it has had.
constexpr std::size_t kScanNumbersKept = 256;
struct Walk {
    const char *path;
    unsigned warnings;
    const char *section;  // "SatInfo", "Options", "Scan"; null outside a read section
    char section_name[64];
    bool in_ignored_section;  // an unknown or repeated section: its keys were said with it
    bool key_seen[kKnownKeyCount];
    bool sat_info_seen;
    bool options_seen;
    bool scan_seen[kScanNumbersKept];
    unsigned scan_line[kScanNumbersKept];
};

// One warning: "<file>:<line>: " and the text. Names from the file are printed as "%.*s" with
// their length, cut to 100 characters.
void Warn(Walk *walk, unsigned line, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
void Warn(Walk *walk, unsigned line, const char *format, ...) {
    char message[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(message, sizeof message, format, arguments);
    va_end(arguments);
    PrintError("%s:%u: %s\n", walk->path, line, message);
    ++walk->warnings;
}

int Shown(std::size_t length) { return static_cast<int>(length < 100 ? length : 100); }

void CheckSection(Walk *walk, const IniLine &line) {
    walk->section = nullptr;
    walk->in_ignored_section = true;
    std::snprintf(walk->section_name, sizeof walk->section_name, "%.*s",
                  static_cast<int>(line.name_length < 60 ? line.name_length : 60), line.name);
    std::memset(walk->key_seen, 0, sizeof walk->key_seen);
    const long scan = ScanNumber(line.name, line.name_length);
    bool *seen = nullptr;
    if (IniSameName(line.name, line.name_length, "SatInfo")) {
        walk->section = "SatInfo";
        seen = &walk->sat_info_seen;
    } else if (IniSameName(line.name, line.name_length, "Options")) {
        walk->section = "Options";
        seen = &walk->options_seen;
    } else if (scan >= 0) {
        walk->section = "Scan";
        if (static_cast<unsigned long>(scan) < kScanNumbersKept) {
            seen = &walk->scan_seen[scan];
            if (!*seen) walk->scan_line[scan] = line.number;
        }
    }
    if (walk->section != nullptr) {
        if (seen != nullptr && *seen) {
            Warn(walk, line.number, "[%.*s] again: only the first section of that name is read",
                 Shown(line.name_length), line.name);
            return;
        }
        if (seen != nullptr) *seen = true;
        walk->in_ignored_section = false;
        return;
    }
    for (const char *library_section : kLibrarySections) {
        if (IniSameName(line.name, line.name_length, library_section)) {
            Warn(walk, line.number, "[%.*s]: not read here; the tuner library reads it from the Lumorath.ini beside it",
                 Shown(line.name_length), line.name);
            return;
        }
    }
    // Candidates: the two fixed sections and the Scan section of the name's own digits.
    char scan_name[24] = "Scan0";
    std::size_t digits = 0;
    for (std::size_t i = 0; i < line.name_length && digits < 9; ++i) {
        if (line.name[i] >= '0' && line.name[i] <= '9') scan_name[4 + digits++] = line.name[i];
    }
    if (digits > 0) scan_name[4 + digits] = '\0';
    const char *const candidates[] = {"SatInfo", "Options", scan_name};
    const char *nearest = NearestName(line.name, line.name_length, candidates, 3);
    Warn(walk, line.number, "[%.*s]: unknown section%s%s%s", Shown(line.name_length), line.name,
         nearest != nullptr ? ", did you mean [" : "", nearest != nullptr ? nearest : "", nearest != nullptr ? "]?" : "");
}

void CheckKey(Walk *walk, const IniLine &line) {
    if (walk->in_ignored_section) return;
    if (walk->section == nullptr) {
        Warn(walk, line.number, "%.*s: outside any section, not read", Shown(line.name_length), line.name);
        return;
    }
    const char *candidates[kKnownKeyCount];
    std::size_t count = 0;
    for (std::size_t i = 0; i < kKnownKeyCount; ++i) {
        if (std::strcmp(kKnownKeys[i].section, walk->section) != 0) continue;
        if (IniSameName(line.name, line.name_length, kKnownKeys[i].key)) {
            if (walk->key_seen[i]) {
                Warn(walk, line.number, "%.*s again in [%s]: only the first is read", Shown(line.name_length), line.name,
                     walk->section_name);
            }
            walk->key_seen[i] = true;
            return;
        }
        candidates[count++] = kKnownKeys[i].key;
    }
    const char *nearest = NearestName(line.name, line.name_length, candidates, count);
    Warn(walk, line.number, "%.*s: unknown key in [%s]%s%s%s", Shown(line.name_length), line.name, walk->section_name,
         nearest != nullptr ? ", did you mean " : "", nearest != nullptr ? nearest : "", nearest != nullptr ? "?" : "");
}

void VisitLine(void *context, const IniLine &line) {
    Walk *walk = static_cast<Walk *>(context);
    switch (line.kind) {
        case IniLineKind::kSection: CheckSection(walk, line); break;
        case IniLineKind::kKey: CheckKey(walk, line); break;
        default:
            if (!walk->in_ignored_section) {
                Warn(walk, line.number, "%.*s: no key=value line, not read", Shown(line.name_length), line.name);
            }
            break;
    }
}

// The walk over Scan0, Scan1, ... ends at the first number missing: sections after a gap are
// never read.
void CheckScanNumbers(Walk *walk) {
    std::size_t gap = 0;
    while (gap < kScanNumbersKept && walk->scan_seen[gap]) ++gap;
    for (std::size_t n = gap + 1; n < kScanNumbersKept; ++n) {
        if (!walk->scan_seen[n]) continue;
        Warn(walk, walk->scan_line[n], "[Scan%u]: never read: the walk over the intervals ends at the missing [Scan%u]",
             static_cast<unsigned>(n), static_cast<unsigned>(gap));
        break;  // one line says it for all that follow
    }
}

void CheckExtraLists(Walk *walk) {
    char text[128];
    if (IniReadText("Options", "ExtraLists", "", text, sizeof text, walk->path) == 0) return;
    char unknown[32];
    ParseExtraLists(text, unknown, sizeof unknown);
    if (unknown[0] == '\0') return;
    const char *names[kExtraListForms + 1];
    for (std::size_t i = 0; i < kExtraListForms; ++i) names[i] = kExtraLists[i].name;
    names[kExtraListForms] = "all";
    const char *nearest = NearestName(unknown, std::strlen(unknown), names, kExtraListForms + 1);
    char rest[96];
    std::snprintf(rest, sizeof rest, " (dvbv5, vdr, csv, json or all)%s%s%s", nearest != nullptr ? ", did you mean " : "",
                  nearest != nullptr ? nearest : "", nearest != nullptr ? "?" : "");
    PrintError("%s: ExtraLists: %s names no list%s\n", walk->path, unknown, rest);
    ++walk->warnings;
}

// ReportDir and TPDir as the output step will use them: a missing or read-only directory is
// said now, not after the whole scan (the writer's "error !" still comes then).
void CheckDirectory(Walk *walk, const char *key, const char *what) {
    char directory[kPathSize];
    IniReadText("Options", key, "", directory, sizeof directory, walk->path);
    char reason[160];
    if (CheckWritableDirectory(directory, reason, sizeof reason)) return;
    PrintError("%s: %s %s: %s; the %s of each pass cannot be written there\n", walk->path, key,
               directory[0] != '\0' ? directory : "(the current directory)", reason, what);
    ++walk->warnings;
}

// The optimal string alignment distance (edits: insert, delete, change, swap two neighbours),
// without regard to case, for names of up to 31 characters; above `limit` it stops counting.
unsigned EditDistance(const char *a, std::size_t a_length, const char *b, std::size_t b_length, unsigned limit) {
    constexpr std::size_t kLongest = 32;
    if (a_length >= kLongest || b_length >= kLongest) return limit + 1;
    unsigned rows[3][kLongest + 1];
    unsigned *before = rows[0];
    unsigned *previous = rows[1];
    unsigned *current = rows[2];
    for (std::size_t j = 0; j <= b_length; ++j) previous[j] = static_cast<unsigned>(j);
    for (std::size_t i = 1; i <= a_length; ++i) {
        current[0] = static_cast<unsigned>(i);
        for (std::size_t j = 1; j <= b_length; ++j) {
            const unsigned cost = Lower(a[i - 1]) == Lower(b[j - 1]) ? 0u : 1u;
            unsigned best = previous[j - 1] + cost;
            if (previous[j] + 1 < best) best = previous[j] + 1;
            if (current[j - 1] + 1 < best) best = current[j - 1] + 1;
            if (i > 1 && j > 1 && Lower(a[i - 1]) == Lower(b[j - 2]) && Lower(a[i - 2]) == Lower(b[j - 1]) &&
                before[j - 2] + 1 < best) {
                best = before[j - 2] + 1;
            }
            current[j] = best;
        }
        unsigned *spare = before;
        before = previous;
        previous = current;
        current = spare;
    }
    return previous[b_length];
}

}  // namespace

const char *NearestName(const char *name, std::size_t length, const char *const *candidates, std::size_t count) {
    const unsigned limit = length <= 4 ? 1u : 2u;
    const char *nearest = nullptr;
    unsigned nearest_distance = limit + 1;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned distance = EditDistance(name, length, candidates[i], std::strlen(candidates[i]), limit);
        if (distance < nearest_distance) {
            nearest = candidates[i];
            nearest_distance = distance;
        }
    }
    return nearest;
}

unsigned CheckConfiguration(const char *config_path) {
    static Walk walk;  // about 2 KB, kept off the stack
    walk = Walk{};
    walk.path = config_path;
    if (IniWalkFile(config_path, VisitLine, &walk)) {
        CheckScanNumbers(&walk);
        CheckExtraLists(&walk);
    }
    CheckDirectory(&walk, "ReportDir", "report");
    CheckDirectory(&walk, "TPDir", "list");
    return walk.warnings;
}
