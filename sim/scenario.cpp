// The band model: completing the carriers a scenario leaves open, and their identity in
// every random draw. Reading scenario files is scenario_reader.cpp's.
#include "scenario.h"

#include <algorithm>
#include <cmath>

#include "record/dvb_standard.h"
#include "sim_random.h"

namespace sim {

namespace {

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
        // Level = N0 + 10 log10(SR) + 10 log10(1 + Es/N0), e.g. -45 dBm for 27.5 MS/s at 12 dB.
        double level = kNoiseDensityDbmPerHz + 10.0 * std::log10(static_cast<double>(carrier->symbol_rate)) +
                       10.0 * std::log10(1.0 + std::pow(10.0, carrier->esno_db / 10.0)) +
                       0.5 * StandardNormal(seed, key, Draw::kLevel);
        carrier->level_dbm = std::round(level * 10.0) / 10.0;
        carrier->has_level = true;
    }
}

}  // namespace

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
