// A small seeded generator with its own distributions, so that a seed gives the
// same capture on every compiler and standard library (the distributions of
// <random> are not specified bit for bit).
#pragma once

#include <cstddef>
#include <cstdint>

namespace capture_gen {

class Rng {
  public:
    explicit Rng(uint64_t seed) : m_state(seed) {}

    // SplitMix64: fast, and every seed (zero included) gives a full-period stream.
    uint64_t Next64() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t Next32() { return static_cast<uint32_t>(Next64() >> 32); }
    uint16_t Next16() { return static_cast<uint16_t>(Next64() >> 48); }
    uint8_t Next8() { return static_cast<uint8_t>(Next64() >> 56); }

    // Uniform in [0, n); 0 when n is 0.
    uint32_t Below(uint32_t n) {
        return static_cast<uint32_t>((static_cast<uint64_t>(Next32()) * n) >> 32);
    }
    // Uniform in [lo, hi].
    uint32_t Range(uint32_t lo, uint32_t hi) { return lo + Below(hi - lo + 1); }
    // True with probability num/den.
    bool Chance(uint32_t num, uint32_t den) { return Below(den) < num; }

    template <typename T, size_t N>
    const T& Pick(const T (&items)[N]) {
        return items[Below(static_cast<uint32_t>(N))];
    }

    // An independent stream derived from this one (for sub-generators).
    Rng Fork() { return Rng(Next64()); }

  private:
    uint64_t m_state;
};

}  // namespace capture_gen
