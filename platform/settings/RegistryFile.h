// The values of one registry key as held in a registry-export text file:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Vendor\Program]
//   "Name"="text with \\ and \" escaped"
//   "Count"=dword:0000000a
//   "Path"=hex(2):25,00,00,00
//
// Strings ("...") and double-words (dword:) are the typed values; every hex form (hex:, hex(N):,
// continued over lines with a trailing backslash) is kept as written and counts as another type.
//
// Reading is tolerant: every line that parses keeps its value, and a line that does not (a damaged
// value, a comment, text of another key's section) is kept as it is and written back in its place,
// so nothing in the file is lost. A damaged line whose value name can still be made out is
// replaced when the program writes that value. Value names compare case-insensitively; when a
// name occurs twice the later value wins, in the place of the first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace telv {

enum class RegDataType { Absent, String, Integer, Other };

struct RegValue {
    std::string Name;           // UTF-8; empty for the key's default value ("@")
    RegDataType Type = RegDataType::String;  // String, Integer or Other
    std::string Text;           // String: the text (UTF-8)
    std::uint32_t Number = 0;   // Integer: the double-word
    std::string RawData;        // Other: the data as written after '=', continuations joined
};

class RegistryFile {
public:
    // keyName is the section header's text without brackets, e.g. "HKEY_CURRENT_USER\Software\X".
    explicit RegistryFile(std::string keyName);

    // Names of values to leave out when reading: true for a name whose lines are skipped.
    using NameFilter = bool (*)(std::string_view name);

    // Reads a file's bytes: UTF-8 (with or without BOM), UTF-16 in either byte order (with or
    // without BOM), or 8-bit lines that are not UTF-8 as CP1251; LF or CRLF. The value lines
    // (parsed or damaged) whose names `skip` accepts are left out unparsed: such a file holds
    // only part of the key and must not be written back.
    static RegistryFile Parse(std::string_view bytes, std::string keyName, NameFilter skip = nullptr);
    // The file text, UTF-8 without BOM, LF line ends.
    std::string Serialize() const;

    const std::string& KeyName() const { return keyName_; }
    // nullptr when there is no parsed value of that name.
    const RegValue* Find(std::string_view name) const;
    // Replaces the value of that name (or a damaged line that carries the name) in its place, or
    // appends it.
    void Set(RegValue value);
    // The names of the parsed values, in file order.
    std::vector<std::string> ValueNames() const;
    // Calls visit with each parsed value, in file order (each name once).
    void ForEachValue(const std::function<void(const RegValue&)>& visit) const;

private:
    // One line of the key's own section: a parsed value, or text kept as it was. A kept line
    // is found by the value name when one could be made out.
    struct Entry {
        RegValue Value;     // for a kept line: Name the name made out (if any), RawData its text
        bool Kept = false;
    };

    // The index: folded name → entries_ position, in open addressing (a key may hold hundreds of
    // thousands of values; one flat table, no allocation per name). A kept line is indexed
    // under its Value.Name.
    struct IndexSlot {
        std::uint32_t Hash = 0;
        std::uint32_t Position = 0;  // entries_ position + 1; 0: empty
    };
    static constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);
    static std::uint32_t HashName(std::string_view folded);
    // The slot that holds the name, or the empty slot where it would go.
    std::size_t SlotOf(std::string_view folded, std::uint32_t hash) const;
    std::size_t PositionOf(std::string_view folded) const;
    void IndexAt(std::string_view folded, std::size_t position);
    void ReserveIndex(std::size_t names);

    void AddValue(RegValue value);
    void AddKept(std::string text, std::optional<std::string> name);

    std::string keyName_;
    std::vector<Entry> entries_;
    std::vector<std::string> foreignLines_;  // other keys' sections, headers included
    std::vector<IndexSlot> index_;
    std::size_t indexed_ = 0;
};

// Case-folded form of a value or key name, for comparing names as the registry does.
std::string FoldRegistryName(std::string_view name);

}  // namespace telv
