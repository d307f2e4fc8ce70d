// Generates the candidate symbol-rate tables of dvb/candidate_rates.cpp from the published
// transponder tables (the dvb-s/ directory of Debian's dtv-scan-tables), and prints what
// each depth covers. Run by hand: build/tests/dvb_rate_table [/usr/share/dvb/dvb-s].
//
// A carrier counts once per (orbital position, polarization, frequency, symbol rate), so a
// satellite listed under several names counts once. For each band the list is greedy: each
// next rate is the one that captures the most carriers not yet captured, within the capture
// a demodulator given that rate has (+-5 %), per second the library waits for it on a step
// without a carrier. Two lists per band:
//   wide  rates in the middle of a window, so one rate may serve two common ones (28750
//         for 27500 and 30000), for demodulators known to capture +-5 %;
//   exact the most common rate of a window, so every candidate is a rate carriers use and
//         locks them whatever the demodulator's capture.
// Each list runs up to the wait the thorough depth allows, and says where quick and normal end.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "scenario.h"
#include "tuning.h"

namespace {

constexpr double kCapture = 0.05;
// The wait of a step without a carrier each depth allows, ms, one attempt per rate: quick as
// long as the three rates the library tried before depths existed (1.5 s).
constexpr double kDepthWaitMs[] = {1500, 15000, 22500};

struct TableCarrier {
    std::uint32_t symbol_rate;
    bool dvbs2;
};

bool Captures(double candidate, std::uint32_t symbol_rate) {
    const double ratio = symbol_rate / candidate;
    return ratio >= 1.0 - kCapture && ratio <= 1.0 + kCapture;
}

struct Row {
    std::uint32_t rate_ks;
    double coverage;   // cumulative share of the band's carriers
    int s2_percent;    // DVB-S2 share of the carriers this rate captures
    double wait_ms;    // cumulative wait of a step without a carrier
};

// The carriers not yet captured that a rate captures.
int Captured(const std::map<std::uint32_t, int> &left, std::uint32_t rate_ks) {
    int count = 0;
    for (const auto &entry : left) count += Captures(rate_ks * 1000.0, entry.first) ? entry.second : 0;
    return count;
}

std::vector<Row> Greedy(const std::vector<TableCarrier> &carriers, bool exact) {
    std::map<std::uint32_t, int> left;  // rate -> carriers not yet captured
    for (const TableCarrier &carrier : carriers) ++left[carrier.symbol_rate];
    std::vector<Row> out;
    int captured = 0;
    double wait_ms = 0;
    const double ratio = (1.0 + kCapture) / (1.0 - kCapture);
    while (!left.empty()) {
        // Each window [v, v x ratio] over what is left offers one rate: its middle (wide) or
        // its most common rate (exact). The best captures most carriers per ms of waiting.
        const std::vector<std::pair<std::uint32_t, int>> values(left.begin(), left.end());
        std::uint32_t best_rate_ks = 0;
        double best_score = 0;
        for (std::size_t low = 0, high = 0; low < values.size(); ++low) {
            while (high < values.size() && values[high].first <= values[low].first * ratio * (1 + 1e-12)) ++high;
            std::uint32_t rate_ks = 0;
            if (exact) {
                int most = 0;
                for (std::size_t i = low; i < high; ++i) {
                    if (values[i].second > most) {
                        most = values[i].second;
                        rate_ks = static_cast<std::uint32_t>(std::lround(values[i].first / 1000.0));
                    }
                }
            } else {
                const double middle = std::sqrt(values[high - 1].first / (1.0 + kCapture) * values[low].first / (1.0 - kCapture));
                rate_ks = static_cast<std::uint32_t>(std::lround(middle / 1000.0));
            }
            const double score = Captured(left, rate_ks) / static_cast<double>(dvb::SweepTimeoutMs(rate_ks * 1000));
            if (score > best_score) {
                best_score = score;
                best_rate_ks = rate_ks;
            }
        }
        if (best_rate_ks == 0) break;
        for (auto it = left.begin(); it != left.end();) {
            if (Captures(best_rate_ks * 1000.0, it->first)) {
                captured += it->second;
                it = left.erase(it);
            } else {
                ++it;
            }
        }
        int within = 0, s2 = 0;
        for (const TableCarrier &carrier : carriers) {
            if (!Captures(best_rate_ks * 1000.0, carrier.symbol_rate)) continue;
            ++within;
            s2 += carrier.dvbs2 ? 1 : 0;
        }
        wait_ms += dvb::SweepTimeoutMs(best_rate_ks * 1000);
        if (wait_ms > kDepthWaitMs[2]) break;
        out.push_back({best_rate_ks, static_cast<double>(captured) / carriers.size(), within > 0 ? (100 * s2 + within / 2) / within : 0,
                       wait_ms});
    }
    return out;
}

}  // namespace

int main(int argc, char **argv) {
    const std::string directory = argc > 1 ? argv[1] : "/usr/share/dvb/dvb-s";
    std::vector<std::string> files;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator(directory, error)) {
        if (entry.is_regular_file()) files.push_back(entry.path().string());
    }
    if (files.empty()) {
        std::fprintf(stderr, "no tables in %s (Debian package dtv-scan-tables)\n", directory.c_str());
        return 1;
    }
    std::sort(files.begin(), files.end());
    std::set<std::tuple<int, int, std::uint32_t, std::uint32_t>> seen;
    std::vector<TableCarrier> ku, c_band;
    int read = 0;
    for (const std::string &file : files) {
        sim::Scenario scenario;
        sim::ScenarioError failure;
        if (!sim::ReadScenarioFile(file, &scenario, &failure)) continue;
        ++read;
        for (const sim::Satellite &satellite : scenario.satellites) {
            for (const sim::Carrier &carrier : satellite.carriers) {
                if (!seen.insert({satellite.position, carrier.polarization & 1, carrier.frequency_khz, carrier.symbol_rate}).second)
                    continue;
                const TableCarrier counted{carrier.symbol_rate, carrier.system == 2};
                if (carrier.frequency_khz < 5000000) c_band.push_back(counted);
                if (carrier.frequency_khz >= 10700000 && carrier.frequency_khz <= 12750000) ku.push_back(counted);
            }
        }
    }
    std::printf("// %d tables of %s: %zu Ku carriers (10700..12750 MHz), %zu C-band (below 5000 MHz)\n", read,
                directory.c_str(), ku.size(), c_band.size());
    const struct {
        const char *name;
        const std::vector<TableCarrier> *carriers;
        bool exact;
    } lists[] = {{"kKuWide", &ku, false}, {"kKuExact", &ku, true}, {"kCWide", &c_band, false}, {"kCExact", &c_band, true}};
    for (const auto &list : lists) {
        const std::vector<Row> rows = Greedy(*list.carriers, list.exact);
        int counts[3] = {0, 0, 0};
        for (const Row &row : rows) {
            for (int depth = 0; depth < 3; ++depth) counts[depth] += row.wait_ms <= kDepthWaitMs[depth] ? 1 : 0;
        }
        std::printf("const RateRow %s[] = {\n", list.name);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            std::printf("    {%u, %d, %d},  // %zu: %.1f s\n", rows[i].rate_ks, static_cast<int>(std::floor(rows[i].coverage * 1000.0)),
                        rows[i].s2_percent, i + 1, rows[i].wait_ms / 1000.0);
        }
        std::printf("};  // quick %d rates, normal %d, thorough %d\n", counts[0], counts[1], counts[2]);
    }
    return 0;
}
