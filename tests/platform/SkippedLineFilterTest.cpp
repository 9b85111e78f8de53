#include "SkippedLineFilter.h"
#include "Utf16Bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

namespace telv {
namespace {

const std::string kKey = "HKEY_CURRENT_USER\\Software\\Test";
const std::string kHead = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Test]\n";
const std::string kAnsiHead = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Test]\r\n";

bool SkipsHistory(std::string_view name) { return name.starts_with("Server") || name.starts_with("server"); }

using test::Utf16Bytes;

// The key's values and kept lines, as a reading of these bytes holds them.
std::string Reading(std::string_view bytes) { return RegistryFile::Parse(bytes, kKey, SkipsHistory).Serialize(); }

struct FilterCase {
    const char* label;
    std::string bytes;
    std::vector<std::string> values;  // the names a partial reading keeps, in order
};

void PrintTo(const FilterCase& c, std::ostream* os) { *os << c.label; }

class SkippedLineFilterTest : public ::testing::TestWithParam<FilterCase> {};

// Fed whole or in pieces of any size, the filter keeps what a partial reading needs: that
// reading of the kept bytes holds exactly what a partial reading of the whole file holds.
TEST_P(SkippedLineFilterTest, KeepsWhatAPartialReadingReads) {
    const FilterCase& c = GetParam();
    const std::string expected = Reading(c.bytes);
    EXPECT_EQ(RegistryFile::Parse(c.bytes, kKey, SkipsHistory).ValueNames(), c.values);
    for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}, c.bytes.size() + 1}) {
        SkippedLineFilter filter(kKey, SkipsHistory);
        for (std::size_t at = 0; at < c.bytes.size(); at += piece)
            filter.Feed(std::string_view(c.bytes).substr(at, std::min(piece, c.bytes.size() - at)));
        const std::string kept = filter.Finish();
        EXPECT_LE(kept.size(), c.bytes.size()) << "pieces of " << piece;
        EXPECT_EQ(Reading(kept), expected) << "pieces of " << piece;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, SkippedLineFilterTest,
    ::testing::Values(
        FilterCase{"Plain", kHead + "\"Port\"=\"1\"\n\"Server001\"=\"a\"\n\"Server002\"=\"b\"\n\"Last\"=dword:00000002",
                   {"Port", "Last"}},
        FilterCase{"Empty", "", {}},
        FilterCase{"TooShortToTell", "\"A", {}},
        FilterCase{"CrLfAndBlanks", kAnsiHead + "  \"Server1\" = \"a\"\r\n\r\n\t\"A\"=\"b\"\r\n", {"A"}},
        FilterCase{"FirstLineIsSkippedName", "\"Server1\"=\"a\"\n\"A\"=\"b\"\n", {"A"}},
        FilterCase{"Utf8Mark", "\xEF\xBB\xBF" + kHead + "\"Server1\"=\"a\"\n\"Адрес\"=\"хост\"\n", {"Адрес"}},
        // A skipped line whose bytes are not UTF-8 changes nothing of how the other lines read,
        // in a file that is UTF-8 otherwise and in one whose kept lines are CP1251.
        FilterCase{"SkippedLineNotUtf8", kHead + "\"Server1\"=\"\xF1\xE5\xF0\"\n\"Имя\"=\"Велартон\"\n", {"Имя"}},
        FilterCase{"KeptLinesCp1251", kAnsiHead + "\"Server1\"=\"хост\"\r\n\"\xC8\xEC\xFF\"=\"\xF1\xE5\xF0\"\r\n",
                   {"\u0418\u043C\u044F"}},
        // Names the bytes alone cannot tell: escaped or not ASCII; the full reading decides.
        FilterCase{"EscapedAndForeignNames",
                   kAnsiHead + "\"Server\\\"1\"=\"a\"\r\n\"Server\xFF\"=\"b\"\r\n\"Serverя\"=\"c\"\r\n\"A\"=\"d\"\r\n", {"A"}},
        // A line that a hex value continues into is never taken for a value of its own.
        FilterCase{"ContinuedHex",
                   kHead + "\"Bin\"=hex:01,\\\n\"Server1\"=\"a\"\n\"Bin2\"=hex:01,\\\r\n  02\r\n\"Server2\"=\"b\"\n"
                           "\"Bin3\"=hex:01,\\ \r\n\"Server3\"=\"c\"\r\n",
                   {"Bin2"}},
        FilterCase{"DamagedAndComments", kHead + "; \"Server1\"=\"a\"\n\"Server2\"=damaged\n\"Server3\"=\"a\\\n\"B\"=\"b\"\n",
                   {"B"}},
        // Another key's lines are kept as they are, skipped names or not.
        FilterCase{"ForeignSection",
                   kHead + "\"Server1\"=\"a\"\n\n[HKEY_CURRENT_USER\\Software\\Other]\n\"Server1\"=\"x\"\n"
                           "[hkey_current_user\\software\\test]\n\"Server2\"=\"b\"\n\"C\"=\"c\"\n",
                   {"C"}},
        FilterCase{"HeaderNotUtf8",
                   "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\\xC2\xE5\xEB]\r\n\"Server1\"=\"a\"\r\n\"A\"=\"b\"\r\n", {}},
        FilterCase{"Utf16LittleEndian",
                   "\xFF\xFE" + Utf16Bytes(u"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Test]\r\n\"Server1\"=\"a\"\r\n"
                                           u"\"Адрес\"=\"хост\"\r\n",
                                           false),
                   {"Адрес"}},
        FilterCase{"Utf16BigEndianWithoutMark",
                   Utf16Bytes(u"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Test]\r\n\"Server1\"=\"a\"\r\n\"A\"=\"b\"\r\n",
                              true),
                   {"A"}}),
    [](const ::testing::TestParamInfo<FilterCase>& param) { return std::string(param.param.label); });

// Only the skipped names' plain lines are left out; lines a full reading must judge stay.
TEST(SkippedLineFilter, LeavesOutThePlainLinesOfSkippedNames) {
    SkippedLineFilter filter(kKey, SkipsHistory);
    filter.Feed(kHead + "\"Server1\"=\"a\"\r\n\"A\"=\"b\"\n\"Server\\\"2\"=\"c\"\n\"Server3\"=\"d\"");
    EXPECT_EQ(filter.Finish(), kHead + "\"A\"=\"b\"\n\"Server\\\"2\"=\"c\"\n");
}

}  // namespace
}  // namespace telv
