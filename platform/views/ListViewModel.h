// A flat Qt item model over a TListView: texts are made when a cell is shown, changes arrive
// batched from the row store, and the Qt selection is mirrored into the rows' flags.
#pragma once

#include "ListView.h"

#include <QAbstractItemModel>
#include <QStringList>

class QItemSelection;
class QItemSelectionModel;

namespace telv {

class ListViewModel : public QAbstractItemModel, private ListViewObserver {
    Q_OBJECT
public:
    ListViewModel(TListView& rows, QStringList headers, QObject* parent = nullptr);
    ~ListViewModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Keeps the rows' selection flags equal to what the operator selects in the view.
    void TrackSelection(QItemSelectionModel* selection);

    // Above this many separate runs of deleted rows, one layout change replaces the removals.
    static constexpr int kMaxRemovalRuns = 32;

private:
    void RowsChanged(bool orderChanged) override;
    void ApplyRemovals();
    void ChangeLayout();
    void SelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);

    TListView& rows_;
    QStringList headers_;
    std::vector<TListItem*> shown_;  // the rows as the views know them
};

}  // namespace telv
