#include "scenario.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "dvb_physics.h"
#include "platform/platform.h"
#include "sim_random.h"

namespace sim {

namespace {

// ---- small text helpers ------------------------------------------------------------------

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

// ---- the program's text list ---------------------------------------------------------------

// "S2 11778000 V 27500000 3/4 35 8PSK 5 # comment": system, frequency (kHz), polarization,
// symbol rate (S/s), FEC, roll-off (may be left out: the list then has two blanks), modulation
// (may be left out for DVB-S), input stream id. Also takes the legacy "S2 f p sr fec AUTO 8PSK".
bool ParseTextLine(const std::string &line, Carrier *carrier, std::string *what) {
    std::string body = line.substr(0, line.find('#'));
    std::vector<std::string> tokens;
    std::istringstream stream(body);
    for (std::string token; stream >> token;) tokens.push_back(token);
    if (tokens.size() < 5) {
        *what = "a transponder line needs system, frequency, polarization, symbol rate and FEC";
        return false;
    }
    std::string system = Upper(tokens[0]);
    if (system == "S1" || system == "S") {
        carrier->system = kDvbS;
    } else if (system == "S2") {
        carrier->system = kDvbS2;
    } else {
        *what = "unknown delivery system \"" + tokens[0] + "\" (S1, S2 or S)";
        return false;
    }
    if (!ParseUnsigned(tokens[1], &carrier->frequency_khz) || carrier->frequency_khz == 0) {
        *what = "bad frequency \"" + tokens[1] + "\" (kHz)";
        return false;
    }
    carrier->polarization = PolarizationFromText(tokens[2]);
    if (carrier->polarization < 0) {
        *what = "bad polarization \"" + tokens[2] + "\" (H, V, L or R)";
        return false;
    }
    if (!ParseUnsigned(tokens[3], &carrier->symbol_rate) || carrier->symbol_rate == 0) {
        *what = "bad symbol rate \"" + tokens[3] + "\" (S/s)";
        return false;
    }
    if (Upper(tokens[4]) != "AUTO") {
        carrier->fec = FecFromText(tokens[4].c_str());
        if (carrier->fec == 0) {
            *what = "bad FEC \"" + tokens[4] + "\"";
            return false;
        }
    }
    std::size_t next = 5;
    // A roll-off stands before the modulation; it is missing when the list left it empty.
    if (next + 1 < tokens.size() && RollOffFromText(tokens[next]) >= 0 && ConstellationFromText(tokens[next + 1]) >= 0) {
        carrier->rolloff = RollOffFromText(tokens[next]);
        ++next;
    }
    if (next < tokens.size()) {
        int constellation = ConstellationFromText(tokens[next]);
        if (constellation < 0) {
            *what = "bad modulation \"" + tokens[next] + "\" (QPSK, 8PSK, 16APSK, 32APSK or AUTO)";
            return false;
        }
        carrier->constellation = constellation;
        ++next;
    }
    if (next < tokens.size()) {
        std::uint32_t id = 0;
        if (!ParseUnsigned(tokens[next], &id) || id > 255) {
            *what = "bad input stream id \"" + tokens[next] + "\" (0..255)";
            return false;
        }
        carrier->stream_ids.push_back(static_cast<int>(id));
        ++next;
    }
    if (next < tokens.size()) {
        *what = "unexpected \"" + tokens[next] + "\" after the transponder";
        return false;
    }
    return true;
}

bool ParseTextList(const std::vector<std::string> &lines, const std::string &file, Scenario *scenario,
                   ScenarioError *error) {
    Satellite *current = nullptr;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        int line_number = static_cast<int>(i) + 1;
        std::string line = Trim(lines[i]);
        if (line.empty()) continue;
        if (line[0] == '#') {
            // "# name @ 19.2E" opens a satellite; other comment lines are skipped.
            std::string rest = Trim(line.substr(1));
            std::size_t at = rest.rfind(" @ ");
            int position = 0;
            if (at != std::string::npos && ParsePositionText(Trim(rest.substr(at + 3)).c_str(), &position)) {
                scenario->satellites.emplace_back();
                current = &scenario->satellites.back();
                current->name = Trim(rest.substr(0, at));
                current->position = position;
            }
            continue;
        }
        Carrier carrier;
        std::string what;
        if (!ParseTextLine(line, &carrier, &what)) return Fail(error, file, line_number, what);
        if (current == nullptr) {
            scenario->satellites.emplace_back();
            current = &scenario->satellites.back();
            current->name = "Satellite";
        }
        AddCarrier(current, carrier);
    }
    return true;
}

// ---- the program's XML list ----------------------------------------------------------------

struct XmlTag {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
    int line = 0;
};

const std::string *Attribute(const XmlTag &tag, const char *name) {
    for (const auto &attribute : tag.attributes)
        if (attribute.first == name) return &attribute.second;
    return nullptr;
}

// Splits the text into start tags; comments, declarations and end tags are skipped.
bool ReadXmlTags(const std::string &text, const std::string &file, std::vector<XmlTag> *tags, ScenarioError *error) {
    int line = 1;
    std::size_t i = 0;
    auto advance = [&](std::size_t to) {
        for (; i < to && i < text.size(); ++i)
            if (text[i] == '\n') ++line;
    };
    while (i < text.size()) {
        std::size_t open = text.find('<', i);
        if (open == std::string::npos) break;
        advance(open);
        int tag_line = line;
        if (text.compare(open, 4, "<!--") == 0) {
            std::size_t close = text.find("-->", open);
            if (close == std::string::npos) return Fail(error, file, tag_line, "unterminated comment");
            advance(close + 3);
            continue;
        }
        std::size_t close = text.find('>', open);
        if (close == std::string::npos) return Fail(error, file, tag_line, "unterminated tag");
        std::string inside = text.substr(open + 1, close - open - 1);
        advance(close + 1);
        if (inside.empty() || inside[0] == '?' || inside[0] == '!' || inside[0] == '/') continue;
        if (inside.back() == '/') inside.pop_back();
        XmlTag tag;
        tag.line = tag_line;
        std::size_t p = 0;
        while (p < inside.size() && !std::isspace(static_cast<unsigned char>(inside[p]))) tag.name += inside[p++];
        for (;;) {
            while (p < inside.size() && std::isspace(static_cast<unsigned char>(inside[p]))) ++p;
            if (p >= inside.size()) break;
            std::size_t equals = inside.find('=', p);
            if (equals == std::string::npos) return Fail(error, file, tag_line, "attribute without a value in <" + tag.name + ">");
            std::string name = Trim(inside.substr(p, equals - p));
            p = equals + 1;
            while (p < inside.size() && std::isspace(static_cast<unsigned char>(inside[p]))) ++p;
            if (p >= inside.size() || (inside[p] != '"' && inside[p] != '\''))
                return Fail(error, file, tag_line, "unquoted value of " + name + " in <" + tag.name + ">");
            char quote = inside[p++];
            std::size_t end = inside.find(quote, p);
            if (end == std::string::npos) return Fail(error, file, tag_line, "unterminated value of " + name);
            tag.attributes.emplace_back(name, inside.substr(p, end - p));
            p = end + 1;
        }
        tags->push_back(tag);
    }
    return true;
}

struct XmlCode {
    int xml;
    int code;
};

// The list writer's fec_inner numbers back to FEC codes (0 = automatic).
const XmlCode kXmlFec[] = {{1, 1}, {2, 2}, {3, 3}, {4, 5}, {5, 7}, {6, 8}, {7, 13}, {8, 4}, {9, 9}};
// modulation numbers back to constellations (0 = automatic).
const XmlCode kXmlModulation[] = {{1, kQpsk}, {2, k8psk}, {3, k16apsk}, {4, k32apsk}};
// rolloff numbers back to roll-off codes (3 = automatic).
const XmlCode kXmlRollOff[] = {{0, kRollOff35}, {1, kRollOff25}, {2, kRollOff20}};
// pilot numbers back to pilot codes (2 = automatic).
const XmlCode kXmlPilot[] = {{0, kPilotOff}, {1, kPilotOn}};

template <std::size_t N>
int MapXml(const XmlCode (&table)[N], int xml) {
    for (const XmlCode &row : table)
        if (row.xml == xml) return row.code;
    return 0;
}

bool XmlInt(const XmlTag &tag, const char *name, int *value, bool required, const std::string &file,
            ScenarioError *error) {
    const std::string *text = Attribute(tag, name);
    if (text == nullptr) {
        if (required) return Fail(error, file, tag.line, std::string("<") + tag.name + "> lacks " + name);
        return true;
    }
    if (!ParseSigned(Trim(*text), value))
        return Fail(error, file, tag.line, std::string("bad ") + name + "=\"" + *text + "\" in <" + tag.name + ">");
    return true;
}

bool ParseXmlList(const std::string &text, const std::string &file, Scenario *scenario, ScenarioError *error) {
    std::vector<XmlTag> tags;
    if (!ReadXmlTags(text, file, &tags, error)) return false;
    Satellite *current = nullptr;
    for (const XmlTag &tag : tags) {
        if (tag.name == "satellites") {
            int latitude = 0, longitude = 0;
            bool has_latitude = Attribute(tag, "lat") != nullptr;
            if (!XmlInt(tag, "lat", &latitude, false, file, error) || !XmlInt(tag, "long", &longitude, false, file, error))
                return false;
            if (has_latitude) {
                scenario->has_site = true;
                scenario->site_latitude = latitude;
                scenario->site_longitude = longitude;
            }
        } else if (tag.name == "sat") {
            scenario->satellites.emplace_back();
            current = &scenario->satellites.back();
            const std::string *name = Attribute(tag, "name");
            current->name = name == nullptr ? "Satellite" : *name;
            int position = 0, usals = 0;
            if (!XmlInt(tag, "position", &position, false, file, error) ||
                !XmlInt(tag, "port", &current->port, false, file, error) ||
                !XmlInt(tag, "uncommitted", &current->uncommitted, false, file, error) ||
                !XmlInt(tag, "stored", &current->stored, false, file, error) ||
                !XmlInt(tag, "usals", &usals, false, file, error))
                return false;
            if (position > 1800) position -= 3600;
            if (position < -1800 || position > 1800) return Fail(error, file, tag.line, "position outside -1800..3599");
            if (current->port < 0 || current->port > 4) return Fail(error, file, tag.line, "port outside 1..4");
            if (current->uncommitted < 0 || current->uncommitted > 16)
                return Fail(error, file, tag.line, "uncommitted outside 1..16");
            if (current->stored < -1 || current->stored > 255) return Fail(error, file, tag.line, "stored outside 0..255");
            current->position = position;
            current->usals = usals != 0;
        } else if (tag.name == "transponder") {
            if (current == nullptr) return Fail(error, file, tag.line, "<transponder> outside a <sat>");
            int frequency = 0, symbol_rate = 0, polarization = 0, fec = 0, system = 0, modulation = 0;
            int rolloff = 3, pilot = 2, stream = -1, frame = 0, coding = 0, stream_type = 0, issy = 0, npd = 0;
            if (!XmlInt(tag, "frequency", &frequency, true, file, error) ||
                !XmlInt(tag, "symbol_rate", &symbol_rate, true, file, error) ||
                !XmlInt(tag, "polarization", &polarization, true, file, error) ||
                !XmlInt(tag, "fec_inner", &fec, false, file, error) || !XmlInt(tag, "system", &system, false, file, error) ||
                !XmlInt(tag, "modulation", &modulation, false, file, error) ||
                !XmlInt(tag, "rolloff", &rolloff, false, file, error) || !XmlInt(tag, "pilot", &pilot, false, file, error) ||
                !XmlInt(tag, "is_id", &stream, false, file, error) ||
                !XmlInt(tag, "frame_length", &frame, false, file, error) ||
                !XmlInt(tag, "coding_mode", &coding, false, file, error) ||
                !XmlInt(tag, "stream_type", &stream_type, false, file, error) ||
                !XmlInt(tag, "issy", &issy, false, file, error) || !XmlInt(tag, "npd", &npd, false, file, error))
                return false;
            if (frequency <= 0) return Fail(error, file, tag.line, "frequency must be positive (kHz)");
            if (symbol_rate <= 0) return Fail(error, file, tag.line, "symbol_rate must be positive (S/s)");
            if (polarization < 0 || polarization > 3) return Fail(error, file, tag.line, "polarization outside 0..3");
            if (system != 0 && system != 1) return Fail(error, file, tag.line, "system must be 0 (DVB-S) or 1 (DVB-S2)");
            Carrier carrier;
            carrier.frequency_khz = static_cast<std::uint32_t>(frequency);
            carrier.symbol_rate = static_cast<std::uint32_t>(symbol_rate);
            carrier.polarization = polarization;
            carrier.system = system == 1 ? kDvbS2 : kDvbS;
            carrier.fec = MapXml(kXmlFec, fec);
            carrier.constellation = MapXml(kXmlModulation, modulation);
            carrier.rolloff = MapXml(kXmlRollOff, rolloff);
            carrier.pilot = MapXml(kXmlPilot, pilot);
            carrier.frame_length = frame == 1 ? 1 : 0;
            carrier.coding_mode = coding == 1 ? 1 : 0;
            carrier.stream_type = stream_type >= 0 && stream_type <= 3 ? stream_type : 0;
            carrier.issy = issy != 0;
            carrier.npd = npd != 0;
            if (stream >= 0 && stream <= 255) carrier.stream_ids.push_back(stream);
            const std::string *esno = Attribute(tag, "esno");
            if (esno != nullptr) {
                if (!ParseDouble(Trim(*esno), &carrier.esno_db)) return Fail(error, file, tag.line, "bad esno (dB)");
                carrier.has_esno = true;
            }
            const std::string *level = Attribute(tag, "level");
            if (level != nullptr) {
                if (!ParseDouble(Trim(*level), &carrier.level_dbm)) return Fail(error, file, tag.line, "bad level (dBm)");
                carrier.has_level = true;
            }
            AddCarrier(current, carrier);
        }
    }
    return true;
}

// ---- DVBv5 channel files -------------------------------------------------------------------

struct Dvbv5Block {
    int line = 0;
    std::vector<std::pair<std::string, std::string>> values;
};

const std::string *Dvbv5Value(const Dvbv5Block &block, const char *key) {
    for (const auto &entry : block.values)
        if (entry.first == key) return &entry.second;
    return nullptr;
}

bool Dvbv5Carrier(const Dvbv5Block &block, const std::string &file, Carrier *carrier, ScenarioError *error) {
    const std::string *system = Dvbv5Value(block, "DELIVERY_SYSTEM");
    const std::string *frequency = Dvbv5Value(block, "FREQUENCY");
    const std::string *polarization = Dvbv5Value(block, "POLARIZATION");
    const std::string *symbol_rate = Dvbv5Value(block, "SYMBOL_RATE");
    if (frequency == nullptr || symbol_rate == nullptr || polarization == nullptr)
        return Fail(error, file, block.line, "the block needs FREQUENCY, POLARIZATION and SYMBOL_RATE");
    std::string system_text = system == nullptr ? "DVBS" : Upper(*system);
    if (system_text == "DVBS") {
        carrier->system = kDvbS;
    } else if (system_text == "DVBS2") {
        carrier->system = kDvbS2;
    } else if (system_text == "DSS") {
        carrier->system = kDss;
    } else {
        return Fail(error, file, block.line, "not a satellite delivery system: " + *system);
    }
    if (!ParseUnsigned(*frequency, &carrier->frequency_khz) || carrier->frequency_khz == 0)
        return Fail(error, file, block.line, "bad FREQUENCY " + *frequency);
    if (!ParseUnsigned(*symbol_rate, &carrier->symbol_rate) || carrier->symbol_rate == 0)
        return Fail(error, file, block.line, "bad SYMBOL_RATE " + *symbol_rate);
    carrier->polarization = PolarizationFromText(*polarization);
    if (carrier->polarization < 0) return Fail(error, file, block.line, "bad POLARIZATION " + *polarization);
    if (const std::string *fec = Dvbv5Value(block, "INNER_FEC")) {
        std::string upper = Upper(*fec);
        if (upper != "AUTO" && upper != "NONE") {
            carrier->fec = FecFromText(fec->c_str());
            if (carrier->fec == 0) return Fail(error, file, block.line, "bad INNER_FEC " + *fec);
        }
    }
    if (const std::string *modulation = Dvbv5Value(block, "MODULATION")) {
        int constellation = ConstellationFromText(*modulation);
        if (constellation < 0) return Fail(error, file, block.line, "bad MODULATION " + *modulation);
        carrier->constellation = constellation;
    }
    if (const std::string *rolloff = Dvbv5Value(block, "ROLLOFF")) {
        int code = RollOffFromText(*rolloff);
        if (code < 0) return Fail(error, file, block.line, "bad ROLLOFF " + *rolloff);
        carrier->rolloff = code;
    }
    if (const std::string *pilot = Dvbv5Value(block, "PILOT")) {
        std::string upper = Upper(*pilot);
        carrier->pilot = upper == "ON" ? kPilotOn : upper == "OFF" ? kPilotOff : 0;
    }
    if (const std::string *stream = Dvbv5Value(block, "STREAM_ID")) {
        int id = -1;
        if (!ParseSigned(*stream, &id)) return Fail(error, file, block.line, "bad STREAM_ID " + *stream);
        if (id >= 0 && id <= 255) carrier->stream_ids.push_back(id);
    }
    return true;
}

bool ParseDvbv5(const std::vector<std::string> &lines, const std::string &file, Scenario *scenario,
                ScenarioError *error) {
    scenario->satellites.emplace_back();
    Satellite &satellite = scenario->satellites.back();
    // "Hotbird-13.0E": the name before the last '-', the position after it.
    std::string base = BaseName(file);
    std::size_t dash = base.rfind('-');
    int position = 0;
    if (dash != std::string::npos && ParsePositionText(base.substr(dash + 1).c_str(), &position)) {
        satellite.name = base.substr(0, dash);
        satellite.position = position;
    } else {
        satellite.name = base;
    }
    std::vector<Dvbv5Block> blocks;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        int line_number = static_cast<int>(i) + 1;
        std::string line = Trim(lines[i]);
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == '[') {
            if (line.back() != ']') return Fail(error, file, line_number, "unterminated block name");
            blocks.emplace_back();
            blocks.back().line = line_number;
            continue;
        }
        std::size_t equals = line.find('=');
        if (equals == std::string::npos) return Fail(error, file, line_number, "expected KEY = VALUE");
        if (blocks.empty()) return Fail(error, file, line_number, "KEY = VALUE before the first [block]");
        blocks.back().values.emplace_back(Upper(Trim(line.substr(0, equals))), Trim(line.substr(equals + 1)));
    }
    for (const Dvbv5Block &block : blocks) {
        Carrier carrier;
        if (!Dvbv5Carrier(block, file, &carrier, error)) return false;
        AddCarrier(&satellite, carrier);
    }
    return true;
}

