// The program's own text list as a scenario: "# name @ 19.2E" lines open a satellite,
// transponder lines follow.
#include "scenario_reader.h"

#include <sstream>

#include "record/dvb_standard.h"

namespace sim {

namespace {

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

}  // namespace

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

}  // namespace sim
