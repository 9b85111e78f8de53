// A settings file with a history too long to read before the window is shown: the window shows
// the stored options at once and takes the history when it has been read; a connection made
// before that is merged into it, and closing before it came leaves the stored history whole.
#include "ClientSettings.h"
#include "LateHistory.h"
#include "MainForm.h"
#include "StartupConnect.h"
#include "TestApplication.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace telv {
namespace {

namespace fs = std::filesystem;
using test::PumpUntil;

// Well past the size from which the history is read late.
constexpr int kEntries = 40000;

class LateHistoryWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::EnsureApplication<QApplication>("window_settings_tests"); }
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    fs::path Root() const { return fs::path(dir_.path().toStdString()) / "registry"; }
    fs::path KeyFile() const { return *TRegistry(Root()).KeyFilePath(kSettingsKeyPath); }

    // Options, and a history of gateway-<i>.example.net with ports 6000 + i % 1000, in which
    // entry `simulatorAt` (when set) is 127.0.0.1 with port simulatorPort.
    ServerList Store(int simulatorAt = -1, std::uint16_t simulatorPort = 0) const {
        std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Велартон\\TELV Клиент]\n"
                           "\"ServerAddress\"=\"gateway-1.example.net\"\n\"ServerPort\"=\"6001\"\n"
                           "\"AutoRequest\"=dword:00000000\n\"AutoRequestInterval\"=dword:00000005\n"
                           "\"EnableEventTranslate\"=dword:00000000\n";
        char line[128];
        std::snprintf(line, sizeof line, "\"ServerListCount\"=dword:%08x\n", kEntries);
        text += line;
        ServerList history;
        for (int i = 0; i < kEntries; ++i) {
            ServerInfo entry{"gateway-" + std::to_string(i) + ".example.net", static_cast<std::uint16_t>(6000 + i % 1000)};
            if (i == simulatorAt) entry = {"127.0.0.1", simulatorPort};
            std::snprintf(line, sizeof line, "\"Server%03d\"=\"%s\"\n\"Port%03d\"=dword:%08x\n", i, entry.Address.c_str(),
                          i, entry.Port);
            text += line;
            history.push_back(entry);
        }
        fs::create_directories(KeyFile().parent_path());
        std::ofstream(KeyFile(), std::ios::binary) << text;
        EXPECT_GE(fs::file_size(KeyFile()), kLateHistoryFileSize);
        return history;
    }
    ClientSettings ReadBack() const {
        TRegistry registry(Root());
        return ReadClientSettings(registry);
    }
    std::unique_ptr<TMainFrame> MakeWindow() const { return std::make_unique<TMainFrame>(std::make_unique<TRegistry>(Root())); }

    QTemporaryDir dir_;
};

// The options are in place before the window is shown; the history comes after, whole.
TEST_F(LateHistoryWindowTest, ShowsTheOptionsAtOnceAndTheHistoryWhenRead) {
    const ServerList stored = Store();
    const std::unique_ptr<TMainFrame> w = MakeWindow();
    EXPECT_FALSE(w->HistoryRead());
    EXPECT_EQ(w->AddrEdit->currentText(), "gateway-1.example.net");
    EXPECT_EQ(w->PortEdit->text(), "6001");
    EXPECT_FALSE(w->AutoRequest->isChecked());
    EXPECT_EQ(w->UpDown->value(), 5);
    EXPECT_FALSE(w->EventCheckBox->isChecked());

    ASSERT_TRUE(PumpUntil([&] { return w->HistoryRead(); }, std::chrono::seconds(60)));
    EXPECT_EQ(w->Servers, stored);
    EXPECT_EQ(w->AddrEdit->count(), kEntries);
    EXPECT_EQ(w->AddrEdit->currentText(), "gateway-1.example.net");
    EXPECT_EQ(w->PortEdit->text(), "6001");
}

// Closed before the history came: the options are saved, the history stays as stored.
TEST_F(LateHistoryWindowTest, ClosingBeforeTheHistoryCameKeepsItWhole) {
    const ServerList stored = Store();
    {
        const std::unique_ptr<TMainFrame> w = MakeWindow();
        ASSERT_FALSE(w->HistoryRead());
        w->UpDown->setValue(9);
        w->close();
    }
    const ClientSettings saved = ReadBack();
    EXPECT_EQ(saved.AutoRequestInterval, 9);
    EXPECT_EQ(saved.ServerAddress, "gateway-1.example.net");
    EXPECT_EQ(saved.History, stored);
}

// A connection as soon as the window is there, most likely before the history was read: the
// window and the file end with the stored history and the server in front, as when the
// history is read at once.
TEST_F(LateHistoryWindowTest, AnEarlyConnectionIsMergedIntoTheStoredHistory) {
    test::RunningSimulator simulator(test::QuietOptions(2, 0));
    ASSERT_TRUE(simulator.Started()) << simulator.Error();
    ServerList expected = Store(7, 1234);
    const std::unique_ptr<TMainFrame> w = MakeWindow();
    w->AddrEdit->setEditText("127.0.0.1");
    w->PortEdit->setText(QString::number(simulator.Port()));
    w->ConnectButton->click();
    ASSERT_TRUE(PumpUntil([&] { return w->Controller().State == Running && w->HistoryRead(); }, std::chrono::seconds(60)));
    w->FlushSettings();

    AddServer(expected, "127.0.0.1", simulator.Port());
    EXPECT_EQ(w->Servers, expected);
    EXPECT_EQ(w->AddrEdit->count(), kEntries);
    const ClientSettings saved = ReadBack();
    EXPECT_EQ(saved.History, expected);
    EXPECT_EQ(saved.ServerAddress, "127.0.0.1");
    EXPECT_EQ(saved.ServerPort, std::to_string(simulator.Port()));

    w->close();
    EXPECT_EQ(ReadBack().History, expected);
}

// Connecting at start to a host without a port waits for the history, which keeps its port.
TEST_F(LateHistoryWindowTest, ConnectingAtStartTakesThePortFromTheLateHistory) {
    test::RunningSimulator simulator(test::QuietOptions(2, 0));
    ASSERT_TRUE(simulator.Started()) << simulator.Error();
    Store(kEntries - 1, simulator.Port());
    const std::unique_ptr<TMainFrame> w = MakeWindow();
    ConnectAtStart(*w, {"127.0.0.1", std::nullopt});
    ASSERT_TRUE(PumpUntil([&] { return w->Controller().State == Running; }, std::chrono::seconds(60)));
    EXPECT_EQ(w->PortEdit->text(), QString::number(simulator.Port()));
    ASSERT_FALSE(w->Servers.empty());
    EXPECT_EQ(w->Servers.front(), (ServerInfo{"127.0.0.1", simulator.Port()}));
    EXPECT_EQ(w->Servers.size(), static_cast<std::size_t>(kEntries));
}

}  // namespace
}  // namespace telv