// ---- completion -----------------------------------------------------------------------------

// The rate of `system` (and constellation, frame length) nearest to the FEC code's rate;
// the lower one on a tie.
int NearestValidFec(int system, int constellation, int fec, int frame_length) {
    double wanted = CodeRate(fec);
    int best = 0;
    double best_distance = 2.0;
    for (int candidate = 1; candidate <= 13; ++candidate) {
        if (!ValidCodeRate(system, constellation, candidate, frame_length)) continue;
        double distance = std::fabs(CodeRate(candidate) - wanted);
        if (distance < best_distance - 1e-9 ||
            (std::fabs(distance - best_distance) < 1e-9 && CodeRate(candidate) < CodeRate(best))) {
            best = candidate;
            best_distance = distance;
        }
    }
    return best;
}

// Picks from `choices` by the uniform `u` with the cumulative weights (percent).
struct Choice {
    int value;
    int weight_percent;
};
template <std::size_t N>
int Pick(const Choice (&choices)[N], double u) {
    double sum = 0.0;
    for (const Choice &choice : choices) {
        sum += choice.weight_percent / 100.0;
        if (u < sum) return choice.value;
    }
    return choices[N - 1].value;
}

void CompleteCarrier(Carrier *carrier, std::uint64_t seed, std::uint64_t key) {
    if (carrier->system == kDvbS || carrier->system == kDss) {
        carrier->constellation = kQpsk;
        carrier->rolloff = carrier->system == kDvbS ? kRollOff35 : kRollOff20;  // fixed by each standard
        carrier->pilot = kPilotOff;
        carrier->frame_length = 0;
        if (carrier->fec == 0) {
            double u = Uniform(seed, key, Draw::kFec);
            if (carrier->system == kDss) {
                carrier->fec = u < 0.5 ? 2 : 6;
            } else if (carrier->symbol_rate == 27500000) {
                carrier->fec = 3;  // the classic 27500 kS/s 3/4 transponder
            } else if (carrier->symbol_rate == 22000000) {
                carrier->fec = 5;  // 22000 kS/s 5/6
            } else {
                const Choice kDvbSRates[] = {{3, 50}, {2, 20}, {5, 20}, {7, 10}};
                carrier->fec = Pick(kDvbSRates, u);
            }
        }
    } else {
        double u = Uniform(seed, key, Draw::kConstellation);
        if (carrier->constellation == kAutoConstellation) {
            const Choice kConstellations[] = {{kQpsk, 40}, {k8psk, 55}, {k16apsk, 5}};
            carrier->constellation = Pick(kConstellations, u);
            if (carrier->fec != 0 && !ValidCodeRate(kDvbS2, carrier->constellation, carrier->fec, carrier->frame_length))
                carrier->constellation = kQpsk;  // QPSK has every rate from 1/4 to 9/10
        }
        if (carrier->fec == 0) {
            double v = Uniform(seed, key, Draw::kFec);
            const Choice kQpskRates[] = {{3, 50}, {2, 25}, {5, 25}};
            const Choice k8pskRates[] = {{2, 50}, {3, 50}};
            switch (carrier->constellation) {
                case kQpsk: carrier->fec = Pick(kQpskRates, v); break;
                case k32apsk: carrier->fec = 3; break;
                default: carrier->fec = Pick(k8pskRates, v); break;
            }
        }
        if (carrier->rolloff == 0) carrier->rolloff = Uniform(seed, key, Draw::kRollOff) < 0.6 ? kRollOff35 : kRollOff20;
        if (carrier->pilot == 0) carrier->pilot = carrier->constellation == kQpsk ? kPilotOff : kPilotOn;
    }
    if (!ValidCodeRate(carrier->system, carrier->constellation, carrier->fec, carrier->frame_length))
        carrier->fec = NearestValidFec(carrier->system, carrier->constellation, carrier->fec, carrier->frame_length);
    std::sort(carrier->stream_ids.begin(), carrier->stream_ids.end());
    if (!carrier->has_esno) {
        // Around 12 dB, at least 1.5 dB above the lock threshold; one carrier in 25 sits just
        // above it (0.5..1.2 dB), where a search may fail now and then.
        double threshold = LockThresholdDb(carrier->system, carrier->constellation, carrier->fec, carrier->frame_length);
        double esno = 12.0 + 1.5 * StandardNormal(seed, key, Draw::kEsNo);
        if (Uniform(seed, key, Draw::kNearThreshold) < 0.04) {
            esno = threshold + 0.5 + 0.7 * Uniform(seed, key, Draw::kNearThreshold, 0, 7);
        } else {
            if (esno < threshold + 1.5) esno = threshold + 1.5;
            if (esno > 18.0 && threshold + 1.5 < 18.0) esno = 18.0;
        }
        carrier->esno_db = std::round(esno * 10.0) / 10.0;
        carrier->has_esno = true;
    }
    if (!carrier->has_level) {
        // Noise density -132 dBm/Hz at the tuner input (model): level = N0 + 10 log10(SR) +
        // 10 log10(1 + Es/N0), e.g. -45 dBm for 27.5 MS/s at 12 dB.
        double level = -132.0 + 10.0 * std::log10(static_cast<double>(carrier->symbol_rate)) +
                       10.0 * std::log10(1.0 + std::pow(10.0, carrier->esno_db / 10.0)) +
                       0.5 * StandardNormal(seed, key, Draw::kLevel);
        carrier->level_dbm = std::round(level * 10.0) / 10.0;
        carrier->has_level = true;
    }
}

}  // namespace

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

void CompleteScenario(Scenario *scenario, std::uint64_t seed) {
    for (Satellite &satellite : scenario->satellites)
        for (Carrier &carrier : satellite.carriers) CompleteCarrier(&carrier, seed, CarrierKey(satellite, carrier));
}

std::uint64_t CarrierKey(const Satellite &satellite, const Carrier &carrier) {
    std::uint64_t key = SplitMix64(static_cast<std::uint64_t>(static_cast<std::int64_t>(satellite.position)));
    key = SplitMix64(key ^ carrier.frequency_khz);
    key = SplitMix64(key ^ static_cast<std::uint64_t>(carrier.polarization));
    return SplitMix64(key ^ carrier.symbol_rate);
}

}  // namespace sim
