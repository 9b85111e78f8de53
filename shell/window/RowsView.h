// The tree view of a table. A change report spanning many rows repaints only the rows in sight:
// the item view would otherwise work out the rectangle of every changed cell, which for a
// statistics pass over 100,000 rows costs more than the pass itself.
#pragma once

#include <QTreeView>

namespace telv {

class RowsView : public QTreeView {
public:
    using QTreeView::QTreeView;

    // Selects every row as one range; the tree view's own walk visits each row.
    void selectAll() override;

protected:
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
};

}  // namespace telv
