// DVBv5 channel files (Debian's dtv-scan-tables) as a scenario: [name] blocks of KEY = VALUE.
#include "scenario_reader.h"

#include <cstdlib>
#include <cstring>

#include "record/dvb_standard.h"

namespace sim {

namespace {

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

}  // namespace

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

}  // namespace sim
