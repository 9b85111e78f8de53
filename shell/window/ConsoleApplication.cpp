#include "ConsoleApplication.h"

#include <QMessageBox>

#include <cstdio>
#include <exception>

namespace telv {

bool ConsoleApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "telv-console: %s\n", e.what());
        QMessageBox::critical(activeWindow(), applicationDisplayName(), QString::fromUtf8(e.what()));
    } catch (...) {
        QMessageBox::critical(activeWindow(), applicationDisplayName(), QString());
    }
    return false;
}

}  // namespace telv
