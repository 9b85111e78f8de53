// Which rows of a TListView a text filter lets through: a row matches when the text of one of
// the filter columns contains the filter text, letter case aside (Unicode case folding). The
// result of each row is kept with a copy of its filter cells, so a report of the row store
// evaluates only rows that are new or whose filter cells were rewritten; a statistics pass that
// rewrites other cells costs one comparison per row.
#pragma once

#include "ListView.h"

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace telv {

class RowFilter {
public:
    // Columns are logical column numbers of the view (0 is the caption).
    explicit RowFilter(const TListView& rows, std::vector<int> columns = {});
    // Changes the columns looked at; the filter becomes inactive.
    void SetColumns(std::vector<int> columns);

    // Active while the text is not empty; an inactive filter keeps no per-row state.
    bool Active() const { return !folded_.isEmpty(); }
    const QString& Text() const { return text_; }
    // Sets the text and evaluates the rows as they are in the store now; a text that narrows the
    // last one (contains it) looks again only at rows that matched it. False when nothing changed.
    bool SetText(const QString& text);

    // Follows a report of the row store (call it while deleted rows are still readable): results
    // move with their rows, new rows and rows with rewritten filter cells are evaluated. True when
    // a row that was there before changed its result.
    bool Follow();
    // Rows of the store that were there before the last Follow; the rows after them are new.
    int KeptRows() const { return keptRows_; }

    // The result of the row at a store position (true for every row while inactive).
    bool Matches(int storeIndex) const {
        return !Active() || match_[static_cast<std::size_t>(storeIndex)] != 0;
    }
    // Whether a text passes the filter.
    bool TextMatches(const QString& text) const;

private:
    bool Evaluate(const TListItem& item) const;
    void CopyKeys(std::size_t slot, const TListItem& item);
    bool KeysEqual(std::size_t slot, const TListItem& item) const;
    void EvaluateAll(bool onlyMatching);
    void Clear();

    const TListView& rows_;
    std::vector<int> columns_;
    QString text_;
    QString folded_;
    std::string asciiText_;     // folded_ in UTF-8
    bool asciiFolded_ = false;  // folded_ is all ASCII
    // Per store position, as of the last evaluation: the row, its filter cells, its result.
    std::vector<const TListItem*> items_;
    std::vector<ListCell> keys_;  // columns_.size() per row
    std::vector<std::uint8_t> match_;
    int keptRows_ = 0;
};

}  // namespace telv
