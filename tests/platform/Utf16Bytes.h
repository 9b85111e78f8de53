// The bytes of a text in UTF-16, as a file in that encoding holds them.
#pragma once

#include <string>

namespace telv::test {

inline std::string Utf16Bytes(const std::u16string& text, bool bigEndian) {
    std::string bytes;
    for (const char16_t unit : text) {
        const auto high = static_cast<char>(unit >> 8);
        const auto low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

}  // namespace telv::test
