// The text filter of the list-view model: which rows a query shows, and the shown rows, their
// selection and the model's signals through statistics passes, rebuilds and sorting.
#include "ListView.h"
#include "ListViewModel.h"
#include "TestApplication.h"

#include <QAbstractItemModelTester>
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QSignalSpy>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace telv {
namespace {

// Kind 1: a text of up to 16 bytes; kind 2: a number.
ListCell TextOf(const std::string& text) {
    ListCell c;
    c.Kind = 1;
    std::memcpy(c.Payload.data(), text.data(), std::min(text.size(), c.Payload.size()));
    return c;
}
ListCell NumberOf(int n) {
    ListCell c;
    c.Kind = 2;
    std::memcpy(c.Payload.data(), &n, sizeof n);
    return c;
}
std::string Render(const ListCell& c) {
    if (c.Kind == 1) {
        const auto* bytes = reinterpret_cast<const char*>(c.Payload.data());
        return std::string(bytes, strnlen(bytes, c.Payload.size()));
    }
    if (c.Kind == 2) {
        int n;
        std::memcpy(&n, c.Payload.data(), sizeof n);
        return std::to_string(n);
    }
    return {};
}

struct Device {
    std::string id, model, address;
};

class RowFilterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::EnsureApplication("row_filter_tests");
    }
    void SetUp() override {
        for (const Device& d : std::vector<Device>{{"KE-100", "КЕ-11", "10.0.0.1:4001"},
                                                    {"ke-200", "ЛД-21", "10.0.0.2:4002"},
                                                    {"Ёлка-7", "ВСП-Р5", "192.168.1.7:5000"},
                                                    {"ёЛКА-8", "ОРН-31", "192.168.1.8:5000"},
                                                    {"Щит-300", "кЕ-11", "172.16.0.3:4001"}})
            Add(d);
        model.SetFilterColumns({0, 1, 2});
        selection.setModel(&model);
        model.TrackSelection(&selection);
    }
    void Add(const Device& d, int traffic = 0) {
        TListItem* row = view.Add();
        for (int i = 0; i < 4; ++i) row->AddSubItem();
        row->Caption() = TextOf(d.id);
        row->SubItem(0) = TextOf(d.model);
        row->SubItem(1) = TextOf(d.address);
        row->SubItem(2) = NumberOf(traffic);  // what a statistics pass rewrites
        row->SubItem(3) = TextOf("не в фильтре");
    }
    // The captions of the shown rows, in view order, as the model gives them.
    std::vector<std::string> Shown() const {
        std::vector<std::string> ids;
        for (int r = 0; r < model.rowCount(); ++r)
            ids.push_back(model.data(model.index(r, 0), Qt::DisplayRole).toString().toStdString());
        return ids;
    }
    TListItem* Row(const std::string& id) const {
        for (const auto& row : view.Rows())
            if (Render(row->Caption()) == id) return row.get();
        return nullptr;
    }
    void Select(const std::string& id) {
        const auto& shown = model.ShownRows();
        const auto at = std::find(shown.begin(), shown.end(), Row(id)) - shown.begin();
        selection.select(model.index(static_cast<int>(at), 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    void Delete(std::initializer_list<std::string> ids) {
        std::vector<int> doomed;
        for (const std::string& id : ids) doomed.push_back(Row(id)->Index());
        view.DeleteWhere([&](int i) { return std::find(doomed.begin(), doomed.end(), i) != doomed.end(); });
    }
    std::vector<std::string> SelectedInStore() const {
        std::vector<std::string> ids;
        for (const auto& row : view.Rows())
            if (row->Selected()) ids.push_back(Render(row->Caption()));
        return ids;
    }

    TListView view{5, Render};
    ListViewModel model{view, {"ID", "Модель", "Адрес", "RX", "Состояние"}};
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
    QItemSelectionModel selection;
};

using Ids = std::vector<std::string>;

TEST_F(RowFilterTest, QueriesShowTheMatchingRowsInStoreOrder) {
    const struct {
        const char* query;
        Ids shown;
    } cases[] = {
        {"", {"KE-100", "ke-200", "Ёлка-7", "ёЛКА-8", "Щит-300"}},
        {"нет такого", {}},
        {"ke", {"KE-100", "ke-200"}},          // Latin, either case
        {"KE-2", {"ke-200"}},
        {"ёлка", {"Ёлка-7", "ёЛКА-8"}},      // Cyrillic, either case
        {"ЩИТ", {"Щит-300"}},
        {"ке-11", {"KE-100", "Щит-300"}},     // the model column, Cyrillic К and Е
        {"192.168.1.", {"Ёлка-7", "ёЛКА-8"}},  // the address column
        {":4001", {"KE-100", "Щит-300"}},
        {"фильтре", {}},                      // columns outside the filter are not looked at
        {"0", {"KE-100", "ke-200", "Ёлка-7", "ёЛКА-8", "Щит-300"}},
    };
    for (const auto& c : cases) {
        model.SetFilterText(QString::fromUtf8(c.query));
        EXPECT_EQ(Shown(), c.shown) << c.query;
        EXPECT_EQ(model.Filtered(), *c.query != '\0') << c.query;
        EXPECT_EQ(model.TotalRowCount(), 5);
    }
}

TEST_F(RowFilterTest, NarrowingAndWideningTheTextGiveTheSameRowsAsTypingItAnew) {
    for (const char* query : {"1", "19", "192", "19", "1", "", "К", "КЕ", "К"}) {
        model.SetFilterText(QString::fromUtf8(query));
        const Ids typed = Shown();
        model.SetFilterText({});
        model.SetFilterText(QString::fromUtf8(query));
        EXPECT_EQ(typed, Shown()) << query;
    }
}

TEST_F(RowFilterTest, StatisticsPassKeepsTheFilterWithoutALayoutChange) {
    model.SetFilterText("ёлка");
    Select("ёЛКА-8");
    QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    {
        // Every row gets new traffic; one hidden and one shown row leave.
        view.SuspendRepaint();
        for (const auto& row : view.Rows()) {
            row->SubItem(2) = NumberOf(1000 + row->Index());
            view.Changed(*row);
        }
        Delete({"KE-100", "Ёлка-7"});
        view.ResumeRepaint();
    }
    EXPECT_EQ(Shown(), Ids{"ёЛКА-8"});
    EXPECT_EQ(layout.count(), 0);
    EXPECT_EQ(removed.count(), 1);
    EXPECT_GE(changed.count(), 1);
    EXPECT_EQ(model.data(model.index(0, 3), Qt::DisplayRole).toString(), "1003");
    EXPECT_TRUE(selection.isRowSelected(0, {}));
    EXPECT_EQ(SelectedInStore(), Ids{"ёЛКА-8"});
}

TEST_F(RowFilterTest, RebuildAddsOnlyMatchingRowsAndFollowsRewrittenFilterCells) {
    model.SetFilterText("ke");
    Select("ke-200");
    view.SuspendRepaint();
    Add({"KE-900", "ЛД-22", "10.0.0.9:4009"});
    Add({"Пульт-1", "ОРН-32", "10.0.0.10:4010"});
    Delete({"KE-100"});
    view.ResumeRepaint();
    EXPECT_EQ(Shown(), (Ids{"ke-200", "KE-900"}));
    EXPECT_EQ(model.TotalRowCount(), 6);
    EXPECT_EQ(SelectedInStore(), Ids{"ke-200"});

    // A full list rewrites the cells of kept rows: one stops matching, one starts.
    Row("ke-200")->Caption() = TextOf("Узел-200");
    view.Changed(*Row("Узел-200"));
    Row("Пульт-1")->SubItem(0) = TextOf("KE-11");
    view.Changed(*Row("Пульт-1"));
    EXPECT_EQ(Shown(), (Ids{"KE-900", "Пульт-1"}));
    EXPECT_TRUE(SelectedInStore().empty());  // the selected row went out of sight
    EXPECT_EQ(view.SelectedCount(), 0);
}

TEST_F(RowFilterTest, SortKeepsTheFilterAndTheSelection) {
    model.SetFilterText("ke");
    Select("ke-200");
    view.Sort([](const TListItem& a, const TListItem& b) { return Render(a.Caption()) > Render(b.Caption()); });
    EXPECT_EQ(Shown(), (Ids{"ke-200", "KE-100"}));
    EXPECT_TRUE(selection.isRowSelected(0, {}));
    EXPECT_FALSE(selection.isRowSelected(1, {}));
    model.SetFilterText({});
    EXPECT_EQ(Shown(), (Ids{"ёЛКА-8", "Щит-300", "Ёлка-7", "ke-200", "KE-100"}));
    EXPECT_TRUE(selection.isRowSelected(3, {}));
    model.SetFilterText("KE");
    view.Sort([](const TListItem& a, const TListItem& b) { return Render(a.Caption()) < Render(b.Caption()); });
    EXPECT_EQ(Shown(), (Ids{"KE-100", "ke-200"}));
    EXPECT_TRUE(selection.isRowSelected(1, {}));
    EXPECT_EQ(SelectedInStore(), Ids{"ke-200"});
}

TEST_F(RowFilterTest, HiddenRowsAreDeselectedAndStaySoWhenShownAgain) {
    Select("KE-100");
    Select("Ёлка-7");
    Select("Щит-300");
    ASSERT_EQ(view.SelectedCount(), 3);
    model.SetFilterText("ёлка");
    EXPECT_EQ(SelectedInStore(), Ids{"Ёлка-7"});
    EXPECT_EQ(selection.selectedRows().size(), 1);
    EXPECT_TRUE(selection.isRowSelected(0, {}));
    // Selecting every shown row selects no hidden one.
    selection.select(QItemSelection(model.index(0, 0), model.index(model.rowCount() - 1, 4)),
                     QItemSelectionModel::Select);
    EXPECT_EQ(SelectedInStore(), (Ids{"Ёлка-7", "ёЛКА-8"}));
    model.SetFilterText({});
    EXPECT_EQ(Shown().size(), 5u);
    EXPECT_EQ(SelectedInStore(), (Ids{"Ёлка-7", "ёЛКА-8"}));
    EXPECT_EQ(selection.selectedRows().size(), 2);
}

TEST_F(RowFilterTest, EmptyFilterFollowsTheStoreAsBefore) {
    model.SetFilterText("щит");
    model.SetFilterText({});
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy shownChanged(&model, &ListViewModel::ShownRowsChanged);
    Add({"Новый", "КЕ-11", "10.1.1.1:1"});
    EXPECT_EQ(inserted.count(), 1);
    EXPECT_EQ(shownChanged.count(), 1);
    EXPECT_EQ(Shown().back(), "Новый");
    EXPECT_EQ(model.rowCount(), 6);
}

}  // namespace
}  // namespace telv
