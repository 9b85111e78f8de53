// The table view repaints the rows in sight after a change report, however many rows it spans,
// and nothing for rows out of sight.
#include "PaintCounter.h"
#include "RowsView.h"
#include "TestApplication.h"

#include <QApplication>
#include <QImage>
#include <QStandardItemModel>
#include <gtest/gtest.h>

namespace telv {
namespace {

using test::PaintCounter;

class RowsViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::EnsureApplication<QApplication>("rows_view_tests");
    }
    void SetUp() override {
        model.setColumnCount(2);
        for (int i = 0; i < kRows; ++i)
            model.appendRow({new QStandardItem(QString::number(i)), new QStandardItem("x")});
        view.setModel(&model);
        view.setUniformRowHeights(true);
        view.resize(300, 200);
        view.show();
        QApplication::processEvents();
        view.viewport()->installEventFilter(&paints);
    }
    // Changes the second column of rows first..last without a report, then reports the range.
    void ChangeSilently(int first, int last, const QString& text) {
        const QSignalBlocker blocker(model);
        for (int i = first; i <= last; ++i) model.item(i, 1)->setText(text);
    }
    void Report(int first, int last) { emit model.dataChanged(model.index(first, 0), model.index(last, 1)); }

    static constexpr int kRows = 5000;
    QStandardItemModel model;
    RowsView view;
    PaintCounter paints;
};

TEST_F(RowsViewTest, ReportOverAllRowsRepaintsTheRowsInSight) {
    const QImage before = view.viewport()->grab().toImage();
    ChangeSilently(0, kRows - 1, "changed text");
    Report(0, kRows - 1);
    QApplication::processEvents();
    EXPECT_GE(paints.paints, 1);
    EXPECT_NE(view.viewport()->grab().toImage(), before);
}

TEST_F(RowsViewTest, ReportEndingInSightRepaintsIt) {
    const QImage before = view.viewport()->grab().toImage();
    ChangeSilently(0, 2, "changed text");
    Report(0, 2);
    QApplication::processEvents();
    EXPECT_NE(view.viewport()->grab().toImage(), before);
}

TEST_F(RowsViewTest, ReportOutOfSightPaintsNothing) {
    ChangeSilently(kRows - 100, kRows - 1, "changed text");
    paints.paints = 0;
    Report(kRows - 100, kRows - 1);
    QApplication::processEvents();
    EXPECT_EQ(paints.paints, 0);
    view.scrollToBottom();
    QApplication::processEvents();
    EXPECT_EQ(model.index(kRows - 1, 1).data().toString(), "changed text");
}

}  // namespace
}  // namespace telv
