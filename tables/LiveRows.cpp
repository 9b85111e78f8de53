#include "LiveRows.h"

#include <algorithm>

namespace telv {

std::size_t LiveRows::Find(Handle handle) const {
    const auto at = std::lower_bound(sortedHandles_.begin(), sortedHandles_.end(), handle);
    if (at == sortedHandles_.end() || *at != handle) return npos;
    return rowOfSorted_[static_cast<std::size_t>(at - sortedHandles_.begin())];
}

// Both handle arrays are ascending: one merge walk finds every handle the old rows shared.
void LiveRows::CarryKeptRows(const std::vector<Handle>& oldHandles, const std::vector<std::uint32_t>& oldRowOfSorted,
                             const std::vector<LiveRow>& oldRows) {
    std::size_t o = 0;
    for (std::size_t k = 0; k < sortedHandles_.size() && o < oldHandles.size(); ++k) {
        while (o < oldHandles.size() && oldHandles[o] < sortedHandles_[k]) ++o;
        if (o < oldHandles.size() && oldHandles[o] == sortedHandles_[k]) {
            LiveRow& row = rows_[rowOfSorted_[k]];
            const LiveRow& old = oldRows[oldRowOfSorted[o]];
            row.Tag = old.Tag;
            row.Rates = old.Rates;
            row.Rates.Step(SampleOf(old.Values), SampleOf(row.Values));
        }
    }
}

void LiveRows::ForgetSamples() {
    for (LiveRow& row : rows_) row.Rates.Forget();
}

void LiveRows::BeginPass() {
    touched_.assign(rows_.size(), 0);
    touchedCount_ = 0;
    next_ = 0;
}

std::size_t LiveRows::Locate(Handle handle) {
    std::size_t row = next_;
    if (row >= rows_.size() || rows_[row].RowHandle != handle) row = Find(handle);
    if (row != npos) next_ = row + 1;
    return row;
}

LiveRow& LiveRows::Touch(std::size_t row) {
    if (!touched_[row]) {
        touched_[row] = 1;
        ++touchedCount_;
    }
    return rows_[row];
}

void LiveRows::RemoveUntouched() {
    std::vector<std::uint32_t> newRow(rows_.size());
    std::size_t kept = 0;
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        newRow[row] = static_cast<std::uint32_t>(kept);
        if (touched_[row]) rows_[kept++] = rows_[row];
    }
    rows_.resize(kept);
    std::size_t k = 0;
    for (std::size_t i = 0; i < sortedHandles_.size(); ++i) {
        const std::uint32_t row = rowOfSorted_[i];
        if (!touched_[row]) continue;
        sortedHandles_[k] = sortedHandles_[i];
        rowOfSorted_[k] = newRow[row];
        ++k;
    }
    sortedHandles_.resize(k);
    rowOfSorted_.resize(k);
    touched_.assign(rows_.size(), 1);
    touchedCount_ = rows_.size();
    next_ = 0;
}

}  // namespace telv
