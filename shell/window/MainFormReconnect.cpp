// The window's part of staying connected: the "Переподключаться" option and the news of the
// connection handed to the Reconnector.
#include "MainForm.h"

#include "ConsoleOptions.h"
#include "Reconnector.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>

namespace telv {

void TMainFrame::BuildReconnect() {
    reconnect_ = new Reconnector(
        [this] {
            if (controller_->State != Disconnected) return;
            controller_->ConnectDisconectActionExecute();
            ActionUpdate();
        },
        [this](const std::string& text) { LogEvent(text); }, this);
    ReconnectAction = new QAction("Переподключаться", this);
    ReconnectAction->setCheckable(true);
    ReconnectAction->setChecked(ReadOptionFlag(*registry_, setting::Reconnect, false));
    reconnect_->SetEnabled(ReconnectAction->isChecked());
    connect(ReconnectAction, &QAction::toggled, this, [this](bool on) {
        reconnect_->SetEnabled(on);
        SaveOptionFlag(*registry_, setting::Reconnect, on);
    });
    // An edit of the server stops the attempts to reach the old one.
    connect(AddrEdit, &QComboBox::textActivated, reconnect_, &Reconnector::Stop);
    connect(AddrEdit->lineEdit(), &QLineEdit::textEdited, reconnect_, &Reconnector::Stop);
    connect(PortEdit, &QLineEdit::textEdited, reconnect_, &Reconnector::Stop);
}

void TMainFrame::ConnectionEnded(ConnectionEnd how) { reconnect_->ConnectionEnded(how); }
void TMainFrame::ConnectionRunning() { reconnect_->ConnectionRunning(); }

}  // namespace telv
