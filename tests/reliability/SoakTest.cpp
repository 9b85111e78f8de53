// The whole window for a bounded time (TELV_SOAK_SECONDS; by default a minute against a churning
// simulator with frequent notices, a quarter of a minute for each of the other runs):
// - against the churn, resident memory must not grow by more than a stated bound between the
//   moment the tables have filled and the end, and the window must keep up;
// - against a flood of notices and text messages, the event loop must never stall long (an
//   in-process latency probe: a 5 ms timer measuring its own lateness);
// - against a server sending long text messages without pause, resident memory must stay flat
//   once the log pane has reached its byte bound.
// The stall and memory figures are printed; their bounds are checked only where they mean
// something (not under the sanitizers, whose instrumentation and allocator change both).
#include "LogKeeper.h"
#include "LogText.h"
#include "LoopLatencyProbe.h"
#include "MainForm.h"
#include "ScriptedServer.h"
#include "ServerSide.h"
#include "TestApplication.h"
#include "TestSupport.h"
#include "TrafficChart.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeView>
#include <gtest/gtest.h>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace telv {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kDevices = 20000;
constexpr std::uint32_t kClients = 200;
constexpr double kChurnPerSecond = 400;
constexpr double kNoticeSeconds = 0.05;
// Growth allowed between the first and the last reading: allocator slack, and the tables'
// containers reaching the size of a population that churn moves around.
constexpr double kGrowthBoundMiB = 16;

// Under AddressSanitizer freed memory is held back on purpose (its quarantine), so resident
// memory says nothing of what the console holds; the run still looks for memory errors.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kResidentMemoryMeaningful = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kResidentMemoryMeaningful = false;
#else
constexpr bool kResidentMemoryMeaningful = true;
#endif
#else
constexpr bool kResidentMemoryMeaningful = true;
#endif
// Stalls of the event loop are a property of the optimised program.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__) || !defined(NDEBUG)
constexpr bool kStallsMeaningful = false;
#else
constexpr bool kStallsMeaningful = true;
#endif

double ResidentMiB() {
    ::malloc_trim(0);  // freed memory goes back, so that only what is held is counted
    std::ifstream statm("/proc/self/statm");
    std::uint64_t size = 0, resident = 0;
    statm >> size >> resident;
    return static_cast<double>(resident * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE))) / (1024.0 * 1024.0);
}

std::chrono::seconds SoakDuration(int defaultSeconds = 60) {
    const char* text = std::getenv("TELV_SOAK_SECONDS");
    const int seconds = text ? std::atoi(text) : 0;
    return std::chrono::seconds(seconds > 0 ? seconds : defaultSeconds);
}

// The length of the flood and long-text runs unless TELV_SOAK_SECONDS says otherwise.
constexpr int kShortRunSeconds = 15;

// A settings folder of its own, removed again at the end.
class TempRoot {
public:
    explicit TempRoot(const std::string& name)
        : path_(std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()))) {
        std::filesystem::remove_all(path_);
    }
    ~TempRoot() { std::filesystem::remove_all(path_); }
    TempRoot(const TempRoot&) = delete;
    TempRoot& operator=(const TempRoot&) = delete;
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

