// The window under the offscreen platform: captions, enabled actions, the log line, and a
// session against the simulator (kept as a screenshot in docs/).
#include "MainForm.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>
#include <QHeaderView>
#include <QTreeView>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace telv {
namespace {

using namespace std::chrono_literals;
using test::PumpUntil;

class MainFormTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "window_tests";
        static char* argv[] = {name, nullptr};
        if (!QApplication::instance()) new QApplication(argc, argv);
    }
    void SetUp() override {
        root_ = std::filesystem::temp_directory_path() /
                ("telv-window-test-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(root_);
        window_ = std::make_unique<TMainFrame>(std::make_unique<TRegistry>(root_));
    }
    void TearDown() override {
        window_.reset();
        std::filesystem::remove_all(root_);
    }
    std::filesystem::path root_;
    std::unique_ptr<TMainFrame> window_;
};

TEST_F(MainFormTest, FirstStartShowsDefaultsAndDisabledActions) {
    TMainFrame& w = *window_;
    EXPECT_EQ(w.windowTitle(), "TELV клиент (Версия : 1.3.8.17)");
    EXPECT_EQ(w.AddrEdit->currentText(), "127.0.0.1");
    EXPECT_EQ(w.PortEdit->text(), "5100");
    EXPECT_TRUE(w.AutoRequest->isChecked());
    EXPECT_EQ(w.UpDown->value(), 3);
    EXPECT_EQ(w.ReqTimer.interval(), 3000);
    EXPECT_TRUE(w.EventCheckBox->isChecked());
    EXPECT_EQ(w.ConnectButton->text(), "Подключить");
    for (QAction* a : {w.RequestAction, w.ResetChanel, w.CloseChanel, w.CloseChanelInterval, w.CloseClient})
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
    EXPECT_TRUE(w.ConnectDisconectAction->isEnabled());
    EXPECT_EQ(w.Controller().ClientVersion[3], 17);
}

TEST_F(MainFormTest, LogLineIsTimeDashText) {
    window_->LogEvent("Соединение установлено");
    window_->LogEvent("");
    const QStringList lines = window_->ConsoleMemo->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d - Соединение установлено$").match(lines[0]).hasMatch());
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d - $").match(lines[1]).hasMatch());
    QTest::mouseDClick(window_->ConsoleMemo->viewport(), Qt::LeftButton);
    EXPECT_TRUE(window_->ConsoleMemo->toPlainText().isEmpty());
}

TEST_F(MainFormTest, IntervalFollowsOnlyValuesInRange) {
    for (int value : {0, -5, 101, 1000000}) {
        window_->UpDownChangingEx(value);
        EXPECT_GE(window_->ReqTimer.interval(), 1000);
        EXPECT_LE(window_->ReqTimer.interval(), 100000);
    }
    window_->UpDown->setValue(7);
    EXPECT_EQ(window_->ReqTimer.interval(), 7000);
    window_->AutoRequest->setChecked(false);
    EXPECT_FALSE(window_->UpDown->isEnabled());
}

