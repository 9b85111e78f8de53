// The bytes received from the server that have not yet been cut into messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace telv {

// Append adds received bytes behind the unconsumed ones and compacts (consumed bytes go, the
// read position returns to 0). Consume and DiscardAll only move the read position, so Front stays
// valid until the next Append and a message can be read in place while it is consumed.
// Storage grows geometrically, in place where the allocator can (a large block is remapped, not
// copied): receiving a 55 MB list in small pieces costs linear time and touches little more
// memory than the list itself. Storage far larger than what it held over the last few messages
// is given back; a block that large messages keep filling is kept, so that a list repeated every
// second does not fault in fresh pages every time.
class StackBuffer {
public:
    // Far above the longest message plus one drain of the socket; an Append beyond it throws
    // std::length_error and leaves the buffer as it was.
    static constexpr std::size_t kMaxSize = std::size_t{128} << 20;

    StackBuffer() = default;
    StackBuffer(const StackBuffer&) = delete;
    StackBuffer& operator=(const StackBuffer&) = delete;

    void Append(const std::uint8_t* bytes, std::size_t n);
    // Room for n more bytes behind the unconsumed ones, for a receive straight into the buffer;
    // Commit(k) then adds the first k of them (k <= n). Front moves, as with Append.
    std::uint8_t* Reserve(std::size_t n);
    void Commit(std::size_t n);
    // The first unconsumed byte; nullptr before the first Append. With nothing remaining it is
    // the end of the data, which must not be read.
    const std::uint8_t* Front() const { return data_ ? data_.get() + pos_ : nullptr; }
    std::size_t Remaining() const { return size_ - pos_; }
    // Refused (false, nothing changes) without storage or when n exceeds Remaining.
    bool Consume(std::size_t n);
    void DiscardAll() { pos_ = size_; }

    std::size_t Capacity() const { return capacity_; }

private:
    struct Free {
        void operator()(std::uint8_t* p) const;
    };
    std::unique_ptr<std::uint8_t, Free> data_;
    std::size_t capacity_ = 0;
    std::size_t size_ = 0;
    std::size_t pos_ = 0;
    std::size_t reserved_ = 0;     // bytes the last Reserve made room for
    std::size_t recentPeak_ = 0;   // the most bytes held since the window began
    unsigned emptiedInWindow_ = 0; // appends to an empty buffer in the window
};

}  // namespace telv
