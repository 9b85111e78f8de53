// Conversion of the simulator's own texts (written in UTF-8 in the source) to Windows-1251,
// the code page of every text on the wire.
#pragma once

#include <string>
#include <string_view>

namespace telv::sim {

// Russian letters, Ё/ё, ASCII and a few punctuation marks map to their CP1251 bytes; any other
// character, and any malformed UTF-8 sequence, becomes '?'.
std::string Utf8ToCp1251(std::string_view utf8);

}  // namespace telv::sim
