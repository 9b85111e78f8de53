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
        QMessageBox::critical(activeWindow(), QStringLiteral("TELV клиент"), QString::fromUtf8(e.what()));
    } catch (...) {
        QMessageBox::critical(activeWindow(), QStringLiteral("TELV клиент"), QString());
    }
    return false;
}

}  // namespace telv
