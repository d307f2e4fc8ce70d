// Reading a scenario file: the format is told by its first line, then one of the three
// readers (read_text_list.cpp, read_xml_list.cpp, read_dvbv5.cpp) takes it. Also the text
// helpers the readers share.
#include "scenario_reader.h"

#include "platform/platform.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "record/dvb_standard.h"

namespace sim {

std::string Trim(const std::string &text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

std::string Upper(std::string text) {
    for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// A whole unsigned decimal number, at most 4294967295.
bool ParseUnsigned(const std::string &text, std::uint32_t *value) {
    if (text.empty() || text.size() > 10) return false;
    std::uint64_t number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (number > 0xFFFFFFFFull) return false;
    *value = static_cast<std::uint32_t>(number);
    return true;
}

bool ParseSigned(const std::string &text, int *value) {
    if (text.empty()) return false;
    bool negative = text[0] == '-';
    std::uint32_t magnitude = 0;
    if (!ParseUnsigned(negative || text[0] == '+' ? text.substr(1) : text, &magnitude) || magnitude > 2147483647u)
        return false;
    *value = negative ? -static_cast<int>(magnitude) : static_cast<int>(magnitude);
    return true;
}

bool ParseDouble(const std::string &text, double *value) {
    if (text.empty()) return false;
    char *end = nullptr;
    double number = std::strtod(text.c_str(), &end);
    if (end == nullptr || *end != '\0' || !std::isfinite(number)) return false;
    *value = number;
    return true;
}

std::vector<std::string> SplitLines(const std::string &text) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

std::string BaseName(const std::string &path) {
    std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool Fail(ScenarioError *error, const std::string &file, int line, const std::string &what) {
    error->file = file;
    error->line = line;
    error->what = what;
    return false;
}

// Adds a carrier to a satellite. The same carrier listed again (same system, frequency,
// polarization and symbol rate) adds its input stream to the one already there.
void AddCarrier(Satellite *satellite, const Carrier &carrier) {
    for (Carrier &held : satellite->carriers) {
        if (held.frequency_khz != carrier.frequency_khz || held.polarization != carrier.polarization ||
            held.symbol_rate != carrier.symbol_rate || held.system != carrier.system)
            continue;
        for (int id : carrier.stream_ids) {
            bool known = false;
            for (int existing : held.stream_ids) known = known || existing == id;
            if (!known) held.stream_ids.push_back(id);
        }
        return;
    }
    satellite->carriers.push_back(carrier);
}

int PolarizationFromText(const std::string &text) {
    std::string upper = Upper(text);
    if (upper == "H" || upper == "HORIZONTAL") return 0;
    if (upper == "V" || upper == "VERTICAL") return 1;
    if (upper == "L" || upper == "LEFT") return 2;
    if (upper == "R" || upper == "RIGHT") return 3;
    return -1;
}

// Modulation names of the text list; -1 for none of them.
int ConstellationFromText(const std::string &text) {
    std::string upper = Upper(text);
    if (upper == "AUTO") return kAutoConstellation;
    if (upper == "QPSK") return kQpsk;
    if (upper == "8PSK" || upper == "PSK/8") return k8psk;
    if (upper == "16APSK" || upper == "APSK/16") return k16apsk;
    if (upper == "32APSK" || upper == "APSK/32") return k32apsk;
    return -1;
}

// Roll-off texts "35", "25", "20" (and "AUTO" = 0); -1 for none of them.
int RollOffFromText(const std::string &text) {
    std::string upper = Upper(text);
    if (upper == "35") return kRollOff35;
    if (upper == "25") return kRollOff25;
    if (upper == "20") return kRollOff20;
    if (upper == "AUTO") return 0;
    return -1;
}

bool ParsePositionText(const char *text, int *tenths) {
    std::string value = Trim(text);
    if (value.size() < 2) return false;
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(value.back())));
    if (letter != 'E' && letter != 'W') return false;
    double degrees = 0.0;
    if (!ParseDouble(value.substr(0, value.size() - 1), &degrees) || degrees < 0.0 || degrees > 180.0) return false;
    int magnitude = static_cast<int>(std::lround(degrees * 10.0));
    *tenths = letter == 'W' ? -magnitude : magnitude;
    return true;
}

bool ParseScenario(const std::string &text, const std::string &file_name, Scenario *scenario, ScenarioError *error) {
    *scenario = Scenario();
    scenario->source = file_name;
    std::vector<std::string> lines = SplitLines(text);
    char kind = 't';
    for (const std::string &raw : lines) {
        std::string line = Trim(raw);
        if (line.compare(0, 3, "\xEF\xBB\xBF") == 0) line = Trim(line.substr(3));  // UTF-8 byte-order mark
        if (line.empty() || line[0] == '#') continue;
        kind = line[0] == '<' ? 'x' : line[0] == '[' ? 'd' : 't';
        break;
    }
    bool ok = kind == 'x'   ? ParseXmlList(text, file_name, scenario, error)
              : kind == 'd' ? ParseDvbv5(lines, file_name, scenario, error)
                            : ParseTextList(lines, file_name, scenario, error);
    if (!ok) return false;
    std::size_t carriers = 0;
    for (const Satellite &satellite : scenario->satellites) carriers += satellite.carriers.size();
    if (carriers == 0) return Fail(error, file_name, static_cast<int>(lines.size()), "no carrier in the file");
    return true;
}

bool ReadScenarioFile(const std::string &path, Scenario *scenario, ScenarioError *error) {
    // Only a plain file: a pipe would hold the enumeration, /dev/zero would never end.
    char reason[256];
    if (!CheckReadableFile(path.c_str(), reason, sizeof reason))
        return Fail(error, path, 0, std::string("cannot read the file (") + reason + ")");
    std::ifstream file(path, std::ios::binary);
    if (!file) return Fail(error, path, 0, "cannot open the file");
    std::ostringstream content;
    content << file.rdbuf();
    return ParseScenario(content.str(), path, scenario, error);
}

}  // namespace sim