TEST(Soak, ChurningServerForMinutesKeepsMemoryBoundedAndRowsCurrent) {
    test::EnsureApplication<QApplication>("soak_tests");

    sim::SimOptions options = test::QuietOptions(kDevices, kClients);
    options.churnPerSecond = kChurnPerSecond;
    options.noticeIntervalSeconds = kNoticeSeconds;
    test::RunningSimulator simulator(options);
    ASSERT_TRUE(simulator.Started()) << simulator.Error();

    const auto root = std::filesystem::temp_directory_path() / ("telv-soak-" + std::to_string(::getpid()));
    std::filesystem::remove_all(root);
    {
        TMainFrame window(std::make_unique<TRegistry>(root));
        window.show();
        window.UpDown->setValue(1);
        window.AddrEdit->setCurrentText("127.0.0.1");
        window.PortEdit->setText(QString::number(simulator.Port()));
        window.Controller().ConnectDisconectActionExecute();

        const auto filled = [&] {
            return window.Controller().State == Running &&
                   window.ChanelRows().Count() >= static_cast<int>(kDevices) * 9 / 10 &&
                   window.ClientRows().Count() > static_cast<int>(kClients) / 2;
        };
        ASSERT_TRUE(test::PumpUntil(filled, 30s));
        // The traffic chart is shown and follows eight rows, which churn takes away one by one.
        for (int i = 0; i < TrafficChart::kMaxRows; ++i) window.ChanelRows().SetSelected(*window.ChanelRows().Item(i), true);
        window.ShowSelectedOnChart(window.ChanelListView);
        ASSERT_EQ(window.Traffic->Followed().size(), static_cast<std::size_t>(TrafficChart::kMaxRows));
        window.PageControl1->setCurrentWidget(window.Traffic);
        const std::size_t chartBytes = window.Traffic->History().MemoryBytes();
        test::PumpFor(5s);  // a few refreshes, so that every buffer has reached its working size
        // The log pane holds up to its line limit by design; it is emptied before each reading so
        // that the readings compare what the connection and the tables hold.
        const auto resident = [&] {
            window.ConsoleMemo->Clear();
            QCoreApplication::processEvents();
            return ResidentMiB();
        };
        const double first = resident();

        const auto end = Clock::now() + SoakDuration();
        int refreshes = 0;
        while (Clock::now() < end) {
            // Each statistics pass changes the traffic totals in the first status panel.
            const QString before = window.StatusPanel[0]->text();
            test::PumpUntil([&] { return window.StatusPanel[0]->text() != before; }, 5s);
            ASSERT_EQ(window.Controller().State, Running);
            ++refreshes;
        }
        EXPECT_LE(window.ConsoleMemo->Kept().Count(), TMainFrame::kMaxLogLines);
        const double last = resident();

        if (kResidentMemoryMeaningful) {
            EXPECT_LE(last - first, kGrowthBoundMiB) << "resident " << first << " MiB -> " << last << " MiB";
        }
        EXPECT_GE(refreshes, static_cast<int>(SoakDuration().count()) / 2) << "the window fell behind";
        EXPECT_EQ(window.Traffic->History().MemoryBytes(), chartBytes);
        EXPECT_EQ(window.Traffic->Followed().size(), static_cast<std::size_t>(TrafficChart::kMaxRows));
        // Rows follow the population: churn replaces devices, it does not add them.
        EXPECT_LE(window.ChanelRows().Count(), static_cast<int>(kDevices));
        // A statistics pass removes the rows of vanished devices; the last full list keeps their records.
        EXPECT_EQ(static_cast<std::size_t>(window.ChanelRows().Count()), window.Tables().ChanelItems.size());
        for (int i = 0; i < window.ChanelRows().Count(); ++i)
            ASSERT_EQ(window.Tables().ChanelData.count(static_cast<Handle>(window.ChanelRows().Item(i)->Data)), 1u);
        std::printf("soak: %d refreshes, resident %.1f MiB -> %.1f MiB, %d channel rows\n", refreshes, first, last,
                    window.ChanelRows().Count());
    }
    std::filesystem::remove_all(root);
}

// Under a flood of notices and text messages from a churning population the window's event loop
// keeps turning: no turn holds it past the stall bound, and nearly all stay far below. The goal
// (100 ms at most, 99 % within 50 ms) holds on a quiet machine; beside other tests on two busy
// cores the check is a ceiling ten times as far (a window frozen by its log took seconds) unless
// TELV_SOAK_STRICT=1 asks for the goal itself. With the log file on, the same holds, and the file
// ends with the lines the pane ends with once the window has closed.
class FloodSoak : public ::testing::TestWithParam<bool> {};

