// The program's own version: the caption suffix and the four numbers sent in the client hello.
#pragma once

#include <string>

namespace telv {

inline constexpr int kClientVersionCount = 4;

// Returns the caption suffix "(Версия : " + versionText + ")" and fills clientVersion from the
// dotted text: four times a decimal number read as strtol does (blanks skipped, optional sign,
// digits; saturated to the int range; 0 where no digits stand), each read one character past the
// end of the previous number. Numbers beyond the end of the text are 0; nothing past the text is
// read. An empty text stands for a missing version: the result is "(Версия : " without a closing
// parenthesis, and clientVersion is 0, 0, 0, 0.
std::string ReadOwnVersion(const std::string& versionText, int (&clientVersion)[kClientVersionCount]);

// The same for this build's version record.
std::string ReadOwnVersion(int (&clientVersion)[kClientVersionCount]);

}  // namespace telv
