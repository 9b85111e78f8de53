// The item that draws the traffic chart's lines: where the mouse finds a point, and that gaps are
// drawn as gaps.
#include "ChartLines.h"
#include "TestApplication.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <string>

namespace telv {
namespace {

// A plot area of 1000 × 500 pixels for times 0..1000 ms: x in pixels is the time; y is
// 500 − 5 × value on the left axis (top 100) and 500 − 50 × value on the right one (top 10).
class ChartLinesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::EnsureApplication<QApplication>("chart_lines_tests"); }
    void SetUp() override {
        lines_.SetPlotArea(QRectF(0, 0, 1000, 500));
        lines_.SetDomain(0, 1000, 100, 10);
        lines_.SetAxis(1, ChartLines::RightAxis);
        // Line 0: two runs with a gap from 300 to 600 ms, and a single point at 900 ms.
        lines_.SetRuns(0, {QPolygonF({{100, 10}, {200, 20}, {300, 10}}), QPolygonF({{600, 50}, {700, 50}}),
                           QPolygonF({{900, 80}})});
        // Line 1, on the right axis: level at y = 240 px.
        lines_.SetRuns(1, {QPolygonF({{500, 5.2}, {800, 5.2}})});
        for (std::size_t line = 0; line < lines_.LineCount(); ++line) lines_.SetPen(line, QPen(QColor(kColors[line]), 1));
    }

    static constexpr QRgb kColors[] = {0xffff0000, 0xff0000ff, 0xff00ff00};
    ChartLines lines_{3};
};

TEST_F(ChartLinesTest, PositionsFollowEachLinesAxis) {
    EXPECT_EQ(lines_.Position(0, {200, 20}), QPointF(200, 400));
    EXPECT_EQ(lines_.Position(1, {500, 5.2}), QPointF(500, 240));
    EXPECT_EQ(lines_.Runs(0).size(), 3);
    EXPECT_TRUE(lines_.Runs(2).isEmpty());
    EXPECT_TRUE(lines_.Runs(7).isEmpty());  // no such line
}

TEST_F(ChartLinesTest, TheMouseFindsTheNearestPointOfTheNearestLine) {
    struct Case {
        const char* what;
        QPointF mouse;
        std::size_t line;
        QPointF point;
    };
    const Case cases[] = {
        {"on a point", {200, 400}, 0, {200, 20}},
        {"near a segment, nearer its first point", {140, 433}, 0, {100, 10}},
        {"near a segment, nearer its second point", {180, 408}, 0, {200, 20}},
        {"before a run's first point", {97, 452}, 0, {100, 10}},
        {"a lone point between gaps", {902, 101}, 0, {900, 80}},
        {"a line on the right axis", {780, 243}, 1, {800, 5.2}},
        {"two lines near: the nearer one (right axis, 4 px)", {640, 244}, 1, {500, 5.2}},
        {"two lines near: the nearer one (left axis, 4 px)", {640, 246}, 0, {600, 50}},
        {"just off a segment", {140, 446}, ChartLines::npos, {}},
        {"in a gap, on the straight way from one run to the next", {450, 350}, ChartLines::npos, {}},
        {"after the last point", {960, 101}, ChartLines::npos, {}},
        {"away from every line", {50, 50}, ChartLines::npos, {}},
    };
    for (const Case& c : cases) {
        const ChartLines::Hit hit = lines_.HitAt(c.mouse);
        EXPECT_EQ(hit.line, c.line) << c.what;
        if (c.line != ChartLines::npos) {
            EXPECT_EQ(hit.point, c.point) << c.what;
        }
    }
}

TEST_F(ChartLinesTest, NothingIsFoundBeforeThePlotAreaIsKnown) {
    ChartLines lines(1);
    lines.SetRuns(0, {QPolygonF({{100, 10}, {200, 20}})});
    EXPECT_EQ(lines.HitAt({0, 0}).line, ChartLines::npos);
}

TEST_F(ChartLinesTest, RunsAreDrawnAndGapsStayEmpty) {
    QImage image(1000, 500, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    lines_.paint(&painter, nullptr, nullptr);
    painter.end();
    const auto colour = [&](int x, int y) { return image.pixel(x, y); };
    EXPECT_EQ(colour(650, 250), kColors[0]);  // the level run from 600 to 700 ms
    EXPECT_EQ(colour(100, 450), kColors[0]);  // the first point
    EXPECT_EQ(colour(900, 100), kColors[0]);  // the lone point
    EXPECT_EQ(colour(700, 240), kColors[1]);
    for (int x = 310; x < 590; x += 10)  // no line across the gap
        for (int y = 0; y < 500; ++y)
            if (colour(x, y) == kColors[0]) {
                ADD_FAILURE() << "drawn in the gap at " << x << "," << y;
                return;
            }
}

// A pen w pixels wide is w device pixels thick at a scale of 1, 2w at a scale of 2.
TEST_F(ChartLinesTest, WidePensAndHighDpiScalingDrawThickerLines) {
    struct Case {
        double penWidth;
        int scale;
        int thickness;  // device pixels
    };
    for (const Case c : {Case{1, 1, 1}, Case{2, 1, 2}, Case{1, 2, 2}, Case{1.5, 2, 3}}) {
        lines_.SetPen(1, QPen(QColor(kColors[1]), c.penWidth));
        QImage image(1000 * c.scale, 500 * c.scale, QImage::Format_RGB32);
        image.setDevicePixelRatio(c.scale);
        image.fill(Qt::white);
        QPainter painter(&image);
        lines_.paint(&painter, nullptr, nullptr);
        painter.end();
        int thickness = 0;  // of the level line at 240 px, 700 ms
        for (int y = 230 * c.scale; y < 250 * c.scale; ++y) thickness += image.pixel(700 * c.scale, y) == kColors[1];
        EXPECT_EQ(thickness, c.thickness) << "pen " << c.penWidth << " at scale " << c.scale;
    }
}

}  // namespace
}  // namespace telv
