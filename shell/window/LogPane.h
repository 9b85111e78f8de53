// The event log: a read-only list of lines that keeps its last lines only, bounded by their
// number and by their bytes. All rows are one line high, so the pane draws only the rows in
// sight and never lays out the others: the cost of a turn of the event loop does not grow with
// the lines it adds or the lines kept. Lines are collected and added together when the event
// loop next runs; the view follows the last line unless the operator has scrolled up. A long
// line is shown cut with a mark; copying and Lines() give it whole. The operator selects a run
// of lines with the mouse (Shift extends it), Ctrl+A selects all, Ctrl+C copies.
#pragma once

#include "LogLines.h"

#include <QAbstractScrollArea>
#include <QStringList>

#include <deque>

namespace telv {

class LogPane : public QAbstractScrollArea {
public:
    // Far more text than a day's events, and well within memory.
    static constexpr qsizetype kDefaultMaxBytes = qsizetype{64} << 20;

    explicit LogPane(int maxLines, qsizetype maxBytes = kDefaultMaxBytes, QWidget* parent = nullptr);

    // Adds a line; it is shown once the event loop runs (or at Flush).
    void AppendLine(const QString& line);
    // The same for a line in UTF-8, as the log's writer makes it.
    void AppendUtf8(QByteArray line);
    // Shows the collected lines now.
    void Flush();
    // Empties the pane and forgets the collected lines.
    void Clear();

    int PendingLines() const { return static_cast<int>(pending_.size()); }
    // Every kept line, whole, the collected ones included: what a saved log holds.
    QStringList Lines() const;
    // The kept lines joined by line breaks.
    QString Text() const { return Lines().join(QLatin1Char('\n')); }
    // The lines kept and shown, and their texts as shown.
    const LogLines& Kept() const { return lines_; }

    // The selected run of lines, first and last row included; none when first is -1.
    void Select(int first, int last);
    void SelectAll();
    // The selected lines, whole, in order, joined by line breaks.
    QString SelectedText() const;
    // Puts the selected lines on the clipboard.
    void CopySelection() const;

    // The row at a point of the viewport, -1 for none; the first row in sight; whether a row is
    // wholly in sight.
    int RowAt(const QPoint& point) const;
    int FirstRowInSight() const { return lines_.Count() > 0 ? TopRow() : -1; }
    bool RowInSight(int row) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    int RowHeight() const;
    int RowsInSight() const;  // whole rows
    int TopRow() const;
    void UpdateScrollRange();
    bool Selected(int row) const;

    LogLines lines_;
    std::deque<QByteArray> pending_;
    qsizetype pendingBytes_ = 0;
    bool flushQueued_ = false;
    int anchor_ = -1;  // the selection: the row it started at and the row it reaches
    int reach_ = -1;
};

}  // namespace telv
