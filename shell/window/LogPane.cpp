#include "LogPane.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <iterator>
#include <vector>

namespace telv {
namespace {

constexpr int kTextMargin = 3;  // left of the text, in pixels

}  // namespace

LogPane::LogPane(int maxLines, qsizetype maxBytes, QWidget* parent)
    : QAbstractScrollArea(parent), lines_(maxLines, maxBytes) {
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    verticalScrollBar()->setSingleStep(1);

    auto* copy = new QAction("Копировать", this);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &LogPane::CopySelection);
    auto* selectAll = new QAction("Выделить всё", this);
    selectAll->setShortcut(QKeySequence::SelectAll);
    selectAll->setShortcutContext(Qt::WidgetShortcut);
    connect(selectAll, &QAction::triggered, this, &LogPane::SelectAll);
    addActions({copy, selectAll});
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void LogPane::AppendLine(const QString& line) { AppendUtf8(line.toUtf8()); }

void LogPane::AppendUtf8(QByteArray line) {
    line = LogLines::CutAtCharacter(line, lines_.MaxBytes());
    pendingBytes_ += line.size();
    pending_.push_back(std::move(line));
    // Lines that the pane would drop at once are not kept even until the flush.
    while (pending_.size() > static_cast<std::size_t>(lines_.MaxLines()) || pendingBytes_ > lines_.MaxBytes()) {
        pendingBytes_ -= pending_.front().size();
        pending_.pop_front();
    }
    if (!flushQueued_) {
        flushQueued_ = true;
        QTimer::singleShot(0, this, [this] { Flush(); });
    }
}

void LogPane::Flush() {
    flushQueued_ = false;
    if (pending_.empty()) return;
    QScrollBar* bar = verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    const int top = bar->value();
    std::vector<QByteArray> added(std::make_move_iterator(pending_.begin()), std::make_move_iterator(pending_.end()));
    pending_.clear();
    pendingBytes_ = 0;
    const int dropped = lines_.Append(std::move(added));
    if (anchor_ >= 0) {
        // The selection stays on its lines while older ones go, and ends where they are all gone.
        anchor_ = anchor_ - dropped;
        reach_ = reach_ - dropped;
        if (std::max(anchor_, reach_) < 0) {
            anchor_ = reach_ = -1;
        } else {
            anchor_ = std::max(anchor_, 0);
            reach_ = std::max(reach_, 0);
        }
    }
    UpdateScrollRange();
    // Following, the view shows the last line; scrolled up, the lines in sight stay in sight.
    bar->setValue(following ? bar->maximum() : std::max(top - dropped, 0));
    viewport()->update();
}

void LogPane::Clear() {
    pending_.clear();
    pendingBytes_ = 0;
    lines_.Clear();
    anchor_ = reach_ = -1;
    UpdateScrollRange();
    viewport()->update();
}

QStringList LogPane::Lines() const {
    QStringList all = lines_.Lines();
    for (const QByteArray& line : pending_) all.append(QString::fromUtf8(line));
    return all;
}

void LogPane::Select(int first, int last) {
    if (first < 0 || lines_.Count() == 0) {
        anchor_ = reach_ = -1;
    } else {
        anchor_ = std::clamp(first, 0, lines_.Count() - 1);
        reach_ = std::clamp(last, 0, lines_.Count() - 1);
    }
    viewport()->update();
}

void LogPane::SelectAll() { Select(0, lines_.Count() - 1); }

bool LogPane::Selected(int row) const {
    return anchor_ >= 0 && row >= std::min(anchor_, reach_) && row <= std::max(anchor_, reach_);
}

QString LogPane::SelectedText() const {
    if (anchor_ < 0) return {};
    QStringList selected;
    for (int row = std::min(anchor_, reach_); row <= std::max(anchor_, reach_); ++row) selected.append(lines_.Line(row));
    return selected.join(QLatin1Char('\n'));
}

void LogPane::CopySelection() const {
    const QString text = SelectedText();
    if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

int LogPane::RowHeight() const { return std::max(fontMetrics().lineSpacing(), 1); }

int LogPane::RowsInSight() const { return std::max(viewport()->height() / RowHeight(), 1); }

int LogPane::TopRow() const { return verticalScrollBar()->value(); }

int LogPane::RowAt(const QPoint& point) const {
    if (point.y() < 0) return -1;
    const int row = TopRow() + point.y() / RowHeight();
    return row < lines_.Count() ? row : -1;
}

bool LogPane::RowInSight(int row) const {
    return row >= TopRow() && row < TopRow() + RowsInSight() && row < lines_.Count();
}

void LogPane::UpdateScrollRange() {
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(RowsInSight());
    bar->setRange(0, std::max(lines_.Count() - RowsInSight(), 0));
}

void LogPane::resizeEvent(QResizeEvent* event) {
    const bool following = verticalScrollBar()->value() >= verticalScrollBar()->maximum();
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollRange();
    if (following) verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void LogPane::scrollContentsBy(int, int) { viewport()->update(); }

void LogPane::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const QPalette& colors = palette();
    const int height = RowHeight();
    const int width = viewport()->width();
    const QFontMetrics metrics = fontMetrics();
    const int end = std::min(TopRow() + RowsInSight() + 1, lines_.Count());
    for (int row = TopRow(), y = 0; row < end; ++row, y += height) {
        const QRect rect(0, y, width, height);
        const bool selected = Selected(row);
        if (selected) painter.fillRect(rect, colors.brush(hasFocus() ? QPalette::Active : QPalette::Inactive, QPalette::Highlight));
        painter.setPen(colors.color(selected ? QPalette::HighlightedText : QPalette::Text));
        const QString text = metrics.elidedText(lines_.Shown(row), Qt::ElideRight, width - 2 * kTextMargin);
        painter.drawText(rect.adjusted(kTextMargin, 0, -kTextMargin, 0), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                         text);
    }
}

void LogPane::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
    const int row = RowAt(event->position().toPoint());
    if (row < 0)
        Select(-1, -1);
    else if ((event->modifiers() & Qt::ShiftModifier) && anchor_ >= 0)
        Select(anchor_, row);
    else
        Select(row, row);
}

void LogPane::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton) || anchor_ < 0) return QAbstractScrollArea::mouseMoveEvent(event);
    const int y = std::clamp(event->position().toPoint().y(), 0, viewport()->height() - 1);
    const int row = RowAt(QPoint(0, y));
    if (row >= 0) Select(anchor_, row);
}

void LogPane::keyPressEvent(QKeyEvent* event) {
    QScrollBar* bar = verticalScrollBar();
    switch (event->key()) {
    case Qt::Key_Up: bar->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
    case Qt::Key_Down: bar->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
    case Qt::Key_PageUp: bar->triggerAction(QAbstractSlider::SliderPageStepSub); break;
    case Qt::Key_PageDown: bar->triggerAction(QAbstractSlider::SliderPageStepAdd); break;
    case Qt::Key_Home: bar->triggerAction(QAbstractSlider::SliderToMinimum); break;
    case Qt::Key_End: bar->triggerAction(QAbstractSlider::SliderToMaximum); break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
    }
}

}  // namespace telv
