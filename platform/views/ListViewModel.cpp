#include "ListViewModel.h"

#include <QItemSelectionModel>

namespace telv {

ListViewModel::ListViewModel(TListView& rows, QStringList headers, QObject* parent)
    : QAbstractItemModel(parent), rows_(rows), headers_(std::move(headers)) {
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
    connect(selection, &QItemSelectionModel::selectionChanged, this, &ListViewModel::SelectionChanged);
}

void ListViewModel::SelectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    auto apply = [this](const QItemSelection& ranges, bool on) {
        for (const QItemSelectionRange& range : ranges) {
            if (!range.isValid()) continue;
            for (int r = range.top(); r <= range.bottom() && r < rowCount(); ++r)
                rows_.SetSelected(*shown_[static_cast<std::size_t>(r)], on);
        }
    };
    apply(deselected, false);
    apply(selected, true);
}

void ListViewModel::RowsChanged(bool orderChanged) {
    if (orderChanged) {
        ChangeLayout();
    } else {
        ApplyRemovals();
        const auto count = static_cast<std::size_t>(rows_.Count());
        if (count > shown_.size()) {
            beginInsertRows({}, static_cast<int>(shown_.size()), static_cast<int>(count) - 1);
            for (std::size_t i = shown_.size(); i < count; ++i) shown_.push_back(rows_.Item(static_cast<int>(i)));
            endInsertRows();
        }
    }
    if (!shown_.empty()) emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::DisplayRole});
}

// Deleted rows leave in runs, the last run first; many runs become one layout change.
void ListViewModel::ApplyRemovals() {
    std::vector<std::pair<int, int>> runs;
    for (std::size_t i = 0; i < shown_.size(); ++i) {
        if (!shown_[i]->Deleted()) continue;
        const int row = static_cast<int>(i);
        if (!runs.empty() && runs.back().second == row - 1)
            runs.back().second = row;
        else
            runs.emplace_back(row, row);
        if (runs.size() > kMaxRemovalRuns) return ChangeLayout();
    }
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
        beginRemoveRows({}, run->first, run->second);
        shown_.erase(shown_.begin() + run->first, shown_.begin() + run->second + 1);
        endRemoveRows();
    }
}

// The rows now stand as in the store: persistent indexes (selection, current row) follow
// their rows, and those of deleted rows become invalid.
void ListViewModel::ChangeLayout() {
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before) {
        const TListItem* item = old.row() < rowCount() ? shown_[static_cast<std::size_t>(old.row())] : nullptr;
        after.append(item && !item->Deleted() ? createIndex(item->Index(), old.column()) : QModelIndex());
    }
    shown_.clear();
    shown_.reserve(static_cast<std::size_t>(rows_.Count()));
    for (const auto& row : rows_.Rows()) shown_.push_back(row.get());
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

}  // namespace telv
