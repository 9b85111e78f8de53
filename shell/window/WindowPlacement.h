// Where the main window appears when it is first shown: exactly where the operator left it when
// that place still lies on a screen, otherwise centred.
#pragma once

#include "WindowLayout.h"

#include <QRect>

#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace telv {

// The screens as the placement sees them.
struct ScreenAreas {
    QRect Home;              // available area of the screen that holds the window
    QRect Primary;           // available area of the primary screen
    std::vector<QRect> All;  // every screen, whole
};

// A stored interior lies on a screen when its top strip, this high and at least this wide (all
// of it in a smaller window), is on that screen: enough to see the window and take hold of it.
inline constexpr int kMinVisibleWidth = 100;
inline constexpr int kMinVisibleHeight = 50;

bool LiesOnScreen(const QRect& interior, const std::vector<QRect>& screens);

// The interior for the first show. A stored interior that lies on a screen is kept as it is.
// Otherwise the window is centred, no bigger than the screen: with nothing stored, at `size` on
// the home screen; with a stored place off every screen, at the stored size on the primary one.
QRect InitialInterior(const std::optional<QRect>& stored, const QSize& size, const ScreenAreas& screens);

// Places a window that is not shown yet, maximized again when it was.
void PlaceWindow(QWidget& window, const std::optional<WindowPlace>& stored);

// The window's place to store: its interior in the normal state and whether it is maximized.
WindowPlace PlaceOf(const QWidget& window);

// The place kept by earlier versions as base64 of Qt's geometry record; nothing when the record
// cannot be read.
std::optional<WindowPlace> PlaceFromGeometryRecord(QWidget& window, const std::string& base64);

}  // namespace telv
