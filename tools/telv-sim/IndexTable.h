// A flat hash index of positions in a vector whose elements carry their own keys: linear
// probing, backward-shift deletion, one 8-byte slot per entry and no allocation per entry, so
// that a million rows are indexed in a fraction of a second.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace telv::sim {

// KeyAt(position) returns the key of the element at that position; Hash(key) a 32-bit hash.
template <class Key, class KeyAt, class Hash>
class IndexTable {
public:
    explicit IndexTable(KeyAt keyAt, Hash hash = Hash{}) : keyAt_(keyAt), hash_(hash) { Rehash(16); }

    void Reserve(std::size_t n) {
        std::size_t capacity = slots_.size();
        while (capacity < 2 * n) capacity *= 2;
        if (capacity != slots_.size()) Rehash(capacity);
    }

    std::optional<std::uint32_t> Find(const Key& key) const {
        const std::uint32_t h = hash_(key);
        for (std::size_t i = h & mask_;; i = (i + 1) & mask_) {
            const Slot s = slots_[i];
            if (s.position == kEmpty) return std::nullopt;
            if (s.hash == h && keyAt_(s.position) == key) return s.position;
        }
    }
    bool Contains(const Key& key) const { return Find(key).has_value(); }

    // The key must not be present yet.
    void Insert(const Key& key, std::uint32_t position) {
        if (2 * (size_ + 1) > slots_.size()) Rehash(slots_.size() * 2);
        Place({position, hash_(key)});
        ++size_;
    }

    void Erase(const Key& key) {
        std::size_t i = FindSlot(key);
        if (i == kNoSlot) return;
        // Shift later entries of the run back so that no probe sequence is broken.
        for (std::size_t j = (i + 1) & mask_; slots_[j].position != kEmpty; j = (j + 1) & mask_) {
            const std::size_t home = slots_[j].hash & mask_;
            const bool movable = (j > i) ? (home <= i || home > j) : (home <= i && home > j);
            if (movable) {
                slots_[i] = slots_[j];
                i = j;
            }
        }
        slots_[i] = Slot{};
        --size_;
    }

    // The element with this key now lives at newPosition.
    void Move(const Key& key, std::uint32_t newPosition) {
        const std::size_t i = FindSlot(key);
        if (i != kNoSlot) slots_[i].position = newPosition;
    }

    std::size_t size() const { return size_; }

private:
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
    static constexpr std::size_t kNoSlot = ~std::size_t{0};
    struct Slot {
        std::uint32_t position = kEmpty;
        std::uint32_t hash = 0;
    };

    std::size_t FindSlot(const Key& key) const {
        const std::uint32_t h = hash_(key);
        for (std::size_t i = h & mask_;; i = (i + 1) & mask_) {
            const Slot s = slots_[i];
            if (s.position == kEmpty) return kNoSlot;
            if (s.hash == h && keyAt_(s.position) == key) return i;
        }
    }
    void Place(Slot slot) {
        std::size_t i = slot.hash & mask_;
        while (slots_[i].position != kEmpty) i = (i + 1) & mask_;
        slots_[i] = slot;
    }
    void Rehash(std::size_t capacity) {
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(capacity, Slot{});
        mask_ = capacity - 1;
        for (const Slot& s : old)
            if (s.position != kEmpty) Place(s);
    }

    KeyAt keyAt_;
    Hash hash_;
    std::vector<Slot> slots_;
    std::size_t mask_ = 0;
    std::size_t size_ = 0;
};

}  // namespace telv::sim
