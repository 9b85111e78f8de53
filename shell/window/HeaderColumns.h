// The columns of a table view as the operator arranges them: the ones shown, their order and
// widths as kept in the settings, and the header's popup menu that hides and shows columns.
#pragma once

#include "WindowLayout.h"

#include <vector>

class QTreeView;

namespace telv {

// The logical columns of a view, left to right as shown (hidden ones left out).
std::vector<int> ColumnsShown(const QTreeView* view);
// Order and widths, left to right, hidden columns included.
std::vector<ColumnLayout> ColumnLayoutOf(const QTreeView* view);
// Puts the columns in the given order with their widths; width 0 keeps the built-in width.
void ApplyColumnLayout(QTreeView* view, const std::vector<ColumnLayout>& columns);

std::vector<int> HiddenColumns(const QTreeView* view);
// Hides exactly the given columns; the first column always stays.
void SetHiddenColumns(QTreeView* view, const std::vector<int>& columns);

// A popup menu on the header with a check box per column (the first column cannot be hidden).
void InstallColumnMenu(QTreeView* view);

}  // namespace telv
