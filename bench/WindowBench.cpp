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
#include <QHeaderView>
#include <QItemSelectionModel>
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

    test::PaintCounter chanelPaints;
    test::PaintCounter clientPaints;

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

// Selecting every channel row, as Ctrl+A does; clearing that selection; and a header click
// with every row selected (the selection follows its rows into the new order).
void BM_WindowSelectAll(benchmark::State& state) {
    ShownWindow& w = Shown();
    w.ShowTab(0);
    QTreeView* view = w.Window().ChanelListView;
    for (auto _ : state) {
        view->clearSelection();
        QApplication::processEvents();
        TimeIteration(state, [&] {
            view->selectAll();
            QApplication::processEvents();
        });
    }
    if (w.Window().ChanelRows().SelectedCount() != static_cast<int>(kShownRows)) state.SkipWithError("not all selected");
}

void BM_WindowDeselectAll(benchmark::State& state) {
    ShownWindow& w = Shown();
    w.ShowTab(0);
    QTreeView* view = w.Window().ChanelListView;
    for (auto _ : state) {
        view->selectAll();
        QApplication::processEvents();
        TimeIteration(state, [&] {
            view->clearSelection();
            QApplication::processEvents();
        });
    }
    if (w.Window().ChanelRows().SelectedCount() != 0) state.SkipWithError("rows still selected");
}

void BM_WindowSortAllSelected(benchmark::State& state) {
    ShownWindow& w = Shown();
    w.ShowTab(0);
    QTreeView* view = w.Window().ChanelListView;
    view->selectAll();
    QApplication::processEvents();
    int column = 0;
    for (auto _ : state) {
        column = column == 0 ? 4 : 0;
        TimeIteration(state, [&] {
            emit view->header()->sectionClicked(column);
            QApplication::processEvents();
        });
    }
    if (view->selectionModel()->selectedRows().size() != static_cast<qsizetype>(kShownRows))
        state.SkipWithError("the selection did not follow the rows");
    view->clearSelection();
}

// The traffic chart, shown at one range, filled with a full day of samples at one a second: the
// four total rates, the two row counts and 0 or 8 followed rows (6 or 22 lines).
class FilledChart {
public:
    FilledChart(ChartRange range, std::int64_t followed) {
        std::vector<TELV_UDP_FULL_CHANEL_DATA> list(TrafficChart::kMaxRows);
        for (std::size_t k = 0; k < list.size(); ++k) list[k].SetChanelHandle(static_cast<Handle>(k + 1));
        Bytes bytes;
        for (const auto& r : list) bytes.insert(bytes.end(), r.Bytes.begin(), r.Bytes.end());
        tables_.ReplaceChanels({bytes.data(), static_cast<std::uint32_t>(list.size())});
        tables_.RebuildRows();
        for (std::int64_t k = 0; k < followed; ++k)
            chart_.FollowRow({false, static_cast<Handle>(k + 1), QString("row %1").arg(k)});
        chart_.SetRange(range);
        for (int s = 0; s < 24 * 3600; ++s) {  // hidden: no redraws while filling
            Vary();
            chart_.AddSample(now_ += 1000, tables_);
        }
        chart_.resize(1200, 700);
        chart_.show();
        QApplication::processEvents();
        for (QWidget* w : chart_.findChildren<QWidget*>()) w->installEventFilter(&paints);
    }

