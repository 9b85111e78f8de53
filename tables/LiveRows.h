// The rows of one table as the server last described them: one per handle of the last full list
// still named by the statistics since, in the order of that list, each with its latest values.
// Servers send statistics in the order of their last list, so a pass looks each record up at the
// position after the previous one and falls back to a binary search over the handles only for a
// record out of step.
#pragma once

#include "HandleMap.h"
#include "TrafficRates.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace telv {

// The changing part of a row: what its full record held, then its latest statistics.
struct RowValues {
    std::uint32_t SecondsOnLine = 0;
    std::uint32_t RxBytes = 0;
    std::uint32_t TxBytes = 0;
    Handle Linked = 0;
    std::uint8_t State = 0;
};

inline RateSample SampleOf(const RowValues& values) {
    return {values.SecondsOnLine, values.RxBytes, values.TxBytes};
}

struct LiveRow {
    Handle RowHandle = 0;
    RowValues Values;
    // The row's traffic rate, stepped with every new sample of its values (TrafficRates.h).
    RowRates Rates;
    // Whoever mirrors the rows keeps its own per-row pointer here (the window: its list item).
    std::uintptr_t Tag = 0;
};

class LiveRows {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    std::size_t size() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }
    LiveRow& operator[](std::size_t row) { return rows_[row]; }
    const LiveRow& operator[](std::size_t row) const { return rows_[row]; }
    auto begin() const { return rows_.begin(); }
    auto end() const { return rows_.end(); }

    // The row of a handle, or npos.
    std::size_t Find(Handle handle) const;
    // The row of the k-th smallest handle.
    std::size_t RowOfSorted(std::size_t k) const { return rowOfSorted_[k]; }

    // The rows become the entries of `data`, in its list order, with the values `valuesOf` gives
    // each record; a handle that had a row keeps that row's tag, and its rate steps from the old
    // values to the record's. Right after, RowOfSorted(k) is the row of the k-th entry of `data`.
    template <class Record, class ValuesOf>
    void Rebuild(const HandleMap<Record>& data, ValuesOf valuesOf);

    // A statistics pass: Locate each record's handle, Touch the rows found, then EndPass removes
    // the rows not touched.
    void BeginPass();
    std::size_t Locate(Handle handle);
    LiveRow& Touch(std::size_t row);
    // Whether the pass has touched the row already (a handle repeated in one message).
    bool Touched(std::size_t row) const { return touched_[row] != 0; }
    // Removes the rows the pass did not touch, telling `onRemove` of each first; nothing to do
    // when every row was touched.
    template <class OnRemove>
    void EndPass(OnRemove onRemove);

    // The rows' values stop counting as samples (a new connection): no rates until two more.
    void ForgetSamples();

private:
    void CarryKeptRows(const std::vector<Handle>& oldHandles, const std::vector<std::uint32_t>& oldRowOfSorted,
                       const std::vector<LiveRow>& oldRows);
    void RemoveUntouched();

    std::vector<LiveRow> rows_;
    // The handles of the rows in ascending order, and the row of each.
    std::vector<Handle> sortedHandles_;
    std::vector<std::uint32_t> rowOfSorted_;
    std::vector<std::uint8_t> touched_;
    std::size_t touchedCount_ = 0;
    std::size_t next_ = 0;  // where the next record of a pass is expected
};

template <class Record, class ValuesOf>
void LiveRows::Rebuild(const HandleMap<Record>& data, ValuesOf valuesOf) {
    std::vector<LiveRow> oldRows;
    std::vector<Handle> oldHandles;
    std::vector<std::uint32_t> oldRowOfSorted;
    oldRows.swap(rows_);
    oldHandles.swap(sortedHandles_);
    oldRowOfSorted.swap(rowOfSorted_);

    const std::vector<std::uint32_t>& listOrder = data.ListOrder();
    rows_.resize(listOrder.size());
    rowOfSorted_.resize(listOrder.size());
    sortedHandles_ = data.Handles();
    const auto entries = data.begin();
    for (std::size_t row = 0; row < listOrder.size(); ++row) {
        const auto& [handle, record] = entries[listOrder[row]];
        rows_[row].RowHandle = handle;
        rows_[row].Values = valuesOf(record);
        rows_[row].Rates = RowRates{};
        rows_[row].Rates.Sampled = true;
        rowOfSorted_[listOrder[row]] = static_cast<std::uint32_t>(row);
    }
    CarryKeptRows(oldHandles, oldRowOfSorted, oldRows);
    touched_.clear();
    touchedCount_ = 0;
    next_ = 0;
}

template <class OnRemove>
void LiveRows::EndPass(OnRemove onRemove) {
    if (touchedCount_ == rows_.size()) return;
    for (std::size_t row = 0; row < rows_.size(); ++row)
        if (!touched_[row]) onRemove(rows_[row]);
    RemoveUntouched();
}

}  // namespace telv
