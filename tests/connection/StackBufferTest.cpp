#include "StackBuffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <stdexcept>
#include <vector>

namespace telv {
namespace {

std::vector<std::uint8_t> Seq(std::size_t n, std::uint8_t first = 0) {
    std::vector<std::uint8_t> v(n);
    std::iota(v.begin(), v.end(), first);
    return v;
}

std::vector<std::uint8_t> Unconsumed(const StackBuffer& b) {
    return b.Remaining() ? std::vector<std::uint8_t>(b.Front(), b.Front() + b.Remaining()) : std::vector<std::uint8_t>{};
}

TEST(StackBuffer, NeverReceivedHasNoFrontAndRefusesConsume) {
    StackBuffer b;
    EXPECT_EQ(b.Front(), nullptr);
    EXPECT_EQ(b.Remaining(), 0u);
    EXPECT_FALSE(b.Consume(0));
    EXPECT_FALSE(b.Consume(1));
}

TEST(StackBuffer, ConsumeBoundsAndZero) {
    StackBuffer b;
    const auto bytes = Seq(10);
    b.Append(bytes.data(), bytes.size());
    EXPECT_TRUE(b.Consume(0));
    EXPECT_EQ(b.Remaining(), 10u);
    EXPECT_FALSE(b.Consume(11));
    EXPECT_EQ(b.Remaining(), 10u);
    EXPECT_TRUE(b.Consume(4));
    EXPECT_EQ(*b.Front(), 4);
    EXPECT_TRUE(b.Consume(6));
    EXPECT_EQ(b.Remaining(), 0u);
    EXPECT_NE(b.Front(), nullptr);  // the block stays
    EXPECT_FALSE(b.Consume(1));
}

TEST(StackBuffer, FrontStaysValidWhileConsuming) {
    StackBuffer b;
    const auto bytes = Seq(20);
    b.Append(bytes.data(), bytes.size());
    const std::uint8_t* message = b.Front();
    ASSERT_TRUE(b.Consume(20));
    EXPECT_EQ(message[19], 19);  // still readable until the next append
}

TEST(StackBuffer, AppendAfterDiscardOrFullConsumeHoldsOnlyNewBytes) {
    for (bool discard : {true, false}) {
        StackBuffer b;
        const auto first = Seq(8);
        b.Append(first.data(), first.size());
        if (discard)
            b.DiscardAll();
        else
            ASSERT_TRUE(b.Consume(8));
        const auto second = Seq(3, 100);
        b.Append(second.data(), second.size());
        EXPECT_EQ(Unconsumed(b), second);
    }
}

TEST(StackBuffer, AppendKeepsUnconsumedBytesAheadOfNewOnes) {
    StackBuffer b;
    const auto bytes = Seq(200);
    std::size_t consumed = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        b.Append(&bytes[i], 1);
        if (i % 7 == 6) {  // consume a few now and then
            ASSERT_TRUE(b.Consume(3));
            consumed += 3;
        }
        EXPECT_EQ(Unconsumed(b), std::vector<std::uint8_t>(bytes.begin() + static_cast<long>(consumed),
                                                           bytes.begin() + static_cast<long>(i + 1)));
    }
}

TEST(StackBuffer, GrowsGeometricallyForLargeMessages) {
    StackBuffer b;
    const auto piece = Seq(65536);
    std::size_t reallocations = 0, capacity = 0;
    for (int i = 0; i < 512; ++i) {  // 32 MiB in 64 KiB pieces
        b.Append(piece.data(), piece.size());
        if (b.Capacity() != capacity) ++reallocations;
        capacity = b.Capacity();
    }
    EXPECT_EQ(b.Remaining(), 512u * 65536u);
    EXPECT_LE(reallocations, 16u);
    EXPECT_EQ(b.Front()[65536 * 511 + 5], 5);
}

TEST(StackBuffer, GivesBackAnOversizedBlock) {
    StackBuffer b;
    std::vector<std::uint8_t> big(8 << 20, 1);
    b.Append(big.data(), big.size());
    b.DiscardAll();
    const auto small = Seq(10);
    for (int message = 0; message < 32; ++message) {  // small messages only, for a while
        b.Append(small.data(), small.size());
        EXPECT_EQ(Unconsumed(b), small);
        b.DiscardAll();
    }
    b.Append(small.data(), small.size());
    EXPECT_LT(b.Capacity(), std::size_t{1} << 20);
    EXPECT_EQ(Unconsumed(b), small);
}

// A list repeated every second keeps the block it fills (no fresh pages each time), while
// the block an earlier, larger list needed shrinks towards it.
TEST(StackBuffer, KeepsTheBlockThatRepeatedLargeMessagesFill) {
    StackBuffer b;
    std::vector<std::uint8_t> list(40 << 20, 1), statistics(6 << 20, 2);
    b.Append(list.data(), list.size());
    b.DiscardAll();
    std::size_t capacity = 0;
    int reallocations = 0;
    for (int second = 0; second < 40; ++second) {
        for (std::size_t at = 0; at < statistics.size(); at += 1 << 20) {  // received in pieces
            std::uint8_t* room = b.Reserve(1 << 20);
            std::memcpy(room, statistics.data() + at, 1 << 20);
            b.Commit(1 << 20);
        }
        ASSERT_EQ(b.Remaining(), statistics.size());
        b.DiscardAll();
        const auto small = Seq(100);
        b.Append(small.data(), small.size());  // a notice between two lists
        b.DiscardAll();
        if (second >= 20) reallocations += b.Capacity() != capacity;
        capacity = b.Capacity();
    }
    EXPECT_EQ(reallocations, 0);
    EXPECT_GE(capacity, statistics.size());
    EXPECT_LT(capacity, 2 * statistics.size());
}

TEST(StackBuffer, CommitAddsOnlyWhatWasReceived) {
    StackBuffer b;
    const auto bytes = Seq(20);
    b.Append(bytes.data(), 5);
    ASSERT_TRUE(b.Consume(2));
    std::uint8_t* room = b.Reserve(100);
    std::memcpy(room, bytes.data() + 5, 15);
    b.Commit(15);
    EXPECT_EQ(Unconsumed(b), std::vector<std::uint8_t>(bytes.begin() + 2, bytes.end()));
}

TEST(StackBuffer, RefusesToGrowBeyondItsLimitAndStaysIntact) {
    StackBuffer b;
    const auto bytes = Seq(16);
    b.Append(bytes.data(), bytes.size());
    ASSERT_TRUE(b.Consume(6));
    EXPECT_THROW(b.Append(bytes.data(), StackBuffer::kMaxSize), std::length_error);
    EXPECT_EQ(Unconsumed(b), std::vector<std::uint8_t>(bytes.begin() + 6, bytes.end()));
}

}  // namespace
}  // namespace telv
