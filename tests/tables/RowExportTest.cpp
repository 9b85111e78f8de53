// Rows as clipboard text and as CSV: separators, quoting, Cyrillic and empty cells.
#include "RowExport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace telv {
namespace {

using Grid = std::vector<std::vector<std::string>>;

ExportTable TableOf(std::vector<std::string> captions, const Grid& rows) {
    ExportTable table;
    table.Captions = std::move(captions);
    table.RowCount = rows.size();
    table.Cell = [&rows](std::size_t r, std::size_t c) { return rows[r][c]; };
    return table;
}

const Grid kRows = {
    {"KE-100", "КЕ-11.1.2 ver3.4", "10.0.0.1:4001"},
    {"Щит \"Север\"", "", "a,b"},
    {"два\tполя", "строка\r\nвторая", "\n"},
};

TEST(RowExport, TabSeparatedTextHasCaptionsAndBlanksForSeparatorsInCells) {
    const ExportTable table = TableOf({"ID прибора", "Тип прибора", "Адрес"}, kRows);
    EXPECT_EQ(TabSeparatedText(table),
              "ID прибора\tТип прибора\tАдрес\n"
              "KE-100\tКЕ-11.1.2 ver3.4\t10.0.0.1:4001\n"
              "Щит \"Север\"\t\ta,b\n"
              "два поля\tстрока  вторая\t \n");
}

TEST(RowExport, CsvQuotesOnlyFieldsThatNeedItWithCrLfLines) {
    const ExportTable table = TableOf({"ID прибора", "Тип, модель", "Адрес"}, kRows);
    const std::string csv = CsvText(table);
    EXPECT_EQ(csv,
              "\xEF\xBB\xBF"
              "ID прибора,\"Тип, модель\",Адрес\r\n"
              "KE-100,КЕ-11.1.2 ver3.4,10.0.0.1:4001\r\n"
              "\"Щит \"\"Север\"\"\",,\"a,b\"\r\n"
              "два\tполя,\"строка\r\nвторая\",\"\n\"\r\n");
}

TEST(RowExport, CsvFieldCases) {
    const struct {
        const char* text;
        const char* field;
    } cases[] = {
        {"", ""},           {"plain", "plain"},       {"Ёлка", "Ёлка"},   {"a,b", "\"a,b\""},
        {"\"", "\"\"\"\""}, {"x\ry", "\"x\ry\""}, {"x\ny", "\"x\ny\""}, {" lead", " lead"},
    };
    for (const auto& c : cases) EXPECT_EQ(CsvField(c.text), c.field) << c.text;
}

TEST(RowExport, EmptyTableIsTheCaptionLineAlone) {
    const Grid none;
    EXPECT_EQ(TabSeparatedText(TableOf({"A", "B"}, none)), "A\tB\n");
    EXPECT_EQ(CsvText(TableOf({"A", "B"}, none)), "\xEF\xBB\xBF" "A,B\r\n");
}

TEST(RowExport, CsvGoesToTheWriterInPiecesAndStopsWhenItFails) {
    Grid many(5000, {"строка с текстом", "10.0.0.1:4001", "x"});
    const ExportTable table = TableOf({"A", "B", "C"}, many);
    std::string joined;
    int pieces = 0;
    EXPECT_TRUE(WriteCsv(table, [&](std::string_view piece) {
        joined += piece;
        ++pieces;
        return true;
    }));
    EXPECT_GT(pieces, 1);
    EXPECT_EQ(joined, CsvText(table));
    int calls = 0;
    EXPECT_FALSE(WriteCsv(table, [&](std::string_view) { return ++calls > 1 ? false : true; }));
    EXPECT_EQ(calls, 2);
}

std::string Render(const ListCell& c) {
    return std::string(reinterpret_cast<const char*>(c.Payload.data()), c.Kind);
}
ListCell TextCell(const std::string& text) {
    ListCell c;
    c.Kind = static_cast<std::uint8_t>(text.size());
    std::memcpy(c.Payload.data(), text.data(), text.size());
    return c;
}

TEST(RowExport, ViewTableTakesColumnsInTheOrderShownAndTheGivenRows) {
    TListView view(3, Render);
    for (const char* id : {"a", "b", "c"}) {
        TListItem* row = view.Add();
        row->Caption() = TextCell(id);
        row->AddSubItem();
        row->SubItem(0) = TextCell(std::string(id) + "1");
        row->AddSubItem();
        row->SubItem(1) = TextCell(std::string(id) + "2");
    }
    TListItem* shortRow = view.Add();  // no sub-items yet
    shortRow->Caption() = TextCell("d");
    const ExportTable table =
        ViewTable(view, {"Первый", "Второй", "Третий"}, {2, 0, 1}, {view.Item(2), view.Item(0), shortRow});
    EXPECT_EQ(TabSeparatedText(table), "Третий\tПервый\tВторой\nc2\tc\tc1\na2\ta\ta1\n\td\t\n");
}

}  // namespace
}  // namespace telv
