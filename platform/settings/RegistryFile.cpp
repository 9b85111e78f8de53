#include "RegistryFile.h"

#include "AsciiText.h"
#include "Cp1251.h"
#include "SkippedLineFilter.h"

#include <QString>

#include <algorithm>
#include <cstring>
#include <utility>

namespace telv {
namespace {

constexpr std::string_view kSignature = "Windows Registry Editor Version 5.00";
constexpr std::string_view kOldSignature = "REGEDIT4";

using regline::IsBlank;
using regline::IsPlainLineSkipped;
using regline::IsValidUtf8;
using regline::Trim;

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::uint32_t HexValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<std::uint32_t>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<std::uint32_t>(c - 'a' + 10);
    return static_cast<std::uint32_t>(c - 'A' + 10);
}

// UTF-16 code units in either byte order as UTF-8.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        const auto first = static_cast<unsigned char>(bytes[2 * i]);
        const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
        units[i] = static_cast<char16_t>(bigEndian ? (first << 8) | second : first | (second << 8));
    }
    const QByteArray utf8 = QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size())).toUtf8();
    return std::string(utf8.constData(), static_cast<std::size_t>(utf8.size()));
}

// An 8-bit line from another system, as Windows-1251. Every byte keeps a character of its own,
// so distinct names stay distinct: the one byte CP1251 leaves unassigned (0x98) becomes U+0098.
void AppendCp1251(std::string& out, std::string_view line) {
    while (!line.empty()) {
        const std::size_t unassigned = line.find('\x98');
        out += Cp1251ToUtf8(line.substr(0, unassigned), false);
        if (unassigned == std::string_view::npos) return;
        out += "\xC2\x98";
        line.remove_prefix(unassigned + 1);
    }
}

// The file's text as UTF-8. UTF-16 in either byte order is recognised by its byte-order mark,
// or without one by the zero byte of its first character (every export starts with a letter or
// '['); a UTF-8 byte-order mark is dropped. In an 8-bit file each line that is not valid UTF-8
// is read as CP1251, as an ANSI registry export holds it.
// Returns the converted text, or nothing when the bytes (less a UTF-8 byte-order mark, which is
// dropped from `bytes`) are already the text.
std::optional<std::string> DecodeFileText(std::string_view& bytes) {
    if (bytes.size() >= 2 && std::memcmp(bytes.data(), "\xFF\xFE", 2) == 0) return Utf16ToUtf8(bytes.substr(2), false);
    if (bytes.size() >= 2 && std::memcmp(bytes.data(), "\xFE\xFF", 2) == 0) return Utf16ToUtf8(bytes.substr(2), true);
    if (bytes.size() >= 2 && bytes[0] != '\0' && bytes[1] == '\0') return Utf16ToUtf8(bytes, false);
    if (bytes.size() >= 2 && bytes[0] == '\0' && bytes[1] != '\0') return Utf16ToUtf8(bytes, true);
    if (bytes.size() >= 3 && std::memcmp(bytes.data(), "\xEF\xBB\xBF", 3) == 0) bytes.remove_prefix(3);
    if (IsValidUtf8(bytes)) return std::nullopt;
    std::string text;
    text.reserve(bytes.size() * 2);
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view line = bytes.substr(0, end == std::string_view::npos ? bytes.size() : end + 1);
        if (IsValidUtf8(line)) {
            text += line;
        } else {
            AppendCp1251(text, line);
        }
        bytes.remove_prefix(line.size());
    }
    return text;
}

// Lines without their LF or CRLF ends.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    lines.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

// A quoted text starting at s[pos] == '"'. On success pos is just past the closing quote.
std::optional<std::string> ParseQuoted(std::string_view s, std::size_t& pos) {
    if (pos >= s.size() || s[pos] != '"') return std::nullopt;
    std::string text;
    for (std::size_t i = pos + 1; i < s.size(); ++i) {
        // Plain characters up to the next quote or backslash go in at once.
        const std::size_t special = s.find_first_of("\"\\", i);
        if (special == std::string_view::npos) return std::nullopt;  // no closing quote
        text.append(s.data() + i, special - i);
        i = special;
        if (s[i] == '"') {
            pos = i + 1;
            return text;
        }
        if (++i == s.size()) return std::nullopt;
        switch (s[i]) {
            case '\\': text += '\\'; break;
            case '"': text += '"'; break;
            case 'n': text += '\n'; break;
            case 'r': text += '\r'; break;
            case '0': text += '\0'; break;
            default: return std::nullopt;
        }
    }
    return std::nullopt;  // no closing quote
}

