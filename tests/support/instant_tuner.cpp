#include "support/instant_tuner.h"

#include <cstring>

namespace {

unsigned g_searches = 0;

int Check(LumorathDeviceCallback callback) {
    callback(0, "Instant tuner");
    return 1;
}
int Start(int) { return 1; }
int Stop() { return 1; }
int Caps() { return LUMORATH_CAP_BLIND_SEARCH | LUMORATH_CAP_DISEQC | LUMORATH_CAP_TONE_BURST; }
int Switch(int, int) { return 1; }
int Command(unsigned char *, int) { return 1; }

int Search(unsigned frequency_khz, unsigned step_khz, unsigned polarization, unsigned, unsigned, unsigned, unsigned,
           TransponderRecord *record) {
    ++g_searches;
    std::memset(record, 0, sizeof *record);
    const unsigned first_khz = 10720000, spacing_khz = 37000;
    if (frequency_khz + step_khz / 2 < first_khz) return 1;
    const unsigned index = (frequency_khz + step_khz / 2 - first_khz) / spacing_khz;
    const unsigned carrier_khz = first_khz + index * spacing_khz;
    if (carrier_khz + step_khz / 2 < frequency_khz || carrier_khz > frequency_khz + step_khz / 2) return 1;
    record->locked = 1;
    record->frequency = carrier_khz;
    record->polarization = static_cast<int>(polarization);
    record->symbol_rate = 27500000;
    record->system = 1 + static_cast<int>(index % 2);
    record->modulation = record->system == 2 ? 2 : 1;
    record->fec = 3;
    record->rolloff = 1;
    record->pilot = 2;
    record->carrier_width = 9000;  // narrow, so the scan keeps stepping through the band
    record->bit_rate = 38014706;
    record->rf_level = -50;
    record->snr = 11.5;
    return 1;
}

}  // namespace

TunerLibrary InstantTunerTable() {
    g_searches = 0;
    return {Check, Start, Stop, Caps, Switch, Command, Search, nullptr};
}

unsigned InstantTunerSearches() { return g_searches; }
