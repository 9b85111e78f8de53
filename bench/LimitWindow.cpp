// The window at the protocol's limit, as the operator feels it: 1,048,560 channels and 100,000
// clients from telv-sim (a separate process, so that its memory is not counted) over loopback,
// the real window under the offscreen platform. An event-loop latency probe measures the stalls
// while statistics refresh every second, and the stall of a header click (sort), a filter text,
// and selecting every row; besides, the time from the connect click to the first rows painted
// and the resident memory. Prints one JSON object.
//
//   telv_bench_limit <path of telv-sim> [<output JSON file>]
#include "BenchData.h"
#include "LoopLatencyProbe.h"
#include "MainForm.h"
#include "PaintCounter.h"
#include "WindowBenchMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeView>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace telv::bench {
namespace {

constexpr std::uint32_t kSimulatedClients = kFullClients - 1;  // the console is a client row too
constexpr int kRefreshSeconds = 10;                             // statistics refreshes at 1 s
// Until the first lists have been applied, every refresh asks for the full channel list again: at
// the limit two or three more lists are on their way when the first rows show. They are applied
// in the first seconds after, measured on their own; the refreshes are measured after them.
constexpr int kSettleSeconds = 5;

double Megabytes(std::uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

// telv-sim on any free loopback port; its log goes to a file, where the port is read.
class SimulatorProcess {
public:
    SimulatorProcess(const std::string& program, const std::filesystem::path& log) {
        std::vector<std::string> args = {program, "--listen", "127.0.0.1:0", "--devices",
                                         std::to_string(kFullChanels), "--clients", std::to_string(kSimulatedClients),
                                         "--notice-interval", "0"};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        const std::regex listening("listening on 127\\.0\\.0\\.1:([0-9]+)");
        for (int i = 0; pid_ > 0 && port_ == 0 && i < 600; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            std::ifstream in(log);
            std::string line;
            std::smatch match;
            while (std::getline(in, line))
                if (std::regex_search(line, match, listening)) port_ = std::stoi(match[1]);
        }
    }
    ~SimulatorProcess() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    int Port() const { return port_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

template <class Condition>
bool PumpUntil(Condition done, int limitMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > limitMs) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Milliseconds the event loop was held by `action`, and until the view painted after it.
struct ActionTimes {
    double stallMs = 0;
    double shownMs = 0;
};

template <class Action>
ActionTimes TimeAction(test::PaintCounter& paints, Action action) {
    QApplication::processEvents();
    const int before = paints.paints;
    QElapsedTimer timer;
    timer.start();
    action();
    ActionTimes t;
    t.stallMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    PumpUntil([&] { return paints.paints > before; }, 10000);
    t.shownMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    return t;
}

int Run(const std::string& simProgram, const std::string& outPath) {
    const auto root = std::filesystem::temp_directory_path() / ("telv-bench-limit-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root);
    int result = 1;
    {
        SimulatorProcess sim(simProgram, root / "sim.log");
        if (sim.Port() == 0) {
            std::fprintf(stderr, "telv_bench_limit: telv-sim did not start\n");
            std::filesystem::remove_all(root);
            return 1;
        }
        auto window = std::make_unique<TMainFrame>(std::make_unique<TRegistry>(root / "registry"));
        window->resize(1200, 800);
        window->show();
        QApplication::processEvents();
        const std::uint64_t emptyResident = ResidentBytes();
        test::PaintCounter chanelPaints;
        window->ChanelListView->viewport()->installEventFilter(&chanelPaints);

        window->AddrEdit->setEditText("127.0.0.1");
        window->PortEdit->setText(QString::number(sim.Port()));
        window->AutoRequest->setChecked(true);
        window->UpDown->setValue(1);
        QElapsedTimer timer;
        timer.start();
        window->ConnectDisconectAction->trigger();
        int paintsBefore = chanelPaints.paints;
        const bool painted = PumpUntil(
            [&] {
                if (window->ChanelRows().Count() == 0) paintsBefore = chanelPaints.paints;
                return window->ChanelRows().Count() > 0 && chanelPaints.paints > paintsBefore;
            },
            180000);
        const double secondsToFirstRows = static_cast<double>(timer.elapsed()) / 1000.0;
        const bool shown = painted && PumpUntil(
            [&] {
                return window->ChanelRows().Count() == static_cast<int>(kFullChanels) &&
                       window->ClientRows().Count() == static_cast<int>(kFullClients);
            },
            180000);
        const double secondsToRows = static_cast<double>(timer.elapsed()) / 1000.0;

        test::LoopLatencyProbe settle(2);
        settle.Start();
        PumpUntil([] { return false; }, kSettleSeconds * 1000);
        settle.Stop();

        test::LoopLatencyProbe probe(2);
        probe.Start();
        PumpUntil([] { return false; }, kRefreshSeconds * 1000);
        probe.Stop();
        const std::uint64_t loadedResident = ResidentBytes();

        // The operator's actions, with the refresh paused so that each is timed alone.
        window->AutoRequest->setChecked(false);
        PumpUntil([] { return false; }, 1500);
        QHeaderView* header = window->ChanelListView->header();
        const ActionTimes sortByTime = TimeAction(chanelPaints, [&] { emit header->sectionClicked(4); });
        const ActionTimes sortById = TimeAction(chanelPaints, [&] { emit header->sectionClicked(0); });
        const ActionTimes filter = TimeAction(chanelPaints, [&] {
            window->ChanelFilter->setText("1");
            window->ApplyFilters();
        });
        window->ChanelFilter->setText("");
        window->ApplyFilters();
        const ActionTimes selectAll = TimeAction(chanelPaints, [&] { window->ChanelListView->selectAll(); });

        const std::uint64_t peakResident = PeakResidentBytes();
        const int chanelRows = window->ChanelRows().Count();
        const int clientRows = window->ClientRows().Count();
        window.reset();

        const double recordMegabytes = Megabytes(std::uint64_t{kFullChanels} * TELV_UDP_FULL_CHANEL_DATA::kSize +
                                                 std::uint64_t{kFullClients} * TELV_FULL_CLIENT_DATA::kSize);
        char json[2048];
        std::snprintf(json, sizeof json,
                      "{\"chanel_rows\": %d, \"client_rows\": %d, \"seconds_to_first_rows\": %.3f, "
                      "\"seconds_to_rows\": %.2f, \"settle_max_stall_ms\": %.1f, \"settle_busy_share\": %.3f, "
                      "\"refresh_max_stall_ms\": %.1f, \"refresh_p99_stall_ms\": %.1f, "
                      "\"refresh_busy_share\": %.3f, \"sort_time_stall_ms\": %.1f, \"sort_time_shown_ms\": %.1f, "
                      "\"sort_id_stall_ms\": %.1f, \"sort_id_shown_ms\": %.1f, \"filter_stall_ms\": %.1f, "
                      "\"filter_shown_ms\": %.1f, \"select_all_stall_ms\": %.1f, "
                      "\"empty_window_mb\": %.1f, \"resident_mb\": %.1f, \"peak_resident_mb\": %.1f, "
                      "\"record_bytes_mb\": %.1f}\n",
                      chanelRows, clientRows, secondsToFirstRows, secondsToRows, settle.MaxMs(), settle.BusyShare(),
                      probe.MaxMs(),
                      probe.PercentileMs(0.99), probe.BusyShare(), sortByTime.stallMs, sortByTime.shownMs,
                      sortById.stallMs, sortById.shownMs, filter.stallMs, filter.shownMs, selectAll.stallMs,
                      Megabytes(emptyResident), Megabytes(loadedResident), Megabytes(peakResident), recordMegabytes);
        std::fputs(json, stdout);
        if (!outPath.empty()) std::ofstream(outPath) << json;
        result = shown ? 0 : 1;
        if (!shown) std::fprintf(stderr, "telv_bench_limit: the tables were not filled in time\n");
    }
    std::filesystem::remove_all(root);
    return result;
}

}  // namespace
}  // namespace telv::bench

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: telv_bench_limit <path of telv-sim> [<output JSON file>]\n");
        return 2;
    }
    const std::string sim = argv[1];
    const std::string out = argc > 2 ? argv[2] : "";
    int qtArgc = 1;  // the arguments are the benchmark's own, not Qt's
    return telv::bench::RunInApplication(qtArgc, argv, [&] { return telv::bench::Run(sim, out); });
}
