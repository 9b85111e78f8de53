// The question where to save a file: the save dialog, opened in the user's documents folder on a
// suggested name.
#pragma once

#include <QString>

class QWidget;

namespace telv {

inline const QString kCsvFileFilter = QStringLiteral("CSV (*.csv);;Все файлы (*)");

// The path the operator chose, with `suffix` added when the name has none; empty when cancelled.
QString AskSavePath(QWidget* parent, const QString& title, const QString& fileName, const QString& filter,
                    const QString& suffix);

}  // namespace telv
