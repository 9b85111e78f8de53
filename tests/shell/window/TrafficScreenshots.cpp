// Pictures of the rate column and the traffic tab for docs/: the window against the simulator for
// a while, three rows followed on the chart. Not a test; run it under Xvfb:
//   xvfb-run -a -s "-screen 0 1280x900x24" build/tests/shell/window/traffic_screenshots docs [suffix] [seconds]
// (TELV_COLOR_SCHEME=dark and QT_SCALE_FACTOR=2 give the other pictures).
#include "ColorScheme.h"
#include "MainForm.h"
#include "RowTexts.h"
#include "TestSupport.h"
#include "TrafficChart.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeView>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char* argv[]) {
    using namespace std::chrono_literals;
    if (argc < 2) {
        std::fprintf(stderr, "usage: traffic_screenshots <folder> [suffix] [seconds]\n");
        return 2;
    }
    const QString folder = argv[1];
    const QString suffix = argc > 2 ? argv[2] : "";
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 40;
    telv::TAsyncSocket::SockInit();
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    telv::ApplyColorScheme();

    telv::sim::SimOptions options = telv::test::QuietOptions(400, 12);
    options.churnPerSecond = 0.5;
    telv::test::RunningSimulator simulator(options);
    if (!simulator.Started()) return 1;

    const auto root = std::filesystem::temp_directory_path() / ("telv-shots-" + std::to_string(::getpid()));
    int result = 0;
    {
        telv::TMainFrame window(std::make_unique<telv::TRegistry>(root));
        window.resize(1180, 640);
        window.show();
        window.UpDown->setValue(1);
        window.PortEdit->setText(QString::number(simulator.Port()));
        window.ConnectButton->click();
        telv::test::PumpUntil([&] { return window.ChanelRows().Count() > 300; }, 20s);
        telv::test::PumpFor(3s);
        for (int i = 0; i < 3; ++i) window.ChanelRows().SetSelected(*window.ChanelRows().Item(i * 7), true);
        window.ShowSelectedOnChart(window.ChanelListView);
        telv::test::PumpFor(std::chrono::seconds(seconds));

        // The rate column, sorted by it, greatest first.
        window.ChanelListView->header()->sectionClicked(telv::kChanelRateColumn);
        window.ChanelListView->header()->sectionClicked(telv::kChanelRateColumn);
        window.ChanelListView->scrollToTop();
        window.ChanelListView->horizontalScrollBar()->setValue(window.ChanelListView->horizontalScrollBar()->maximum());
        QApplication::processEvents();
        if (!window.grab().save(folder + "/rates" + suffix + ".png")) result = 1;
        window.PageControl1->setCurrentWidget(window.Traffic);
        telv::test::PumpFor(1500ms);
        if (!window.grab().save(folder + "/traffic" + suffix + ".png")) result = 1;
    }
    std::filesystem::remove_all(root);
    return result;
}
