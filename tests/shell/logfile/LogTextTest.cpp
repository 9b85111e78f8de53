// A log line becomes exactly one line of a text file.
#include "LogText.h"

#include <gtest/gtest.h>

namespace telv {
namespace {

struct TextCase {
    const char* name;
    QByteArray line;
    QByteArray text;
};

class LogTextLine : public ::testing::TestWithParam<TextCase> {};

TEST_P(LogTextLine, IsOneLineOfTheFile) {
    QByteArray text = "before\n";
    AppendTextLine(text, GetParam().line);
    EXPECT_EQ(text, "before\n" + GetParam().text);
    EXPECT_EQ(text.count('\n'), 2);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LogTextLine,
    ::testing::Values(TextCase{"Plain", "12:00:01 - Соединение установлено", "12:00:01 - Соединение установлено\n"},
                      TextCase{"Empty", "", "\n"},
                      TextCase{"LineBreak", "12:00:02 - one\n12:00:03 - forged", "12:00:02 - one\u242412:00:03 - forged\n"},
                      TextCase{"CarriageReturn", "a\r\nb\rc", "a\u240D\u2424b\u240Dc\n"},
                      TextCase{"TrailingBreak", "text\n", "text\u2424\n"}),
    [](const ::testing::TestParamInfo<TextCase>& param) { return std::string(param.param.name); });

TEST(LogText, EachLineEndsWithABreakAndNoLinesAreNothing) {
    EXPECT_EQ(LogText({}), QByteArray());
    EXPECT_EQ(LogText({""}), "\n");
    EXPECT_EQ(LogText({"первая", "", "третья"}), QString("первая\n\nтретья\n").toUtf8());
}

}  // namespace
}  // namespace telv
