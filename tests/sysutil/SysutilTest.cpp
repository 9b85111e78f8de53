#include "Sysutil.h"

#include <gtest/gtest.h>

#include <clocale>

namespace telv {
namespace {

TEST(AppendFormat, AppendsAndCountsCharacters) {
    std::string text = "(Версия : ";
    EXPECT_EQ(AppendFormat(text, "%s)", "1.3.8.17"), 9);
    EXPECT_EQ(text, "(Версия : 1.3.8.17)");
}

TEST(AppendFormat, EmptyResultLeavesTextUnchanged) {
    std::string text = "abc";
    EXPECT_EQ(AppendFormat(text, "%s", ""), 0);
    EXPECT_EQ(text, "abc");
}

TEST(AppendFormat, UsesPointAsDecimalSeparatorWhateverTheLocale) {
    // A locale with a decimal comma, where one is installed; the C conventions hold either way.
    for (const char* name : {"ru_RU.UTF-8", "de_DE.UTF-8", "C.UTF-8"}) {
        if (!std::setlocale(LC_NUMERIC, name)) continue;
        EXPECT_EQ(Format("%.3f", 0.587), "0.587") << name;
    }
    std::setlocale(LC_NUMERIC, "C");
}

TEST(AppendFormat, GrowsForLongResults) {
    std::string text;
    const std::string big(10000, 'x');
    EXPECT_EQ(AppendFormat(text, "%s-%d", big.c_str(), 7), 10002);
    EXPECT_EQ(text.size(), 10002u);
    EXPECT_EQ(text.substr(9998), "xx-7");
}

struct BoundedCase {
    const char* field;
    std::size_t width;
    std::size_t expected;
};

class BoundedLengthTest : public ::testing::TestWithParam<BoundedCase> {};

TEST_P(BoundedLengthTest, CountsUpToNulNeverBeyondWidth) {
    const BoundedCase& c = GetParam();
    EXPECT_EQ(BoundedLength(c.field, c.width), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Fields, BoundedLengthTest,
                         ::testing::Values(BoundedCase{"ABCDEFGHIJKLMNOPQRST", 16, 16},  // full field
                                           BoundedCase{"\0BCDEFGHIJKLMNOP", 16, 0},       // starts with NUL
                                           BoundedCase{"AB\0DEFGHIJKLMNOP", 16, 2},
                                           BoundedCase{"ABCD", 0, 0},
                                           BoundedCase{"ABC", 4, 3}));

TEST(BoundedLength, NullFieldIsEmpty) { EXPECT_EQ(BoundedLength(static_cast<const char*>(nullptr), 8), 0u); }

}  // namespace
}  // namespace telv
