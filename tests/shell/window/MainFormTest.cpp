// The window under the offscreen platform: captions, enabled actions, the log line, and a
// session against the simulator (kept as a screenshot in docs/).
#include "ColorScheme.h"
#include "MainForm.h"
#include "RowTexts.h"
#include "TestApplication.h"
#include "TestSupport.h"
#include "TrafficTotals.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QScreen>
#include <QStatusBar>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QSplitter>
#include <QTabWidget>
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
#include <fstream>
#include <iterator>
#include <thread>

// Readable failure messages for the Qt values the tests compare.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QSize& size, std::ostream* out) { *out << size.width() << "x" << size.height(); }
inline void PrintTo(const QRect& rect, std::ostream* out) {
    *out << rect.x() << "," << rect.y() << " " << rect.width() << "x" << rect.height();
}

namespace telv {
namespace {

using namespace std::chrono_literals;
using test::PumpUntil;

class MainFormTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::EnsureApplication<QApplication>("window_tests");
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
    QApplication::processEvents();  // lines are shown once the event loop runs
    const QStringList lines = window_->ConsoleMemo->Text().split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d - Соединение установлено$").match(lines[0]).hasMatch());
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d - $").match(lines[1]).hasMatch());
    QTest::mouseDClick(window_->ConsoleMemo->viewport(), Qt::LeftButton);
    EXPECT_TRUE(window_->ConsoleMemo->Text().isEmpty());
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
    QApplication::processEvents();
    EXPECT_TRUE(w.ConsoleMemo->Text().endsWith("Соединение завершено"));
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
    ASSERT_TRUE(PumpUntil([&] { return w.ConsoleMemo->Text().contains(third); }));
    w.RequestAction->trigger();
    ASSERT_TRUE(PumpUntil([&] { return w.ChanelRows().Count() == 48 && w.ClientRows().Count() == 4; }));
    for (int i = 0; i < w.ChanelRows().Count(); ++i) {
        EXPECT_NE(QString::fromStdString(w.ChanelRows().Text(i, 0)), first);
        EXPECT_NE(QString::fromStdString(w.ChanelRows().Text(i, 0)), third);
    }
    EXPECT_TRUE(w.ConsoleMemo->Text().contains(
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

// The port box follows the address only when the operator types it or picks it from the list:
// focus passing through the box, texts the program sets, the list closed with Escape, Return
// and the box's own completion leave the port as it is.
TEST_F(MainFormTest, PortFollowsOnlyTheOperatorsAddressChanges) {
    {
        TRegistry registry(root_);
        ASSERT_TRUE(registry.OpenKey(kSettingsKeyPath, true));
        registry.WriteString("ServerAddress", "127.0.0.1");
        registry.WriteString("ServerPort", "15223");
        registry.WriteInteger("ServerListCount", 4);
        const std::pair<const char*, int> history[] = {
            {"10.0.0.1", 5200}, {"127.0.0.1", 6666}, {"127.0.0.1", 7777}, {"localhost", 4444}};
        for (int i = 0; i < 4; ++i) {
            registry.WriteString(QString::asprintf("Server%03d", i).toStdString(), history[i].first);
            registry.WriteInteger(QString::asprintf("Port%03d", i).toStdString(), history[i].second);
        }
        ASSERT_TRUE(registry.CloseKey());
    }
    window_ = std::make_unique<TMainFrame>(std::make_unique<TRegistry>(root_));
    TMainFrame& w = *window_;
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    ASSERT_EQ(w.AddrEdit->currentText(), "127.0.0.1");
    ASSERT_EQ(w.PortEdit->text(), "15223");
    QWidget* elsewhere = w.ChanelFilter;
    auto leave = [&] {
        QTest::mouseClick(elsewhere, Qt::LeftButton);
        QApplication::processEvents();
    };

    // Focus passes through the box, by mouse and by keyboard.
    QTest::mouseClick(w.AddrEdit->lineEdit(), Qt::LeftButton);
    ASSERT_TRUE(w.AddrEdit->hasFocus());
    leave();
    EXPECT_EQ(w.PortEdit->text(), "15223");
    w.AddrEdit->setFocus(Qt::TabFocusReason);
    QTest::keyClick(w.AddrEdit, Qt::Key_Tab);
    EXPECT_EQ(w.PortEdit->text(), "15223");
    // Return on the unchanged text, then the window losing the focus.
    w.AddrEdit->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(w.AddrEdit, Qt::Key_Return);
    QWidget other;
    other.show();
    other.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&other));
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    EXPECT_EQ(w.PortEdit->text(), "15223");
    // The program sets the text.
    w.AddrEdit->setEditText("10.0.0.1");
    QTest::mouseClick(w.AddrEdit->lineEdit(), Qt::LeftButton);
    leave();
    EXPECT_EQ(w.PortEdit->text(), "15223");
    EXPECT_EQ(w.AddrEdit->currentText(), "10.0.0.1");
    // The list opened and closed with Escape.
    w.AddrEdit->setEditText("127.0.0.1");
    w.AddrEdit->setFocus(Qt::MouseFocusReason);
    w.AddrEdit->showPopup();
    ASSERT_TRUE(PumpUntil([&] { return w.AddrEdit->view()->isVisible(); }));
    QTest::keyClick(w.AddrEdit->view(), Qt::Key_Escape);
    ASSERT_TRUE(PumpUntil([&] { return !w.AddrEdit->view()->isVisible(); }));
    leave();
    EXPECT_EQ(w.PortEdit->text(), "15223");
    // A text in other letter case is another address: neither completed nor rewritten.
    w.AddrEdit->setFocus(Qt::MouseFocusReason);
    w.AddrEdit->lineEdit()->selectAll();
    QTest::keyClicks(w.AddrEdit, "LOCALHOST");
    leave();
    EXPECT_EQ(w.AddrEdit->currentText(), "LOCALHOST");
    EXPECT_EQ(w.PortEdit->text(), "15223");

    // Typing an address of the history brings its port, the last entry for it deciding; one
    // more character leaves it.
    w.AddrEdit->setFocus(Qt::MouseFocusReason);
    w.AddrEdit->lineEdit()->selectAll();
    QTest::keyClicks(w.AddrEdit, "127.0.0.1");
    EXPECT_EQ(w.PortEdit->text(), "7777");
    QTest::keyClicks(w.AddrEdit, "0");
    EXPECT_EQ(w.PortEdit->text(), "7777");
    leave();
    EXPECT_EQ(w.AddrEdit->currentText(), "127.0.0.10");
    // Picking an entry of the list brings its port, also when the box already shows its text.
    for (const auto& [row, port] : {std::pair{0, "5200"}, std::pair{0, "5200"}, std::pair{3, "4444"}}) {
        w.PortEdit->setText("1");
        w.AddrEdit->setFocus(Qt::MouseFocusReason);
        w.AddrEdit->showPopup();
        ASSERT_TRUE(PumpUntil([&] { return w.AddrEdit->view()->isVisible(); }));
        w.AddrEdit->view()->setCurrentIndex(w.AddrEdit->model()->index(row, 0));
        QTest::keyClick(w.AddrEdit->view(), Qt::Key_Return);
        EXPECT_EQ(w.PortEdit->text(), port) << row;
        EXPECT_EQ(w.AddrEdit->currentText(), w.AddrEdit->itemText(row));
    }
    // The arrow keys pick the neighbouring entry.
    QTest::keyClick(w.AddrEdit, Qt::Key_Up);
    EXPECT_EQ(w.AddrEdit->currentText(), "127.0.0.1");
    EXPECT_EQ(w.PortEdit->text(), "7777");
}

TEST(ColorScheme, DarkPaletteWhenAskedFor) {
    const struct {
        const char* telv;
        const char* gtk;
        bool dark;
    } cases[] = {{"", "", false},           {"dark", "", true},           {"light", "Adwaita:dark", false},
                 {"", "Adwaita:dark", true}, {"", "Adwaita", false},       {"DARK?", "", false}};
    for (const auto& c : cases) EXPECT_EQ(WantsDarkPalette(c.telv, c.gtk), c.dark) << c.telv << " " << c.gtk;
    const QPalette dark = DarkPalette();
    EXPECT_LT(dark.color(QPalette::Base).lightness(), 80);
    EXPECT_GT(dark.color(QPalette::Text).lightness(), 180);
    EXPECT_NE(dark.color(QPalette::AlternateBase), dark.color(QPalette::Base));
}

// A window connected to a simulator, with its rows in.
class ConnectedWindowTest : public MainFormTest {
protected:
    void Connect(std::uint32_t devices, std::uint32_t clients) {
        simulator_ = std::make_unique<test::RunningSimulator>(test::QuietOptions(devices, clients));
        ASSERT_TRUE(simulator_->Started()) << simulator_->Error();
        TMainFrame& w = *window_;
        w.PortEdit->setText(QString::number(simulator_->Port()));
        w.ConnectDisconectAction->trigger();
        ASSERT_TRUE(PumpUntil([&] {
            return w.ChanelRows().Count() == static_cast<int>(devices) &&
                   w.ClientRows().Count() == static_cast<int>(clients) + 1;
        }));
        PumpUntil([&] { return w.RequestAction->isEnabled(); });
    }
    static QStringList ShownTexts(QTreeView* view, int column) {
        QStringList texts;
        for (int r = 0; r < view->model()->rowCount(); ++r) texts << view->model()->index(r, column).data().toString();
        return texts;
    }
    static void SelectRows(QTreeView* view, std::initializer_list<int> rows) {
        view->selectionModel()->clearSelection();
        for (int r : rows)
            view->selectionModel()->select(view->model()->index(r, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    std::unique_ptr<test::RunningSimulator> simulator_;
};

// Each filter box shows the rows whose ID, model or address (name or address for clients)
// contains its text, through statistics passes; the totals stay those of all rows.
TEST_F(ConnectedWindowTest, FiltersShowMatchingRowsThroughStatisticsPasses) {
    Connect(300, 12);
    TMainFrame& w = *window_;
    const QString address = QString::fromStdString(w.ChanelRows().Text(7, 2));
    const QString query = address.left(address.indexOf('.', address.indexOf('.') + 1) + 1);  // "a.b."
    auto matches = [&](QTreeView* view, const QString& text, std::initializer_list<int> columns) {
        for (int r = 0; r < view->model()->rowCount(); ++r) {
            bool any = false;
            for (int c : columns) any = any || view->model()->index(r, c).data().toString().contains(text, Qt::CaseInsensitive);
            if (!any) return false;
        }
        return true;
    };
    w.ChanelFilter->setText(query);
    w.ApplyFilters();
    const int shown = w.ChanelListView->model()->rowCount();
    EXPECT_GE(shown, 1);
    EXPECT_LT(shown, 300);
    EXPECT_TRUE(matches(w.ChanelListView, query, {0, 1, 2}));
    EXPECT_FALSE(w.ShownPanel->isHidden());
    EXPECT_EQ(w.ShownPanel->text(), QString("Показано %1 из 300").arg(shown));

    // Model names in either case, Cyrillic letters included.
    const QString model = QString::fromStdString(w.ChanelRows().Text(3, 1)).section('.', 0, 0);
    w.ChanelFilter->setText(model.toLower());
    w.ApplyFilters();
    EXPECT_TRUE(matches(w.ChanelListView, model, {0, 1, 2}));
    EXPECT_TRUE(ShownTexts(w.ChanelListView, 0).contains(QString::fromStdString(w.ChanelRows().Text(3, 0))));

    // Statistics passes and full lists keep the filter; the totals count every row.
    w.ChanelFilter->setText(query);
    w.ApplyFilters();
    for (int pass = 0; pass < 2; ++pass) {
        const QString before = w.StatusPanel[0]->text();
        w.RequestAction->trigger();
        PumpUntil([&] { return w.StatusPanel[0]->text() != before; }, 3s);
    }
    EXPECT_TRUE(matches(w.ChanelListView, query, {0, 1, 2}));
    EXPECT_EQ(w.ChanelListView->model()->rowCount(), shown);
    EXPECT_TRUE(w.StatusPanel[0]->text().startsWith("Приборы (Количество - 300 RX : "));

    w.PageControl1->setCurrentIndex(1);
    EXPECT_TRUE(w.ShownPanel->isHidden());  // the client view is not filtered
    w.ClientFilter->setText("КЛИЕНТ 1.3.8");
    QTest::keyClick(w.ClientFilter, Qt::Key_Return);
    EXPECT_EQ(ShownTexts(w.ClientListView, 0), QStringList{"TELV клиент 1.3.8.17"});
    EXPECT_EQ(w.ShownPanel->text(), "Показано 1 из 13");
    w.ClientFilter->setText("нет такого клиента");
    w.ApplyFilters();
    EXPECT_EQ(w.ClientListView->model()->rowCount(), 0);
    QTest::keyClick(w.ClientFilter, Qt::Key_Escape);
    EXPECT_TRUE(w.ClientFilter->text().isEmpty());
    EXPECT_EQ(w.ClientListView->model()->rowCount(), 13);
    EXPECT_TRUE(w.ShownPanel->isHidden());
}

// Typing waits for a pause before the filter applies.
TEST_F(MainFormTest, TypedFilterAppliesAfterAPause) {
    TMainFrame& w = *window_;
    w.ChanelRows().Add();
    QTest::keyClicks(w.ChanelFilter, "x");
    EXPECT_EQ(w.ChanelListView->model()->rowCount(), 1);
    EXPECT_TRUE(PumpUntil([&] { return w.ChanelListView->model()->rowCount() == 0; }, 2s));
}

// Rows the filter hides are deselected, so commands act only on rows the operator sees.
// Refreshes of more rows than a piece go through the window's event loop piece by piece; the
// connection, held meanwhile, reads on after each, so refresh after refresh reaches every row.
TEST_F(ConnectedWindowTest, RefreshesInPiecesReachEveryRowThroughTheEventLoop) {
    window_->Tables().PassPieceRecords = 500;
    Connect(3000, 20);
    TMainFrame& w = *window_;
    const auto times = [&w] {
        std::vector<std::string> shown;
        for (int i = 0; i < w.ChanelRows().Count(); ++i) shown.push_back(w.ChanelRows().Text(i, 4));
        return shown;
    };
    const auto allMovedOn = [&](const std::vector<std::string>& before) {
        const std::vector<std::string> now = times();
        if (now.size() != before.size()) return false;
        for (std::size_t i = 0; i < now.size(); ++i)
            if (now[i] == before[i]) return false;
        return true;
    };
    w.UpDown->setValue(1);
    w.AutoRequest->setChecked(true);
    for (int refresh = 0; refresh < 2; ++refresh) {
        const std::vector<std::string> before = times();
        EXPECT_TRUE(PumpUntil([&] { return !w.Tables().Pending() && allMovedOn(before); }, 20s)) << refresh;
    }
    EXPECT_EQ(w.ChanelRows().Count(), 3000);
    EXPECT_TRUE(w.StatusPanel[0]->text().startsWith("Приборы (Количество - 3000 RX : "));
}

TEST_F(ConnectedWindowTest, HiddenRowsLeaveTheSelectionThatCommandsUse) {
    Connect(60, 3);
    TMainFrame& w = *window_;
    SelectRows(w.ChanelListView, {0, 1, 2});
    ASSERT_EQ(w.ChanelRows().SelectedCount(), 3);
    const QString kept = QString::fromStdString(w.ChanelRows().Text(1, 0));
    w.ChanelFilter->setText(kept);
    w.ApplyFilters();
    ASSERT_EQ(w.ChanelListView->model()->rowCount(), 1);
    EXPECT_EQ(w.ChanelRows().SelectedCount(), 1);
    EXPECT_TRUE(w.ChanelRows().Item(1)->Selected());
    w.CloseChanel->trigger();
    ASSERT_TRUE(PumpUntil([&] { return w.ConsoleMemo->Text().contains(kept); }));
    w.RequestAction->trigger();
    ASSERT_TRUE(PumpUntil([&] { return w.ChanelRows().Count() == 59; }));
    EXPECT_EQ(w.ChanelListView->model()->rowCount(), 0);
}

// Copy: the selected rows in view order (columns as shown) as tab-separated text; export: every
// shown row as CSV. A header click sorts the filtered rows.
TEST_F(ConnectedWindowTest, CopyAndExportTakeTheRowsAsShown) {
    Connect(40, 2);
    TMainFrame& w = *window_;
    w.ChanelFilter->setText("1");
    w.ApplyFilters();
    emit w.ChanelListView->header()->sectionClicked(2);  // sorted by address
    const int shown = w.ChanelListView->model()->rowCount();
    ASSERT_GE(shown, 3);
    w.ChanelListView->header()->moveSection(2, 0);  // the address column first
    SelectRows(w.ChanelListView, {2, 0});
    w.ChanelListView->setFocus();
    QApplication::clipboard()->clear();
    w.CopyAction->trigger();
    const QStringList lines = QApplication::clipboard()->text().split('\n');
    ASSERT_EQ(lines.size(), 4);  // captions, two rows, the empty rest after the last "\n"
    EXPECT_EQ(lines[0], "Адрес\tID прибора\tТип прибора\tСобытие\tВремя на связи\tRX / TX\tСостояние канала\t"
                        "Скорость RX / TX");
    auto cells = [&](int row) {
        QStringList texts;
        for (int c : {2, 0, 1, 3, 4, 5, 6, 7}) texts << w.ChanelListView->model()->index(row, c).data().toString();
        return texts.join('\t');
    };
    EXPECT_EQ(lines[1], cells(0));
    EXPECT_EQ(lines[2], cells(2));
    EXPECT_TRUE(lines[3].isEmpty());

    const std::filesystem::path file = root_ / "приборы.csv";
    std::filesystem::create_directories(root_);
    QString error;
    ASSERT_TRUE(w.ExportCsv(w.ChanelListView, QString::fromStdString(file.string()), error)) << error.toStdString();
    std::ifstream in(file, std::ios::binary);
    const std::string csv(std::istreambuf_iterator<char>(in), {});
    ASSERT_EQ(csv.rfind("\xEF\xBB\xBF" "Адрес,ID прибора,Тип прибора,Событие,Время на связи,RX / TX,Состояние канала,"
                        "Скорость RX / TX\r\n", 0), 0u);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), shown + 1);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\r'), shown + 1);

    EXPECT_FALSE(w.ExportCsv(w.ChanelListView, QString::fromStdString((root_ / "нет" / "x.csv").string()), error));
    EXPECT_FALSE(error.isEmpty());
}

// Column widths and order, the split, the active tab and the window geometry come back after a
// restart; damaged values leave the built-in layout.
TEST_F(MainFormTest, LayoutComesBackAfterARestart) {
    {
        TMainFrame& w = *window_;
        w.show();
        w.ChanelListView->setColumnWidth(3, 222);
        w.ChanelListView->header()->moveSection(4, 0);
        w.ClientListView->setColumnWidth(0, 77);
        w.PageControl1->setCurrentIndex(1);
        w.resize(900, 560);
        QApplication::processEvents();
        w.Splitter2->setSizes({300, 150});
        QApplication::processEvents();
        w.close();
    }
    const QList<int> sizes = window_->Splitter2->sizes();
    window_ = std::make_unique<TMainFrame>(std::make_unique<TRegistry>(root_));
    TMainFrame& w = *window_;
    w.show();
    QApplication::processEvents();
    EXPECT_EQ(w.ChanelListView->columnWidth(3), 222);
    EXPECT_EQ(w.ChanelListView->header()->logicalIndex(0), 4);
    EXPECT_EQ(w.ChanelListView->header()->logicalIndex(1), 0);
    EXPECT_EQ(w.ClientListView->columnWidth(0), 77);
    EXPECT_EQ(w.PageControl1->currentIndex(), 1);
    EXPECT_EQ(w.size(), QSize(900, 560));
    EXPECT_EQ(w.Splitter2->sizes(), sizes);
    // The options of the form are stored as before.
    TRegistry registry(root_);
    ASSERT_TRUE(registry.OpenKey(kSettingsKeyPath, false));
    EXPECT_EQ(registry.ReadInteger(setting::AutoRequestInterval), 3);
}

// With nothing stored the window opens centred on its screen; then it comes back exactly where
// the operator left it, restart after restart, maximized again when it was.
TEST_F(MainFormTest, WindowOpensCentredThenComesBackWhereItWasLeft) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    auto start = [&] {
        window_ = std::make_unique<TMainFrame>(std::make_unique<TRegistry>(root_));
        window_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        return window_->geometry();
    };
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    const QRect first = window_->geometry();
    EXPECT_EQ(first.width(), 785);
    EXPECT_LE(std::abs(first.center().x() - screen.center().x()), 1) << first.x();
    EXPECT_LE(std::abs(first.center().y() - screen.center().y()), 1) << first.y();

