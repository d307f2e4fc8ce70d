#include "sim_random.h"

#include <cmath>

namespace sim {

std::uint64_t SplitMix64(std::uint64_t value) {
    std::uint64_t z = value + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint64_t DrawKey(std::uint64_t seed, std::uint64_t carrier, Draw quantity, std::uint64_t step,
                      std::uint64_t sub) {
    std::uint64_t key = SplitMix64(seed);
    key = SplitMix64(key ^ carrier);
    key = SplitMix64(key ^ static_cast<std::uint64_t>(quantity));
    key = SplitMix64(key ^ step);
    return SplitMix64(key ^ sub);
}

double Uniform(std::uint64_t seed, std::uint64_t carrier, Draw quantity, std::uint64_t step, std::uint64_t sub) {
    return static_cast<double>(DrawKey(seed, carrier, quantity, step, sub) >> 11) * (1.0 / 9007199254740992.0);
}

double StandardNormal(std::uint64_t seed, std::uint64_t carrier, Draw quantity, std::uint64_t step) {
    const double kPi = 3.141592653589793;
    double u1 = Uniform(seed, carrier, quantity, step, 1);
    double u2 = Uniform(seed, carrier, quantity, step, 2);
    if (u1 < 1e-300) u1 = 1e-300;  // log(0) guard
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
}

std::uint64_t TextKey(const char *text) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (; *text != '\0'; ++text) {
        hash ^= static_cast<unsigned char>(*text);
        hash *= 0x100000001B3ull;
    }
    return SplitMix64(hash);
}

}  // namespace sim
