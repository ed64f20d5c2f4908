#pragma once
// Random numbers for the herd generator. Every draw is our own arithmetic on 64-bit integers
// (no library distributions, no libm), so a seed gives the same herd on every machine and
// every compiler version.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace ovista::herdgen {

// One splitmix64 step: advances state and returns a well-mixed 64-bit value.
inline std::uint64_t SplitMix64(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Seed of an independent stream for (batch seed, herd index, purpose), so that a herd's
// animals do not change when the batch has more herds or when only the file style changes.
inline std::uint64_t StreamSeed(std::uint64_t seed, std::uint64_t herd, std::uint64_t purpose) {
    std::uint64_t s = seed;
    std::uint64_t a = SplitMix64(s) ^ (herd * 0xD1B54A32D192ED03ull);
    std::uint64_t b = SplitMix64(a) ^ (purpose * 0x8CB92BA72F3D8DD7ull);
    return SplitMix64(b);
}

// xoshiro256** generator with the few shapes of randomness the herd model needs.
class Rng {
public:
    explicit Rng(std::uint64_t seed) {
        for (auto& word : s_) word = SplitMix64(seed);
    }

    std::uint64_t Next() {
        const std::uint64_t result = Rotl(s_[1] * 5, 7) * 9;
        const std::uint64_t t = s_[1] << 17;
        s_[2] ^= s_[0];
        s_[3] ^= s_[1];
        s_[1] ^= s_[2];
        s_[0] ^= s_[3];
        s_[2] ^= t;
        s_[3] = Rotl(s_[3], 45);
        return result;
    }

    // Uniform in [0, 1), 53 random bits.
    double Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
    // Uniform in [lo, hi).
    double Uniform(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
    // Uniform whole number in lo..hi, both included.
    int Int(int lo, int hi) {
        if (hi <= lo) return lo;
        const auto span = static_cast<std::uint64_t>(hi - lo) + 1;
        return lo + static_cast<int>((Next() >> 11) % span);
    }
    // True with probability p.
    bool Chance(double p) { return Uniform() < p; }
    // Approximately normal: the sum of twelve uniforms (Irwin-Hall), within mean +- 6 sd.
    double Normal(double mean, double sd) {
        double sum = 0;
        for (int i = 0; i < 12; ++i) sum += Uniform();
        return mean + sd * (sum - 6.0);
    }
    // Normal rounded to a whole number and kept within lo..hi.
    int NormalInt(double mean, double sd, int lo, int hi) {
        const double x = Normal(mean, sd);
        int v = static_cast<int>(x < 0 ? x - 0.5 : x + 0.5);
        return v < lo ? lo : (v > hi ? hi : v);
    }
    // Index drawn with the given non-negative weights (0 when all are 0).
    std::size_t Weighted(const std::vector<double>& weights) {
        double total = 0;
        for (double w : weights) total += w;
        if (total <= 0) return 0;
        double x = Uniform() * total;
        for (std::size_t i = 0; i < weights.size(); ++i) {
            if (x < weights[i]) return i;
            x -= weights[i];
        }
        return weights.size() - 1;
    }

private:
    static std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    std::uint64_t s_[4];
};

}  // namespace ovista::herdgen
