// Hands out the server's opaque handles: pointer-like, never 0, never in the range kept for
// statistics records that name nothing, and now and then one that was freed before.
#pragma once

#include "Records.h"
#include "SimRandom.h"

#include <cstdint>
#include <deque>
#include <functional>

namespace telv::sim {

// Handles at and above this value are never allocated.
inline constexpr Handle kFirstOrphanHandle = 0xF0000000u;

class HandleAllocator {
public:
    using InUse = std::function<bool(Handle)>;

    HandleAllocator(std::uint64_t seed, InUse inUse);

    // A handle not in use. With allowReuse, one freed earlier now and then (*reused tells).
    Handle Allocate(SimRandom& rng, bool allowReuse, bool* reused = nullptr);
    void Release(Handle handle);

private:
    static constexpr Handle kFirst = 0x00A40000u;
    static constexpr std::size_t kRecentlyFreed = 64;

    InUse inUse_;
    Handle next_;
    std::deque<Handle> freed_;
};

}  // namespace telv::sim
