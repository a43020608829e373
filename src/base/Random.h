// The program's one uniform pseudo-random source: a 32-bit linear congruential generator,
// seeded explicitly so that tests can repeat every sequence. Normal variates are derived from it.
#pragma once

#include <cstdint>

namespace brindle {

class TRandomSource {
public:
    explicit TRandomSource(uint32_t seed = 0) : Seed_(seed) {}

    void SetSeed(uint32_t seed) {
        Seed_ = seed;
        HaveSpare_ = false;
    }
    uint32_t Seed() const { return Seed_; }

    // Next 32-bit state: seed * 134775813 + 1 (mod 2^32).
    uint32_t NextRaw() {
        Seed_ = Seed_ * 134775813u + 1u;
        return Seed_;
    }
    // A value in [0, n): high 32 bits of (new seed * n); 0 when n is 0.
    uint32_t Below(uint32_t n) {
        return static_cast<uint32_t>((static_cast<uint64_t>(NextRaw()) * n) >> 32);
    }
    // Uniform(a, b): a value in [min(a,b), max(a,b) - 1], or a when a == b.
    int32_t Uniform(int32_t a, int32_t b);
    // Uniform real in [0, 1).
    double NextDouble() { return static_cast<double>(NextRaw()) / 4294967296.0; }
    // Normal variate, mean 0, standard deviation 1 (polar method).
    double NextGaussian();

private:
    uint32_t Seed_ = 0;
    bool HaveSpare_ = false;
    double Spare_ = 0.0;
};

// A seed from the steady clock's low 32 bits, for sources that are not under test.
uint32_t ClockSeed();

} // namespace brindle
