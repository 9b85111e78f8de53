#include "Cp1251.h"

#include <cstdint>

namespace telv::sim {
namespace {

constexpr char kReplacement = '?';

struct Mapping {
    char32_t codePoint;
    unsigned char byte;
};

// The characters outside А..я and ASCII that our texts use.
constexpr Mapping kExtra[] = {
    {U'\u0401', 0xA8}, {U'\u0451', 0xB8},  // Ё ё
    {U'\u00A0', 0xA0}, {U'\u00AB', 0xAB}, {U'\u00BB', 0xBB}, {U'\u00B0', 0xB0},  // nbsp « » °
    {U'\u2013', 0x96}, {U'\u2014', 0x97}, {U'\u2026', 0x85}, {U'\u2116', 0xB9},  // – — … №
    {U'\u201C', 0x93}, {U'\u201D', 0x94}, {U'\u201E', 0x84},                     // “ ” „
};

char ToCp1251(char32_t c) {
    if (c < 0x80) return static_cast<char>(c);
    if (c >= U'\u0410' && c <= U'\u044F') return static_cast<char>(0xC0 + (c - U'\u0410'));
    for (const Mapping& m : kExtra)
        if (m.codePoint == c) return static_cast<char>(m.byte);
    return kReplacement;
}

// Decodes one UTF-8 sequence at text[pos]; advances pos. Malformed input yields U+FFFD.
char32_t DecodeOne(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<std::uint8_t>(text[pos++]);
    if (lead < 0x80) return lead;
    std::size_t extra = 0;
    char32_t c = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        c = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        c = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        c = lead & 0x07u;
    } else {
        return U'\uFFFD';
    }
    for (std::size_t i = 0; i < extra; ++i) {
        if (pos >= text.size()) return U'\uFFFD';
        const auto next = static_cast<std::uint8_t>(text[pos]);
        if ((next & 0xC0) != 0x80) return U'\uFFFD';
        c = (c << 6) | (next & 0x3Fu);
        ++pos;
    }
    return c;
}

}  // namespace

std::string Utf8ToCp1251(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) out.push_back(ToCp1251(DecodeOne(utf8, pos)));
    return out;
}

}  // namespace telv::sim
