// The built-in satellite, served when no scenario is named: "Simsat 9E", a hybrid satellite
// at 9.0E with 87 Ku-band carriers on both linear polarizations across 10700..12750 MHz
// (DVB-S and DVB-S2 up to 32APSK, half-transponder and narrow SCPC carriers, one multistream
// carrier, two carriers just above their lock threshold) and 11 C-band carriers on circular
// polarizations across 3700..4200 MHz. Every value is given, nothing is completed: this table
// is the truth the completeness tests score against.
#include <cstdlib>
#include <cstring>

#include "record/dvb_standard.h"
#include "scenario.h"

namespace sim {

namespace {

struct BuiltinRow {
    std::uint32_t frequency_khz;
    char polarization;          // H, V, L, R
    std::uint32_t symbol_rate;  // S/s
    int system;                 // 1 DVB-S, 2 DVB-S2
    int constellation;
    const char *fec;
    int rolloff_percent;        // 35, 25 or 20
    bool pilots;
    bool short_frames;
    bool acm;
    int stream_type;            // 0 transport, 2 generic continuous
    const char *stream_ids;     // blank-separated; empty for a single input stream
    bool issy;
    bool npd;
    double level_dbm;           // dBm
    double esno_db;             // dB
};

const BuiltinRow kSimsat9E[] = {
    {3720000, 'R', 27500000, 1, kQpsk, "3/4", 35, false, false, false, 0, "", false, false, -46.4, 12.7},  // C-band
    {3740000, 'L', 30000000, 2, k8psk, "3/5", 35, true, false, false, 0, "", false, false, -41.8, 15.4},  // C-band
    {3760000, 'R', 27500000, 1, kQpsk, "3/4", 35, false, false, false, 0, "", false, false, -44.6, 13.6},  // C-band
    {3800000, 'R', 30000000, 2, kQpsk, "2/3", 20, false, false, false, 0, "", false, false, -39.9, 14.9},  // C-band
    {3840000, 'L', 28800000, 2, k8psk, "2/3", 35, true, false, false, 0, "", false, false, -45.2, 12.0},  // C-band
    {3880000, 'R', 4444000, 1, kQpsk, "3/4", 35, false, false, false, 0, "", false, false, -51.8, 12.9},  // C-band
    {3895000, 'R', 7200000, 2, kQpsk, "3/4", 20, false, false, false, 0, "", false, false, -51.1, 11.5},  // C-band
    {3920000, 'L', 27500000, 1, kQpsk, "3/4", 35, false, false, false, 0, "", false, false, -48.6, 9.6},  // C-band
    {4000000, 'R', 30000000, 2, k8psk, "3/4", 20, true, false, false, 0, "", false, false, -47.5, 10.0},  // C-band
    {4080000, 'L', 13333000, 2, kQpsk, "5/6", 35, false, false, false, 0, "", false, false, -46.6, 14.0},  // C-band
    {4160000, 'R', 27500000, 1, kQpsk, "7/8", 35, false, false, false, 0, "", false, false, -40.6, 15.5},  // C-band
    {10714000, 'H', 30000000, 2, kQpsk, "3/4", 20, false, false, false, 0, "", false, false, -47.5, 11.4},
    {10743000, 'H', 12000000, 2, k8psk, "3/4", 20, false, false, false, 0, "", false, false, -48.8, 13.0},
    {10761000, 'H', 14400000, 2, k8psk, "3/4", 20, false, false, false, 0, "", false, false, -47.7, 12.2},
    {10767000, 'V', 27500000, 1, kQpsk, "3/4", 35, false, false, false, 0, "", false, false, -45.6, 11.9},
    {10782000, 'H', 12000000, 2, k8psk, "3/4", 20, true, false, false, 0, "", false, false, -49.2, 12.7},
    {10800000, 'H', 13333000, 2, k8psk, "3/4", 20, true, false, false, 0, "", false, false, -46.8, 14.6},
    {10844000, 'V', 27500000, 1, kQpsk, "3/4", 35, false, false, false, 0, "", false, false, -47.8, 10.1},
    {10867000, 'H', 30000000, 2, k32apsk, "3/4", 20, true, false, false, 0, "", false, false, -44.0, 15.2},  // 32APSK
    {10882000, 'V', 27500000, 2, k8psk, "3/4", 35, true, false, false, 0, "", false, false, -46.2, 11.5},
    {10906000, 'H', 29900000, 2, k8psk, "2/3", 20, true, false, false, 0, "", false, false, -42.0, 14.7},
    {10921000, 'V', 27500000, 1, kQpsk, "3/4", 35, false, false, false, 0, "", false, false, -43.2, 12.8},
    {10944000, 'H', 29900000, 2, k8psk, "2/3", 20, true, false, false, 0, "", false, false, -44.2, 13.4},
    {10959000, 'V', 27500000, 1, kQpsk, "3/4", 35, false, false, false, 0, "", false, false, -47.5, 11.5},
    {10983000, 'H', 27500000, 1, kQpsk, "3/4", 35, false, false, false, 0, "", false, false, -46.4, 11.1},
    {10998000, 'V', 27500000, 1, kQpsk, "3/4", 35, false, false, false, 0, "", false, false, -44.4, 12.3},
    {11021000, 'H', 30000000, 2, kQpsk, "2/3", 20, false, false, false, 2, "", false, false, -48.7, 10.8},  // generic continuous stream
    {11036000, 'V', 27500000, 1, kQpsk, "7/8", 35, false, false, false, 0, "", false, false, -46.4, 11.2},
    {11059000, 'H', 22000000, 1, kQpsk, "5/6", 35, false, false, false, 0, "", false, false, -49.3, 9.4},
    {11065000, 'V', 12000000, 2, kQpsk, "3/4", 20, true, false, false, 0, "", false, false, -49.8, 11.5},
    {11083000, 'V', 12000000, 2, k8psk, "3/4", 20, true, false, false, 0, "", false, false, -47.8, 12.7},
    {11101000, 'V', 7200000, 1, kQpsk, "5/6", 35, false, false, false, 0, "", false, false, -53.9, 9.7},
    {11114000, 'V', 7200000, 2, kQpsk, "3/4", 35, true, false, false, 0, "", false, false, -51.5, 11.2},
    {11127000, 'H', 14400000, 2, k8psk, "3/4", 20, false, false, false, 0, "", false, false, -49.1, 11.2},
    {11145000, 'H', 12000000, 2, k8psk, "3/4", 20, true, false, false, 0, "", false, false, -46.6, 14.4},
    {11213000, 'H', 27500000, 1, kQpsk, "3/4", 35, false, false, false, 0, "", false, false, -42.6, 12.3},
    {11242000, 'H', 13333000, 2, k8psk, "3/4", 20, false, false, false, 0, "", false, false, -47.3, 12.9},
    {11260000, 'H', 13333000, 2, k8psk, "3/4", 20, false, false, false, 0, "", false, false, -46.5, 12.8},
    {11266000, 'V', 27500000, 1, kQpsk, "7/8", 35, false, false, false, 0, "", false, false, -45.4, 11.9},
    {11289000, 'H', 27500000, 2, kQpsk, "2/3", 20, false, false, false, 0, "", false, false, -46.3, 12.8},
    {11304000, 'V', 30000000, 2, k16apsk, "2/3", 20, true, false, false, 0, "", false, false, -44.6, 11.1},
    {11319000, 'H', 14400000, 2, kQpsk, "3/4", 20, true, false, false, 0, "", false, false, -48.4, 10.9},
    {11337000, 'H', 14400000, 2, k8psk, "3/4", 20, false, false, false, 0, "", false, false, -48.2, 11.4},
    {11343000, 'V', 30000000, 2, k8psk, "3/4", 35, true, false, false, 0, "", false, false, -44.6, 11.4},
    {11369000, 'V', 7200000, 1, kQpsk, "5/6", 35, false, false, false, 0, "", false, false, -50.1, 13.1},
    {11382000, 'V', 2000000, 2, kQpsk, "3/4", 35, false, false, false, 0, "", false, false, -56.5, 10.8},
    {11388000, 'V', 4000000, 2, kQpsk, "3/4", 20, false, false, false, 0, "", false, false, -55.2, 10.8},
    {11419000, 'V', 27500000, 2, kQpsk, "2/3", 20, false, false, false, 0, "", false, false, -47.3, 11.7},
    {11443000, 'H', 27500000, 2, kQpsk, "5/6", 20, false, false, false, 0, "", false, false, -47.0, 9.1},
    {11458000, 'V', 30000000, 2, k8psk, "3/4", 20, true, false, false, 0, "", false, false, -43.7, 13.2},
    {11520000, 'H', 22000000, 1, kQpsk, "5/6", 35, false, false, false, 0, "", false, false, -48.0, 9.9},
    {11573000, 'V', 27500000, 2, k8psk, "2/3", 35, true, false, false, 0, "", false, false, -44.6, 7.7},  // near threshold
    {11596000, 'H', 22000000, 1, kQpsk, "5/6", 35, false, false, false, 0, "", false, false, -49.2, 9.4},
    {11611000, 'V', 22000000, 2, k8psk, "5/6", 35, true, false, false, 0, "", false, false, -45.0, 13.4},
    {11650000, 'V', 22000000, 1, kQpsk, "5/6", 35, false, false, false, 0, "", false, false, -46.7, 12.7},
    {11664000, 'H', 13333000, 2, kQpsk, "3/4", 20, false, false, false, 0, "", false, false, -49.6, 11.8},
    {11682000, 'H', 14400000, 2, kQpsk, "3/4", 20, true, false, false, 0, "", false, false, -49.3, 12.7},
    {11711000, 'H', 27500000, 1, kQpsk, "3/4", 35, false, false, false, 0, "", false, false, -40.5, 15.3},
    {11726000, 'V', 22000000, 2, k8psk, "3/4", 35, true, false, false, 0, "", false, false, -46.8, 10.7},
    {11750000, 'H', 27500000, 1, kQpsk, "3/4", 35, false, false, false, 0, "", false, false, -49.3, 9.2},
    {11803000, 'V', 30000000, 2, k8psk, "3/4", 20, true, false, false, 0, "", false, false, -46.6, 10.0},
    {11826000, 'H', 27500000, 1, kQpsk, "2/3", 35, false, false, false, 0, "", false, false, -48.5, 10.0},
    {11865000, 'H', 27500000, 2, kQpsk, "5/6", 35, false, false, false, 0, "", false, false, -45.8, 11.7},
    {11871000, 'V', 13333000, 2, kQpsk, "3/4", 20, true, false, false, 0, "", false, false, -47.2, 12.4},
    {11889000, 'V', 13333000, 2, kQpsk, "3/4", 20, false, false, false, 0, "", false, false, -47.8, 12.6},
    {11903000, 'H', 27500000, 1, kQpsk, "3/4", 35, false, false, false, 0, "", false, false, -46.0, 7.1},  // near threshold
    {11918000, 'V', 30000000, 2, k8psk, "2/3", 20, true, false, false, 0, "", false, false, -47.0, 10.7},
    {11942000, 'H', 30000000, 2, kQpsk, "5/6", 35, false, false, false, 0, "", false, false, -43.8, 12.5},
    {11980000, 'H', 27500000, 1, kQpsk, "3/4", 35, false, false, false, 0, "", false, false, -47.7, 10.6},
    {11986000, 'V', 13333000, 2, k8psk, "3/4", 20, true, false, false, 0, "", false, false, -49.3, 11.9},
    {12004000, 'V', 13333000, 2, kQpsk, "3/4", 20, true, false, false, 0, "", false, false, -48.2, 9.0},
    {12057000, 'H', 30000000, 2, k16apsk, "2/3", 20, true, false, false, 0, "", false, false, -44.1, 11.6},
    {12095000, 'H', 30000000, 2, k16apsk, "3/4", 20, true, false, false, 0, "", false, false, -46.4, 12.3},
    {12121000, 'H', 2222000, 2, k8psk, "3/4", 35, true, false, false, 0, "", false, false, -55.8, 13.3},
    {12127000, 'H', 3333000, 2, kQpsk, "3/4", 35, true, true, true, 0, "", false, false, -56.9, 11.6},  // short frames, ACM
    {12134000, 'H', 7200000, 2, k8psk, "3/4", 35, true, false, false, 0, "", false, false, -53.0, 10.3},
    {12148000, 'V', 27500000, 1, kQpsk, "3/4", 35, false, false, false, 0, "", false, false, -45.0, 11.3},
    {12172000, 'H', 30000000, 2, kQpsk, "5/6", 20, false, false, false, 0, "", false, false, -42.8, 14.2},
    {12187000, 'V', 22000000, 1, kQpsk, "5/6", 35, false, false, false, 0, "", false, false, -44.5, 11.8},
    {12225000, 'V', 30000000, 2, k16apsk, "3/4", 20, true, false, false, 0, "", false, false, -42.4, 13.6},
    {12248000, 'H', 27500000, 1, kQpsk, "3/4", 35, false, false, false, 0, "", false, false, -45.5, 13.2},
    {12263000, 'V', 30000000, 2, k8psk, "2/3", 35, true, false, false, 0, "", false, false, -44.1, 12.5},
    {12287000, 'H', 29900000, 2, k8psk, "3/4", 35, true, false, false, 0, "", false, false, -43.9, 13.2},
    {12302000, 'V', 22000000, 1, kQpsk, "5/6", 35, false, false, false, 0, "", false, false, -46.3, 12.5},
    {12340000, 'V', 30000000, 2, kQpsk, "3/4", 20, false, false, false, 0, "", false, false, -42.6, 13.5},
    {12402000, 'H', 22000000, 2, k8psk, "2/3", 35, true, false, false, 0, "", false, false, -44.7, 13.2},
    {12479000, 'H', 22000000, 1, kQpsk, "5/6", 35, false, false, false, 0, "", false, false, -46.7, 12.2},
    {12494000, 'V', 22000000, 2, k8psk, "3/4", 35, true, false, false, 0, "", false, false, -47.9, 10.0},
    {12555000, 'H', 29900000, 2, k8psk, "3/4", 20, true, false, true, 0, "1 2 3", true, true, -46.6, 10.3},  // multistream
    {12594000, 'H', 30000000, 2, kQpsk, "5/6", 20, false, false, false, 0, "", false, false, -47.1, 10.2},
    {12600000, 'V', 12000000, 2, k8psk, "3/4", 20, true, false, false, 0, "", false, false, -48.5, 12.6},
    {12618000, 'V', 14400000, 2, kQpsk, "3/4", 20, true, false, false, 0, "", false, false, -48.5, 12.2},
    {12632000, 'H', 22000000, 2, k8psk, "2/3", 35, true, false, false, 0, "", false, false, -46.3, 10.6},
    {12647000, 'V', 29900000, 2, k8psk, "2/3", 35, true, false, false, 0, "", false, false, -45.3, 13.5},
    {12661000, 'H', 14400000, 2, k8psk, "3/4", 20, true, false, false, 0, "", false, false, -51.1, 11.1},
    {12679000, 'H', 13333000, 2, kQpsk, "3/4", 20, false, false, false, 0, "", false, false, -50.0, 10.1},
    {12709000, 'H', 30000000, 2, k16apsk, "3/4", 20, true, false, false, 0, "", false, false, -44.2, 12.3},
    {12724000, 'V', 29900000, 2, k8psk, "3/4", 35, true, false, false, 0, "", false, false, -44.7, 12.6},
};

int PolarizationCode(char letter) {
    switch (letter) {
        case 'V': return 1;
        case 'L': return 2;
        case 'R': return 3;
        default: return 0;
    }
}

int RollOffCode(int percent) { return percent == 25 ? kRollOff25 : percent == 20 ? kRollOff20 : kRollOff35; }

}  // namespace

Scenario BuiltinScenario() {
    Scenario scenario;
    scenario.source = "built-in";
    scenario.satellites.emplace_back();
    Satellite &satellite = scenario.satellites.back();
    satellite.name = "Simsat 9E";
    satellite.position = 90;
    for (const BuiltinRow &row : kSimsat9E) {
        Carrier carrier;
        carrier.frequency_khz = row.frequency_khz;
        carrier.polarization = PolarizationCode(row.polarization);
        carrier.symbol_rate = row.symbol_rate;
        carrier.system = row.system;
        carrier.constellation = row.constellation;
        carrier.fec = FecFromText(row.fec);
        carrier.rolloff = RollOffCode(row.rolloff_percent);
        carrier.pilot = row.pilots ? kPilotOn : kPilotOff;
        carrier.frame_length = row.short_frames ? 1 : 0;
        carrier.coding_mode = row.acm ? 1 : 0;
        carrier.stream_type = row.stream_type;
        for (const char *p = row.stream_ids; *p != '\0';) {
            char *end = nullptr;
            long id = std::strtol(p, &end, 10);
            if (end == p) break;
            carrier.stream_ids.push_back(static_cast<int>(id));
            p = end;
        }
        carrier.issy = row.issy;
        carrier.npd = row.npd;
        carrier.level_dbm = row.level_dbm;
        carrier.esno_db = row.esno_db;
        carrier.has_level = true;
        carrier.has_esno = true;
        satellite.carriers.push_back(carrier);
    }
    return scenario;
}

}  // namespace sim
