#include "RowFilter.h"

#include "AsciiText.h"

#include <algorithm>
#include <utility>

namespace telv {
namespace {

// The cell a column shows: columns beyond a row's sub-items show the empty text.
ListCell ShownCell(const TListItem& item, int column) {
    return column <= item.SubItemCount() ? item.Cell(column) : ListCell{};
}

// Whether `text` contains `folded` (both ASCII, `folded` already folded), letter case aside.
bool ContainsAsciiFolded(const std::string& text, const std::string& folded) {
    return std::search(text.begin(), text.end(), folded.begin(), folded.end(),
                       [](char a, char b) { return AsciiLower(a) == b; }) != text.end();
}

}  // namespace

RowFilter::RowFilter(const TListView& rows, std::vector<int> columns) : rows_(rows) { SetColumns(std::move(columns)); }

void RowFilter::SetColumns(std::vector<int> columns) {
    text_.clear();
    folded_.clear();
    asciiText_.clear();
    asciiFolded_ = false;
    Clear();
    columns_ = std::move(columns);
    std::erase_if(columns_, [](int c) { return c < 0 || c > TListItem::kMaxSubItems; });
}

bool RowFilter::TextMatches(const QString& text) const { return text.toCaseFolded().contains(folded_); }

bool RowFilter::Evaluate(const TListItem& item) const {
    for (const int column : columns_) {
        const ListCell cell = ShownCell(item, column);
        if (cell.Kind == 0) continue;
        const std::string text = rows_.Text(item, column);
        // Folding ASCII text is a-z for A-Z alone: an ASCII filter text and cell need no QString.
        if (asciiFolded_ && IsAscii(text)) {
            if (ContainsAsciiFolded(text, asciiText_)) return true;
        } else if (TextMatches(QString::fromStdString(text))) {
            return true;
        }
    }
    return false;
}

void RowFilter::CopyKeys(std::size_t slot, const TListItem& item) {
    for (std::size_t k = 0; k < columns_.size(); ++k) keys_[slot * columns_.size() + k] = ShownCell(item, columns_[k]);
}

bool RowFilter::KeysEqual(std::size_t slot, const TListItem& item) const {
    for (std::size_t k = 0; k < columns_.size(); ++k)
        if (!(keys_[slot * columns_.size() + k] == ShownCell(item, columns_[k]))) return false;
    return true;
}

bool RowFilter::SetText(const QString& text) {
    const QString folded = text.toCaseFolded();
    if (folded == folded_) {
        text_ = text;
        return false;
    }
    const bool narrows = Active() && folded.contains(folded_);
    text_ = text;
    folded_ = folded;
    asciiText_ = folded_.toStdString();
    asciiFolded_ = IsAscii(asciiText_);
    if (!Active()) {
        Clear();
    } else {
        EvaluateAll(narrows);
    }
    return true;
}

void RowFilter::EvaluateAll(bool onlyMatching) {
    const auto count = static_cast<std::size_t>(rows_.Count());
    if (!onlyMatching || items_.size() != count) {
        items_.resize(count);
        keys_.resize(count * columns_.size());
        match_.assign(count, 0);
        for (std::size_t i = 0; i < count; ++i) {
            const TListItem& item = *rows_.Item(static_cast<int>(i));
            items_[i] = &item;
            CopyKeys(i, item);
            match_[i] = Evaluate(item) ? 1 : 0;
        }
    } else {
        for (std::size_t i = 0; i < count; ++i)
            if (match_[i]) match_[i] = Evaluate(*items_[i]) ? 1 : 0;
    }
    keptRows_ = static_cast<int>(count);
}

bool RowFilter::Follow() {
    const auto count = static_cast<std::size_t>(rows_.Count());
    if (!Active()) {
        keptRows_ = static_cast<int>(count);
        return false;
    }
    std::vector<const TListItem*> items(count, nullptr);
    std::vector<ListCell> keys(count * columns_.size());
    std::vector<std::uint8_t> match(count, 0);
    const std::size_t width = columns_.size();
    int kept = 0;
    // A kept row's Index() is its new position, whether rows were deleted, added or reordered.
    for (std::size_t slot = 0; slot < items_.size(); ++slot) {
        const TListItem* item = items_[slot];
        if (item->Deleted()) continue;
        const auto to = static_cast<std::size_t>(item->Index());
        items[to] = item;
        std::copy_n(keys_.begin() + static_cast<std::ptrdiff_t>(slot * width), width,
                    keys.begin() + static_cast<std::ptrdiff_t>(to * width));
        match[to] = match_[slot];
        ++kept;
    }
    items_ = std::move(items);
    keys_ = std::move(keys);
    match_ = std::move(match);
    bool changed = false;
    for (std::size_t i = 0; i < count; ++i) {
        if (!items_[i]) {
            const TListItem& item = *rows_.Item(static_cast<int>(i));
            items_[i] = &item;
            CopyKeys(i, item);
            match_[i] = Evaluate(item) ? 1 : 0;
        } else if (!KeysEqual(i, *items_[i])) {
            CopyKeys(i, *items_[i]);
            const std::uint8_t now = Evaluate(*items_[i]) ? 1 : 0;
            changed = changed || now != match_[i];
            match_[i] = now;
        }
    }
    keptRows_ = kept;
    return changed;
}

void RowFilter::Clear() {
    items_.clear();
    items_.shrink_to_fit();
    keys_.clear();
    keys_.shrink_to_fit();
    match_.clear();
    match_.shrink_to_fit();
}

}  // namespace telv
