// Connecting at start to the server of the command line: the boxes, the history, and bad
// input handled as the connect button handles it.
#include "MainForm.h"
#include "StartupConnect.h"
#include "TestApplication.h"
#include "TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <gtest/gtest.h>

#include <filesystem>

namespace telv {
namespace {

using test::PumpUntil;

// The texts of the log lines, without their time of day.
QStringList LogTexts(TMainFrame& w) {
    w.ConsoleMemo->Flush();
    QStringList texts;
    for (const QString& line : w.ConsoleMemo->Text().split('\n', Qt::SkipEmptyParts))
        texts << line.section(" - ", 1);
    return texts;
}

class StartupConnectTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::EnsureApplication<QApplication>("console_start_tests"); }
    std::unique_ptr<TMainFrame> MakeWindow(const std::string& name) {
        const auto root = std::filesystem::temp_directory_path() /
                          ("telv-start-test-" + std::to_string(::getpid()) + "-" + name);
        std::filesystem::remove_all(root);
        roots_.push_back(root);
        auto window = std::make_unique<TMainFrame>(std::make_unique<TRegistry>(root));
        window->show();
        return window;
    }
    void TearDown() override {
        for (const auto& root : roots_) std::filesystem::remove_all(root);
    }
    std::vector<std::filesystem::path> roots_;
};

TEST_F(StartupConnectTest, ConnectsAndRecordsTheServerAsTheButtonDoes) {
    test::RunningSimulator simulator(test::QuietOptions(20, 2));
    ASSERT_TRUE(simulator.Started()) << simulator.Error();
    auto w = MakeWindow("connects");
    const QString port = QString::number(simulator.Port());
    ConnectAtStart(*w, {"127.0.0.1", port});
    EXPECT_EQ(w->AddrEdit->currentText(), "127.0.0.1");
    EXPECT_EQ(w->PortEdit->text(), port);
    ASSERT_TRUE(PumpUntil([&] { return w->ChanelRows().Count() == 20; }));
    ASSERT_EQ(w->Servers.size(), 1u);
    EXPECT_EQ(w->Servers[0].Port, simulator.Port());

    w->FlushSettings();  // settings are written off the event loop
    TRegistry stored(roots_.back());
    const ClientSettings settings = ReadClientSettings(stored);
    EXPECT_EQ(settings.ServerAddress, "127.0.0.1");
    EXPECT_EQ(settings.ServerPort, port.toStdString());
    ASSERT_EQ(settings.History.size(), 1u);
    EXPECT_EQ(settings.History[0].Port, simulator.Port());
}

TEST_F(StartupConnectTest, HostWithoutPortTakesTheRememberedPortElseTheDefault) {
    auto w = MakeWindow("host-only");
    w->Servers = {{"gw-a", 5200}, {"gw-b", 6000}};
    ConnectAtStart(*w, {"gw-b", std::nullopt});
    EXPECT_EQ(w->PortEdit->text(), "6000");
    ConnectAtStart(*w, {"gw-c", std::nullopt});
    EXPECT_EQ(w->PortEdit->text(), "5100");
}

struct BadTarget {
    const char* name;
    ConnectTarget target;
};

class StartupBadInputTest : public StartupConnectTest, public ::testing::WithParamInterface<BadTarget> {};

TEST_P(StartupBadInputTest, LogsWhatTheButtonLogsAndStaysOpen) {
    const ConnectTarget& target = GetParam().target;
    auto started = MakeWindow(std::string(GetParam().name) + "-started");
    auto pressed = MakeWindow(std::string(GetParam().name) + "-pressed");
    const int before = static_cast<int>(LogTexts(*started).size());

    ConnectAtStart(*started, target);
    ASSERT_TRUE(PumpUntil([&] { return LogTexts(*started).size() > before; }));

    pressed->AddrEdit->setEditText(target.Host);
    pressed->PortEdit->setText(target.Port.value_or("5100"));
    pressed->ConnectDisconectAction->trigger();
    ASSERT_TRUE(PumpUntil([&] { return LogTexts(*pressed).size() > before; }));

    EXPECT_EQ(LogTexts(*started), LogTexts(*pressed));
    EXPECT_FALSE(LogTexts(*started).constLast().isEmpty());
    EXPECT_EQ(started->Controller().State, Disconnected);
    EXPECT_TRUE(started->isVisible());
    EXPECT_TRUE(started->Servers.empty());
}

const BadTarget kBadTargets[] = {
    {"EmptyHost", {"", "5100"}},
    {"PortZero", {"127.0.0.1", "0"}},
    {"PortAboveRange", {"127.0.0.1", "65536"}},
    {"UnresolvableName", {"no-such-host.invalid", "5100"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, StartupBadInputTest, ::testing::ValuesIn(kBadTargets),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

}  // namespace
}  // namespace telv