std::string Quote(std::string_view text) {
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
            case '\\': quoted += "\\\\"; break;
            case '"': quoted += "\\\""; break;
            case '\n': quoted += "\\n"; break;
            case '\r': quoted += "\\r"; break;
            case '\0': quoted += "\\0"; break;
            default: quoted += c;
        }
    }
    return quoted + '"';
}

// The value name of a value line and where its data starts (after '=' and blanks).
struct NamePart {
    std::string Name;
    std::size_t DataStart = 0;
};

std::optional<NamePart> ParseNamePart(std::string_view line) {
    std::size_t pos = 0;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    NamePart part;
    if (pos < line.size() && line[pos] == '@') {
        ++pos;
    } else {
        std::optional<std::string> name = ParseQuoted(line, pos);
        if (!name) return std::nullopt;
        part.Name = std::move(*name);
    }
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != '=') return std::nullopt;
    ++pos;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    part.DataStart = pos;
    return part;
}

std::optional<std::uint32_t> ParseDword(std::string_view digits) {
    digits = Trim(digits);
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : digits) {
        if (!IsHexDigit(c)) return std::nullopt;
        value = (value << 4) | HexValue(c);
    }
    return value;
}

// hex:bb,bb,... or hex(N):bb,bb,... with N of up to 8 hex digits; the byte list may be empty.
bool IsHexData(std::string_view data) {
    if (!StartsWithNoCase(data, "hex")) return false;
    data.remove_prefix(3);
    if (!data.empty() && data.front() == '(') {
        const std::size_t close = data.find(')');
        if (close == std::string_view::npos || close < 2 || close > 9) return false;
        for (std::size_t i = 1; i < close; ++i) {
            if (!IsHexDigit(data[i])) return false;
        }
        data.remove_prefix(close + 1);
    }
    if (data.empty() || data.front() != ':') return false;
    data.remove_prefix(1);
    if (Trim(data).empty()) return true;
    while (true) {
        const std::size_t comma = data.find(',');
        const std::string_view byte = Trim(data.substr(0, comma));
        const bool last = comma == std::string_view::npos;
        if (byte.empty()) {
            if (!last) return false;  // ",," or a leading comma
            return true;              // one trailing comma
        }
        if (byte.size() > 2 || !IsHexDigit(byte[0]) || (byte.size() == 2 && !IsHexDigit(byte[1]))) return false;
        if (last) return true;
        data.remove_prefix(comma + 1);
    }
}

struct LineParse {
    std::optional<RegValue> Value;
    std::optional<std::string> Name;  // also when the data is damaged
};

LineParse ParseValueLine(std::string_view line) {
    LineParse result;
    std::optional<NamePart> part = ParseNamePart(line);
    if (!part) return result;
    const std::string_view data = Trim(line.substr(part->DataStart));
    RegValue value;
    // The name goes with the value, or alone when the data are damaged.
    const auto damaged = [&result, &part] {
        result.Name = std::move(part->Name);
        return std::move(result);
    };
    if (!data.empty() && data.front() == '"') {
        std::size_t pos = 0;
        std::optional<std::string> text = ParseQuoted(data, pos);
        if (!text || pos != data.size()) return damaged();
        value.Type = RegDataType::String;
        value.Text = std::move(*text);
    } else if (StartsWithNoCase(data, "dword:")) {
        const std::optional<std::uint32_t> number = ParseDword(data.substr(6));
        if (!number) return damaged();
        value.Type = RegDataType::Integer;
        value.Number = *number;
    } else if (IsHexData(data)) {
        value.Type = RegDataType::Other;
        value.RawData = std::string(data);
    } else {
        return damaged();
    }
    value.Name = std::move(part->Name);
    result.Value = std::move(value);
    return result;
}

// A hex value continued over lines ends each line but its last with a backslash.
bool ContinuesOnNextLine(std::string_view logicalLine) {
    const std::string_view trimmed = Trim(logicalLine);
    if (trimmed.empty() || trimmed.back() != '\\') return false;
    const std::optional<NamePart> part = ParseNamePart(logicalLine);
    if (!part) return false;
    const std::string_view data = Trim(logicalLine.substr(part->DataStart));
    return StartsWithNoCase(data, "hex") && !data.empty() && data.back() == '\\';
}

