// A flat Qt item model over a TListView: texts are made when a cell is shown, changes arrive
// batched from the row store, and the Qt selection is mirrored into the rows' flags. An optional
// text filter (RowFilter) hides rows; the model then shows the matching rows in store order.
#pragma once

#include "ListView.h"
#include "RowFilter.h"

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

    // The columns the filter looks at (logical numbers, 0 is the caption); set before the text.
    void SetFilterColumns(std::vector<int> columns);
    // Shows only the rows whose filter columns contain the text, letter case aside; the empty text
    // shows every row. Rows the filter hides are deselected and stay unselected while hidden, so
    // commands on the selected rows never act on rows the operator cannot see.
    void SetFilterText(const QString& text);
    QString FilterText() const { return filter_.Text(); }
    bool Filtered() const { return filter_.Active(); }

    // The rows shown, in view order, and the store's row count.
    const std::vector<TListItem*>& ShownRows() const { return shown_; }
    TListItem* ShownRow(int row) const { return shown_[static_cast<std::size_t>(row)]; }
    int TotalRowCount() const { return rows_.Count(); }
    TListView& Rows() const { return rows_; }
    QString HeaderText(int column) const { return headers_.value(column); }

    // Above this many separate runs of deleted rows, one layout change replaces the removals.
    static constexpr int kMaxRemovalRuns = 32;

signals:
    // The shown rows or the store's row count may have changed.
    void ShownRowsChanged();

private:
    void RowsChanged(bool orderChanged) override;
    bool ApplyRemovals();
    void AppendNewRows();
    void ChangeLayout();
    void DeselectHiddenRows();
    void SelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    // Whether shown row r is row r of the store (no filter, every change reported).
    bool ShowsStoreOrder() const;
    // Selects in the view, as runs of rows, the shown rows whose flags are set.
    void SelectFlaggedRows();

    TListView& rows_;
    QStringList headers_;
    RowFilter filter_;
    std::vector<TListItem*> shown_;  // the rows as the views know them
    QItemSelectionModel* selection_ = nullptr;
    bool mirroring_ = false;  // the view's selection is being set from the rows' flags
};

}  // namespace telv
