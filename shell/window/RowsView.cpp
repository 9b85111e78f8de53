#include "RowsView.h"

#include <QItemSelectionModel>

#include <algorithm>

namespace telv {

void RowsView::selectAll() {
    QAbstractItemModel* rows = model();
    const bool many = selectionMode() == ExtendedSelection || selectionMode() == MultiSelection;
    if (!rows || !selectionModel() || !many || rows->rowCount() == 0 || rows->columnCount() == 0) {
        QTreeView::selectAll();
        return;
    }
    const QItemSelection all(rows->index(0, 0), rows->index(rows->rowCount() - 1, rows->columnCount() - 1));
    selectionModel()->select(all, QItemSelectionModel::ClearAndSelect);
}

void RowsView::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles) {
    if (!topLeft.isValid() || !bottomRight.isValid() || topLeft.parent().isValid()) {
        QTreeView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    const QModelIndex firstShown = indexAt(QPoint(0, 0));
    const QModelIndex lastShown = indexAt(QPoint(0, viewport()->height() - 1));
    if (!firstShown.isValid()) {
        // Nothing in sight is a row (an empty or hidden view): nothing to repaint.
        if (isVisible()) viewport()->update();
        return;
    }
    const int first = std::max(topLeft.row(), firstShown.row());
    const int last = std::min(bottomRight.row(), lastShown.isValid() ? lastShown.row() : model()->rowCount() - 1);
    if (first > last) return;  // every changed row is out of sight
    QTreeView::dataChanged(topLeft.siblingAtRow(first), bottomRight.siblingAtRow(last), roles);
}

}  // namespace telv
