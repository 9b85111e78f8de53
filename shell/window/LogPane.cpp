#include "LogPane.h"

#include <QTimer>

namespace telv {

LogPane::LogPane(int maxLines, QWidget* parent) : QPlainTextEdit(parent), maxLines_(maxLines) {
    setReadOnly(true);
    setMaximumBlockCount(maxLines);
}

void LogPane::AppendLine(const QString& line) {
    // Lines that the pane would drop at once are not kept even until the flush.
    if (pending_.size() >= maxLines_) pending_.removeFirst();
    pending_.append(line);
    if (!flushQueued_) {
        flushQueued_ = true;
        QTimer::singleShot(0, this, [this] { Flush(); });
    }
}

void LogPane::Flush() {
    flushQueued_ = false;
    if (pending_.isEmpty()) return;
    const QString text = pending_.join(QLatin1Char('\n'));
    pending_.clear();
    appendPlainText(text);
}

void LogPane::Clear() {
    pending_.clear();
    clear();
}

}  // namespace telv
