// The row store and its Qt model: batched changes, persistent rows, selection mirroring.
#include "ListView.h"
#include "ListViewModel.h"
#include "TestApplication.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QPersistentModelIndex>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>

namespace telv {
namespace {

ListCell NumberCell(int n) {
    ListCell c;
    c.Kind = 1;
    std::memcpy(c.Payload.data(), &n, sizeof n);
    return c;
}

std::string Render(const ListCell& c) {
    if (c.Kind == 0) return {};
    int n;
    std::memcpy(&n, c.Payload.data(), sizeof n);
    return std::to_string(n);
}

class ListViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::EnsureApplication("list_view_tests");
    }
    TListView view{2, Render};

    void AddRows(int n, int first = 0) {
        for (int i = 0; i < n; ++i) {
            TListItem* row = view.Add();
            row->Caption() = NumberCell(first + i);
            row->AddSubItem();
            row->SubItem(0) = NumberCell(-(first + i));
        }
    }
};

TEST_F(ListViewTest, AddDeleteKeepIndexes) {
    AddRows(5);
    view.Delete(1);
    view.Delete(7);  // out of range: nothing
    ASSERT_EQ(view.Count(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(view.Item(i)->Index(), i);
    EXPECT_EQ(view.Text(1, 0), "2");
    EXPECT_EQ(view.Text(1, 1), "-2");
}

TEST_F(ListViewTest, ModelFollowsBatchedChangesWithOneReport) {
    AddRows(10);
    ListViewModel model(view, {"A", "B"});
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QPersistentModelIndex keep(model.index(7, 0));
    view.SuspendRepaint();
    view.DeleteWhere([](int i) { return i == 2 || i == 3 || i == 5; });
    AddRows(2, 100);
    EXPECT_EQ(model.rowCount(), 10);  // nothing reported while suspended
    view.ResumeRepaint();
    EXPECT_EQ(model.rowCount(), 9);
    EXPECT_EQ(removed.count(), 2);   // two runs of deleted rows
    EXPECT_EQ(inserted.count(), 1);  // one insertion for the appended rows
    EXPECT_EQ(keep.row(), 4);
    EXPECT_EQ(model.data(keep, Qt::DisplayRole).toString(), "7");
    EXPECT_EQ(model.data(model.index(8, 1), Qt::DisplayRole).toString(), "-101");
}

TEST_F(ListViewTest, ManyScatteredDeletionsBecomeOneLayoutChange) {
    AddRows(1000);
    ListViewModel model(view, {"A", "B"});
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);
    QPersistentModelIndex odd(model.index(501, 0)), even(model.index(500, 0));
    view.DeleteWhere([](int i) { return i % 2 == 0; });
    EXPECT_EQ(removed.count(), 0);
    EXPECT_EQ(layout.count(), 1);
    EXPECT_EQ(model.rowCount(), 500);
    EXPECT_EQ(odd.row(), 250);
    EXPECT_FALSE(even.isValid());
}

TEST_F(ListViewTest, SortMovesRowsWithCellsDataAndSelection) {
    AddRows(6);
    for (int i = 0; i < 6; ++i) view.Item(i)->Data = static_cast<std::uintptr_t>(i * 10);
    ListViewModel model(view, {"A", "B"});
    QItemSelectionModel selection(&model);
    model.TrackSelection(&selection);
    selection.select(model.index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_TRUE(view.Item(1)->Selected());
    view.Sort([](const TListItem& a, const TListItem& b) { return a.Data > b.Data; });
    EXPECT_EQ(view.Text(0, 0), "5");
    EXPECT_EQ(view.Item(4)->Data, 10u);
    EXPECT_TRUE(view.Item(4)->Selected());
    EXPECT_TRUE(selection.isRowSelected(4, {}));
    EXPECT_FALSE(selection.isRowSelected(1, {}));
    EXPECT_EQ(model.data(model.index(4, 0), Qt::DisplayRole).toString(), "1");
}

TEST_F(ListViewTest, OperatorSelectionIsMirroredInTheRows) {
    AddRows(4);
    ListViewModel model(view, {"A", "B"});
    QItemSelectionModel selection(&model);
    model.TrackSelection(&selection);
    selection.select(QItemSelection(model.index(1, 0), model.index(2, 1)), QItemSelectionModel::Select);
    EXPECT_EQ(view.SelectedCount(), 2);
    selection.select(model.index(1, 0), QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    EXPECT_EQ(view.SelectedCount(), 1);
    EXPECT_TRUE(view.Item(2)->Selected());
    view.Delete(2);
    EXPECT_EQ(view.SelectedCount(), 0);
}

TEST_F(ListViewTest, RangesSelectAndDeselectWithoutVisitingRows) {
    AddRows(10);
    struct Step {
        int first, last;
        bool on;
        int count;  // selected rows after the step
    };
    const Step steps[] = {
        {2, 5, true, 4}, {4, 8, true, 7}, {0, 3, false, 5}, {-3, 100, true, 10}, {7, 7, false, 9}, {9, 2, false, 9},
    };
    for (const Step& s : steps) {
        view.SetSelectedRange(s.first, s.last, s.on);
        EXPECT_EQ(view.SelectedCount(), s.count) << s.first << ".." << s.last;
        int flagged = 0;
        for (int i = 0; i < view.Count(); ++i) flagged += view.Item(i)->Selected() ? 1 : 0;
        EXPECT_EQ(flagged, s.count);
    }
}

// Random selections, sorts, deletions, additions and filters against a plain set of the selected
// rows' data: the rows' flags, their count and the view's selection always agree with it.
TEST_F(ListViewTest, SelectionFollowsItsRowsThroughEveryChange) {
    AddRows(40);
    for (int i = 0; i < view.Count(); ++i) view.Item(i)->Data = static_cast<std::uintptr_t>(i);
    std::uintptr_t nextData = 40;
    ListViewModel model(view, {"A", "B"});
    model.SetFilterColumns({0});
    QItemSelectionModel selection(&model);
    model.TrackSelection(&selection);
    std::set<std::uintptr_t> expected;
    std::mt19937 random(7);
    auto pick = [&](int n) { return n <= 0 ? 0 : static_cast<int>(random() % static_cast<unsigned>(n)); };

    for (int round = 0; round < 300; ++round) {
        const int shown = model.rowCount();
        switch (pick(7)) {
        case 0:
        case 1: {  // the operator selects or deselects a run of shown rows
            if (shown == 0) break;
            const int top = pick(shown), bottom = std::min(shown - 1, top + pick(12));
            const bool on = pick(2) == 0;
            selection.select(QItemSelection(model.index(top, 0), model.index(bottom, 1)),
                             on ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
            for (int r = top; r <= bottom; ++r) {
                if (on) expected.insert(model.ShownRow(r)->Data);
                else expected.erase(model.ShownRow(r)->Data);
            }
            break;
        }
        case 2:  // a header click
            view.Sort([flip = pick(2) == 0](const TListItem& a, const TListItem& b) {
                return flip ? a.Data > b.Data : a.Data % 7 < b.Data % 7;
            });
            break;
        case 3: {  // rows go
            const int mod = 2 + pick(6);
            view.DeleteWhere([&, mod](int i) {
                if (i % mod != 0) return false;
                expected.erase(view.Item(i)->Data);
                return true;
            });
            break;
        }
        case 4:  // rows come
            for (int k = pick(5); k > 0; --k) {
                TListItem* row = view.Add();
                row->Data = nextData++;
                row->Caption() = NumberCell(static_cast<int>(row->Data));
            }
            break;
        case 5: {  // a filter text, or none; hidden rows are deselected
            const QString text = pick(3) == 0 ? QString() : QString::number(pick(10));
            model.SetFilterText(text);
            if (!text.isEmpty()) {
                for (int i = 0; i < view.Count(); ++i)
                    if (view.Text(i, 0).find(text.toStdString()) == std::string::npos) expected.erase(view.Item(i)->Data);
            }
            break;
        }
        default:  // select every shown row, or none
            if (pick(2) == 0) {
                selection.select(QItemSelection(model.index(0, 0), model.index(std::max(shown - 1, 0), 1)),
                                 QItemSelectionModel::ClearAndSelect);
                expected.clear();
                for (int r = 0; r < shown; ++r) expected.insert(model.ShownRow(r)->Data);
            } else {
                selection.clearSelection();
                expected.clear();
            }
            break;
        }
        ASSERT_EQ(view.SelectedCount(), static_cast<int>(expected.size())) << "round " << round;
        for (int i = 0; i < view.Count(); ++i)
            ASSERT_EQ(view.Item(i)->Selected(), expected.count(view.Item(i)->Data) == 1) << "round " << round;
        for (int r = 0; r < model.rowCount(); ++r)
            ASSERT_EQ(selection.isRowSelected(r, {}), model.ShownRow(r)->Selected()) << "round " << round << " row " << r;
    }
}

TEST(UntouchedRows, MarkVisitContains) {
    TListView view(1, Render);
    for (int i = 0; i < 3; ++i) view.Add();
    UntouchedRows untouched;
    untouched.MarkAll(view.Count());
    EXPECT_TRUE(untouched.Remove(*view.Item(1)));
    EXPECT_FALSE(untouched.Remove(*view.Item(1)));
    EXPECT_TRUE(untouched.Contains(0));
    EXPECT_FALSE(untouched.Contains(1));
    EXPECT_FALSE(untouched.Contains(3));  // a row added after marking
}

}  // namespace
}  // namespace telv
