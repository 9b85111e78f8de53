#include "StackBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace telv {
namespace {

constexpr std::size_t kMinCapacity = 4096;
// Storage much larger than its contents is given back, so that one huge list does not keep
// its block for the rest of the connection.
constexpr std::size_t kShrinkAbove = std::size_t{1} << 20;

}  // namespace

void StackBuffer::Free::operator()(std::uint8_t* p) const { std::free(p); }

void StackBuffer::Append(const std::uint8_t* bytes, std::size_t n) {
    const std::size_t remaining = size_ - pos_;
    if (n > kMaxSize - remaining) throw std::length_error("receive buffer limit exceeded");
    const std::size_t needed = remaining + n;

    // Consumed bytes go first, so that growing moves only what is still unread.
    if (pos_ > 0 && remaining > 0) std::memmove(data_.get(), data_.get() + pos_, remaining);
    size_ = remaining;
    pos_ = 0;

    const bool tooSmall = needed > capacity_;
    const bool oversized = capacity_ > kShrinkAbove && needed < capacity_ / 4;
    if (!data_ || tooSmall || oversized) {
        std::size_t capacity = std::max(needed, kMinCapacity);
        if (tooSmall) capacity = std::max(capacity, std::min(kMaxSize, capacity_ * 2));
        // Unchanged when this fails: realloc keeps the old block.
        auto* block = static_cast<std::uint8_t*>(std::realloc(data_.get(), capacity));
        if (!block) throw std::bad_alloc();
        static_cast<void>(data_.release());
        data_.reset(block);
        capacity_ = capacity;
    }
    if (n) std::memcpy(data_.get() + remaining, bytes, n);
    size_ = needed;
}

bool StackBuffer::Consume(std::size_t n) {
    if (!data_ || n > size_ - pos_) return false;
    pos_ += n;
    return true;
}

}  // namespace telv
