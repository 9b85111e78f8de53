#include "Cp1251.h"

#include <gtest/gtest.h>

namespace telv::sim {
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
                      Cp1251Case{"€漢😀", "???"},             // not in the code page
                      Cp1251Case{"\xD0", "?"},                 // truncated sequence
                      Cp1251Case{"\xFF" "a", "?a"},            // invalid lead byte
                      Cp1251Case{"\xD0" "A", "?A"}));          // missing continuation byte

}  // namespace
}  // namespace telv::sim
