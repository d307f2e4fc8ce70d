// The program's XML list as a scenario: <sat> elements holding <transponder> elements.
#include "scenario_reader.h"

#include <cstdlib>
#include <cstring>

#include "record/dvb_standard.h"

namespace sim {

namespace {

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

}  // namespace

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

}  // namespace sim
