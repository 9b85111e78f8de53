// Counts the paints of a widget, so that a timed change is known to have reached the screen.
#pragma once

#include <QEvent>
#include <QObject>

namespace telv::test {

class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace telv::test
