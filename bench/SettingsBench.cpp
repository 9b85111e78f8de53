// Start-up and connect with a large settings file: a history of 150,000 servers (about 10 MB).
// Each figure is event-loop time: for start-up, making the window until its first paint (the
// history is read on the settings thread meanwhile; "loop_cpu_ms" is the event loop's own CPU
// time, "arrival_stall_ms" the longest hold-up while the history is handed to the window); for
// a connect, the longest time the event loop was held up at once between the click and the
// server's rows on screen (the history is written meanwhile). Target: under 200 ms each.
#include "BenchTiming.h"
#include "ClientSettings.h"
#include "LateHistory.h"
#include "MainForm.h"
#include "Registry.h"
#include "Simulator.h"
#include "WindowBenchMain.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>

namespace telv::bench {
namespace {

namespace fs = std::filesystem;

constexpr int kHistoryEntries = 150000;

// A settings root holding the key with a history of `entries` servers, last changed an hour ago.
class LargeSettings {
public:
    explicit LargeSettings(int entries = kHistoryEntries)
        : root_(fs::temp_directory_path() /
                ("telv-bench-settings-" + std::to_string(::getpid()) + "-" + std::to_string(entries))) {
        TRegistry registry(root_);
        const fs::path file = *registry.KeyFilePath(kSettingsKeyPath);
        fs::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary);
        out << "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Велартон\\TELV Клиент]\n"
               "\"ServerAddress\"=\"127.0.0.1\"\n\"ServerPort\"=\"5100\"\n";
        char line[128];
        std::snprintf(line, sizeof line, "\"ServerListCount\"=dword:%08x\n", entries);
        out << line;
        for (int i = 0; i < entries; ++i) {
            std::snprintf(line, sizeof line, "\"Server%03d\"=\"gateway-%06d.example.net\"\n\"Port%03d\"=dword:%08x\n", i,
                          i, i, 5100 + i % 1000);
            out << line;
        }
        out.close();
        fs::last_write_time(file, fs::last_write_time(file) - std::chrono::hours(1));
        bytes_ = fs::file_size(file);
    }
    ~LargeSettings() { fs::remove_all(root_); }
    const fs::path& Root() const { return root_; }
    std::uintmax_t Bytes() const { return bytes_; }

private:
    fs::path root_;
    std::uintmax_t bytes_ = 0;
};

LargeSettings& Settings() {
    static LargeSettings settings;
    return settings;
}

// The same key with a short history, for the window's own start-up cost.
LargeSettings& ShortSettings() {
    static LargeSettings settings(10);
    return settings;
}

// The longest wait between two turns of the event loop while it runs.
class StallProbe {
public:
    StallProbe() {
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            longest_ = std::max(longest_, clock_.nsecsElapsed());
            clock_.restart();
        });
    }
    void Start() {
        longest_ = 0;
        clock_.start();
        timer_.start();
    }
    double LongestSeconds() {
        timer_.stop();
        return static_cast<double>(std::max(longest_, clock_.nsecsElapsed())) / 1e9;
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
};

// CPU time of the calling thread, in seconds.
double ThreadCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

template <class Condition>
bool Pump(Condition done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// The part of start-up that reads the file: parsing the key and reading the settings from it.
void BM_ReadLongHistory(benchmark::State& state) {
    LargeSettings& settings = Settings();
    std::size_t history = 0;
    for (auto _ : state) {
        TRegistry registry(settings.Root());
        TimeIteration(state, [&] { history = ReadClientSettings(registry).History.size(); });
    }
    state.counters["history"] = static_cast<double>(history);
}

// What the window reads before it is shown from such a key: everything but the history, from a
// partial reading of the file. CPU time of the reading thread.
void BM_ReadWithoutHistory(benchmark::State& state) {
    LargeSettings& settings = Settings();
    for (auto _ : state) {
        TRegistry registry(settings.Root());
        HistoryLeftOut leftOut(registry);
        const double cpuBefore = ThreadCpuSeconds();
        const ClientSettings read = ReadClientSettings(registry, false);
        state.SetIterationTime(ThreadCpuSeconds() - cpuBefore);
        benchmark::DoNotOptimize(read);
    }
}

// Arg 1: the long history; 0: a short one (the window alone). The first repetition of a process
// also pays for the first window's set-up, as the program's start does.
void BM_StartUpWithLongHistory(benchmark::State& state) {
    LargeSettings& settings = state.range(0) ? Settings() : ShortSettings();
    const std::size_t entries = state.range(0) ? kHistoryEntries : 10;
    std::size_t history = 0;
    double loopCpu = 0;
    double arrivalStall = 0;
    StallProbe probe;
    for (auto _ : state) {
        std::unique_ptr<TMainFrame> window;
        const double cpuBefore = ThreadCpuSeconds();
        TimeIteration(state, [&] {
            window = std::make_unique<TMainFrame>(std::make_unique<TRegistry>(settings.Root()));
            window->show();
            QApplication::processEvents();
        });
        loopCpu = std::max(loopCpu, ThreadCpuSeconds() - cpuBefore);
        probe.Start();
        if (!Pump([&] { return window->HistoryRead(); })) state.SkipWithError("the history did not arrive");
        arrivalStall = std::max(arrivalStall, probe.LongestSeconds());
        history = window->Servers.size();
        window.reset();
    }
    state.counters["history"] = static_cast<double>(history);
    state.counters["loop_cpu_ms"] = loopCpu * 1e3;
    state.counters["arrival_stall_ms"] = arrivalStall * 1e3;
    state.counters["file_MB"] = static_cast<double>(settings.Bytes()) / (1 << 20);
    if (history != entries) state.SkipWithError("history entries lost");
}

void BM_ConnectWithLongHistory(benchmark::State& state) {
    LargeSettings& settings = Settings();
    sim::SimOptions options;
    options.listenPort = 0;
    options.devices = 3;
    options.clients = 1;
    options.noticeIntervalSeconds = 0;
    sim::Simulator simulator(options, {}, [](const std::string&) {});
    std::string error;
    if (!simulator.Start(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    simulator.RunInThread();
    TMainFrame window(std::make_unique<TRegistry>(settings.Root()));
    window.show();
    QApplication::processEvents();
    if (!Pump([&] { return window.HistoryRead(); })) state.SkipWithError("the history did not arrive");
    StallProbe probe;
    for (auto _ : state) {
        window.AddrEdit->setEditText("127.0.0.1");
        window.PortEdit->setText(QString::number(simulator.Port()));
        probe.Start();
        window.ConnectButton->click();
        const bool connected = Pump([&] { return window.Controller().State == Running && window.ChanelRows().Count() == 3; });
        state.SetIterationTime(probe.LongestSeconds());
        if (!connected) state.SkipWithError("no connection");
        window.ConnectButton->click();  // disconnect
        Pump([&] { return window.Controller().State == Disconnected; });
        window.FlushSettings();
    }
    state.counters["history"] = static_cast<double>(window.Servers.size());
    simulator.Stop();
    simulator.Join();
}

BENCHMARK(BM_ReadLongHistory)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);
BENCHMARK(BM_ReadWithoutHistory)->UseManualTime()->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(BM_StartUpWithLongHistory)->Arg(1)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);
BENCHMARK(BM_ConnectWithLongHistory)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);

}  // namespace
}  // namespace telv::bench

int main(int argc, char** argv) { return telv::bench::RunBenchmarksInApplication(argc, argv); }
