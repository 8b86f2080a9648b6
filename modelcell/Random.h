#pragma once
// The model's own random numbers: xoshiro256** seeded through splitmix64,
// normal deviates by the polar method. The standard library's engines are
// exact, but its distributions differ between library versions; these draw
// the same noise everywhere for a given seed.

#include <cmath>
#include <cstdint>

namespace velmora {

inline std::uint64_t SplitMix64(std::uint64_t& x) {
  std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

class Rng {
 public:
  // One independent stream per (seed, sweep, purpose), so that switching an
  // option on does not change the noise of the others.
  Rng(std::uint64_t seed, std::uint64_t sweep, std::uint64_t purpose) {
    std::uint64_t x = seed;
    x = SplitMix64(x) ^ sweep;
    x = SplitMix64(x) ^ purpose;
    for (auto& w : s_) w = SplitMix64(x);
  }

  std::uint64_t Next() {
    const std::uint64_t result = Rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0], s_[3] ^= s_[1], s_[1] ^= s_[2], s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = Rotl(s_[3], 45);
    return result;
  }

  // Uniform in [0, 1).
  double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

  // Standard normal.
  double Normal() {
    if (hasSpare_) {
      hasSpare_ = false;
      return spare_;
    }
    double u, v, s;
    do {
      u = 2 * Uniform() - 1;
      v = 2 * Uniform() - 1;
      s = u * u + v * v;
    } while (s >= 1 || s == 0);
    const double f = std::sqrt(-2 * std::log(s) / s);
    spare_ = v * f;
    hasSpare_ = true;
    return u * f;
  }

 private:
  static std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  std::uint64_t s_[4];
  double spare_ = 0;
  bool hasSpare_ = false;
};

}  // namespace velmora
