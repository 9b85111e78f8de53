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
    bool reconnect = false;
    ReadSettings([&reconnect](TRegistry& registry) { reconnect = ReadOptionFlag(registry, setting::Reconnect, false); });
    ReconnectAction->setChecked(reconnect);
    reconnect_->SetEnabled(ReconnectAction->isChecked());
    connect(ReconnectAction, &QAction::toggled, this, [this](bool on) {
        reconnect_->SetEnabled(on);
        settings_->Post(SettingsWriter::Kind::Reconnect,
                        [on](TRegistry& registry) { return SaveOptionFlag(registry, setting::Reconnect, on); });
    });
    // An edit of the server stops the attempts to reach the old one.
    connect(AddrEdit, &AddressBox::OperatorChanged, reconnect_, &Reconnector::Stop);
    connect(PortEdit, &QLineEdit::textEdited, reconnect_, &Reconnector::Stop);
}

void TMainFrame::ConnectionEnded(ConnectionEnd how) { reconnect_->ConnectionEnded(how); }
void TMainFrame::ConnectionRunning() { reconnect_->ConnectionRunning(); }

}  // namespace telv