    // New values in every series, as a statistics pass gives them.
    void Vary() {
        ++step_;
        tables_.ChanelRates = {1000u + step_ % 977 * 10, 500u + step_ % 331, 100};
        tables_.ClientRates = {2000u + step_ % 601, 900u + step_ % 97, 10};
        for (std::size_t k = 0; k < tables_.LiveChanels.size(); ++k) {
            LiveRow& row = tables_.LiveChanels[k];
            row.Rates.Known = true;
            row.Rates.Rates = {static_cast<std::uint32_t>(100 * k + step_ % 53), static_cast<std::uint32_t>(step_ % 17)};
        }
    }
    // Whether a sample one second after the last one starts a new point of the shown range.
    bool NextOpensPoint() const {
        const std::int64_t bucket = ResolutionOf(chart_.Range()).BucketMs;
        return (now_ + 1000) / bucket != now_ / bucket;
    }
    // Moves the clock to the last second of the open point, with one sample there.
    void ToEndOfPoint() {
        const std::int64_t bucket = ResolutionOf(chart_.Range()).BucketMs;
        const std::int64_t last = (now_ / bucket + 1) * bucket - 1000;
        if (last <= now_) return;
        now_ = last - 1000;
        Sample();
    }
    // One more sample, redrawn and painted.
    void Sample() {
        Vary();
        chart_.AddSample(now_ += 1000, tables_);
        QApplication::processEvents();
    }
    std::size_t Points() const {
        return chart_.History().BucketCount(chart_.Range(), now_ - ResolutionOf(chart_.Range()).SpanMs);
    }

    test::PaintCounter paints;

private:
    RecordTables tables_;
    TrafficChart chart_;
    std::int64_t now_ = 1'700'000'000'000;
    std::uint32_t step_ = 0;
};

// One chart for the benchmarks of one range and number of rows, freed before the application.
std::unique_ptr<FilledChart> gChart;
std::pair<int, std::int64_t> gChartKey{-1, -1};

FilledChart& ChartFor(int range, std::int64_t followed) {
    if (!gChart || gChartKey != std::pair{range, followed}) {
        gChart.reset();
        gChart = std::make_unique<FilledChart>(static_cast<ChartRange>(range), followed);
        gChartKey = {range, followed};
    }
    return *gChart;
}

// The GUI time of one refresh of the chart: a sample added, the chart redrawn and painted.
// Arguments: the range (0: 5 min, 1: 1 h, 2: 24 h), the followed rows, and whether the timed
// sample opens a new point of the range (every second at 5 min, every 10 s at 1 h, every 4 min
// at 24 h: the time axis moves by one point then) or updates the open one.
void BM_ChartRefresh(benchmark::State& state) {
    FilledChart& chart = ChartFor(static_cast<int>(state.range(0)), state.range(1));
    const bool newPoint = state.range(2) != 0;
    const int before = chart.paints.paints;
    for (auto _ : state) {
        state.PauseTiming();
        if (newPoint)
            chart.ToEndOfPoint();
        else if (chart.NextOpensPoint())
            chart.Sample();
        state.ResumeTiming();
        TimeIteration(state, [&] { chart.Sample(); });
    }
    state.counters["paints"] = chart.paints.paints - before;
    state.counters["points"] = static_cast<double>(chart.Points());
}

void ChartCases(benchmark::internal::Benchmark* b) {
    for (std::int64_t range : {0, 1, 2})
        for (std::int64_t rows : {0, 8})
            for (std::int64_t newPoint : {0, 1})
                if (newPoint || range != 0) b->Args({range, rows, newPoint});  // 5 min: a new point every second
}

BENCHMARK(BM_WindowRepaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(20);
BENCHMARK(BM_WindowChanelStatistics)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(20);
BENCHMARK(BM_WindowClientStatistics)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(20);
BENCHMARK(BM_WindowSelectAll)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(10);
BENCHMARK(BM_WindowDeselectAll)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(10);
BENCHMARK(BM_WindowSortAllSelected)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(10);
BENCHMARK(BM_ChartRefresh)
    ->ArgNames({"range", "rows", "new_point"})
    ->Apply(ChartCases)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(30);

}  // namespace
}  // namespace telv::bench

int main(int argc, char** argv) {
    return telv::bench::RunBenchmarksInApplication(argc, argv, [] {
        telv::bench::gShown.reset();
        telv::bench::gChart.reset();
    });
}
