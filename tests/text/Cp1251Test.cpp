#include "Cp1251.h"

#include <gtest/gtest.h>

namespace telv {
namespace {

struct Cp1251Case {
    const char* utf8;
    std::string cp1251;
};

class Cp1251Test : public ::testing::TestWithParam<Cp1251Case> {};

TEST_P(Cp1251Test, Converts) { EXPECT_EQ(Utf8ToCp1251(GetParam().utf8), GetParam().cp1251); }

INSTANTIATE_TEST_SUITE_P(
    Cases, Cp1251Test,
    ::testing::Values(Cp1251Case{"", ""}, Cp1251Case{"ID 42", "ID 42"},
                      Cp1251Case{"Прибор", "\xCF\xF0\xE8\xE1\xEE\xF0"},
                      Cp1251Case{"АЯаяЁё", "\xC0\xDF\xE0\xFF\xA8\xB8"},
                      Cp1251Case{"«№»—", "\xAB\xB9\xBB\x97"},
                      Cp1251Case{"€漢😀", "\x88??"},          // the euro sign is 0x88; the others are not in the code page
                      Cp1251Case{"\xD0", "?"},                 // truncated sequence
                      Cp1251Case{"\xFF" "a", "?a"},            // invalid lead byte
                      Cp1251Case{"\xD0" "A", "?A"}));          // missing continuation byte

TEST(Cp1251ToUtf8, EveryByteRoundTripsExceptTheUnassignedOne) {
    for (int b = 0x20; b < 0x100; ++b) {
        if (b == 0x7F || b == 0x98) continue;
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(one)), one) << b;
    }
    EXPECT_EQ(Cp1251ToUtf8(std::string("\x98", 1)), "\uFFFD");
}

TEST(Cp1251ToUtf8, ControlCharactersBecomeVisibleSymbols) {
    EXPECT_EQ(Cp1251ToUtf8(std::string("a\r\n\tb\x1b\x7f", 7)), "a\u240D\u240A\u2409b\u241B\u2421");
    EXPECT_EQ(Cp1251ToUtf8(std::string("a\nb", 3), false), "a\nb");
    EXPECT_EQ(Cp1251ToUtf8(std::string("\0", 1)), "\u2400");
}

}  // namespace
}  // namespace telv
