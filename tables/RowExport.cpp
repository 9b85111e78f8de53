#include "RowExport.h"

#include <utility>

namespace telv {
namespace {

// Pieces of about this size go to the writer.
constexpr std::size_t kPieceSize = 64 * 1024;

void AppendTabCell(std::string& out, std::string_view text) {
    for (const char c : text) out += (c == '\t' || c == '\r' || c == '\n') ? ' ' : c;
}

void AppendTabLine(std::string& out, std::size_t columns, const std::function<std::string(std::size_t)>& cell) {
    for (std::size_t c = 0; c < columns; ++c) {
        if (c) out += '\t';
        AppendTabCell(out, cell(c));
    }
    out += '\n';
}

void AppendCsvLine(std::string& out, std::size_t columns, const std::function<std::string(std::size_t)>& cell) {
    for (std::size_t c = 0; c < columns; ++c) {
        if (c) out += ',';
        out += CsvField(cell(c));
    }
    out += "\r\n";
}

}  // namespace

ExportTable ViewTable(const TListView& view, const std::vector<std::string>& captions,
                      const std::vector<int>& columns, std::vector<const TListItem*> rows) {
    ExportTable table;
    for (const int column : columns)
        table.Captions.push_back(column >= 0 && static_cast<std::size_t>(column) < captions.size()
                                     ? captions[static_cast<std::size_t>(column)]
                                     : std::string());
    table.RowCount = rows.size();
    table.Cell = [&view, columns, rows = std::move(rows)](std::size_t row, std::size_t column) {
        const TListItem& item = *rows[row];
        const int logical = columns[column];
        return logical >= 0 && logical <= item.SubItemCount() ? view.Text(item, logical) : std::string();
    };
    return table;
}

std::string TabSeparatedText(const ExportTable& table) {
    std::string out;
    const std::size_t columns = table.Captions.size();
    AppendTabLine(out, columns, [&](std::size_t c) { return table.Captions[c]; });
    for (std::size_t r = 0; r < table.RowCount; ++r)
        AppendTabLine(out, columns, [&](std::size_t c) { return table.Cell(r, c); });
    return out;
}

std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string field = "\"";
    for (const char c : text) {
        if (c == '"') field += '"';
        field += c;
    }
    field += '"';
    return field;
}

bool WriteCsv(const ExportTable& table, const std::function<bool(std::string_view piece)>& write) {
    std::string piece(kUtf8Bom);
    const std::size_t columns = table.Captions.size();
    AppendCsvLine(piece, columns, [&](std::size_t c) { return table.Captions[c]; });
    for (std::size_t r = 0; r < table.RowCount; ++r) {
        AppendCsvLine(piece, columns, [&](std::size_t c) { return table.Cell(r, c); });
        if (piece.size() >= kPieceSize) {
            if (!write(piece)) return false;
            piece.clear();
        }
    }
    return write(piece);
}

std::string CsvText(const ExportTable& table) {
    std::string text;
    WriteCsv(table, [&text](std::string_view piece) {
        text += piece;
        return true;
    });
    return text;
}

}  // namespace telv
