// ASCII text compared letter case aside, as the settings store compares names and the filters
// compare ASCII texts: A-Z fold to a-z, every other byte stays as it is.
#pragma once

#include <algorithm>
#include <string_view>

namespace telv {

inline bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

inline char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether text starts with lowerPrefix (given in lower case), ASCII letter case aside.
inline bool StartsWithNoCase(std::string_view text, std::string_view lowerPrefix) {
    if (text.size() < lowerPrefix.size()) return false;
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i)
        if (AsciiLower(text[i]) != lowerPrefix[i]) return false;
    return true;
}

}  // namespace telv
