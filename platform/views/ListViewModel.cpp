#include "ListViewModel.h"

#include <QItemSelectionModel>
#include <QScopedValueRollback>

namespace telv {

ListViewModel::ListViewModel(TListView& rows, QStringList headers, QObject* parent)
    : QAbstractItemModel(parent), rows_(rows), headers_(std::move(headers)), filter_(rows) {
    for (const auto& row : rows_.Rows()) shown_.push_back(row.get());
    rows_.SetObserver(this);
}

ListViewModel::~ListViewModel() { rows_.SetObserver(nullptr); }

QModelIndex ListViewModel::index(int row, int column, const QModelIndex& parent) const {
    if (parent.isValid() || row < 0 || column < 0 || row >= rowCount() || column >= columnCount()) return {};
    return createIndex(row, column);
}

QModelIndex ListViewModel::parent(const QModelIndex&) const { return {}; }

int ListViewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int ListViewModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

bool ListViewModel::hasChildren(const QModelIndex& parent) const { return !parent.isValid() && !shown_.empty(); }

QVariant ListViewModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
    const TListItem* item = shown_[static_cast<std::size_t>(index.row())];
    if (index.column() > item->SubItemCount()) return QString();
    return QString::fromStdString(rows_.Text(*item, index.column()));
}

QVariant ListViewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < headers_.size())
        return headers_[section];
    return {};
}

void ListViewModel::TrackSelection(QItemSelectionModel* selection) {
    selection_ = selection;
    connect(selection, &QItemSelectionModel::selectionChanged, this, &ListViewModel::SelectionChanged);
}

void ListViewModel::SelectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    if (mirroring_) return;
    const bool storeOrder = ShowsStoreOrder();
    auto apply = [this, storeOrder](const QItemSelection& ranges, bool on) {
        for (const QItemSelectionRange& range : ranges) {
            if (!range.isValid()) continue;
            if (storeOrder) {
                rows_.SetSelectedRange(range.top(), range.bottom(), on);
                continue;
            }
            for (int r = range.top(); r <= range.bottom() && r < rowCount(); ++r)
                rows_.SetSelected(*shown_[static_cast<std::size_t>(r)], on);
        }
    };
    apply(deselected, false);
    apply(selected, true);
}

bool ListViewModel::ShowsStoreOrder() const {
    return !filter_.Active() && shown_.size() == static_cast<std::size_t>(rows_.Count());
}

void ListViewModel::SelectFlaggedRows() {
    QItemSelection runs;
    const int rows = rowCount();
    const int lastColumn = columnCount() - 1;
    const bool storeOrder = ShowsStoreOrder();
    int first = -1;
    for (int r = 0; r <= rows; ++r) {
        const bool selected = r < rows && (storeOrder ? rows_.SelectedAt(r) : shown_[static_cast<std::size_t>(r)]->Selected());
        if (selected && first < 0) {
            first = r;
        } else if (!selected && first >= 0) {
            runs.append(QItemSelectionRange(index(first, 0), index(r - 1, lastColumn)));
            first = -1;
        }
    }
    if (runs.isEmpty()) return;
    const QScopedValueRollback mirroring(mirroring_, true);
    selection_->select(runs, QItemSelectionModel::Select);
}

void ListViewModel::SetFilterColumns(std::vector<int> columns) {
    SetFilterText(QString());
    filter_.SetColumns(std::move(columns));
}

void ListViewModel::SetFilterText(const QString& text) {
    if (!filter_.SetText(text)) return;
    ChangeLayout();
    DeselectHiddenRows();
    emit ShownRowsChanged();
}

void ListViewModel::RowsChanged(bool orderChanged) {
    // A row whose filter cells were rewritten may come or go anywhere: then a layout change too.
    const bool resultsChanged = filter_.Follow();
    if (orderChanged || resultsChanged) {
        ChangeLayout();
        if (resultsChanged) DeselectHiddenRows();
    } else if (!rows_.HasDeletedRows() || !ApplyRemovals()) {
        AppendNewRows();
    }
    if (!shown_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::DisplayRole});
    emit ShownRowsChanged();
}

// Rows added since the last report stand at the end of the store, after every kept row.
void ListViewModel::AppendNewRows() {
    const int count = rows_.Count();
    std::vector<TListItem*> added;
    for (int i = filter_.Active() ? filter_.KeptRows() : static_cast<int>(shown_.size()); i < count; ++i)
        if (filter_.Matches(i)) added.push_back(rows_.Item(i));
    if (added.empty()) return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
    shown_.insert(shown_.end(), added.begin(), added.end());
    endInsertRows();
}

void ListViewModel::DeselectHiddenRows() {
    if (!filter_.Active() || rows_.SelectedCount() == 0) return;
    for (int i = 0; i < rows_.Count(); ++i)
        if (!filter_.Matches(i) && rows_.SelectedAt(i)) rows_.SetSelected(*rows_.Item(i), false);
}

// Deleted rows leave in runs, the last run first; many runs become one layout change (then
// true: the shown rows are complete).
bool ListViewModel::ApplyRemovals() {
    std::vector<std::pair<int, int>> runs;
    for (std::size_t i = 0; i < shown_.size(); ++i) {
        if (!shown_[i]->Deleted()) continue;
        const int row = static_cast<int>(i);
        if (!runs.empty() && runs.back().second == row - 1)
            runs.back().second = row;
        else
            runs.emplace_back(row, row);
        if (runs.size() > kMaxRemovalRuns) {
            ChangeLayout();
            return true;
        }
    }
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
        beginRemoveRows({}, run->first, run->second);
        shown_.erase(shown_.begin() + run->first, shown_.begin() + run->second + 1);
        endRemoveRows();
    }
    return false;
}

// The rows now stand as in the store, those the filter hides left out: persistent indexes
// (current row) follow their rows; those of deleted and hidden rows become invalid. The view's
// selection is set again from the rows' flags, as runs of rows: left to the selection model, it
// would follow a persistent index per selected cell, which at a million rows takes seconds.
void ListViewModel::ChangeLayout() {
    if (selection_ && selection_->hasSelection()) {
        const QScopedValueRollback mirroring(mirroring_, true);
        selection_->clearSelection();
    }
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<const TListItem*> beforeItems;
    beforeItems.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& old : before)
        beforeItems.push_back(old.row() < rowCount() ? shown_[static_cast<std::size_t>(old.row())] : nullptr);

    const int count = rows_.Count();
    shown_.clear();
    std::vector<int> shownAt;  // store position to shown row, -1 when hidden; only while filtered
    if (filter_.Active()) shownAt.assign(static_cast<std::size_t>(count), -1);
    for (int i = 0; i < count; ++i) {
        if (!filter_.Matches(i)) continue;
        if (filter_.Active()) shownAt[static_cast<std::size_t>(i)] = static_cast<int>(shown_.size());
        shown_.push_back(rows_.Item(i));
    }

    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype k = 0; k < before.size(); ++k) {
        const TListItem* item = beforeItems[static_cast<std::size_t>(k)];
        int row = item && !item->Deleted() ? item->Index() : -1;
        if (row >= 0 && filter_.Active()) row = shownAt[static_cast<std::size_t>(row)];
        after.append(row >= 0 ? createIndex(row, before[k].column()) : QModelIndex());
    }
    changePersistentIndexList(before, after);
    emit layoutChanged();
    if (selection_ && rows_.SelectedCount() > 0) SelectFlaggedRows();
}

}  // namespace telv
