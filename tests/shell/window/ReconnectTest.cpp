// Staying connected: the waits between attempts, the Reconnector's rules, and the window getting
// its rows back from a simulator that was stopped and started again, without a click.
#include "ConsoleOptions.h"
#include "MainForm.h"
#include "ReconnectBackoff.h"
#include "Reconnector.h"
#include "TestApplication.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace telv {
namespace {

using namespace std::chrono_literals;
using test::PumpFor;
using test::PumpUntil;

TEST(ReconnectBackoff, DoublesFromOneSecondToAMinute) {
    ReconnectBackoff backoff;
    std::vector<long long> seconds;
    for (int i = 0; i < 9; ++i) seconds.push_back(backoff.NextDelay().count() / 1000);
    EXPECT_EQ(seconds, (std::vector<long long>{1, 2, 4, 8, 16, 32, 60, 60, 60}));
    EXPECT_EQ(backoff.Attempts(), 9);
    backoff.Reset();
    EXPECT_EQ(backoff.NextDelay(), 1s);
}

// A server that refuses for a minute, on a fake clock: each attempt takes `attemptTime`
// (a refusal comes at once; an unanswered connect gives up after 3 s).
TEST(ReconnectBackoff, AMinuteOfRefusalCostsAtMostSevenAttempts) {
    for (const std::chrono::milliseconds attemptTime : {0ms, 5ms, 3000ms}) {
        ReconnectBackoff backoff;
        std::chrono::milliseconds now{0};  // the connection was lost
        int attempts = 0;
        while (true) {
            now += backoff.NextDelay();
            if (now > 60s) break;
            ++attempts;
            now += attemptTime;
        }
        EXPECT_LE(attempts, 7) << attemptTime.count();
        EXPECT_GE(attempts, 5) << attemptTime.count();
    }
}

class ReconnectorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::EnsureApplication<QApplication>("reconnect_tests"); }
    std::vector<std::string> log;
    int attempts = 0;
    // Each attempt is refused at once, as by a server that is down.
    Reconnector reconnector{[this] {
                                ++attempts;
                                QTimer::singleShot(0, &reconnector, [this] {
                                    reconnector.ConnectionEnded(ConnectionEnd::AttemptFailed);
                                });
                            },
                            [this](const std::string& line) { log.push_back(line); }};
};

TEST_F(ReconnectorTest, OffByDefaultAndForTheOperatorsOwnAttempts) {
    reconnector.ConnectionEnded(ConnectionEnd::Lost);
    EXPECT_FALSE(reconnector.Waiting());
    reconnector.SetEnabled(true);
    reconnector.ConnectionEnded(ConnectionEnd::AttemptFailed);  // a failed press of the button
    reconnector.ConnectionEnded(ConnectionEnd::OperatorAsked);
    EXPECT_FALSE(reconnector.Waiting());
    EXPECT_TRUE(log.empty());
}

TEST_F(ReconnectorTest, AMinuteOfRefusalInAHundredthOfTheTime) {
    reconnector.SetEnabled(true);
    reconnector.SetTimeScale(0.01);  // 1 s waits 10 ms; the minute is 600 ms
    reconnector.ConnectionEnded(ConnectionEnd::Lost);
    EXPECT_TRUE(reconnector.Waiting());
    PumpFor(600ms);
    EXPECT_LE(attempts, 7);
    EXPECT_GE(attempts, 1);
    EXPECT_EQ(log.front(), "Переподключение через 1 с");
    EXPECT_NE(std::find(log.begin(), log.end(), "Переподключение: попытка 1"), log.end());
    if (attempts >= 2) {
        EXPECT_NE(std::find(log.begin(), log.end(), "Переподключение через 2 с"), log.end());
    }
}

TEST_F(ReconnectorTest, OperatorStopsTheSeriesAndAHandshakeStartsItAgain) {
    reconnector.SetEnabled(true);
    reconnector.SetTimeScale(0.01);
    reconnector.ConnectionEnded(ConnectionEnd::Lost);
    ASSERT_TRUE(PumpUntil([&] { return attempts >= 2; }));
    reconnector.Stop();
    EXPECT_EQ(log.back(), "Переподключение остановлено");
    const int stoppedAt = attempts;
    PumpFor(100ms);
    EXPECT_EQ(attempts, stoppedAt);
    EXPECT_FALSE(reconnector.Waiting());

    reconnector.ConnectionEnded(ConnectionEnd::Lost);
    ASSERT_TRUE(PumpUntil([&] { return attempts > stoppedAt + 1; }));
    reconnector.ConnectionRunning();  // an attempt got through
    EXPECT_FALSE(reconnector.Waiting());
    log.clear();
    reconnector.ConnectionEnded(ConnectionEnd::Lost);
    EXPECT_EQ(log, std::vector<std::string>{"Переподключение через 1 с"});
    reconnector.SetEnabled(false);
    EXPECT_FALSE(reconnector.Waiting());
}

class WindowReconnectTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::EnsureApplication<QApplication>("reconnect_tests"); }
    void SetUp() override {
        root_ = std::filesystem::temp_directory_path() /
                ("telv-reconnect-test-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(root_);
        window_ = std::make_unique<TMainFrame>(std::make_unique<TRegistry>(root_));
        window_->show();
    }
    void TearDown() override {
        window_.reset();
        std::filesystem::remove_all(root_);
    }
    QString Log() {
        window_->ConsoleMemo->Flush();
        return window_->ConsoleMemo->Text();
    }
    std::filesystem::path root_;
    std::unique_ptr<TMainFrame> window_;
};

TEST_F(WindowReconnectTest, RowsComeBackFromARestartedSimulatorWithoutAClick) {
    TMainFrame& w = *window_;
    EXPECT_FALSE(w.ReconnectAction->isChecked());  // off by default
    w.ReconnectAction->setChecked(true);
    w.Reconnect().SetTimeScale(0.01);

    auto simulator = std::make_unique<test::RunningSimulator>(test::QuietOptions(30, 2));
    ASSERT_TRUE(simulator->Started()) << simulator->Error();
    const std::uint16_t port = simulator->Port();
    w.PortEdit->setText(QString::number(port));
    w.ConnectDisconectAction->trigger();
    ASSERT_TRUE(PumpUntil([&] { return w.ChanelRows().Count() == 30; }));

    simulator.reset();  // the server goes away
    ASSERT_TRUE(PumpUntil([&] { return Log().contains("Переподключение: попытка 2"); }));
    EXPECT_EQ(w.Controller().State, Disconnected);

    sim::SimOptions options = test::QuietOptions(45, 2);
    options.listenPort = port;
    simulator = std::make_unique<test::RunningSimulator>(options);
    ASSERT_TRUE(simulator->Started()) << simulator->Error();
    ASSERT_TRUE(PumpUntil([&] { return w.ChanelRows().Count() == 45; }));
    EXPECT_EQ(w.Controller().State, Running);
    EXPECT_FALSE(w.Reconnect().Waiting());
    EXPECT_EQ(w.Reconnect().Attempts(), 0);  // the next loss starts at 1 s again
    EXPECT_TRUE(Log().contains("Соединение установлено"));
}

TEST_F(WindowReconnectTest, TheOperatorsDisconnectAndEditsStopIt) {
    TMainFrame& w = *window_;
    w.ReconnectAction->setChecked(true);
    w.Reconnect().SetTimeScale(0.01);
    auto simulator = std::make_unique<test::RunningSimulator>(test::QuietOptions(5, 1));
    ASSERT_TRUE(simulator->Started()) << simulator->Error();
    w.PortEdit->setText(QString::number(simulator->Port()));
    w.ConnectDisconectAction->trigger();
    ASSERT_TRUE(PumpUntil([&] { return w.Controller().State == Running; }));

    w.ConnectDisconectAction->trigger();  // "Отключить"
    PumpFor(100ms);
    EXPECT_FALSE(w.Reconnect().Waiting());
    EXPECT_FALSE(Log().contains("Переподключение"));

    w.ConnectDisconectAction->trigger();
    ASSERT_TRUE(PumpUntil([&] { return w.Controller().State == Running; }));
    simulator.reset();
    ASSERT_TRUE(PumpUntil([&] { return Log().contains("Переподключение: попытка 1"); }));
    QTest::keyClick(w.PortEdit, Qt::Key_5);  // the operator types a new port
    EXPECT_FALSE(w.Reconnect().Waiting());
    EXPECT_TRUE(Log().trimmed().endsWith("Переподключение остановлено"));
    const QString log = Log();
    PumpFor(200ms);
    EXPECT_EQ(Log(), log);  // no attempt after the edit
}

TEST_F(WindowReconnectTest, TheOptionIsKeptBesideTheOthers) {
    window_->ReconnectAction->setChecked(true);
    window_->FlushSettings();  // settings are written off the event loop
    TRegistry stored(root_);
    EXPECT_TRUE(ReadOptionFlag(stored, setting::Reconnect, false));
    window_ = std::make_unique<TMainFrame>(std::make_unique<TRegistry>(root_));
    EXPECT_TRUE(window_->ReconnectAction->isChecked());
    EXPECT_TRUE(window_->Reconnect().Enabled());
    window_->ReconnectAction->setChecked(false);
    window_->FlushSettings();
    TRegistry storedAgain(root_);
    EXPECT_FALSE(ReadOptionFlag(storedAgain, setting::Reconnect, true));
}

}  // namespace
}  // namespace telv
