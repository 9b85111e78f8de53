// The rows of a view as text for other programs: tab-separated text for the clipboard and CSV
// for a file.
#pragma once

#include "ListView.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace telv {

// The cells to export: a caption per column, then the rows' cell texts (UTF-8).
struct ExportTable {
    std::vector<std::string> Captions;
    std::size_t RowCount = 0;
    std::function<std::string(std::size_t row, std::size_t column)> Cell;
};

// Rows of a list view: the given columns (logical numbers, in the order shown) with their
// captions, the rows in the given order. Columns beyond a row's sub-items are empty.
ExportTable ViewTable(const TListView& view, const std::vector<std::string>& captions,
                      const std::vector<int>& columns, std::vector<const TListItem*> rows);

// A caption line, then one line per row: cells separated by tabs, each line ending "\n"; a tab,
// CR or LF inside a cell becomes a blank.
std::string TabSeparatedText(const ExportTable& table);

// The UTF-8 byte order mark that starts a CSV file, so that spreadsheets read it as UTF-8.
inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// One CSV field: as it is, or in double quotes with its quotes doubled when it holds a comma,
// a quote, CR or LF.
std::string CsvField(std::string_view text);

// The byte order mark, the caption line and one line per row, fields separated by commas, each
// line ending CRLF. The text goes to `write` in pieces; false as soon as `write` fails.
bool WriteCsv(const ExportTable& table, const std::function<bool(std::string_view piece)>& write);
// The same as one string.
std::string CsvText(const ExportTable& table);

}  // namespace telv
