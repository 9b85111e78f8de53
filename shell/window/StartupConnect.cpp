#include "StartupConnect.h"

#include "MainForm.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

namespace telv {

namespace {

void SetRememberedPort(TMainFrame& window, const QString& host) {
    const auto remembered = LookUpServerPort(window.Servers, host.toStdString());
    window.PortEdit->setText(QString::number(remembered ? *remembered : ConnectionController::kDefaultPort));
}

}  // namespace

void ConnectAtStart(TMainFrame& window, const ConnectTarget& target) {
    window.AddrEdit->setEditText(target.Host);
    // The history of a large settings file comes after the start: the port it keeps is taken then.
    const bool portFromLateHistory = !target.Port && !window.HistoryRead();
    if (target.Port) {
        window.PortEdit->setText(*target.Port);
    } else if (!portFromLateHistory) {
        SetRememberedPort(window, target.Host);
    }
    QTimer::singleShot(0, &window, [window = QPointer<TMainFrame>(&window), host = target.Host, portFromLateHistory] {
        if (!window) return;
        window->WhenHistoryRead([window, host, portFromLateHistory] {
            if (!window) return;
            if (portFromLateHistory) SetRememberedPort(*window, host);
            window->ConnectDisconectAction->trigger();
        });
    });
}

}  // namespace telv
