// The window's layout as the operator left it: column widths and order of both views, the
// split between the tables and the log pane, the active tab and the window geometry. Kept in
// the settings key beside the console's other values, under value names of its own.
//
// Reading never fails: a value that is absent, of another type or damaged reads as "not
// stored", and the window keeps its built-in layout for that part alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace telv {

class TRegistry;

namespace setting {
inline constexpr std::string_view ChanelColumns = "ChanelColumns";    // "0:100,1:100,..." left to right
inline constexpr std::string_view ClientColumns = "ClientColumns";
inline constexpr std::string_view SplitterSizes = "SplitterSizes";    // "338,86": tables, log pane
inline constexpr std::string_view ActiveTab = "ActiveTab";            // number, 0 for the first tab
inline constexpr std::string_view WindowGeometry = "WindowGeometry";  // earlier versions: base64 of Qt's record
inline constexpr std::string_view WindowPlace = "WindowPlace";        // "x,y,width,height,maximized"
inline constexpr std::string_view ChanelHiddenColumns = "ChanelHiddenColumns";  // "7": hidden logical columns
inline constexpr std::string_view ClientHiddenColumns = "ClientHiddenColumns";
}  // namespace setting

// One column of a view, in the order shown: its logical number and width in pixels.
struct ColumnLayout {
    int Column = 0;
    int Width = 0;
    bool operator==(const ColumnLayout&) const = default;
};

// Widths from 1 to this many pixels are believed; sizes of the split up to kMaxSplitSize.
inline constexpr int kMaxColumnWidth = 10000;
inline constexpr int kMaxSplitSize = 100000;
inline constexpr std::size_t kMaxGeometryText = 4096;

// "c:w,c:w,...": each logical column once, left to right.
std::string FormatColumns(const std::vector<ColumnLayout>& columns);
// Nothing unless the text names every column 0..columnCount-1 exactly once with a believable width.
std::optional<std::vector<ColumnLayout>> ParseColumns(std::string_view text, int columnCount);
// A column list stored before `added` columns were appended to the view: the stored columns as
// stored, then the added ones at the end with width 0 (their built-in width). A text naming
// every column reads as ParseColumns reads it.
std::optional<std::vector<ColumnLayout>> ParseColumnsAdded(std::string_view text, int columnCount, int added);
// "a,b,...": logical column numbers, each below columnCount and at most once; empty for none.
std::string FormatColumnSet(const std::vector<int>& columns);
std::optional<std::vector<int>> ParseColumnSet(std::string_view text, int columnCount);
// "a,b,...": the sizes of a split, nothing unless there are exactly `parts` of them, not all 0.
std::string FormatSizes(const std::vector<int>& sizes);
std::optional<std::vector<int>> ParseSizes(std::string_view text, int parts);

// Where the window was: its interior in desktop coordinates in the normal (not maximized)
// state, and whether it was maximized.
struct WindowPlace {
    int X = 0;
    int Y = 0;
    int Width = 0;
    int Height = 0;
    bool Maximized = false;
    bool operator==(const WindowPlace&) const = default;
};

// Coordinates within ±kMaxPlaceCoordinate and sizes from 1 to it are believed.
inline constexpr int kMaxPlaceCoordinate = 100000;

// "x,y,width,height,maximized" with maximized 0 or 1.
std::string FormatPlace(const WindowPlace& place);
std::optional<WindowPlace> ParsePlace(std::string_view text);

// The stored layout; empty or absent members mean "keep the built-in layout".
struct WindowLayout {
    std::vector<ColumnLayout> ChanelColumns;
    std::vector<ColumnLayout> ClientColumns;
    std::vector<int> SplitterSizes;
    std::optional<int> ActiveTab;
    std::optional<WindowPlace> Place;
    std::string WindowGeometry;  // base64 text, read only when no place is stored
    // The columns the operator hid (logical numbers); unset: not stored.
    std::optional<std::vector<int>> ChanelHidden;
    std::optional<std::vector<int>> ClientHidden;
    bool operator==(const WindowLayout&) const = default;
};

// What the window is made of, to check the stored values against.
struct WindowShape {
    int ChanelColumns = 0;
    int ClientColumns = 0;
    int SplitParts = 0;
    int Tabs = 0;
    // Columns appended to each view after its first layouts were stored (the rate columns).
    int ChanelAddedColumns = 0;
    int ClientAddedColumns = 0;
};

// Opens the settings key, reads the layout values that are sound, closes the key.
WindowLayout ReadWindowLayout(TRegistry& registry, const WindowShape& shape);
// Writes every member that is set; false when the key cannot be opened or written.
bool SaveWindowLayout(TRegistry& registry, const WindowLayout& layout);

}  // namespace telv
