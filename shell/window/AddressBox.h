// The server address box: an editable text with the remembered addresses in its drop-down
// list. It reports only the operator's own changes: typing in the text, or picking an entry of
// the list (from the drop-down, with the arrow keys or the wheel). Texts the program sets, the
// focus leaving the box, Return and the completer's suggestions are not reported, so they never
// change anything that follows the address.
#pragma once

#include <QComboBox>

namespace telv {

class AddressBox : public QComboBox {
    Q_OBJECT
public:
    explicit AddressBox(QWidget* parent = nullptr);

signals:
    // The operator changed the address; text is the box's text now.
    void OperatorChanged(const QString& text);

protected:
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Set while the combo box settles its text on its own (focus leaving, Return): it then
    // selects the entry that matches the text and announces that as if it had been picked.
    bool settling_ = false;
};

}  // namespace telv
