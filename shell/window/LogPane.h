// The event log: a read-only plain-text pane that keeps its last lines only. Lines are collected
// and added together when the event loop next runs, so that a burst of server events costs one
// insertion instead of one per line (a line at a time, a flood of notices holds the window for
// seconds: each insertion lays the document out again).
#pragma once

#include <QPlainTextEdit>
#include <QStringList>

namespace telv {

class LogPane : public QPlainTextEdit {
public:
    explicit LogPane(int maxLines, QWidget* parent = nullptr);

    // Adds a line; it is shown once the event loop runs (or at Flush).
    void AppendLine(const QString& line);
    // Shows the collected lines now.
    void Flush();
    // Empties the pane and forgets the collected lines.
    void Clear();

    int PendingLines() const { return static_cast<int>(pending_.size()); }

private:
    int maxLines_;
    QStringList pending_;
    bool flushQueued_ = false;
};

}  // namespace telv
