#include "ListView.h"

#include <algorithm>

namespace telv {

void TListItem::AddSubItem() {
    if (subItemCount_ < kMaxSubItems) {
        cells_[subItemCount_ + 1u] = ListCell{};
        ++subItemCount_;
    }
}

TListView::TListView(int columnCount, CellRenderer renderer) : columnCount_(columnCount), renderer_(renderer) {}

TListView::~TListView() = default;

TListItem* TListView::Add() {
    auto item = std::make_unique<TListItem>();
    item->index_ = Count();
    item->view_ = this;
    TListItem* raw = item.get();
    rows_.push_back(std::move(item));
    selected_.push_back(0);
    dirty_ = true;
    if (!suspended_) Report();
    return raw;
}

void TListView::Delete(int index) {
    if (index < 0 || index >= Count()) return;
    DeleteWhere([index](int i) { return i == index; });
}

void TListView::DeleteWhere(const std::function<bool(int)>& doomed, const std::function<void(TListItem&)>& onDelete) {
    std::size_t kept = 0;
    bool any = false;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (doomed(static_cast<int>(i))) {
            TListItem& item = *rows_[i];
            if (onDelete) onDelete(item);
            if (selected_[i]) --selectedCount_;
            item.deleted_ = true;
            item.view_ = nullptr;
            if (observer_) graveyard_.push_back(std::move(rows_[i]));
            else rows_[i].reset();
            any = true;
        } else {
            // Rows before the first deleted one keep their place and index.
            if (kept != i) {
                rows_[kept] = std::move(rows_[i]);
                rows_[kept]->index_ = static_cast<int>(kept);
                selected_[kept] = selected_[i];
            }
            ++kept;
        }
    }
    rows_.resize(kept);
    selected_.resize(kept);
    if (!any) return;
    dirty_ = true;
    if (!suspended_) Report();
}

void TListView::Changed(const TListItem&) {
    dirty_ = true;
    if (!suspended_) Report();
}

void TListView::SuspendRepaint() { ++suspended_; }

void TListView::ResumeRepaint() {
    if (suspended_ == 0) return;
    if (--suspended_ == 0 && dirty_) Report();
}

void TListView::Sort(const std::function<bool(const TListItem&, const TListItem&)>& less) {
    std::stable_sort(rows_.begin(), rows_.end(),
                     [&less](const std::unique_ptr<TListItem>& a, const std::unique_ptr<TListItem>& b) {
                         return less(*a, *b);
                     });
    Renumber();
    orderChanged_ = true;
    dirty_ = true;
    if (!suspended_) Report();
}

void TListView::Reorder(std::vector<TListItem*> order) {
    if (order.size() != rows_.size()) return;
    std::vector<std::unique_ptr<TListItem>> sorted(rows_.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        sorted[i] = std::move(rows_[static_cast<std::size_t>(order[i]->index_)]);
    rows_ = std::move(sorted);
    Renumber();
    orderChanged_ = true;
    dirty_ = true;
    if (!suspended_) Report();
}

void TListView::SetSelected(TListItem& item, bool selected) {
    if (item.view_ != this) return;  // deleted, or another view's
    std::uint8_t& flag = selected_[static_cast<std::size_t>(item.index_)];
    if ((flag != 0) == selected) return;
    flag = selected ? 1 : 0;
    selectedCount_ += selected ? 1 : -1;
}

void TListView::SetSelectedRange(int first, int last, bool selected) {
    first = std::max(first, 0);
    last = std::min(last, Count() - 1);
    if (first > last) return;
    const auto begin = selected_.begin() + first;
    const auto end = selected_.begin() + last + 1;
    const auto before = static_cast<int>(std::count(begin, end, std::uint8_t{1}));
    std::fill(begin, end, static_cast<std::uint8_t>(selected ? 1 : 0));
    selectedCount_ += selected ? (last - first + 1) - before : -before;
}

void TListView::Report() {
    if (observer_) observer_->RowsChanged(orderChanged_);
    graveyard_.clear();
    dirty_ = false;
    orderChanged_ = false;
}

void TListView::Renumber() {
    std::vector<std::uint8_t> selected(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        TListItem& item = *rows_[i];
        selected[i] = selected_[static_cast<std::size_t>(item.index_)];
        item.index_ = static_cast<int>(i);
    }
    selected_ = std::move(selected);
}

}  // namespace telv