    // Left near the top edge, where a title bar would be if there were a window manager.
    const QRect left(screen.x() + 3, screen.y() + 10, 790, 500);
    window_->setGeometry(left);
    window_->close();
    for (int restart = 1; restart <= 3; ++restart) {
        EXPECT_EQ(start(), left) << "restart " << restart;
        window_->close();
    }

    window_ = std::make_unique<TMainFrame>(std::make_unique<TRegistry>(root_));
    window_->show();
    window_->setWindowState(Qt::WindowMaximized);
    ASSERT_TRUE(PumpUntil([&] { return window_->isMaximized(); }));
    window_->close();
    start();
    EXPECT_TRUE(window_->isMaximized());
    EXPECT_EQ(window_->normalGeometry(), left);
}

// A stored place off every screen (another screen gone, a damaged value) brings the window back
// centred on the primary screen, at its stored size when that fits.
TEST_F(MainFormTest, WindowStoredOffEveryScreenComesBackCentred) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (const char* place : {"5000,5000,790,500,0", "-2000,100,790,500,0", "100,-400,790,500,0"}) {
        {
            TRegistry registry(root_);
            ASSERT_TRUE(registry.OpenKey(kSettingsKeyPath, true));
            registry.WriteString("WindowPlace", place);
            ASSERT_TRUE(registry.CloseKey());
        }
        window_ = std::make_unique<TMainFrame>(std::make_unique<TRegistry>(root_));
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        const QRect shown = window_->geometry();
        EXPECT_EQ(shown.size(), QSize(790, 500).boundedTo(screen.size())) << place;
        EXPECT_TRUE(screen.contains(shown)) << place;
        EXPECT_LE(std::abs(shown.center().x() - screen.center().x()), 1) << place;
        EXPECT_LE(std::abs(shown.center().y() - screen.center().y()), 1) << place;
        window_.reset();
    }
}

TEST_F(MainFormTest, DamagedLayoutValuesLeaveTheBuiltInLayout) {
    {
        TRegistry registry(root_);
        ASSERT_TRUE(registry.OpenKey(kSettingsKeyPath, true));
        registry.WriteString("ChanelColumns", "0:100,1:100,2:120,3:100,4:100,5:100,5:150");
        registry.WriteString("ClientColumns", "garbage");
        registry.WriteString("SplitterSizes", "1,2,3");
        registry.WriteInteger("ActiveTab", 7);
        registry.WriteString("WindowGeometry", "AAAA");
        ASSERT_TRUE(registry.CloseKey());
    }
    window_ = std::make_unique<TMainFrame>(std::make_unique<TRegistry>(root_));
    TMainFrame& w = *window_;
    const int chanelWidths[] = {100, 100, 120, 100, 100, 100, 150};
    for (int c = 0; c < 7; ++c) {
        EXPECT_EQ(w.ChanelListView->columnWidth(c), chanelWidths[c]) << c;
        EXPECT_EQ(w.ChanelListView->header()->logicalIndex(c), c);
    }
    EXPECT_EQ(w.ClientListView->columnWidth(0), 180);
    EXPECT_EQ(w.PageControl1->currentIndex(), 0);
    EXPECT_EQ(w.width(), 785);
}

// At the size the window opens with, the status bar shows both totals in full: 99999 channels
// with totals up to 9999.999 Mб, or 9999 channels with 999999.5 Mб, beside 9999 clients with
// 9999.999 Mб.
TEST_F(MainFormTest, StatusBarShowsBothTotalsInFullAtTheDefaultSize) {
    TMainFrame& w = *window_;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QSize opened = w.size();
    EXPECT_GE(opened.width(), 785);

    struct Texts : StatusPanels {
        QString text[2];
        void SetPanelText(int panel, const std::string& t) override { text[panel] = QString::fromStdString(t); }
    };
    const struct {
        int chanels;
        std::uint64_t chanelTotal;
        const char* chanelText;
    } cases[] = {
        {99999, 10485758951, "Приборы (Количество - 99999 RX : 9999.999 Mб TX : 9999.999 Mб)"},
        {9999, 1048575475712, "Приборы (Количество - 9999 RX : 999999.500 Mб TX : 999999.500 Mб)"},
    };
    for (const auto& c : cases) {
        Texts texts;
        TrafficTotals totals;
        totals.ChanelRxTotal = totals.ChanelTxTotal = c.chanelTotal;
        totals.ClientRxTotal = totals.ClientTxTotal = 10485758951;
        totals.ShowTotals(texts, c.chanels, 9999);
        ASSERT_EQ(texts.text[0], c.chanelText);
        ASSERT_EQ(texts.text[1], "Клиенты (Количество - 9999 RX : 9999.999 Mб TX : 9999.999 Mб)");
        for (int i = 0; i < 2; ++i) w.StatusPanel[i]->setText(texts.text[i]);
        QApplication::processEvents();
        EXPECT_EQ(w.size(), opened);
        for (QLabel* panel : w.StatusPanel) {
            EXPECT_GE(panel->contentsRect().width(), panel->fontMetrics().horizontalAdvance(panel->text()))
                << panel->text().toStdString();
            EXPECT_TRUE(w.statusBar()->contentsRect().contains(panel->geometry())) << panel->text().toStdString();
        }
        EXPECT_LT(w.StatusPanel[0]->geometry().right(), w.StatusPanel[1]->geometry().left());
    }
}

// Every action has a shortcut that its menu shows; the command keys act only in their view.
TEST_F(MainFormTest, KeyboardReachesEveryAction) {
    TMainFrame& w = *window_;
    QStringList menus;
    for (QAction* menu : w.menuBar()->actions()) menus << menu->text();
    EXPECT_EQ(menus, (QStringList{"Файл", "Правка", "Вид", "Команды", "Справка"}));
    for (QAction* action : {w.ConnectDisconectAction, w.RequestAction, w.ResetChanel, w.CloseChanel,
                            w.CloseChanelInterval, w.CloseClient, w.CopyAction, w.ExportAction, w.FilterAction,
                            w.ChanelTabAction, w.ClientTabAction, w.HelpAction, w.ExitAction, w.SaveLogAction}) {
        EXPECT_FALSE(action->shortcut().isEmpty()) << action->text().toStdString();
        bool inMenu = false;
        for (QAction* menu : w.menuBar()->actions()) inMenu = inMenu || menu->menu()->actions().contains(action);
        EXPECT_TRUE(inMenu) << action->text().toStdString();
    }
    EXPECT_EQ(w.HelpAction->shortcut(), QKeySequence(Qt::Key_F1));
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));

    for (QAction* action : {w.CloseChanel, w.CloseClient, w.ResetChanel, w.CloseChanelInterval}) action->setEnabled(true);
    QSignalSpy closeChanel(w.CloseChanel, &QAction::triggered);
    QSignalSpy closeChanelInterval(w.CloseChanelInterval, &QAction::triggered);
    QSignalSpy closeClient(w.CloseClient, &QAction::triggered);
    w.ChanelListView->setFocus();
    QTest::keyClick(w.ChanelListView, Qt::Key_Delete);
    QTest::keyClick(w.ChanelListView, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(closeChanel.count(), 1);
    EXPECT_EQ(closeChanelInterval.count(), 1);
    EXPECT_EQ(closeClient.count(), 0);
    w.ChanelFilter->setFocus();
    QTest::keyClicks(w.ChanelFilter, "ab");
    QTest::keyClick(w.ChanelFilter, Qt::Key_Delete);  // an edit key here
    EXPECT_EQ(closeChanel.count(), 1);

    QTest::keySequence(&w, QKeySequence(Qt::CTRL | Qt::Key_2));
    EXPECT_EQ(w.PageControl1->currentIndex(), 1);
    QTest::keySequence(&w, QKeySequence::Find);
    EXPECT_TRUE(w.ClientFilter->hasFocus());
    w.ClientListView->setFocus();
    QTest::keyClick(w.ClientListView, Qt::Key_Delete);
    EXPECT_EQ(closeClient.count(), 1);
    QTest::keySequence(&w, QKeySequence(Qt::CTRL | Qt::Key_1));
    EXPECT_EQ(w.PageControl1->currentIndex(), 0);

    // The menu key opens the view's popup menu with the commands, copy and export.
    w.ChanelListView->setFocus();
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(0, 0), w.ChanelListView->mapToGlobal(QPoint(0, 0)));
    QApplication::sendEvent(w.ChanelListView, &menuKey);
    QMenu* popup = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (auto* menu = qobject_cast<QMenu*>(top); menu && menu->isVisible()) popup = menu;
    ASSERT_NE(popup, nullptr);
    QStringList items;
    for (QAction* action : popup->actions())
        if (!action->isSeparator()) items << action->text();
    EXPECT_EQ(items, (QStringList{"Сбросить соединение с прибором", "Отключить приборы",
                                  "Отключить приборы завершив интервал опроса", "Копировать", "Экспорт в CSV...",
                                  "Показать на графике", "Убрать с графика"}));
    popup->close();
}

}  // namespace
}  // namespace telv
