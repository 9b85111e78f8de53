// The lines of the traffic chart, drawn by one item over the plot area of a QChart.
//
// Qt Charts' own line series are too slow for this chart: each change to a series lays its whole
// line out again and strokes an outline of it (its hover shape), a move of the time axis does so
// for every series, and a pen wider than a device pixel is painted by the general stroker. With
// 22 lines of 360 points that is over 10 ms of every refresh. This item keeps the points of each
// line as runs without gaps, maps them to the plot area only when it paints, draws them with pens
// one device pixel wide (the raster engine's fast path), and finds the point under the mouse with
// one binary search per run instead of outlines.
#pragma once

#include <QGraphicsItem>
#include <QList>
#include <QPen>
#include <QPolygonF>

#include <array>
#include <cstddef>
#include <functional>
#include <vector>

namespace telv {

class ChartLines : public QGraphicsItem {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    // The axes the values of a line are read against.
    enum Axis { LeftAxis, RightAxis };

    // A point of a line: the line, the index of its run and of the point in it, and the point.
    struct Hit {
        std::size_t line = npos;
        qsizetype run = 0;
        qsizetype index = 0;
        QPointF point;
        bool operator==(const Hit&) const = default;
    };
    // Told the line and the point (time in ms, value) under the mouse; npos when it left them.
    using HoverHandler = std::function<void(std::size_t line, const QPointF& point)>;

    explicit ChartLines(std::size_t lineCount, QGraphicsItem* parent = nullptr);

    std::size_t LineCount() const { return lines_.size(); }
    void SetPen(std::size_t line, const QPen& pen);
    void SetAxis(std::size_t line, Axis axis);
    // The runs of a line, oldest first, each without gaps: x the time in ms since the epoch, y the
    // value in its axis's unit. Repaints only when they differ from the runs the line has.
    void SetRuns(std::size_t line, QList<QPolygonF> runs);
    const QList<QPolygonF>& Runs(std::size_t line) const;

    // The plot area in the parent's coordinates, and the values at its edges: the time at the
    // left and the right, and the top of each axis (the bottom of both is 0).
    void SetPlotArea(const QRectF& area);
    void SetDomain(double fromMs, double toMs, double leftTop, double rightTop);
    void SetHoverHandler(HoverHandler handler) { hoverHandler_ = std::move(handler); }

    // Where a value of a line lies, in item coordinates.
    QPointF Position(std::size_t line, const QPointF& value) const;
    // The point of a line nearest to `position` (item coordinates) on the line nearest to it,
    // if a line passes within kHitPixels; line npos otherwise.
    Hit HitAt(const QPointF& position) const;
    static constexpr double kHitPixels = 6;

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

protected:
    void hoverMoveEvent(QGraphicsSceneHoverEvent* event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent* event) override;

private:
    struct Line {
        QPen pen;
        Axis axis = LeftAxis;
        QList<QPolygonF> runs;
    };

    void Hover(const Hit& hit);

    std::vector<Line> lines_;
    QRectF area_;
    double fromMs_ = 0;
    double toMs_ = 1;
    std::array<double, 2> tops_{1, 1};
    QPolygonF scratch_;  // the pixel points of the run being painted
    Hit hovered_;
    HoverHandler hoverHandler_;
};

}  // namespace telv
