// The rows of a report-style list view, as the program's logic sees them: caption, sub-items,
// a pointer-sized data value and a selection flag per row. The Qt side (ListViewModel) follows
// the rows through ListViewObserver; no Qt here, so the logic is tested without a display.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace telv {

// One cell's content, kept compact: a kind and up to 16 bytes that the view's CellRenderer
// turns into text when the cell is shown. Kind 0 is the empty text.
struct ListCell {
    static constexpr std::size_t kPayloadSize = 16;
    std::uint8_t Kind = 0;
    std::array<std::uint8_t, kPayloadSize> Payload{};

    bool operator==(const ListCell&) const = default;
};

using CellRenderer = std::string (*)(const ListCell& cell);

class TListView;

class TListItem {
public:
    static constexpr int kMaxSubItems = 7;

    std::uintptr_t Data = 0;

    int Index() const { return index_; }
    bool Selected() const;
    bool Deleted() const { return deleted_; }

    ListCell& Caption() { return cells_[0]; }
    const ListCell& Caption() const { return cells_[0]; }
    int SubItemCount() const { return subItemCount_; }
    // Appends an empty sub-item (at most kMaxSubItems; more are ignored).
    void AddSubItem();
    ListCell& SubItem(int i) { return cells_[static_cast<std::size_t>(i) + 1]; }
    const ListCell& SubItem(int i) const { return cells_[static_cast<std::size_t>(i) + 1]; }
    // The cell of a column: 0 is the caption, column c > 0 is sub-item c - 1.
    const ListCell& Cell(int column) const { return cells_[static_cast<std::size_t>(column)]; }

private:
    friend class TListView;
    std::array<ListCell, kMaxSubItems + 1> cells_{};
    std::uint8_t subItemCount_ = 0;
    bool deleted_ = false;
    int index_ = 0;
    const TListView* view_ = nullptr;  // whose selection holds the row's flag; none once deleted
};

// What the Qt model needs to hear. While repainting is suspended, changes are gathered and
// reported once when it resumes.
class ListViewObserver {
public:
    virtual ~ListViewObserver() = default;
    // Rows were deleted, appended, changed or reordered since the last report. Rows deleted
    // since then are still readable (Deleted() is true) until this call returns, so the
    // observer can map the rows it showed to their new positions.
    virtual void RowsChanged(bool orderChanged) = 0;
};

class TListView {
public:
    explicit TListView(int columnCount, CellRenderer renderer);
    ~TListView();
    TListView(const TListView&) = delete;
    TListView& operator=(const TListView&) = delete;

    int ColumnCount() const { return columnCount_; }
    int Count() const { return static_cast<int>(rows_.size()); }
    TListItem* Item(int index) const { return rows_[static_cast<std::size_t>(index)].get(); }
    const std::vector<std::unique_ptr<TListItem>>& Rows() const { return rows_; }

    // Appends a new, unselected row with no sub-items.
    TListItem* Add();
    void Delete(int index);
    // Deletes every row for which `doomed(index)` is true in one pass; `onDelete` sees each row
    // before it goes.
    void DeleteWhere(const std::function<bool(int index)>& doomed,
                     const std::function<void(TListItem&)>& onDelete = {});
    // Tells the view that cells of a row were rewritten.
    void Changed(const TListItem& item);

    // Repainting: while suspended (nestable), changes are reported once at the outermost resume.
    void SuspendRepaint();
    void ResumeRepaint();
    bool RepaintSuspended() const { return suspended_ > 0; }

    // Sorts the rows in place, stably, by `less`; rows keep their cells, data and selection.
    void Sort(const std::function<bool(const TListItem&, const TListItem&)>& less);
    // Puts the rows in the given order (a permutation of the current rows).
    void Reorder(std::vector<TListItem*> order);

    // Selection. The flags are kept by row position, so that a range of rows is selected or
    // deselected at the cost of a fill, without visiting the rows.
    void SetSelected(TListItem& item, bool selected);
    // Rows first..last (positions in the store, inclusive; clamped to the rows there are).
    void SetSelectedRange(int first, int last, bool selected);
    bool SelectedAt(int index) const { return selected_[static_cast<std::size_t>(index)] != 0; }
    int SelectedCount() const { return selectedCount_; }

    std::string Text(const TListItem& item, int column) const { return renderer_(item.Cell(column)); }
    std::string Text(int row, int column) const { return Text(*Item(row), column); }

    void SetObserver(ListViewObserver* observer) { observer_ = observer; }
    // During a report: whether rows were deleted since the last one.
    bool HasDeletedRows() const { return !graveyard_.empty(); }

private:
    void Report();
    // Numbers the rows by their places and carries their selection flags with them.
    void Renumber();

    int columnCount_;
    CellRenderer renderer_;
    std::vector<std::unique_ptr<TListItem>> rows_;
    std::vector<std::unique_ptr<TListItem>> graveyard_;  // deleted rows not yet reported
    ListViewObserver* observer_ = nullptr;
    int suspended_ = 0;
    bool dirty_ = false;
    bool orderChanged_ = false;
    std::vector<std::uint8_t> selected_;  // by row position
    int selectedCount_ = 0;
};

inline bool TListItem::Selected() const { return view_ && view_->SelectedAt(index_); }

// The rows a pass has not visited yet: every row when marked, one flag per row position. The
// positions do not move during a pass, so a visit and the final removal are O(1) per row.
class UntouchedRows {
public:
    void MarkAll(int rowCount) { flags_.assign(static_cast<std::size_t>(rowCount), 1); }
    // Takes the row out of the set; false if it was no longer in it.
    bool Remove(const TListItem& item) {
        const auto i = static_cast<std::size_t>(item.Index());
        if (i >= flags_.size() || !flags_[i]) return false;
        flags_[i] = 0;
        return true;
    }
    bool Contains(int index) const {
        return static_cast<std::size_t>(index) < flags_.size() && flags_[static_cast<std::size_t>(index)];
    }
    void Clear() { flags_.clear(); }

private:
    std::vector<std::uint8_t> flags_;
};

}  // namespace telv
