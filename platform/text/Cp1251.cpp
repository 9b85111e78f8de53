#include "Cp1251.h"

#include <array>

namespace telv {
namespace {

// Code points of 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F in order.
constexpr std::array<char16_t, 64> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

char32_t ToCodePoint(std::uint8_t b) {
    if (b < 0x80) return b;
    if (b >= 0xC0) return static_cast<char32_t>(0x0410 + (b - 0xC0));
    return kHigh[static_cast<std::size_t>(b - 0x80)];
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 sequence at s[i], advancing i; malformed input gives U+FFFD.
char32_t NextCodePoint(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<std::uint8_t>(s[i++]);
    if (b0 < 0x80) return b0;
    int extra = b0 >= 0xF0 ? 3 : b0 >= 0xE0 ? 2 : b0 >= 0xC0 ? 1 : -1;
    if (extra < 0) return 0xFFFD;
    char32_t c = b0 & (0x3F >> extra);
    for (; extra > 0; --extra) {
        if (i >= s.size() || (static_cast<std::uint8_t>(s[i]) & 0xC0) != 0x80) return 0xFFFD;
        c = (c << 6) | (static_cast<std::uint8_t>(s[i++]) & 0x3F);
    }
    return c;
}

}  // namespace

std::string Cp1251ToUtf8(std::span<const std::uint8_t> bytes, bool showControls) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        if (showControls && b < 0x20)
            AppendUtf8(out, 0x2400 + b);
        else if (showControls && b == 0x7F)
            AppendUtf8(out, 0x2421);
        else
            AppendUtf8(out, ToCodePoint(b));
    }
    return out;
}

std::string Utf8ToCp1251(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t c = NextCodePoint(utf8, i);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c >= 0x0410 && c <= 0x044F) {
            out += static_cast<char>(0xC0 + (c - 0x0410));
        } else {
            char mapped = '?';
            for (std::size_t k = 0; k < kHigh.size(); ++k)
                if (kHigh[k] == c && c != 0xFFFD) mapped = static_cast<char>(0x80 + k);
            out += mapped;
        }
    }
    return out;
}

}  // namespace telv