TEST_F(MainFormTest, SessionAgainstTheSimulator) {
    test::RunningSimulator simulator(test::QuietOptions(120, 6));
    ASSERT_TRUE(simulator.Started()) << simulator.Error();

    TMainFrame& w = *window_;
    w.show();
    w.PortEdit->setText(QString::number(simulator.Port()));
    QTest::mouseClick(w.ConnectButton, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return w.ChanelRows().Count() == 120 && w.ClientRows().Count() == 7; }));
    EXPECT_EQ(w.ConnectButton->text(), "Отключить");
    EXPECT_FALSE(w.AddrEdit->isEnabled());
    PumpUntil([&] { return w.RequestAction->isEnabled(); });
    EXPECT_TRUE(w.RequestAction->isEnabled());
    EXPECT_TRUE(w.StatusPanel[0]->text().startsWith("Приборы (Количество - 120 RX : "));
    EXPECT_EQ(w.ChanelListView->model()->rowCount(), 120);
    EXPECT_EQ(w.AddrEdit->count(), 1);  // the server joined the history

    // TELV_SCREENSHOT_DIR=docs keeps a picture of the session (docs/console-offscreen.png).
    if (const char* dir = std::getenv("TELV_SCREENSHOT_DIR")) {
        w.ChanelListView->selectionModel()->select(w.ChanelListView->model()->index(2, 0),
                                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QApplication::processEvents();
        EXPECT_TRUE(w.grab().save(QString(dir) + "/console-offscreen.png"));
    }

    QTest::mouseClick(w.ConnectButton, Qt::LeftButton);
    EXPECT_EQ(w.ConnectButton->text(), "Подключить");
    EXPECT_TRUE(w.ConsoleMemo->toPlainText().endsWith("Соединение завершено"));
    EXPECT_EQ(w.ChanelRows().Count(), 120);  // the tables stay after a disconnect
    PumpUntil([&] { return !w.RequestAction->isEnabled(); });
    EXPECT_FALSE(w.RequestAction->isEnabled());
}

