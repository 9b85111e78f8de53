// Rates and the traffic chart in the window, against a scripted server: two statistics after
// the lists give rates in the rate column, the status bar and the chart's series.
#include "MainForm.h"
#include "RecordMessage.h"
#include "TotalsPanels.h"
#include "RowTexts.h"
#include "ScriptedServer.h"
#include "ServerSide.h"
#include "TestApplication.h"
#include "TestSupport.h"
#include "ChartLines.h"
#include "TrafficChart.h"
#include "ClientSettings.h"
#include "Registry.h"

#include <QApplication>
#include <QChartView>
#include <QDateTime>
#include <QCheckBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolTip>
#include <QTreeView>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <filesystem>
#include <string>
#include <vector>

namespace telv {
namespace {

using namespace std::chrono_literals;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

TELV_UDP_FULL_CHANEL_DATA Chanel(Handle h, const char* id, std::uint32_t seconds, std::uint32_t rx, std::uint32_t tx) {
    return test::ChanelRecord({.handle = h, .text = id, .seconds = seconds, .rx = rx, .tx = tx});
}

TELV_STATISTICS_DATA Stat(Handle h, std::uint32_t seconds, std::uint32_t rx, std::uint32_t tx) {
    return test::StatisticsRecord({.handle = h, .seconds = seconds, .rx = rx, .tx = tx});
}

// The rate values of one chart series, oldest first, over all its runs.
std::vector<double> SeriesValues(const TrafficChart& chart, std::size_t series) {
    std::vector<double> values;
    for (const QPolygonF& run : chart.RunsOf(series))
        for (const QPointF& p : run) values.push_back(p.y() * chart.RateUnit());
    return values;
}

class TrafficWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::EnsureApplication<QApplication>("traffic_window_tests"); }
    void SetUp() override {
        root_ = std::filesystem::temp_directory_path() / ("telv-traffic-test-" + std::to_string(::getpid()));
        std::filesystem::remove_all(root_);
        window_ = std::make_unique<TMainFrame>(std::make_unique<TRegistry>(root_));
        window_->AutoRequest->setChecked(false);  // the script alone decides what arrives
        window_->show();
    }
    void TearDown() override {
        window_.reset();
        std::filesystem::remove_all(root_);
    }
    // Sends a message and waits until the window has handled it; then a little more than a
    // second, so that the next message falls into another second of the chart.
    void Deliver(const Bytes& message, const std::function<bool()>& handled) {
        ASSERT_TRUE(server_.Send(message));
        ASSERT_TRUE(test::PumpUntil(handled, 10s));
        test::PumpFor(1100ms);
    }
    std::string RateText(Handle h) {
        const TListItem* item = window_->Tables().ChanelItems.Find(h);
        return item ? window_->ChanelRows().Text(*item, kChanelRateColumn) : "(no row)";
    }

    std::filesystem::path root_;
    test::ScriptedServer server_;
    std::unique_ptr<TMainFrame> window_;
};

