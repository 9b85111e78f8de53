#include "OwnVersion.h"

#include "Protocol.h"
#include "VersionRecord.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <ostream>
#include <string>

namespace telv {
namespace {

struct VersionCase {
    const char* label;
    std::string text;
    std::string caption;
    std::array<int, 4> numbers;
};

void PrintTo(const VersionCase& c, std::ostream* os) {
    *os << c.label;
}

class ReadOwnVersionTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(ReadOwnVersionTest, CaptionAndNumbers) {
    const VersionCase& c = GetParam();
    int version[4] = {-7, -7, -7, -7};  // whatever was there before
    EXPECT_EQ(ReadOwnVersion(c.text, version), c.caption);
    EXPECT_EQ((std::array<int, 4>{version[0], version[1], version[2], version[3]}), c.numbers);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReadOwnVersionTest,
    ::testing::Values(
        VersionCase{"ThisBuild", "1.3.8.17", "(Версия : 1.3.8.17)", {1, 3, 8, 17}},
        VersionCase{"WideNumbers", "2.10.300.4", "(Версия : 2.10.300.4)", {2, 10, 300, 4}},
        VersionCase{"TwoNumbers", "1.2", "(Версия : 1.2)", {1, 2, 0, 0}},
        VersionCase{"TrailingDot", "1.2.", "(Версия : 1.2.)", {1, 2, 0, 0}},
        VersionCase{"OneNumber", "5", "(Версия : 5)", {5, 0, 0, 0}},
        VersionCase{"Missing", "", "(Версия : ", {0, 0, 0, 0}},
        VersionCase{"Garbage", "garbage", "(Версия : garbage)", {0, 0, 0, 0}},
        VersionCase{"EmptyPart", "1..2", "(Версия : 1..2)", {1, 0, 2, 0}},
        VersionCase{"BlanksAndSigns", " 1. -2.+3.\t4x", "(Версия :  1. -2.+3.\t4x)", {1, -2, 3, 4}},
        VersionCase{"CommaSeparated", "1,3,8,17", "(Версия : 1,3,8,17)", {1, 3, 8, 17}},
        VersionCase{"MoreThanFour", "1.2.3.4.5", "(Версия : 1.2.3.4.5)", {1, 2, 3, 4}},
        VersionCase{"Overflow", "99999999999.-99999999999.1.1", "(Версия : 99999999999.-99999999999.1.1)",
                    {INT_MAX, INT_MIN, 1, 1}},
        VersionCase{"SignWithoutDigits", "-.5", "(Версия : -.5)", {0, 0, 5, 0}}),
    [](const ::testing::TestParamInfo<VersionCase>& param) { return std::string(param.param.label); });

TEST(ReadOwnVersion, HelloCarriesTheLowByteOfEachNumber) {
    int version[4] = {};
    ReadOwnVersion("2.10.300.4", version);
    const Bytes hello = EncodeClientVersion(version);
    ASSERT_EQ(hello.size(), 11u);
    EXPECT_EQ(Bytes(hello.begin() + 7, hello.end()), (Bytes{2, 10, 44, 4}));
}

TEST(ReadOwnVersion, ThisBuildsVersionRecordIsTheProjectVersion) {
    EXPECT_EQ(version_record::kFileVersion, TELV_EXPECTED_VERSION);
    int version[4] = {};
    EXPECT_EQ(ReadOwnVersion(version), "(Версия : " TELV_EXPECTED_VERSION ")");
    const std::string expected = std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
                                 std::to_string(version[2]) + "." + std::to_string(version[3]);
    EXPECT_EQ(expected, TELV_EXPECTED_VERSION);
}

}  // namespace
}  // namespace telv
