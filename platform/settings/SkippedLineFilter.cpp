#include "SkippedLineFilter.h"

#include <cstdint>
#include <cstring>
#include <utility>

namespace telv {

namespace regline {

bool IsValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        // Runs of ASCII eight bytes at a time.
        while (s.size() - i >= 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, s.data() + i, 8);
            if ((word & 0x8080808080808080ull) != 0) break;
            i += 8;
        }
        if (i == s.size()) break;
        const auto b0 = static_cast<unsigned char>(s[i]);
        if (b0 < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;  // the allowed range of the second byte
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            length = 2;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            length = 3;
            if (b0 == 0xE0) low = 0xA0;
            if (b0 == 0xED) high = 0x9F;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            length = 4;
            if (b0 == 0xF0) low = 0x90;
            if (b0 == 0xF4) high = 0x8F;
        } else {
            return false;
        }
        if (s.size() - i < length) return false;
        const auto b1 = static_cast<unsigned char>(s[i + 1]);
        if (b1 < low || b1 > high) return false;
        for (std::size_t k = 2; k < length; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

// An ASCII name reads the same in every encoding of an 8-bit file, so it can be looked at
// before the line is decoded; any other name is left to the full reading.
std::optional<bool> IsPlainLineSkipped(std::string_view line, RegistryFile::NameFilter skip) {
    std::size_t pos = 0;
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != '"' || Trim(line).back() == '\\') return std::nullopt;
    // The closing quote, with no backslash before it; names are short, a loop beats a search.
    std::size_t close = pos + 1;
    bool ascii = true;
    for (; close < line.size() && line[close] != '"' && line[close] != '\\'; ++close)
        ascii = ascii && static_cast<unsigned char>(line[close]) < 0x80;
    if (close >= line.size() || line[close] != '"' || !ascii) return std::nullopt;
    std::size_t after = close + 1;
    while (after < line.size() && IsBlank(line[after])) ++after;
    if (after >= line.size() || line[after] != '=') return std::nullopt;
    return skip(line.substr(pos + 1, close - pos - 1));
}

}  // namespace regline

SkippedLineFilter::SkippedLineFilter(const std::string& keyName, RegistryFile::NameFilter skip)
    : foldedKey_(FoldRegistryName(keyName)), skip_(skip) {}

void SkippedLineFilter::Feed(std::string_view bytes) {
    switch (mode_) {
        case Mode::Start:
            // The first three bytes tell the encoding.
            if (partial_.empty() && bytes.size() >= 3) {
                Begin(bytes);
                return;
            }
            partial_ += bytes;
            if (partial_.size() >= 3) Begin(std::exchange(partial_, std::string()));
            return;
        case Mode::Lines:
            FeedLines(bytes);
            return;
        case Mode::Whole:
            kept_ += bytes;
            return;
    }
}

std::string SkippedLineFilter::Finish() {
    if (mode_ == Mode::Start) {
        kept_ = std::move(partial_);  // too short to pass over anything
    } else if (!partial_.empty()) {
        TakeLine(partial_);
    }
    partial_.clear();
    return std::move(kept_);
}

// Recognises UTF-16 as RegistryFile::Parse does: by its byte-order mark, or by a zero byte in
// its first character. A UTF-8 byte-order mark is kept for Parse to drop.
void SkippedLineFilter::Begin(std::string_view head) {
    const auto startsWith = [head](std::string_view mark) { return head.substr(0, mark.size()) == mark; };
    if (startsWith("\xFF\xFE") || startsWith("\xFE\xFF") || (head[0] != '\0' && head[1] == '\0') ||
        (head[0] == '\0' && head[1] != '\0')) {
        mode_ = Mode::Whole;
        kept_ += head;
        return;
    }
    mode_ = Mode::Lines;
    if (startsWith("\xEF\xBB\xBF")) {
        kept_ += head.substr(0, 3);
        head.remove_prefix(3);
    }
    FeedLines(head);
}

void SkippedLineFilter::FeedLines(std::string_view bytes) {
    while (!bytes.empty()) {
        if (mode_ == Mode::Whole) {
            kept_ += bytes;
            return;
        }
        const void* end = std::memchr(bytes.data(), '\n', bytes.size());
        if (end == nullptr) {
            partial_ += bytes;
            return;
        }
        const auto length = static_cast<std::size_t>(static_cast<const char*>(end) - bytes.data()) + 1;
        if (partial_.empty()) {
            TakeLine(bytes.substr(0, length));
        } else {
            partial_.append(bytes.data(), length);
            TakeLine(partial_);
            partial_.clear();
        }
        bytes.remove_prefix(length);
    }
}

// Leaves out a line only where Parse would pass over it: a plain line of a skipped name that
// starts a value (no line before it ends with a backslash that could continue into it), after
// the first line of content, in the key's own section.
void SkippedLineFilter::TakeLine(std::string_view line) {
    if (mode_ == Mode::Whole) {
        kept_ += line;
        return;
    }
    std::string_view text = line;
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    const bool continued = std::exchange(mayContinue_, false);
    if (seenContent_ && !continued && regline::IsPlainLineSkipped(text, skip_) == true) return;
    kept_ += line;
    const std::string_view trimmed = regline::Trim(text);
    if (trimmed.empty()) return;
    seenContent_ = true;
    mayContinue_ = trimmed.back() == '\\';
    // Another key's section (or a header whose bytes are not UTF-8, which Parse decodes first):
    // Parse keeps its lines, so from here on they all go to Parse.
    if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
        const std::string_view name = trimmed.substr(1, trimmed.size() - 2);
        if (!regline::IsValidUtf8(name) || FoldRegistryName(name) != foldedKey_) mode_ = Mode::Whole;
    }
}

}  // namespace telv
