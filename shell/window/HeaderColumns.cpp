#include "HeaderColumns.h"

#include <QHeaderView>
#include <QMenu>
#include <QTreeView>

#include <algorithm>

namespace telv {

std::vector<int> ColumnsShown(const QTreeView* view) {
    std::vector<int> columns;
    const QHeaderView* header = view->header();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        if (!header->isSectionHidden(logical)) columns.push_back(logical);
    }
    return columns;
}

std::vector<ColumnLayout> ColumnLayoutOf(const QTreeView* view) {
    std::vector<ColumnLayout> columns;
    const QHeaderView* header = view->header();
    for (int visual = 0; visual < header->count(); ++visual) {
        const int logical = header->logicalIndex(visual);
        // A hidden section reports size 0: it is kept at the header's default width.
        const int width = header->sectionSize(logical);
        columns.push_back({logical, width > 0 ? width : header->defaultSectionSize()});
    }
    return columns;
}

void ApplyColumnLayout(QTreeView* view, const std::vector<ColumnLayout>& columns) {
    QHeaderView* header = view->header();
    for (int visual = 0; visual < static_cast<int>(columns.size()); ++visual) {
        const ColumnLayout& column = columns[static_cast<std::size_t>(visual)];
        if (column.Column >= header->count()) continue;
        header->moveSection(header->visualIndex(column.Column), visual);
        if (column.Width > 0) view->setColumnWidth(column.Column, column.Width);
    }
}

std::vector<int> HiddenColumns(const QTreeView* view) {
    std::vector<int> hidden;
    for (int column = 0; column < view->header()->count(); ++column)
        if (view->isColumnHidden(column)) hidden.push_back(column);
    return hidden;
}

void SetHiddenColumns(QTreeView* view, const std::vector<int>& columns) {
    for (int column = 1; column < view->header()->count(); ++column)
        view->setColumnHidden(column, std::find(columns.begin(), columns.end(), column) != columns.end());
}

void InstallColumnMenu(QTreeView* view) {
    QHeaderView* header = view->header();
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(header, &QWidget::customContextMenuRequested, view, [view, header](const QPoint& at) {
        QMenu menu(view);
        QAbstractItemModel* model = view->model();
        for (int column = 0; column < header->count(); ++column) {
            QAction* action = menu.addAction(model->headerData(column, Qt::Horizontal).toString());
            action->setCheckable(true);
            action->setChecked(!view->isColumnHidden(column));
            action->setEnabled(column != 0);
            QObject::connect(action, &QAction::toggled, view,
                             [view, column](bool shown) { view->setColumnHidden(column, !shown); });
        }
        menu.exec(header->viewport()->mapToGlobal(at));
    });
}

}  // namespace telv
