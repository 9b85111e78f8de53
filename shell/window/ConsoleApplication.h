// The application object: an exception that escapes an event handler is shown to the operator
// and the event loop goes on.
#pragma once

#include <QApplication>

class QWidget;

namespace telv {

class ConsoleApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
};

// Closes the window as the Exit action does, after the dialogs in front of it (a file dialog,
// a message), so that a signal ends the program with the settings saved.
void CloseOnSignal(QWidget& window);

}  // namespace telv
