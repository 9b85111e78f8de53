#include "HandleAllocator.h"

namespace telv::sim {

HandleAllocator::HandleAllocator(std::uint64_t seed, InUse inUse, Handle first, Handle end)
    : inUse_(std::move(inUse)), first_(first), end_(end), next_(first + static_cast<Handle>(Mix64(seed) & 0xFFFF) * 0x10) {}

Handle HandleAllocator::Allocate(SimRandom& rng, bool allowReuse, bool* reused) {
    if (reused) *reused = false;
    if (allowReuse && !freed_.empty() && rng.OneIn(8)) {
        const Handle old = freed_.front();
        freed_.pop_front();
        if (!inUse_(old)) {
            if (reused) *reused = true;
            return old;
        }
    }
    for (;;) {
        // Steps of 16-byte multiples, as heap addresses go.
        next_ += 0x20 + 0x10 * rng.Below(4);
        if (next_ >= end_ - 0x100 || next_ < first_) next_ = first_;
        if (!inUse_(next_)) return next_;
    }
}

void HandleAllocator::Release(Handle handle) {
    freed_.push_back(handle);
    if (freed_.size() > kRecentlyFreed) freed_.pop_front();
}

}  // namespace telv::sim
