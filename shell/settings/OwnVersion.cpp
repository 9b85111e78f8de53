#include "OwnVersion.h"

#include "VersionRecord.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

namespace telv {
namespace {

constexpr std::string_view kCaptionPrefix = "(Версия : ";

bool IsCSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

struct ParsedNumber {
    int Value = 0;
    std::size_t End = 0;  // where the number ended; the start when there were no digits
};

// One decimal number from text[start] on, as strtol with base 10 reads it, saturated to int.
ParsedNumber ParseNumber(std::string_view text, std::size_t start) {
    std::size_t pos = start;
    while (pos < text.size() && IsCSpace(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    const std::size_t digitsStart = pos;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<int>::max()} + 1;
    std::int64_t magnitude = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        magnitude = std::min(kLimit, magnitude * 10 + (text[pos] - '0'));
        ++pos;
    }
    if (pos == digitsStart) return ParsedNumber{0, start};
    const std::int64_t value = negative ? -magnitude : std::min(magnitude, kLimit - 1);
    return ParsedNumber{static_cast<int>(value), pos};
}

}  // namespace

std::string ReadOwnVersion(const std::string& versionText, int (&clientVersion)[kClientVersionCount]) {
    for (int& number : clientVersion) number = 0;
    std::string caption(kCaptionPrefix);
    if (versionText.empty()) return caption;
    caption += versionText;
    caption += ')';

    std::size_t pos = 0;
    for (int& number : clientVersion) {
        if (pos >= versionText.size()) break;
        const ParsedNumber parsed = ParseNumber(versionText, pos);
        number = parsed.Value;
        pos = parsed.End + 1;
    }
    return caption;
}

std::string ReadOwnVersion(int (&clientVersion)[kClientVersionCount]) {
    return ReadOwnVersion(std::string(version_record::kFileVersion), clientVersion);
}

}  // namespace telv