// True when the logical line is a value line (sound or damaged) of a name that `skip` accepts.
bool IsSkipped(std::string_view logicalLine, RegistryFile::NameFilter skip) {
    const std::optional<NamePart> part = ParseNamePart(logicalLine);
    return part && skip(part->Name);
}

std::string FormatValue(const RegValue& value) {
    std::string line = value.Name.empty() ? std::string("@") : Quote(value.Name);
    line += '=';
    switch (value.Type) {
        case RegDataType::String:
            line += Quote(value.Text);
            break;
        case RegDataType::Integer: {
            static constexpr char kDigits[] = "0123456789abcdef";
            line += "dword:";
            for (int shift = 28; shift >= 0; shift -= 4) line += kDigits[(value.Number >> shift) & 0xF];
            break;
        }
        case RegDataType::Other:
        case RegDataType::Absent:
            line += value.RawData;
            break;
    }
    return line;
}

}  // namespace

std::string FoldRegistryName(std::string_view name) {
    if (IsAscii(name)) {
        std::string folded(name);
        std::transform(folded.begin(), folded.end(), folded.begin(), AsciiLower);
        return folded;
    }
    const QByteArray folded =
        QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())).toCaseFolded().toUtf8();
    return std::string(folded.constData(), static_cast<std::size_t>(folded.size()));
}

RegistryFile::RegistryFile(std::string keyName) : keyName_(std::move(keyName)) {}

RegistryFile RegistryFile::Parse(std::string_view bytes, std::string keyName, NameFilter skip) {
    RegistryFile file(std::move(keyName));
    const std::string foldedKey = FoldRegistryName(file.keyName_);
    std::string_view text = bytes;
    const std::optional<std::string> converted = DecodeFileText(text);
    if (converted) text = *converted;
    const std::vector<std::string_view> lines = SplitLines(text);
    if (!skip) {  // a partial read keeps few of the lines
        file.entries_.reserve(lines.size());
        file.ReserveIndex(lines.size());
    }

    bool firstContent = true;
    bool inForeignSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        // A partial read passes over most lines: those of the names it skips.
        if (skip && !inForeignSection && !firstContent && IsPlainLineSkipped(lines[i], skip) == true) continue;
        const std::string_view trimmed = Trim(lines[i]);
        if (trimmed.empty()) continue;
        if (std::exchange(firstContent, false) && (trimmed == kSignature || trimmed == kOldSignature)) continue;

        if (trimmed.front() == '[' && trimmed.back() == ']' && trimmed.size() >= 2) {
            inForeignSection = FoldRegistryName(trimmed.substr(1, trimmed.size() - 2)) != foldedKey;
            if (inForeignSection) file.foreignLines_.emplace_back(lines[i]);
            continue;
        }

        // One logical line: a hex value may continue over the following lines. Most lines
        // stand alone and are not copied.
        const std::size_t first = i;
        std::string joined;
        std::string_view logical = lines[i];
        while (i + 1 < lines.size() && ContinuesOnNextLine(logical)) {
            std::string_view head = Trim(logical);
            head.remove_suffix(1);  // the backslash
            joined = std::string(Trim(head)) + std::string(Trim(lines[++i]));
            logical = joined;
        }
        const auto raw = [&] {
            std::string kept(lines[first]);
            for (std::size_t k = first + 1; k <= i; ++k) {
                kept += '\n';
                kept += lines[k];
            }
            return kept;
        };

        if (inForeignSection) {
            file.foreignLines_.push_back(raw());
        } else if (trimmed.front() == ';') {
            file.AddKept(raw(), std::nullopt);
        } else if (skip && IsSkipped(logical, skip)) {
            continue;
        } else if (LineParse parsed = ParseValueLine(logical); parsed.Value) {
            file.AddValue(std::move(*parsed.Value));
        } else {
            file.AddKept(raw(), std::move(parsed.Name));
        }
    }
    return file;
}

