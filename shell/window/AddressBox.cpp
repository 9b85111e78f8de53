#include "AddressBox.h"

#include <QCompleter>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScopedValueRollback>

namespace telv {

AddressBox::AddressBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    // Addresses differ by letter case: the box must neither complete nor rewrite "LOCALHOST"
    // as "localhost".
    completer()->setCaseSensitivity(Qt::CaseSensitive);
    connect(lineEdit(), &QLineEdit::textEdited, this, &AddressBox::OperatorChanged);
    connect(this, &QComboBox::textActivated, this, [this](const QString& text) {
        if (!settling_) emit OperatorChanged(text);
    });
}

void AddressBox::focusOutEvent(QFocusEvent* event) {
    const QScopedValueRollback settling(settling_, true);
    QComboBox::focusOutEvent(event);
}

void AddressBox::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const QScopedValueRollback settling(settling_, settling_ || enter);
    QComboBox::keyPressEvent(event);
}

}  // namespace telv