TEST_P(FloodSoak, FloodKeepsTheEventLoopResponsive) {
    test::EnsureApplication<QApplication>("soak_tests");
    constexpr double kGoalMaxStallMs = 100;
    constexpr double kGoalP99StallMs = 50;
    const bool strict = qEnvironmentVariableIntValue("TELV_SOAK_STRICT") == 1;
    const double maxStallMs = strict ? kGoalMaxStallMs : 10 * kGoalMaxStallMs;
    const double p99StallMs = strict ? kGoalP99StallMs : 5 * kGoalP99StallMs;
    const bool logFile = GetParam();

    sim::SimOptions options = test::QuietOptions(2000, 20);
    options.churnPerSecond = 50;
    options.flood = true;
    test::RunningSimulator simulator(options);
    ASSERT_TRUE(simulator.Started()) << simulator.Error();

    const TempRoot root("telv-soak-flood");
    TMainFrame window(std::make_unique<TRegistry>(root.Path()));
    window.LogToFileAction->setChecked(logFile);
    window.show();
    window.AddrEdit->setCurrentText("127.0.0.1");
    window.PortEdit->setText(QString::number(simulator.Port()));
    window.Controller().ConnectDisconectActionExecute();
    ASSERT_TRUE(test::PumpUntil([&] { return window.Controller().State == Running; }, 30s));

    test::LoopLatencyProbe probe;
    probe.Start();
    test::PumpFor(SoakDuration(kShortRunSeconds));
    probe.Stop();
    EXPECT_EQ(window.Controller().State, Running);
    std::printf("flood%s: %zu probe ticks, event-loop stall max %.1f ms (goal %.0f), p99 %.1f ms (goal %.0f), "
                "busy %.0f %%\n",
                logFile ? " with the log file" : "", probe.Samples(), probe.MaxMs(), kGoalMaxStallMs,
                probe.PercentileMs(0.99), kGoalP99StallMs, 100 * probe.BusyShare());
    if (kStallsMeaningful) {
        EXPECT_LE(probe.MaxMs(), maxStallMs);
        EXPECT_LE(probe.PercentileMs(0.99), p99StallMs);
    }
    if (!logFile) return;
    window.close();
    window.ConsoleMemo->Flush();
    const QStringList lines = window.ConsoleMemo->Lines();
    ASSERT_GT(lines.size(), 1000);
    // The day's files in order (the run may pass midnight).
    QByteArray written;
    const QDir folder(window.LogFile().Directory());
    for (const QString& name : folder.entryList({"telv-console-*.log"}, QDir::Files, QDir::Name)) {
        QFile file(folder.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        written += file.readAll();
    }
    EXPECT_TRUE(written.endsWith(LogText(lines.mid(lines.size() - 1000))));
    std::printf("flood with the log file: %.1f MB written\n", static_cast<double>(written.size()) / 1e6);
}

INSTANTIATE_TEST_SUITE_P(Soak, FloodSoak, ::testing::Bool(), [](const ::testing::TestParamInfo<bool>& param) {
    return std::string(param.param ? "LogFileOn" : "LogFileOff");
});

// A server sending a 65,535-byte text message every 10 ms: once the log pane holds its byte
// bound, memory stays where it is.
TEST(Soak, LongTextMessagesKeepMemoryFlat) {
    test::EnsureApplication<QApplication>("soak_tests");
    // The log pane's text bound, plus the receive buffer, transient copies and allocator slack.
    constexpr double kTextGrowthBoundMiB = 64 + 48;
    constexpr double kResidentBoundMiB = 300;

    test::ScriptedServer server;
    const TempRoot root("telv-soak-long-texts");
    TMainFrame window(std::make_unique<TRegistry>(root.Path()));
    window.show();
    window.AddrEdit->setCurrentText("127.0.0.1");
    window.PortEdit->setText(QString::number(server.Port()));
    window.Controller().ConnectDisconectActionExecute();
    ASSERT_TRUE(test::PumpUntil([&] { return server.Accept() && window.Controller().State == WaitingHello; }, 10s));
    Bytes handshake = server::EncodeServerVersion(2, 4, 0, 31);
    const Bytes ack = server::EncodeAck();
    handshake.insert(handshake.end(), ack.begin(), ack.end());
    ASSERT_TRUE(server.Send(handshake));
    ASSERT_TRUE(test::PumpUntil([&] { return window.Controller().State == Running; }, 10s));
    test::PumpFor(500ms);
    const double first = ResidentMiB();

    // Cyrillic in CP1251: two bytes a character once in the log.
    std::string text(65535, '\xE0');
    for (std::size_t i = 0; i < text.size(); i += 64) text[i] = static_cast<char>('0' + i % 10);
    const Bytes message = server::EncodeTextMessage(text);
    const auto end = Clock::now() + SoakDuration(kShortRunSeconds);
    std::atomic<bool> sending = true;
    std::atomic<int> sent = 0;
    std::thread sender([&] {
        for (auto next = Clock::now(); sending && Clock::now() < end; next += 10ms) {
            if (!server.Send(message)) break;
            ++sent;
            std::this_thread::sleep_until(next + 10ms);
        }
        sending = false;
    });
    double peak = first;
    while (sending) {
        test::PumpFor(1s);
        peak = std::max(peak, ResidentMiB());
    }
    sender.join();
    test::PumpFor(500ms);
    const double last = ResidentMiB();
    peak = std::max(peak, last);
    EXPECT_EQ(window.Controller().State, Running);
    std::printf("long texts: %d messages of 65,535 bytes, resident %.1f MiB -> peak %.1f MiB -> %.1f MiB\n",
                sent.load(), first, peak, last);
    if (kResidentMemoryMeaningful) {
        EXPECT_LE(peak - first, kTextGrowthBoundMiB) << "resident " << first << " MiB -> peak " << peak << " MiB";
        EXPECT_LE(peak, kResidentBoundMiB);
    }
}

}  // namespace
}  // namespace telv
