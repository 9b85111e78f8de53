// An ordered map from server handle to record, held as sorted arrays: the handles alone in one
// (a lookup is a binary search over 4 bytes per entry, mostly in cache) and the records in
// another, in the same order. Iteration is in ascending handle order; the order of the list it
// came from is kept beside. It is filled only whole, from a full list, so it never needs
// insertion in the middle.
#pragma once

#include "Records.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace telv {

template <class Record>
class HandleMap {
public:
    using value_type = std::pair<Handle, Record>;
    using const_iterator = typename std::vector<value_type>::const_iterator;

    const_iterator begin() const { return entries_.begin(); }
    const_iterator end() const { return entries_.end(); }
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }

    const_iterator find(Handle handle) const {
        const auto at = std::lower_bound(handles_.begin(), handles_.end(), handle);
        if (at == handles_.end() || *at != handle) return end();
        return begin() + (at - handles_.begin());
    }
    std::size_t count(Handle handle) const { return find(handle) == end() ? 0 : 1; }
    // The record of a handle, or nullptr.
    const Record* Find(Handle handle) const {
        const auto it = find(handle);
        return it == end() ? nullptr : &it->second;
    }

    void clear() {
        handles_.clear();
        entries_.clear();
        listOrder_.clear();
    }

    // The contents become the records of a list, whose handle keyOf gives; of several records
    // with one handle the first in the list stays.
    template <class Records, class KeyOf>
    void Refill(const Records& records, KeyOf keyOf) {
        const std::uint32_t n = records.size();
        // Handle and position in one number: sorting it orders by handle, then by position.
        std::vector<std::uint64_t> order(n);
        for (std::uint32_t i = 0; i < n; ++i) order[i] = (std::uint64_t{keyOf(records[i])} << 32) | i;
        if (!std::is_sorted(order.begin(), order.end())) std::sort(order.begin(), order.end());
        clear();
        handles_.reserve(n);
        entries_.reserve(n);
        // The entry each list position became, for the positions that were kept.
        std::vector<std::uint32_t> entryAt(n, kNoEntry);
        for (const std::uint64_t key : order) {
            const auto handle = static_cast<Handle>(key >> 32);
            if (!handles_.empty() && handles_.back() == handle) continue;
            const auto position = static_cast<std::uint32_t>(key & 0xFFFFFFFFu);
            entryAt[position] = static_cast<std::uint32_t>(handles_.size());
            handles_.push_back(handle);
            entries_.emplace_back(handle, records[position]);
        }
        handles_.shrink_to_fit();
        entries_.shrink_to_fit();
        listOrder_.reserve(handles_.size());
        for (const std::uint32_t entry : entryAt)
            if (entry != kNoEntry) listOrder_.push_back(entry);
    }

    // The entries in the order the list named them (the first record of a repeated handle).
    const std::vector<std::uint32_t>& ListOrder() const { return listOrder_; }
    // The handles in ascending order, one per entry.
    const std::vector<Handle>& Handles() const { return handles_; }

private:
    static constexpr std::uint32_t kNoEntry = 0xFFFFFFFFu;

    std::vector<Handle> handles_;
    std::vector<value_type> entries_;
    std::vector<std::uint32_t> listOrder_;
};

using ChanelTable = HandleMap<TELV_UDP_FULL_CHANEL_DATA>;
using ClientTable = HandleMap<TELV_FULL_CLIENT_DATA>;

}  // namespace telv
