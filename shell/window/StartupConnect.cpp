#include "StartupConnect.h"

#include "MainForm.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

namespace telv {

void ConnectAtStart(TMainFrame& window, const ConnectTarget& target) {
    window.AddrEdit->setEditText(target.Host);
    if (target.Port) {
        window.PortEdit->setText(*target.Port);
    } else {
        const auto remembered = LookUpServerPort(window.Servers, target.Host.toStdString());
        window.PortEdit->setText(QString::number(remembered ? *remembered : ConnectionController::kDefaultPort));
    }
    QTimer::singleShot(0, &window, [action = QPointer<QAction>(window.ConnectDisconectAction)] {
        if (action) action->trigger();
    });
}

}  // namespace telv
