#include "WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace telv {
namespace {

QRect Centred(const QSize& size, const QRect& area) {
    QRect interior(QPoint(0, 0), size.boundedTo(area.size()));
    interior.moveCenter(area.center());
    return interior;
}

ScreenAreas ScreensOf(const QWidget& window) {
    ScreenAreas areas;
    const QScreen* home = window.screen();
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (home) areas.Home = home->availableGeometry();
    if (primary) areas.Primary = primary->availableGeometry();
    for (const QScreen* screen : QGuiApplication::screens()) areas.All.push_back(screen->geometry());
    return areas;
}

}  // namespace

bool LiesOnScreen(const QRect& interior, const std::vector<QRect>& screens) {
    if (!interior.isValid()) return false;
    const QRect top(interior.topLeft(), QSize(interior.width(), std::min(interior.height(), kMinVisibleHeight)));
    return std::any_of(screens.begin(), screens.end(), [&](const QRect& screen) {
        const QRect shown = top.intersected(screen);
        return shown.height() == top.height() && shown.width() >= std::min(interior.width(), kMinVisibleWidth);
    });
}

QRect InitialInterior(const std::optional<QRect>& stored, const QSize& size, const ScreenAreas& screens) {
    if (!stored) return Centred(size, screens.Home.isValid() ? screens.Home : screens.Primary);
    if (LiesOnScreen(*stored, screens.All)) return *stored;
    return Centred(stored->size(), screens.Primary);
}

void PlaceWindow(QWidget& window, const std::optional<WindowPlace>& stored) {
    std::optional<QRect> interior;
    if (stored) interior = QRect(stored->X, stored->Y, stored->Width, stored->Height);
    // The window opens no smaller than its layout allows.
    const QSize size = window.size().expandedTo(window.minimumSizeHint());
    window.setGeometry(InitialInterior(interior, size, ScreensOf(window)));
    if (stored && stored->Maximized) window.setWindowState(window.windowState() | Qt::WindowMaximized);
}

WindowPlace PlaceOf(const QWidget& window) {
    const QRect normal = window.normalGeometry();
    return {normal.x(), normal.y(), normal.width(), normal.height(), window.isMaximized()};
}

std::optional<WindowPlace> PlaceFromGeometryRecord(QWidget& window, const std::string& base64) {
    const auto record =
        QByteArray::fromBase64Encoding(QByteArray::fromStdString(base64), QByteArray::AbortOnBase64DecodingErrors);
    if (!record || !window.restoreGeometry(*record)) return std::nullopt;
    return PlaceOf(window);
}

}  // namespace telv
