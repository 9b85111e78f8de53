// The window under the offscreen platform: how long the GUI thread is busy when a statistics
// message for 100,000 shown rows arrives, from the bytes entering the controller to the view
// having repainted. The baseline is a repaint of the same view with nothing changed.
#include "BenchData.h"
#include "BenchTiming.h"
#include "MainForm.h"

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

// Counts the paints of a widget, so that each timed refresh is known to have repainted.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return QObject::eventFilter(watched, event);
    }
};

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

BENCHMARK(BM_WindowRepaint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(20);
BENCHMARK(BM_WindowChanelStatistics)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(20);
BENCHMARK(BM_WindowClientStatistics)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(20);

}  // namespace
}  // namespace telv::bench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    telv::bench::gShown.reset();
    benchmark::Shutdown();
    return 0;
}