TEST_F(TrafficWindowTest, TwoStatisticsGiveRatesInTheColumnStatusBarAndChart) {
    TMainFrame& w = *window_;
    w.PortEdit->setText(QString::number(server_.Port()));
    QTest::mouseClick(w.ConnectButton, Qt::LeftButton);
    ASSERT_TRUE(test::PumpUntil([&] { return server_.Accept() && w.Controller().State == WaitingHello; }, 10s));
    ASSERT_TRUE(server_.Send(Cat({server::EncodeServerVersion(2, 4, 0, 31), server::EncodeAck()})));
    ASSERT_TRUE(test::PumpUntil([&] { return w.Controller().State == Running; }, 10s));

    const std::vector<TELV_UDP_FULL_CHANEL_DATA> chanels = {Chanel(11, "DEV-11", 100, 1000, 500),
                                                            Chanel(12, "DEV-12", 50, 0, 0)};
    TELV_FULL_CLIENT_DATA client;
    client.SetClientHandle(21);
    ASSERT_TRUE(server_.Send(server::EncodeChanelList(chanels)));
    Deliver(server::EncodeClientList(std::vector{client}), [&] { return w.ChanelRows().Count() == 2; });
    EXPECT_EQ(RateText(11), "");  // one sample only
    EXPECT_EQ(w.ChanelListView->model()->headerData(kChanelRateColumn, Qt::Horizontal).toString(), "Скорость RX / TX");
    EXPECT_EQ(w.ClientListView->model()->headerData(kClientRateColumn, Qt::Horizontal).toString(), "Скорость RX / TX");

    const std::vector first = {Stat(11, 110, 13800, 620), Stat(12, 52, 600, 0)};
    Deliver(server::EncodeStatistics(code::ChannelStatistics, first), [&] { return RateText(11) != ""; });
    EXPECT_EQ(RateText(11), "1.250 кб/с / 12 б/с");
    EXPECT_EQ(RateText(12), "300 б/с / 0 б/с");

    // Follow the first row on the chart, from the popup menu's action.
    w.ChanelListView->setFocus();
    w.ChanelListView->selectionModel()->select(w.ChanelListView->model()->index(0, 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
    w.ShowOnChartAction->trigger();
    ASSERT_EQ(w.Traffic->Followed().size(), 1u);
    EXPECT_EQ(w.Traffic->Followed()[0].Name, "DEV-11");

    const std::vector second = {Stat(11, 120, 26600, 740), Stat(12, 53, 601, 0)};
    Deliver(server::EncodeStatistics(code::ChannelStatistics, second), [&] { return RateText(12) == "1 б/с / 0 б/с"; });
    EXPECT_EQ(RateText(11), "1.250 кб/с / 12 б/с");
    EXPECT_EQ(w.RatesPanel->text(), "Скорость: приборы 1.251 кб/с / 12 б/с, клиенты 0 б/с / 0 б/с");
    EXPECT_TRUE(w.StatusPanel[0]->text().startsWith("Приборы (Количество - 2 RX : "));

    // The rate column sorts by the sum of both rates, smallest first, then reversed.
    w.ChanelListView->header()->sectionClicked(kChanelRateColumn);
    EXPECT_EQ(w.ChanelRows().Item(0)->Data, 12u);
    w.ChanelListView->header()->sectionClicked(kChanelRateColumn);
    EXPECT_EQ(w.ChanelRows().Item(0)->Data, 11u);

    // The chart: one point per second of samples; the lists gave no rate yet.
    w.PageControl1->setCurrentWidget(w.Traffic);
    QApplication::processEvents();
    const std::vector<double> rx = SeriesValues(*w.Traffic, TrafficChart::ChanelRx);
    ASSERT_EQ(rx.size(), 3u);
    EXPECT_NEAR(rx[0], 0, 1e-6);
    EXPECT_NEAR(rx[1], 1580, 1e-6);
    EXPECT_NEAR(rx[2], 1281, 1e-6);
    const std::vector<double> rows = SeriesValues(*w.Traffic, TrafficChart::ChanelRows);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_NEAR(rows[2] / w.Traffic->RateUnit(), 2, 1e-6);  // row counts are not scaled
    const std::vector<double> followed = SeriesValues(*w.Traffic, TrafficChart::FirstRowSeries);
    ASSERT_EQ(followed.size(), 1u);
    EXPECT_NEAR(followed[0], 1280, 1e-6);
    EXPECT_EQ(w.Traffic->NameOf(TrafficChart::FirstRowSeries), "DEV-11 RX");

    // The mouse on a point of a line shows the line, the point's time and its value.
    auto* view = w.Traffic->findChild<QChartView*>();
    ASSERT_NE(view, nullptr);
    const QPointF point = w.Traffic->RunsOf(TrafficChart::ChanelRx).back()[1];
    const ChartLines& plot = w.Traffic->Lines();
    const QPoint mouse = view->mapFromScene(plot.mapToScene(plot.Position(TrafficChart::ChanelRx, point)));
    QTest::mouseMove(view->viewport(), mouse + QPoint(0, 2));
    ASSERT_TRUE(test::PumpUntil([] { return QToolTip::isVisible(); }, 10s));
    const QString time = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(point.x())).toString("HH:mm:ss");
    EXPECT_EQ(QToolTip::text(), time + "\nПриборы RX: 1.543 кб/с");
    QTest::mouseMove(view->viewport(), mouse + QPoint(0, 40));  // off every line
    EXPECT_TRUE(test::PumpUntil([] { return !QToolTip::isVisible(); }, 10s));

    // The CSV of the range: a byte order mark, the captions, one line per second.
    const QString csvPath = QString::fromStdString((root_ / "chart.csv").string());
    std::filesystem::create_directories(root_);
    QString error;
    ASSERT_TRUE(w.Traffic->ExportCsv(csvPath, error)) << error.toStdString();
    QFile csv(csvPath);
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = csv.readAll().split('\n');
    ASSERT_GE(lines.size(), 4);
    EXPECT_TRUE(lines[0].startsWith("\xEF\xBB\xBFВремя,Приборы RX,Приборы TX,Клиенты RX,Клиенты TX,"));
    EXPECT_TRUE(lines[2].contains(",1580,12,0,0,2,1,")) << lines[2].toStdString();
    // A file that cannot be written is reported, not claimed.
    EXPECT_FALSE(w.Traffic->ExportCsv(QString::fromStdString((root_ / "no-such-dir" / "x.csv").string()), error));
    EXPECT_FALSE(error.isEmpty());

    // The server goes: the chart keeps its points, the next ones start a new run.
    server_.Close();
    ASSERT_TRUE(test::PumpUntil([&] { return w.Controller().State == Disconnected; }, 10s));
    EXPECT_EQ(w.Traffic->History().Runs(ChartRange::FiveMinutes, TrafficChart::ChanelRx, 0).size(), 1u);
}

// The rate column can be hidden, and stays hidden after a restart; a layout stored before the
// rate column existed keeps its columns and shows the new one at the end.
TEST_F(TrafficWindowTest, HiddenRateColumnAndAnOlderLayout) {
    {
        TRegistry registry(root_);
        ASSERT_TRUE(registry.OpenKey(kSettingsKeyPath, true));
        registry.WriteString("ChanelColumns", "4:90,0:100,1:100,2:120,3:100,5:100,6:150");
        ASSERT_TRUE(registry.CloseKey());
    }
    window_ = std::make_unique<TMainFrame>(std::make_unique<TRegistry>(root_));
    EXPECT_EQ(window_->ChanelListView->header()->logicalIndex(0), 4);
    EXPECT_EQ(window_->ChanelListView->columnWidth(4), 90);
    EXPECT_EQ(window_->ChanelListView->header()->logicalIndex(kChanelRateColumn), kChanelRateColumn);
    EXPECT_EQ(window_->ChanelListView->columnWidth(kChanelRateColumn), 170);
    EXPECT_FALSE(window_->ChanelListView->isColumnHidden(kChanelRateColumn));

    window_->ClientListView->setColumnHidden(kClientRateColumn, true);
    window_->close();
    window_ = std::make_unique<TMainFrame>(std::make_unique<TRegistry>(root_));
    EXPECT_TRUE(window_->ClientListView->isColumnHidden(kClientRateColumn));
    EXPECT_FALSE(window_->ChanelListView->isColumnHidden(kChanelRateColumn));
    EXPECT_EQ(window_->ChanelListView->header()->logicalIndex(0), 4);
}

}  // namespace
}  // namespace telv