std::string RegistryFile::Serialize() const {
    std::string text(kSignature);
    text += "\n\n[";
    text += keyName_;
    text += "]\n";
    for (const Entry& entry : entries_) {
        text += entry.Kept ? entry.Value.RawData : FormatValue(entry.Value);
        text += '\n';
    }
    for (const std::string& line : foreignLines_) {
        const std::string_view trimmed = Trim(line);
        if (!trimmed.empty() && trimmed.front() == '[') text += '\n';
        text += line;
        text += '\n';
    }
    return text;
}

std::uint32_t RegistryFile::HashName(std::string_view folded) {
    return static_cast<std::uint32_t>(std::hash<std::string_view>{}(folded));
}

std::size_t RegistryFile::SlotOf(std::string_view folded, std::uint32_t hash) const {
    const std::size_t mask = index_.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const IndexSlot& at = index_[slot];
        if (at.Position == 0) return slot;
        if (at.Hash == hash && FoldRegistryName(entries_[at.Position - 1].Value.Name) == folded) return slot;
    }
}

std::size_t RegistryFile::PositionOf(std::string_view folded) const {
    if (index_.empty()) return kNotFound;
    const IndexSlot& at = index_[SlotOf(folded, HashName(folded))];
    return at.Position == 0 ? kNotFound : at.Position - 1;
}

// Points the name at position, adding it when new.
void RegistryFile::IndexAt(std::string_view folded, std::size_t position) {
    ReserveIndex(indexed_ + 1);
    const std::uint32_t hash = HashName(folded);
    IndexSlot& at = index_[SlotOf(folded, hash)];
    if (at.Position == 0) ++indexed_;
    at = IndexSlot{hash, static_cast<std::uint32_t>(position + 1)};
}

// Room for this many names at half load or less.
void RegistryFile::ReserveIndex(std::size_t names) {
    if (names * 2 <= index_.size()) return;
    std::size_t size = 16;
    while (size < names * 2) size *= 2;
    std::vector<IndexSlot> old = std::exchange(index_, std::vector<IndexSlot>(size));
    const std::size_t mask = size - 1;
    for (const IndexSlot& at : old) {
        if (at.Position == 0) continue;
        std::size_t slot = at.Hash & mask;
        while (index_[slot].Position != 0) slot = (slot + 1) & mask;
        index_[slot] = at;
    }
}

const RegValue* RegistryFile::Find(std::string_view name) const {
    const std::size_t position = PositionOf(FoldRegistryName(name));
    if (position == kNotFound) return nullptr;
    const Entry& entry = entries_[position];
    return entry.Kept ? nullptr : &entry.Value;
}

void RegistryFile::Set(RegValue value) {
    const std::string folded = FoldRegistryName(value.Name);
    if (const std::size_t position = PositionOf(folded); position != kNotFound) {
        Entry& entry = entries_[position];
        entry.Value = std::move(value);
        entry.Kept = false;
        return;
    }
    entries_.push_back(Entry{std::move(value), false});
    IndexAt(folded, entries_.size() - 1);
}

void RegistryFile::ForEachValue(const std::function<void(const RegValue&)>& visit) const {
    for (const Entry& entry : entries_) {
        if (!entry.Kept) visit(entry.Value);
    }
}

std::vector<std::string> RegistryFile::ValueNames() const {
    std::vector<std::string> names;
    for (const Entry& entry : entries_) {
        if (!entry.Kept) names.push_back(entry.Value.Name);
    }
    return names;
}

// While reading, a later value of the same name wins in the place of the first; a damaged line
// never hides a value that parsed.
void RegistryFile::AddValue(RegValue value) {
    const std::string folded = FoldRegistryName(value.Name);
    const std::size_t position = PositionOf(folded);
    if (position != kNotFound && !entries_[position].Kept) {
        entries_[position].Value = std::move(value);
        return;
    }
    entries_.push_back(Entry{std::move(value), false});
    IndexAt(folded, entries_.size() - 1);
}

void RegistryFile::AddKept(std::string text, std::optional<std::string> name) {
    RegValue kept;
    kept.RawData = std::move(text);
    if (name) kept.Name = std::move(*name);
    entries_.push_back(Entry{std::move(kept), true});
    if (name) {
        const std::string folded = FoldRegistryName(entries_.back().Value.Name);
        if (PositionOf(folded) == kNotFound) IndexAt(folded, entries_.size() - 1);
    }
}

}  // namespace telv
