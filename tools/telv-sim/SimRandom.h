// A small deterministic pseudo-random generator (splitmix64): the same seed gives the same
// sequence on every platform and library, unlike the standard distributions.
#pragma once

#include <cstdint>

namespace telv::sim {

// The splitmix64 finaliser: a cheap, well-mixed hash of a 64-bit value.
inline std::uint64_t Mix64(std::uint64_t x) {
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ULL;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBULL;
    x ^= x >> 31;
    return x;
}

class SimRandom {
public:
    explicit SimRandom(std::uint64_t seed) : state_(seed) {}

    std::uint64_t Next() {
        state_ += 0x9E3779B97F4A7C15ULL;
        return Mix64(state_);
    }
    // Uniform in [0, bound); 0 when bound is 0.
    std::uint32_t Below(std::uint32_t bound) {
        return static_cast<std::uint32_t>(((Next() >> 32) * bound) >> 32);
    }
    // Uniform in [low, high], low <= high.
    std::uint32_t Between(std::uint32_t low, std::uint32_t high) {
        const std::uint64_t span = std::uint64_t{high} - low + 1;
        if (span > 0xFFFFFFFFULL) return static_cast<std::uint32_t>(Next());
        return low + Below(static_cast<std::uint32_t>(span));
    }
    bool OneIn(std::uint32_t n) { return n <= 1 || Below(n) == 0; }
    std::uint8_t Byte() { return static_cast<std::uint8_t>(Next() >> 56); }

private:
    std::uint64_t state_;
};

}  // namespace telv::sim
