// The window under the offscreen platform: how long the GUI thread is busy when a statistics
// message for 100,000 shown rows arrives, from the bytes entering the controller to the view
// having repainted. The baseline is a repaint of the same view with nothing changed.
#include "BenchData.h"
#include "BenchTiming.h"
#include "MainForm.h"
#include "PaintCounter.h"
#include "TrafficChart.h"
#include "WindowBenchMain.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QTabWidget>
#include <QTreeView>

#include <filesystem>
#include <memory>
#include <unistd.h>

namespace telv::bench {

constexpr std::uint32_t kShownRows = 100000;

// One window for the whole run, shown, with 100,000 channels and 100,000 clients received
// through the controller as from a running connection.
class ShownWindow {
public:
    ShownWindow()
        : root_(std::filesystem::temp_directory_path() / ("telv-bench-window-" + std::to_string(::getpid()))) {
        window_ = std::make_unique<TMainFrame>(std::make_unique<TRegistry>(root_));
        window_->resize(1200, 800);
        window_->show();
        const PopulationMessages& m = Messages(kShownRows, kShownRows);
        window_->Controller().State = Running;
        Feed(m.chanelList);
        Feed(m.clientList);
        QApplication::processEvents();
        window_->ChanelListView->viewport()->installEventFilter(&chanelPaints);
        window_->ClientListView->viewport()->installEventFilter(&clientPaints);
    }
    ~ShownWindow() {
        window_.reset();
        std::filesystem::remove_all(root_);
    }

    void Feed(const Bytes& message) { window_->Controller().BytesReceived(message.data(), message.size()); }
    TMainFrame& Window() { return *window_; }
    void ShowTab(int index) {
        window_->PageControl1->setCurrentIndex(index);
        QApplication::processEvents();
    }

    PaintCounter chanelPaints;
    PaintCounter clientPaints;

private:
    std::filesystem::path root_;
    std::unique_ptr<TMainFrame> window_;
};

// Built at first use, freed before the application object goes.
std::unique_ptr<ShownWindow> gShown;

namespace {

ShownWindow& Shown() {
    if (!gShown) gShown = std::make_unique<ShownWindow>();
    return *gShown;
}

void CheckRows(benchmark::State& state, const TListView& rows, int expected) {
    if (rows.Count() != expected) state.SkipWithError("rows missing");
}

void BM_WindowRepaint(benchmark::State& state) {
    ShownWindow& w = Shown();
    w.ShowTab(0);
    QWidget* viewport = w.Window().ChanelListView->viewport();
    const int before = w.chanelPaints.paints;
    for (auto _ : state) {
        TimeIteration(state, [&] {
            viewport->update();
            QApplication::processEvents();
        });
    }
    state.counters["paints"] = w.chanelPaints.paints - before;
}

void BM_WindowChanelStatistics(benchmark::State& state) {
    ShownWindow& w = Shown();
    w.ShowTab(0);
    const PopulationMessages& m = Messages(kShownRows, kShownRows);
    const int before = w.chanelPaints.paints;
    bool later = false;
    for (auto _ : state) {
        const Bytes& message = later ? m.laterChanelStatistics : m.chanelStatistics;
        later = !later;
        TimeIteration(state, [&] {
            w.Feed(message);
            QApplication::processEvents();
        });
    }
    state.counters["paints"] = w.chanelPaints.paints - before;
    CheckRows(state, w.Window().ChanelRows(), static_cast<int>(kShownRows));
}

void BM_WindowClientStatistics(benchmark::State& state) {
    ShownWindow& w = Shown();
    w.ShowTab(1);
    const PopulationMessages& m = Messages(kShownRows, kShownRows);
    const int before = w.clientPaints.paints;
    for (auto _ : state) {
        TimeIteration(state, [&] {
            w.Feed(m.clientStatistics);
            QApplication::processEvents();
        });
    }
    state.counters["paints"] = w.clientPaints.paints - before;
    CheckRows(state, w.Window().ClientRows(), static_cast<int>(kShownRows));
}

// The traffic chart at its 24 h range with a full day of samples at one a second, the totals and
// state.range(0) followed rows (0 or 8): one more sample, redrawn and repainted.
void BM_ChartAppend24h(benchmark::State& state) {
    RecordTables tables;
    std::vector<TELV_UDP_FULL_CHANEL_DATA> list(TrafficChart::kMaxRows);
    for (std::size_t k = 0; k < list.size(); ++k) list[k].SetChanelHandle(static_cast<Handle>(k + 1));
    Bytes bytes;
    for (const auto& r : list) bytes.insert(bytes.end(), r.Bytes.begin(), r.Bytes.end());
    tables.ReplaceChanels({bytes.data(), static_cast<std::uint32_t>(list.size())});
    tables.RebuildRows();
    TrafficChart chart;
    for (std::int64_t k = 0; k < state.range(0); ++k)
        chart.FollowRow({false, static_cast<Handle>(k + 1), QString("row %1").arg(k)});
    chart.SetRange(ChartRange::OneDay);
    std::int64_t now = 1'700'000'000'000;
    std::uint32_t step = 0;
    const auto vary = [&] {
        ++step;
        tables.ChanelRates = {1000u + step % 977 * 10, 500u + step % 331, 100};
        tables.ClientRates = {2000u + step % 601, 900u + step % 97, 10};
        for (std::size_t k = 0; k < tables.LiveChanels.size(); ++k) {
            LiveRow& row = tables.LiveChanels[k];
            row.Rates.Known = true;
            row.Rates.Rates = {static_cast<std::uint32_t>(100 * k + step % 53), static_cast<std::uint32_t>(step % 17)};
        }
    };
    for (int s = 0; s < 24 * 3600; ++s) {  // hidden: no redraws while filling
        vary();
        chart.AddSample(now += 1000, tables);
    }
    chart.resize(1200, 700);
    chart.show();
    QApplication::processEvents();
    PaintCounter paints;
    const auto views = chart.findChildren<QWidget*>();
    for (QWidget* w : views) w->installEventFilter(&paints);
    for (auto _ : state) {
        vary();
        TimeIteration(state, [&] {
            chart.AddSample(now += 1000, tables);
            QApplication::processEvents();
        });
    }
    state.counters["paints"] = paints.paints;
    state.counters["points"] = static_cast<double>(chart.History().BucketCount(ChartRange::OneDay, now - 86400000));
}

BENCHMARK(BM_WindowRepaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(20);
BENCHMARK(BM_WindowChanelStatistics)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(20);
BENCHMARK(BM_WindowClientStatistics)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(20);
BENCHMARK(BM_ChartAppend24h)->ArgName("rows")->Arg(0)->Arg(8)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(30);

}  // namespace
}  // namespace telv::bench

int main(int argc, char** argv) {
    return telv::bench::RunBenchmarksInApplication(argc, argv, [] { telv::bench::gShown.reset(); });
}
