// A manual check of the window's place under a real display: starts the window several times in
// a row against a settings folder of its own, closing it after each start, and prints where each
// start put it. Optionally connects the last start to a server and saves a picture of it.
//
//   xvfb-run -a -s "-screen 0 1280x900x24" build/tests/shell/window/window_place_check
//       [--starts N] [--settings DIR] [--move X,Y] [--port PORT --seconds S --picture FILE]
//
// --move puts the window there after the first start, as the operator would drag it.
#include "MainForm.h"
#include "Registry.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <cstdio>
#include <memory>

namespace {

QString Text(const QRect& r) { return QString("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()); }

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions({{"starts", "Starts in a row.", "n", "3"},
                       {"settings", "Settings folder (a fresh one unless given).", "dir"},
                       {"move", "Place after the first start.", "x,y"},
                       {"port", "Connect the last start to this loopback port.", "port"},
                       {"seconds", "Time connected before the picture.", "s", "5"},
                       {"picture", "Save the last start's window to this PNG file.", "file"}});
    parser.process(app);
    QTemporaryDir fresh;
    const QString settings = parser.isSet("settings") ? parser.value("settings") : fresh.path();
    const int starts = parser.value("starts").toInt();
    const QScreen* screen = QGuiApplication::primaryScreen();
    std::printf("platform %s, screen %s, available %s\n", qPrintable(QGuiApplication::platformName()),
                qPrintable(Text(screen->geometry())), qPrintable(Text(screen->availableGeometry())));
    for (int start = 1; start <= starts; ++start) {
        telv::TMainFrame window(std::make_unique<telv::TRegistry>(std::filesystem::path(settings.toStdString())));
        window.show();
        if (!QTest::qWaitForWindowExposed(&window)) std::printf("start %d: window not exposed\n", start);
        telv::test::PumpFor(std::chrono::milliseconds(500));  // a window manager may still move it
        std::printf("start %d: interior %s, frame %s\n", start, qPrintable(Text(window.geometry())),
                    qPrintable(Text(window.frameGeometry())));
        if (start == 1 && parser.isSet("move")) {
            const QStringList at = parser.value("move").split(',');
            window.move(at.value(0).toInt(), at.value(1).toInt());
            telv::test::PumpFor(std::chrono::milliseconds(500));
            std::printf("moved: interior %s, frame %s\n", qPrintable(Text(window.geometry())),
                        qPrintable(Text(window.frameGeometry())));
        }
        if (start == starts && parser.isSet("port")) {
            window.PortEdit->setText(parser.value("port"));
            window.ConnectDisconectAction->trigger();
            telv::test::PumpFor(std::chrono::seconds(parser.value("seconds").toInt()));
        }
        if (start == starts && parser.isSet("picture")) {
            const QPixmap picture = window.screen()->grabWindow(window.winId());
            std::printf("picture %dx%d: %s\n", picture.width(), picture.height(),
                        picture.save(parser.value("picture")) ? "saved" : "not saved");
        }
        window.close();
    }
    return 0;
}
