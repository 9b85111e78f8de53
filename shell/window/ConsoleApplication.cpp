#include "ConsoleApplication.h"

#include <QMessageBox>
#include <QWidget>

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

void CloseOnSignal(QWidget& window) {
    // A dialog that refuses to close stays; the window closes all the same.
    for (int i = 0; i < 16; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == &window || !modal->close()) break;
    }
    window.close();
}

}  // namespace telv
