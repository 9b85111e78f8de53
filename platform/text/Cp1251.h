// The server's 8-bit texts are Windows-1251; the program works in UTF-8.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace telv {

// Converts CP1251 bytes to UTF-8. The one unassigned byte (0x98) becomes U+FFFD. Control
// characters become visible symbols (U+2400 + code, U+2421 for 0x7F) when `showControls` is
// set, so that a server's text can never break a log line or a cell.
std::string Cp1251ToUtf8(std::span<const std::uint8_t> bytes, bool showControls = true);
inline std::string Cp1251ToUtf8(std::string_view bytes, bool showControls = true) {
    return Cp1251ToUtf8(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), showControls);
}

// Converts UTF-8 to CP1251; characters CP1251 cannot hold become '?'.
std::string Utf8ToCp1251(std::string_view utf8);

}  // namespace telv
