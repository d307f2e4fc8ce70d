#include "support/scripted_tuner.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

ScriptedTuner g_script;

int PopOr(std::deque<int> &queue, int otherwise) {
    if (queue.empty()) return otherwise;
    int value = queue.front();
    queue.pop_front();
    return value;
}

int ScriptCheckForDVBEx(LumorathDeviceCallback callback) {
    g_script.log.push_back("CheckForDVBEx");
    for (const auto &device : g_script.devices) callback(device.first, device.second.c_str());
    return g_script.check_result;
}

int ScriptStartDVBEx(int device) {
    g_script.log.push_back("StartDVBEx(" + std::to_string(device) + ")");
    ++g_script.start_calls;
    return g_script.start_result;
}

int ScriptStopDVB() {
    g_script.log.push_back("StopDVB");
    ++g_script.stop_calls;
    return g_script.stop_result;
}

int ScriptGetCaps() {
    g_script.log.push_back("GetCaps");
    return g_script.caps;
}

int ScriptSendDiSEqC(int kind, int value) {
    char entry[64];
    std::snprintf(entry, sizeof entry, "SendDiSEqC(%d,%02X)", kind, static_cast<unsigned>(value));
    g_script.log.push_back(entry);
    return PopOr(g_script.send_diseqc_results, 1);
}

int ScriptSendDiseqCmd(unsigned char *bytes, int count) {
    std::string entry = "SendDiseqCmd(";
    for (int i = 0; i < count; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, i == 0 ? "%02X" : " %02X", bytes[i]);
        entry += hex;
    }
    g_script.log.push_back(entry + ")");
    return PopOr(g_script.send_command_results, 1);
}

int ScriptVesker(unsigned frequency_khz, unsigned step_khz, unsigned polarization, unsigned lof1_khz,
                 unsigned lof2_khz, unsigned lofsw_khz, unsigned min_symbol_rate, TransponderRecord *record) {
    char entry[160];
    std::snprintf(entry, sizeof entry, "Vesker(%u,%u,%u,%u,%u,%u,%u)", frequency_khz, step_khz, polarization,
                  lof1_khz, lof2_khz, lofsw_khz, min_symbol_rate);
    g_script.log.push_back(entry);
    ++g_script.search_calls;
    if (g_script.band) return g_script.band(frequency_khz, step_khz, polarization, record);
    if (g_script.searches.empty()) {
        std::memset(record, 0, sizeof *record);
        return 1;
    }
    ScriptedSearch search = g_script.searches.front();
    g_script.searches.pop_front();
    *record = search.record;
    return search.result;
}

}  // namespace

std::vector<std::string> ScriptedTuner::Calls(const std::string &prefix) const {
    std::vector<std::string> calls;
    for (const auto &entry : log) {
        if (entry.compare(0, prefix.size(), prefix) == 0) calls.push_back(entry);
    }
    return calls;
}

ScriptedTuner &Script() { return g_script; }

TunerLibrary ScriptedTunerTable() {
    return {ScriptCheckForDVBEx, ScriptStartDVBEx, ScriptStopDVB,   ScriptGetCaps,
            ScriptSendDiSEqC,    ScriptSendDiseqCmd, ScriptVesker, nullptr};
}

void ResetScriptedTuner() {
    g_script = ScriptedTuner{};
    UseTuner(ScriptedTunerTable());
}

bool BindScriptedTuner(const char *, TunerLibrary *table) {
    *table = ScriptedTunerTable();
    return true;
}

TransponderRecord Carrier(unsigned frequency_khz, int polarization, unsigned symbol_rate, int system, int modulation,
                          int fec, double snr) {
    TransponderRecord record{};
    record.locked = 1;
    record.frequency = frequency_khz;
    record.polarization = polarization;
    record.symbol_rate = symbol_rate;
    record.system = system;
    record.modulation = modulation;
    record.fec = fec;
    record.inversion = 1;
    record.rolloff = 1;
    record.pilot = system == 2 ? 2 : 1;
    record.carrier_width = static_cast<unsigned>(symbol_rate * 1.35 / 1000.0);
    record.bit_rate = symbol_rate;
    record.rf_level = -45;
    record.snr = snr;
    return record;
}

TransponderRecord WorkedExampleRecord() {
    TransponderRecord record{};
    record.locked = 1;
    record.frequency = 11778123;
    record.polarization = 1;
    record.symbol_rate = 27499999;
    record.system = 2;
    record.inversion = 1;
    record.modulation = 2;
    record.fec = 3;
    record.rolloff = 1;
    record.pilot = 2;
    record.rf_level = -45;
    record.snr = 9.04;
    record.carrier_width = 33000;
    record.bit_rate = 55000000;
    return record;
}

std::function<int(unsigned, unsigned, unsigned, TransponderRecord *)> BandOf(std::vector<TransponderRecord> carriers) {
    return [carriers](unsigned frequency_khz, unsigned step_khz, unsigned polarization, TransponderRecord *record) {
        const TransponderRecord *nearest = nullptr;
        long best = 0;
        for (const auto &carrier : carriers) {
            if (static_cast<unsigned>(carrier.polarization) != polarization) continue;
            long distance = std::labs(static_cast<long>(carrier.frequency) - static_cast<long>(frequency_khz));
            if (distance > static_cast<long>(step_khz / 2)) continue;
            if (nearest == nullptr || distance < best) {
                nearest = &carrier;
                best = distance;
            }
        }
        if (nearest != nullptr) {
            *record = *nearest;
        } else {
            std::memset(record, 0, sizeof *record);
        }
        return 1;
    };
}
