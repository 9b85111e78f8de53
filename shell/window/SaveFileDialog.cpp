#include "SaveFileDialog.h"

#include <QFileDialog>
#include <QStandardPaths>

namespace telv {

QString AskSavePath(QWidget* parent, const QString& title, const QString& fileName, const QString& filter,
                    const QString& suffix) {
    QFileDialog dialog(parent, title,
                       QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/" + fileName, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

}  // namespace telv
