#include "WindowLayout.h"

#include "ClientSettings.h"
#include "Registry.h"

#include <algorithm>

namespace telv {
namespace {

// A number of up to six decimal digits, no sign.
std::optional<int> ParseNumber(std::string_view text) {
    if (text.empty() || text.size() > 6) return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// A number of up to six decimal digits with an optional minus sign.
std::optional<int> ParseSignedNumber(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    const std::optional<int> magnitude = ParseNumber(negative ? text.substr(1) : text);
    if (!magnitude) return std::nullopt;
    return negative ? -*magnitude : *magnitude;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

bool IsBase64Text(std::string_view text) {
    return !text.empty() && text.size() <= kMaxGeometryText && text.size() % 4 == 0 &&
           std::all_of(text.begin(), text.end(), [](char c) {
               return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
                      c == '/' || c == '=';
           });
}

}  // namespace

std::string FormatColumns(const std::vector<ColumnLayout>& columns) {
    std::string text;
    for (const ColumnLayout& column : columns) {
        if (!text.empty()) text += ',';
        text += std::to_string(column.Column) + ':' + std::to_string(column.Width);
    }
    return text;
}

std::optional<std::vector<ColumnLayout>> ParseColumns(std::string_view text, int columnCount) {
    if (columnCount <= 0 || text.empty()) return std::nullopt;
    const std::vector<std::string_view> items = Split(text, ',');
    if (items.size() != static_cast<std::size_t>(columnCount)) return std::nullopt;
    std::vector<ColumnLayout> columns;
    std::vector<bool> seen(static_cast<std::size_t>(columnCount), false);
    for (const std::string_view item : items) {
        const std::size_t colon = item.find(':');
        if (colon == std::string_view::npos) return std::nullopt;
        const std::optional<int> column = ParseNumber(item.substr(0, colon));
        const std::optional<int> width = ParseNumber(item.substr(colon + 1));
        if (!column || !width || *column >= columnCount || seen[static_cast<std::size_t>(*column)] || *width < 1 ||
            *width > kMaxColumnWidth)
            return std::nullopt;
        seen[static_cast<std::size_t>(*column)] = true;
        columns.push_back({*column, *width});
    }
    return columns;
}

std::optional<std::vector<ColumnLayout>> ParseColumnsAdded(std::string_view text, int columnCount, int added) {
    if (auto columns = ParseColumns(text, columnCount)) return columns;
    if (added <= 0 || added >= columnCount) return std::nullopt;
    auto columns = ParseColumns(text, columnCount - added);
    if (!columns) return std::nullopt;
    for (int column = columnCount - added; column < columnCount; ++column) columns->push_back({column, 0});
    return columns;
}

std::string FormatColumnSet(const std::vector<int>& columns) { return FormatSizes(columns); }

std::optional<std::vector<int>> ParseColumnSet(std::string_view text, int columnCount) {
    std::vector<int> columns;
    if (text.empty()) return columns;
    for (const std::string_view item : Split(text, ',')) {
        const std::optional<int> column = ParseNumber(item);
        if (!column || *column >= columnCount || std::find(columns.begin(), columns.end(), *column) != columns.end())
            return std::nullopt;
        columns.push_back(*column);
    }
    return columns;
}

std::string FormatSizes(const std::vector<int>& sizes) {
    std::string text;
    for (const int size : sizes) {
        if (!text.empty()) text += ',';
        text += std::to_string(size);
    }
    return text;
}

std::optional<std::vector<int>> ParseSizes(std::string_view text, int parts) {
    if (parts <= 0 || text.empty()) return std::nullopt;
    const std::vector<std::string_view> items = Split(text, ',');
    if (items.size() != static_cast<std::size_t>(parts)) return std::nullopt;
    std::vector<int> sizes;
    for (const std::string_view item : items) {
        const std::optional<int> size = ParseNumber(item);
        if (!size || *size > kMaxSplitSize) return std::nullopt;
        sizes.push_back(*size);
    }
    if (std::all_of(sizes.begin(), sizes.end(), [](int s) { return s == 0; })) return std::nullopt;
    return sizes;
}

std::string FormatPlace(const WindowPlace& place) {
    return std::to_string(place.X) + ',' + std::to_string(place.Y) + ',' + std::to_string(place.Width) + ',' +
           std::to_string(place.Height) + ',' + (place.Maximized ? '1' : '0');
}

std::optional<WindowPlace> ParsePlace(std::string_view text) {
    const std::vector<std::string_view> items = Split(text, ',');
    if (items.size() != 5) return std::nullopt;
    std::optional<int> numbers[4];
    for (std::size_t i = 0; i < 4; ++i) numbers[i] = ParseSignedNumber(items[i]);
    if (!numbers[0] || !numbers[1] || !numbers[2] || !numbers[3] || (items[4] != "0" && items[4] != "1"))
        return std::nullopt;
    const WindowPlace place{*numbers[0], *numbers[1], *numbers[2], *numbers[3], items[4] == "1"};
    const auto coordinate = [](int value) { return value >= -kMaxPlaceCoordinate && value <= kMaxPlaceCoordinate; };
    const auto size = [](int value) { return value >= 1 && value <= kMaxPlaceCoordinate; };
    if (!coordinate(place.X) || !coordinate(place.Y) || !size(place.Width) || !size(place.Height)) return std::nullopt;
    return place;
}

WindowLayout ReadWindowLayout(TRegistry& registry, const WindowShape& shape) {
    WindowLayout layout;
    if (!registry.OpenKey(kSettingsKeyPath, true)) return layout;
    auto text = [&registry](std::string_view name) { return registry.ReadString(name).value_or(std::string()); };
    layout.ChanelColumns = ParseColumnsAdded(text(setting::ChanelColumns), shape.ChanelColumns, shape.ChanelAddedColumns)
                               .value_or(std::vector<ColumnLayout>{});
    layout.ClientColumns = ParseColumnsAdded(text(setting::ClientColumns), shape.ClientColumns, shape.ClientAddedColumns)
                               .value_or(std::vector<ColumnLayout>{});
    if (const auto hidden = registry.ReadString(setting::ChanelHiddenColumns))
        layout.ChanelHidden = ParseColumnSet(*hidden, shape.ChanelColumns);
    if (const auto hidden = registry.ReadString(setting::ClientHiddenColumns))
        layout.ClientHidden = ParseColumnSet(*hidden, shape.ClientColumns);
    layout.SplitterSizes = ParseSizes(text(setting::SplitterSizes), shape.SplitParts).value_or(std::vector<int>{});
    if (const std::optional<std::int32_t> tab = registry.ReadInteger(setting::ActiveTab); tab && *tab >= 0 && *tab < shape.Tabs)
        layout.ActiveTab = *tab;
    layout.Place = ParsePlace(text(setting::WindowPlace));
    if (std::string geometry = text(setting::WindowGeometry); !layout.Place && IsBase64Text(geometry))
        layout.WindowGeometry = std::move(geometry);
    registry.CloseKey();
    return layout;
}

bool SaveWindowLayout(TRegistry& registry, const WindowLayout& layout) {
    if (!registry.OpenKey(kSettingsKeyPath, true)) return false;
    if (!layout.ChanelColumns.empty()) registry.WriteString(setting::ChanelColumns, FormatColumns(layout.ChanelColumns));
    if (!layout.ClientColumns.empty()) registry.WriteString(setting::ClientColumns, FormatColumns(layout.ClientColumns));
    if (!layout.SplitterSizes.empty()) registry.WriteString(setting::SplitterSizes, FormatSizes(layout.SplitterSizes));
    if (layout.ActiveTab) registry.WriteInteger(setting::ActiveTab, *layout.ActiveTab);
    if (layout.Place) registry.WriteString(setting::WindowPlace, FormatPlace(*layout.Place));
    if (!layout.WindowGeometry.empty()) registry.WriteString(setting::WindowGeometry, layout.WindowGeometry);
    if (layout.ChanelHidden) registry.WriteString(setting::ChanelHiddenColumns, FormatColumnSet(*layout.ChanelHidden));
    if (layout.ClientHidden) registry.WriteString(setting::ClientHiddenColumns, FormatColumnSet(*layout.ClientHidden));
    return registry.CloseKey();
}

}  // namespace telv
