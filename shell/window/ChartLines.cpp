#include "ChartLines.h"

#include <QGraphicsSceneHoverEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace telv {
namespace {

double Distance(const QPointF& a, const QPointF& b) { return std::hypot(a.x() - b.x(), a.y() - b.y()); }

// The distance from p to the segment from a to b.
double DistanceToSegment(const QPointF& p, const QPointF& a, const QPointF& b) {
    const QPointF ab = b - a;
    const double length2 = QPointF::dotProduct(ab, ab);
    if (length2 <= 0) return Distance(p, a);
    const double t = std::clamp(QPointF::dotProduct(p - a, ab) / length2, 0.0, 1.0);
    return Distance(p, a + t * ab);
}

}  // namespace

ChartLines::ChartLines(std::size_t lineCount, QGraphicsItem* parent) : QGraphicsItem(parent), lines_(lineCount) {
    setAcceptHoverEvents(true);
}

void ChartLines::SetPen(std::size_t line, const QPen& pen) {
    if (line >= lines_.size() || lines_[line].pen == pen) return;
    lines_[line].pen = pen;
    update();
}

void ChartLines::SetAxis(std::size_t line, Axis axis) {
    if (line >= lines_.size() || lines_[line].axis == axis) return;
    lines_[line].axis = axis;
    update();
}

void ChartLines::SetRuns(std::size_t line, QList<QPolygonF> runs) {
    if (line >= lines_.size() || lines_[line].runs == runs) return;
    lines_[line].runs = std::move(runs);
    update();
}

const QList<QPolygonF>& ChartLines::Runs(std::size_t line) const {
    static const QList<QPolygonF> none;
    return line < lines_.size() ? lines_[line].runs : none;
}

void ChartLines::SetPlotArea(const QRectF& area) {
    if (area == area_) return;
    prepareGeometryChange();
    area_ = area;
}

void ChartLines::SetDomain(double fromMs, double toMs, double leftTop, double rightTop) {
    toMs = std::max(toMs, fromMs + 1);
    leftTop = leftTop > 0 ? leftTop : 1;
    rightTop = rightTop > 0 ? rightTop : 1;
    if (fromMs == fromMs_ && toMs == toMs_ && leftTop == tops_[LeftAxis] && rightTop == tops_[RightAxis]) return;
    fromMs_ = fromMs;
    toMs_ = toMs;
    tops_ = {leftTop, rightTop};
    update();
}

QPointF ChartLines::Position(std::size_t line, const QPointF& value) const {
    const double top = tops_[line < lines_.size() ? lines_[line].axis : LeftAxis];
    return {area_.left() + (value.x() - fromMs_) * area_.width() / (toMs_ - fromMs_),
            area_.bottom() - value.y() * area_.height() / top};
}

ChartLines::Hit ChartLines::HitAt(const QPointF& position) const {
    Hit best;
    double bestDistance = kHitPixels;
    if (area_.isEmpty()) return best;
    const double timeMs = fromMs_ + (position.x() - area_.left()) * (toMs_ - fromMs_) / area_.width();
    for (std::size_t line = 0; line < lines_.size(); ++line) {
        const QList<QPolygonF>& runs = lines_[line].runs;
        for (qsizetype r = 0; r < runs.size(); ++r) {
            const QPolygonF& run = runs[r];
            if (run.isEmpty()) continue;
            // The segment around the mouse's time: the points before and after it.
            const auto after = std::lower_bound(run.begin(), run.end(), timeMs,
                                                [](const QPointF& p, double t) { return p.x() < t; });
            const qsizetype i = after - run.begin();
            const qsizetype a = std::max<qsizetype>(i - 1, 0);
            const qsizetype b = std::min(i, run.size() - 1);
            const QPointF pa = Position(line, run[a]);
            const QPointF pb = Position(line, run[b]);
            const double distance = DistanceToSegment(position, pa, pb);
            if (distance > bestDistance) continue;
            bestDistance = distance;
            const qsizetype nearer = Distance(position, pa) <= Distance(position, pb) ? a : b;
            best = {line, r, nearer, run[nearer]};
        }
    }
    return best;
}

// Room for pens a few pixels wide around the plot area.
QRectF ChartLines::boundingRect() const { return area_.adjusted(-3, -3, 3, 3); }

void ChartLines::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    if (area_.isEmpty()) return;
    // A pen w pixels wide is drawn as round(w × device pixel ratio) passes of a pen one device
    // pixel wide, each a device pixel further down and to the right: wider pens go through the
    // general stroker, tens of times slower than the raster engine's path for thin lines.
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
    painter->save();
    painter->setClipRect(boundingRect());
    for (std::size_t line = 0; line < lines_.size(); ++line) {
        const Line& l = lines_[line];
        if (l.runs.isEmpty()) continue;
        const int passes = std::max(1, qRound(l.pen.widthF() * ratio));
        QPen pen = l.pen;
        pen.setCosmetic(true);
        pen.setWidth(1);
        if (l.pen.style() != Qt::SolidLine) {  // dashes as long as the wide pen's
            QList<qreal> pattern = l.pen.dashPattern();
            for (qreal& dash : pattern) dash *= std::max(1.0, l.pen.widthF() * ratio);
            pen.setDashPattern(pattern);
        }
        painter->setPen(pen);
        for (const QPolygonF& run : l.runs) {
            scratch_.resize(run.size());
            for (qsizetype i = 0; i < run.size(); ++i) scratch_[i] = Position(line, run[i]);
            for (int pass = 0; pass < passes; ++pass) {
                if (pass > 0) scratch_.translate(1 / ratio, 1 / ratio);
                if (scratch_.size() == 1)
                    painter->drawPoint(scratch_.front());  // a single point between two gaps
                else
                    painter->drawPolyline(scratch_);
            }
        }
    }
    painter->restore();
}

void ChartLines::Hover(const Hit& hit) {
    if (hit == hovered_) return;
    hovered_ = hit;
    if (hoverHandler_) hoverHandler_(hit.line, hit.point);
}

void ChartLines::hoverMoveEvent(QGraphicsSceneHoverEvent* event) { Hover(HitAt(event->pos())); }

void ChartLines::hoverLeaveEvent(QGraphicsSceneHoverEvent*) { Hover({}); }

}  // namespace telv
