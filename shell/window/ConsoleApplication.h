// The application object: an exception that escapes an event handler is shown to the operator
// and the event loop goes on.
#pragma once

#include <QApplication>

namespace telv {

class ConsoleApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace telv