// Commands for selected rows reach the simulator, and the next lists no longer hold them.
TEST_F(MainFormTest, ClosedChannelsAndClientsLeaveTheNextLists) {
    test::RunningSimulator simulator(test::QuietOptions(50, 4));
    ASSERT_TRUE(simulator.Started()) << simulator.Error();
    TMainFrame& w = *window_;
    w.PortEdit->setText(QString::number(simulator.Port()));
    w.ConnectDisconectAction->trigger();
    ASSERT_TRUE(PumpUntil([&] { return w.ChanelRows().Count() == 50 && w.ClientRows().Count() == 5; }));
    PumpUntil([&] { return w.CloseChanel->isEnabled(); });

    auto select = [](QTreeView* view, std::initializer_list<int> rows) {
        view->selectionModel()->clearSelection();
        for (int r : rows)
            view->selectionModel()->select(view->model()->index(r, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    };
    const QString first = QString::fromStdString(w.ChanelRows().Text(0, 0));
    const QString third = QString::fromStdString(w.ChanelRows().Text(2, 0));
    select(w.ChanelListView, {0, 2});
    w.CloseChanel->trigger();
    // A client that is not this console: the simulated ones come first in the list.
    std::string clientAddress;
    for (int i = 0; i < w.ClientRows().Count() && clientAddress.empty(); ++i)
        if (w.ClientRows().Text(i, 0).rfind("TELV клиент 1.3.8.17", 0) != 0) {
            select(w.ClientListView, {i});
            clientAddress = w.ClientRows().Text(i, 1);
        }
    ASSERT_FALSE(clientAddress.empty());
    w.CloseClient->trigger();
    ASSERT_TRUE(PumpUntil([&] { return w.ConsoleMemo->toPlainText().contains(third); }));
    w.RequestAction->trigger();
    ASSERT_TRUE(PumpUntil([&] { return w.ChanelRows().Count() == 48 && w.ClientRows().Count() == 4; }));
    for (int i = 0; i < w.ChanelRows().Count(); ++i) {
        EXPECT_NE(QString::fromStdString(w.ChanelRows().Text(i, 0)), first);
        EXPECT_NE(QString::fromStdString(w.ChanelRows().Text(i, 0)), third);
    }
    EXPECT_TRUE(w.ConsoleMemo->toPlainText().contains(
        QString::fromStdString("Отключен клиент. Адрес - " + clientAddress)));
}

// A click on each header sorts the rows by that column; a second click reverses the order.
TEST_F(MainFormTest, HeaderClicksSortEveryColumnBothWays) {
    test::RunningSimulator simulator(test::QuietOptions(200, 10));
    ASSERT_TRUE(simulator.Started()) << simulator.Error();
    TMainFrame& w = *window_;
    w.PortEdit->setText(QString::number(simulator.Port()));
    w.ConnectDisconectAction->trigger();
    ASSERT_TRUE(PumpUntil([&] { return w.ChanelRows().Count() == 200 && w.ClientRows().Count() == 11; }));
    w.ConnectDisconectAction->trigger();  // the rows stay; the sort reads the stored records
    auto ordered = [](const TListView& rows, auto compare, int code) {
        for (int i = 0; i + 1 < rows.Count(); ++i)
            if (compare(*rows.Item(i), *rows.Item(i + 1), code) > 0) return false;
        return true;
    };
    auto compareChanels = [&](const TListItem& a, const TListItem& b, int code) {
        return CompareChanelRows(w.ChanelRows(), w.Tables().ChanelData, a, b, code);
    };
    auto compareClients = [&](const TListItem& a, const TListItem& b, int code) {
        return CompareClientRows(w.ClientRows(), w.Tables().ClientData, a, b, code);
    };
    for (int column = 0; column < 7; ++column) {
        emit w.ChanelListView->header()->sectionClicked(column);
        EXPECT_TRUE(ordered(w.ChanelRows(), compareChanels, SortCode(column, false))) << column;
        emit w.ChanelListView->header()->sectionClicked(column);
        EXPECT_TRUE(ordered(w.ChanelRows(), compareChanels, SortCode(column, true))) << column;
        EXPECT_EQ(w.ChanelListView->model()->rowCount(), 200);
    }
    for (int column = 0; column < 5; ++column) {
        emit w.ClientListView->header()->sectionClicked(column);
        EXPECT_TRUE(ordered(w.ClientRows(), compareClients, SortCode(7 + column, false))) << column;
        emit w.ClientListView->header()->sectionClicked(column);
        EXPECT_TRUE(ordered(w.ClientRows(), compareClients, SortCode(7 + column, true))) << column;
    }
    // The model shows the store's order.
    EXPECT_EQ(w.ChanelListView->model()->index(0, 0).data().toString().toStdString(), w.ChanelRows().Text(0, 0));
}

TEST_F(MainFormTest, RestartShowsTheLastServerHistoryAndOptions) {
    test::RunningSimulator simulator(test::QuietOptions(3, 0));
    ASSERT_TRUE(simulator.Started()) << simulator.Error();
    {
        TMainFrame& w = *window_;
        w.AddrEdit->setEditText("localhost");
        w.PortEdit->setText(QString::number(simulator.Port()));
        QTest::mouseClick(w.ConnectButton, Qt::LeftButton);
        ASSERT_TRUE(PumpUntil([&] { return w.ChanelRows().Count() == 3; }));
        w.UpDown->setValue(9);
        w.EventCheckBox->setChecked(false);
        w.close();  // writes the options; the socket goes with the window, nothing is sent
    }
    window_ = std::make_unique<TMainFrame>(std::make_unique<TRegistry>(root_));
    TMainFrame& w = *window_;
    EXPECT_EQ(w.AddrEdit->currentText(), "localhost");
    EXPECT_EQ(w.PortEdit->text(), QString::number(simulator.Port()));
    EXPECT_EQ(w.UpDown->value(), 9);
    EXPECT_EQ(w.ReqTimer.interval(), 9000);
    EXPECT_FALSE(w.EventCheckBox->isChecked());
    ASSERT_EQ(w.Servers.size(), 1u);
    EXPECT_EQ(w.Servers[0].Port, simulator.Port());
    ASSERT_EQ(w.AddrEdit->count(), 1);
    // Picking the remembered address fills in its port.
    w.PortEdit->setText("1");
    w.AddrEdit->lineEdit()->clear();
    QTest::keyClicks(w.AddrEdit->lineEdit(), "localhost");
    EXPECT_EQ(w.PortEdit->text(), QString::number(simulator.Port()));
}

}  // namespace
}  // namespace telv
