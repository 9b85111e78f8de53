#include "StackBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace telv {
namespace {

constexpr std::size_t kMinCapacity = 4096;
// Storage much larger than the most it held over the last few times it was emptied is given
// back, so that one huge list does not keep its block for the rest of the connection, while a
// block that each of those messages fills is kept.
constexpr std::size_t kShrinkAbove = std::size_t{1} << 20;
constexpr unsigned kShrinkWindow = 8;

}  // namespace

void StackBuffer::Free::operator()(std::uint8_t* p) const { std::free(p); }

std::uint8_t* StackBuffer::Reserve(std::size_t n) {
    const std::size_t remaining = size_ - pos_;
    if (n > kMaxSize - remaining) throw std::length_error("receive buffer limit exceeded");
    const std::size_t needed = remaining + n;

    // Consumed bytes go first, so that growing moves only what is still unread.
    if (pos_ > 0 && remaining > 0) std::memmove(data_.get(), data_.get() + pos_, remaining);
    size_ = remaining;
    pos_ = 0;
    reserved_ = 0;

    // Between messages (nothing unread), look back over the last window.
    std::size_t shrinkTo = 0;
    if (remaining == 0 && ++emptiedInWindow_ >= kShrinkWindow) {
        const std::size_t keep = std::max(recentPeak_ + recentPeak_ / 4, needed);
        if (capacity_ > kShrinkAbove && keep < capacity_ / 2) shrinkTo = keep;
        emptiedInWindow_ = 0;
        recentPeak_ = 0;
    }
    recentPeak_ = std::max(recentPeak_, needed);
    const bool tooSmall = needed > capacity_;
    if (!data_ || tooSmall || shrinkTo) {
        std::size_t capacity = std::max({needed, shrinkTo, kMinCapacity});
        if (tooSmall) capacity = std::max(capacity, std::min(kMaxSize, capacity_ * 2));
        // Unchanged when this fails: realloc keeps the old block.
        auto* block = static_cast<std::uint8_t*>(std::realloc(data_.get(), capacity));
        if (!block) throw std::bad_alloc();
        static_cast<void>(data_.release());
        data_.reset(block);
        capacity_ = capacity;
    }
    reserved_ = n;
    return data_.get() + size_;
}

void StackBuffer::Commit(std::size_t n) {
    size_ += std::min(n, reserved_);
    reserved_ = 0;
}

void StackBuffer::Append(const std::uint8_t* bytes, std::size_t n) {
    std::uint8_t* room = Reserve(n);
    if (n) std::memcpy(room, bytes, n);
    Commit(n);
}

bool StackBuffer::Consume(std::size_t n) {
    if (!data_ || n > size_ - pos_) return false;
    pos_ += n;
    return true;
}

}  // namespace telv
