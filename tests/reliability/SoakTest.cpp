// The whole window against a churning simulator with frequent notices, for a bounded time
// (TELV_SOAK_SECONDS, default 60). Resident memory is read once the tables have filled and again
// at the end: it must not grow by more than a stated bound, and the window must keep up.
#include "MainForm.h"
#include "TestApplication.h"
#include "TestSupport.h"
#include "TrafficChart.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeView>
#include <gtest/gtest.h>

#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>

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

double ResidentMiB() {
    ::malloc_trim(0);  // freed memory goes back, so that only what is held is counted
    std::ifstream statm("/proc/self/statm");
    std::uint64_t size = 0, resident = 0;
    statm >> size >> resident;
    return static_cast<double>(resident * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE))) / (1024.0 * 1024.0);
}

std::chrono::seconds SoakDuration() {
    const char* text = std::getenv("TELV_SOAK_SECONDS");
    const int seconds = text ? std::atoi(text) : 0;
    return std::chrono::seconds(seconds > 0 ? seconds : 60);
}

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
            window.ConsoleMemo->clear();
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
        EXPECT_LE(window.ConsoleMemo->document()->blockCount(), TMainFrame::kMaxLogLines);
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

}  // namespace
}  // namespace telv
