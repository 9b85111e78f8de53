// Hands out the server's opaque handles: pointer-like, never 0, within a range of its own, and
// now and then one that was freed before.
#pragma once

#include "Records.h"
#include "SimRandom.h"

#include <cstdint>
#include <deque>
#include <functional>

namespace telv::sim {

// Handle ranges: simulated channels and clients, consoles, and statistics records that name
// nothing (never allocated).
inline constexpr Handle kFirstPopulationHandle = 0x00A40000u;
inline constexpr Handle kFirstConsoleHandle = 0xE0000000u;
inline constexpr Handle kFirstOrphanHandle = 0xF0000000u;

class HandleAllocator {
public:
    using InUse = std::function<bool(Handle)>;

    // Handles from [first, end); the starting point within the range depends on the seed.
    HandleAllocator(std::uint64_t seed, InUse inUse, Handle first, Handle end);

    // A handle not in use. With allowReuse, one freed earlier now and then (*reused tells).
    Handle Allocate(SimRandom& rng, bool allowReuse, bool* reused = nullptr);
    void Release(Handle handle);

private:
    static constexpr std::size_t kRecentlyFreed = 64;

    InUse inUse_;
    Handle first_;
    Handle end_;
    Handle next_;
    std::deque<Handle> freed_;
};

}  // namespace telv::sim
