// The window's part of the server history: the address box's list, the port an address brings,
// the history kept after a connection, and the history of a large settings file, which arrives
// after the window is shown.
#include "MainForm.h"

#include <QComboBox>
#include <QLineEdit>
#include <QStringListModel>

namespace telv {

void TMainFrame::ReadSettings(const std::function<void(TRegistry&)>& read) {
    settings_->WithRegistry([this, &read](TRegistry& registry) {
        std::optional<HistoryLeftOut> leftOut;
        if (historyLate_) leftOut.emplace(registry);
        read(registry);
    });
}

void TMainFrame::StartLateHistory() {
    lateHistory_ = std::make_unique<LateHistory>(*settings_, [this](ServerList history) {
        Servers = std::move(history);
        FillAddrList();
        for (const std::function<void()>& waiter : std::exchange(historyWaiters_, {})) waiter();
    });
}

void TMainFrame::WhenHistoryRead(std::function<void()> f) {
    if (HistoryRead()) {
        f();
    } else {
        historyWaiters_.push_back(std::move(f));
    }
}

void TMainFrame::FillAddrList() {
    const QString text = AddrEdit->currentText();
    const QSignalBlocker block(AddrEdit);
    QStringList addresses;
    addresses.reserve(static_cast<qsizetype>(Servers.size()));
    for (const ServerInfo& server : Servers) addresses.append(QString::fromStdString(server.Address));
    addrList_->setStringList(addresses);
    AddrEdit->setEditText(text);
}

void TMainFrame::AddrEditChange(const QString& text) {
    if (const auto port = LookUpServerPort(Servers, text.toStdString())) PortEdit->setText(QString::number(*port));
}

void TMainFrame::ServerConnected(const std::string& address, const std::string& portText, std::uint16_t port) {
    AddServer(Servers, address, port);
    FillAddrList();
    if (!HistoryRead()) {
        lateHistory_->Connected(address, portText, port);  // saved onto the stored history
        return;
    }
    // The history may be long: it is written off the event loop, from a copy.
    settings_->Post(SettingsWriter::Kind::ServerSettings,
                    [address, portText, history = Servers](TRegistry& registry) {
                        return SaveServerSettings(registry, address, portText, history);
                    });
}

}  // namespace telv
