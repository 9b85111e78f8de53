#include "RegistryFile.h"
#include "Utf16Bytes.h"

#include <QString>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace telv {
namespace {

const std::string kKey = "HKEY_CURRENT_USER\\Software\\Test";
const std::string kHead = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Test]\n";

RegistryFile ParseText(const std::string& text) { return RegistryFile::Parse(text, kKey); }

// What one value of a parsed file reads as.
struct ValueCase {
    const char* label;
    std::string fileText;
    std::string name;
    RegDataType type;
    std::string text;         // String
    std::uint32_t number;     // Integer
    std::string rawData;      // Other
};

void PrintTo(const ValueCase& c, std::ostream* os) {
    *os << c.label;
}

class RegistryFileValueTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(RegistryFileValueTest, ReadsValue) {
    const ValueCase& c = GetParam();
    const RegistryFile file = ParseText(c.fileText);
    const RegValue* value = file.Find(c.name);
    if (c.type == RegDataType::Absent) {
        EXPECT_EQ(value, nullptr);
        return;
    }
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->Type, c.type);
    if (c.type == RegDataType::String) {
        EXPECT_EQ(value->Text, c.text);
    } else if (c.type == RegDataType::Integer) {
        EXPECT_EQ(value->Number, c.number);
    } else {
        EXPECT_EQ(value->RawData, c.rawData);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, RegistryFileValueTest,
    ::testing::Values(
        ValueCase{"String", kHead + "\"A\"=\"127.0.0.1\"\n", "A", RegDataType::String, "127.0.0.1", 0, ""},
        ValueCase{"Escapes", kHead + R"("A"="C:\\dir \"q\" \n end")" "\n", "A", RegDataType::String,
                  "C:\\dir \"q\" \n end", 0, ""},
        ValueCase{"Cyrillic", kHead + "\"Имя\"=\"Велартон\"\n", "Имя", RegDataType::String, "Велартон", 0, ""},
        ValueCase{"NameCaseIgnored", kHead + "\"ServerAddress\"=\"x\"\n", "SERVERADDRESS", RegDataType::String, "x", 0,
                  ""},
        ValueCase{"CyrillicCaseIgnored", kHead + "\"Имя\"=\"x\"\n", "ИМЯ", RegDataType::String, "x", 0, ""},
        ValueCase{"DefaultValue", kHead + "@=\"d\"\n", "", RegDataType::String, "d", 0, ""},
        ValueCase{"Dword", kHead + "\"N\"=dword:0000000a\n", "N", RegDataType::Integer, "", 10, ""},
        ValueCase{"DwordUpperCaseShort", kHead + "\"N\"=DWORD:FF\n", "N", RegDataType::Integer, "", 255, ""},
        ValueCase{"DwordAllBits", kHead + "\"N\"=dword:ffffffff\n", "N", RegDataType::Integer, "", 0xFFFFFFFFu, ""},
        ValueCase{"BlanksAroundEquals", kHead + "  \"N\" = dword:00000001  \n", "N", RegDataType::Integer, "", 1, ""},
        ValueCase{"ExpandString", kHead + "\"E\"=hex(2):25,00,41,00,00,00\n", "E", RegDataType::Other, "", 0,
                  "hex(2):25,00,41,00,00,00"},
        ValueCase{"Binary", kHead + "\"B\"=hex:01,02\n", "B", RegDataType::Other, "", 0, "hex:01,02"},
        ValueCase{"EmptyBinary", kHead + "\"B\"=hex:\n", "B", RegDataType::Other, "", 0, "hex:"},
        ValueCase{"HexContinued", kHead + "\"E\"=hex(2):25,00,\\\n  41,00,\\\n  00,00\n\"N\"=dword:00000002\n", "E",
                  RegDataType::Other, "", 0, "hex(2):25,00,41,00,00,00"},
        ValueCase{"AfterContinuation", kHead + "\"E\"=hex(2):25,00,\\\n  00,00\n\"N\"=dword:00000002\n", "N",
                  RegDataType::Integer, "", 2, ""},
        ValueCase{"CrLf", "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Test]\r\n"
                          "\"A\"=\"x\"\r\n\"N\"=dword:00000005\r\n",
                  "N", RegDataType::Integer, "", 5, ""},
        ValueCase{"CrLfString", "[HKEY_CURRENT_USER\\Software\\Test]\r\n\"A\"=\"x\"\r\n", "A", RegDataType::String, "x",
                  0, ""},
        ValueCase{"Utf8Bom", "\xEF\xBB\xBF" + kHead + "\"A\"=\"x\"\n", "A", RegDataType::String, "x", 0, ""},
        ValueCase{"NoHeader", "\"A\"=\"x\"\n", "A", RegDataType::String, "x", 0, ""},
        ValueCase{"DamagedHeader", "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Soft\n\"A\"=\"x\"\n",
                  "A", RegDataType::String, "x", 0, ""},
        ValueCase{"OtherKeysSection", kHead + "\"A\"=\"mine\"\n[HKEY_CURRENT_USER\\Other]\n\"B\"=\"theirs\"\n", "B",
                  RegDataType::Absent, "", 0, ""},
        ValueCase{"BackToOwnSection",
                  kHead + "[HKEY_CURRENT_USER\\Other]\n\"B\"=\"theirs\"\n[hkey_current_user\\software\\test]\n\"B\"=\"mine\"\n",
                  "B", RegDataType::String, "mine", 0, ""},
        ValueCase{"LaterDuplicateWins", kHead + "\"A\"=\"1\"\n\"a\"=\"2\"\n", "A", RegDataType::String, "2", 0, ""},
        ValueCase{"DamagedDuplicateDoesNotHide", kHead + "\"A\"=\"1\"\n\"A\"=\"2\n", "A", RegDataType::String, "1", 0,
                  ""},
        ValueCase{"UnterminatedString", kHead + "\"A\"=\"127.0\n", "A", RegDataType::Absent, "", 0, ""},
        ValueCase{"TextAfterString", kHead + "\"A\"=\"x\" y\n", "A", RegDataType::Absent, "", 0, ""},
        ValueCase{"UnknownEscape", kHead + "\"A\"=\"a\\tb\"\n", "A", RegDataType::Absent, "", 0, ""},
        ValueCase{"DwordNotHex", kHead + "\"N\"=dword:0000000g\n", "N", RegDataType::Absent, "", 0, ""},
        ValueCase{"DwordTooLong", kHead + "\"N\"=dword:100000000\n", "N", RegDataType::Absent, "", 0, ""},
        ValueCase{"DwordEmpty", kHead + "\"N\"=dword:\n", "N", RegDataType::Absent, "", 0, ""},
        ValueCase{"DwordDecimal", kHead + "\"N\"=5\n", "N", RegDataType::Absent, "", 0, ""},
        ValueCase{"HexDamaged", kHead + "\"E\"=hex(2):2x,00\n", "E", RegDataType::Absent, "", 0, ""},
        ValueCase{"NoEquals", kHead + "\"A\" \"x\"\n", "A", RegDataType::Absent, "", 0, ""},
        ValueCase{"DeleteMarker", kHead + "\"A\"=-\n", "A", RegDataType::Absent, "", 0, ""},
        ValueCase{"GoodLineAfterGarbage", kHead + "\x01\x02garbage\xFF\n\"A\"=\"x\"\n", "A", RegDataType::String, "x",
                  0, ""}),
    [](const ::testing::TestParamInfo<ValueCase>& param) { return std::string(param.param.label); });

TEST(RegistryFile, ReadsUtf16LittleEndianExport) {
    const std::u16string text = u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n"
                                u"[HKEY_CURRENT_USER\\Software\\Test]\r\n\"Адрес\"=\"хост\"\r\n";
    const RegistryFile file = ParseText(test::Utf16Bytes(text, false));
    const RegValue* value = file.Find("Адрес");
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->Text, "хост");
}

// Settings files from other systems: UTF-16 in either byte order, with or without its mark,
// and 8-bit files whose names and values are CP1251, as an ANSI registry export holds them.
// Every value keeps a name of its own and survives a write-back in UTF-8.
struct ForeignFileCase {
    const char* label;
    std::string bytes;
    std::vector<std::pair<std::string, std::string>> values;  // name, text: every string value, in order
};

void PrintTo(const ForeignFileCase& c, std::ostream* os) { *os << c.label; }

using test::Utf16Bytes;

const std::u16string kUtf16Export = u"Windows Registry Editor Version 5.00\r\n\r\n"
                                    u"[HKEY_CURRENT_USER\\Software\\Test]\r\n\"Адрес\"=\"хост\"\r\n\"Port\"=\"5100\"\r\n";
const std::vector<std::pair<std::string, std::string>> kUtf16Values = {{"Адрес", "хост"}, {"Port", "5100"}};
// "REGEDIT4" exports are 8-bit; these bytes are CP1251.
const std::string kAnsiHead = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Test]\r\n";

class ForeignFileTest : public ::testing::TestWithParam<ForeignFileCase> {};

TEST_P(ForeignFileTest, ReadsEveryValueAndWritesThemBackInUtf8) {
    const ForeignFileCase& c = GetParam();
    RegistryFile file = ParseText(c.bytes);
    std::vector<std::pair<std::string, std::string>> read;
    for (const std::string& name : file.ValueNames()) read.emplace_back(name, file.Find(name)->Text);
    EXPECT_EQ(read, c.values);

    file.Set(RegValue{"Added", RegDataType::Integer, "", 1, ""});  // a write-back
    const std::string written = file.Serialize();
    EXPECT_TRUE(QString::fromUtf8(written.data(), static_cast<qsizetype>(written.size())).toUtf8().toStdString() ==
                written)
        << "valid UTF-8";
    const RegistryFile again = ParseText(written);
    std::vector<std::pair<std::string, std::string>> reread;
    for (const std::string& name : again.ValueNames()) {
        if (name != "Added") reread.emplace_back(name, again.Find(name)->Text);
    }
    EXPECT_EQ(reread, c.values);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, ForeignFileTest,
    ::testing::Values(
        ForeignFileCase{"Utf16LittleEndianWithMark", "\xFF\xFE" + Utf16Bytes(kUtf16Export, false), kUtf16Values},
        ForeignFileCase{"Utf16BigEndianWithMark", "\xFE\xFF" + Utf16Bytes(kUtf16Export, true), kUtf16Values},
        ForeignFileCase{"Utf16LittleEndianWithoutMark", Utf16Bytes(kUtf16Export, false), kUtf16Values},
        ForeignFileCase{"Utf16BigEndianWithoutMark", Utf16Bytes(kUtf16Export, true), kUtf16Values},
        ForeignFileCase{"Utf8WithMark", "\xEF\xBB\xBF" + kHead + "\"Адрес\"=\"хост\"\n", {{"Адрес", "хост"}}},
        ForeignFileCase{"Cp1251Value", kAnsiHead + "\"ServerAddress\"=\"\xF1\xE5\xF0\xE2\xE5\xF0\"\r\n",
                        {{"ServerAddress", "сервер"}}},
        // Two names of the same length that differ only in their Cyrillic letters.
        ForeignFileCase{"Cp1251NamesOfOneLength",
                        kAnsiHead + "\"\xC0\xE4\xF0\xE5\xF1\"=\"1\"\r\n\"\xCF\xEE\xF0\xF2\xFB\"=\"2\"\r\n",
                        {{"Адрес", "1"}, {"Порты", "2"}}},
        ForeignFileCase{"Cp1251AndUtf8Lines",
                        kHead + "\"Имя\"=\"Велартон\"\n\"\xC8\xEC\xFF" "2\"=\"\xE2\xE5\xEB\xE0\xF0\xF2\xEE\xED\"\n",
                        {{"Имя", "Велартон"}, {"Имя2", "велартон"}}},
        // CP1251 leaves 0x98 unassigned: it still keeps its own character.
        ForeignFileCase{"Cp1251UnassignedByte", kAnsiHead + "\"a\x98\"=\"x\x98y\"\r\n\"a\xFF\"=\"z\"\r\n",
                        {{"a\u0098", "x\u0098y"}, {"a\u044F", "z"}}},
        // A byte sequence that looks like UTF-8 but is not (an overlong form) is CP1251.
        ForeignFileCase{"OverlongIsNotUtf8", kHead + "\"A\"=\"\xC0\xAF\"\n", {{"A", "АЇ"}}}),
    [](const ::testing::TestParamInfo<ForeignFileCase>& param) { return std::string(param.param.label); });

TEST(RegistryFile, SerializedValuesReadBackWithTheirTypes) {
    RegistryFile file(kKey);
    file.Set(RegValue{"S", RegDataType::String, std::string("a\\b\"c\nd\re\0f", 11), 0, ""});
    file.Set(RegValue{"I", RegDataType::Integer, "", 0x80000001u, ""});
    file.Set(RegValue{"", RegDataType::String, "default", 0, ""});
    file.Set(RegValue{"O", RegDataType::Other, "", 0, "hex(b):01,00,00,00,00,00,00,00"});
    file.Set(RegValue{"Число", RegDataType::String, "5100", 0, ""});

    const RegistryFile again = ParseText(file.Serialize());
    ASSERT_NE(again.Find("S"), nullptr);
    EXPECT_EQ(again.Find("S")->Text, std::string("a\\b\"c\nd\re\0f", 11));
    ASSERT_NE(again.Find("I"), nullptr);
    EXPECT_EQ(again.Find("I")->Type, RegDataType::Integer);
    EXPECT_EQ(again.Find("I")->Number, 0x80000001u);
    ASSERT_NE(again.Find(""), nullptr);
    EXPECT_EQ(again.Find("")->Text, "default");
    ASSERT_NE(again.Find("O"), nullptr);
    EXPECT_EQ(again.Find("O")->Type, RegDataType::Other);
    EXPECT_EQ(again.Find("O")->RawData, "hex(b):01,00,00,00,00,00,00,00");
    ASSERT_NE(again.Find("Число"), nullptr);
    EXPECT_EQ(again.Find("Число")->Type, RegDataType::String);  // a number-like text stays a string
    EXPECT_EQ(again.ValueNames(), (std::vector<std::string>{"S", "I", "", "O", "Число"}));
}

TEST(RegistryFile, WritesRegistryExportSyntax) {
    RegistryFile file(kKey);
    file.Set(RegValue{"ServerAddress", RegDataType::String, "127.0.0.1", 0, ""});
    file.Set(RegValue{"Port000", RegDataType::Integer, "", 5100, ""});
    EXPECT_EQ(file.Serialize(), kHead + "\"ServerAddress\"=\"127.0.0.1\"\n\"Port000\"=dword:000013ec\n");
}

TEST(RegistryFile, KeepsLinesItCannotReadInTheirPlace) {
    const std::string text = kHead +
                             "; a comment\n"
                             "\"A\"=\"1\"\n"
                             "\"Broken\"=\"unterminated\n"
                             "\"E\"=hex(2):25,00,\\\n  zz\n"
                             "\"B\"=dword:00000002\n"
                             "[HKEY_CURRENT_USER\\Other]\n"
                             "\"X\"=\"theirs\"\n";
    RegistryFile file = ParseText(text);
    file.Set(RegValue{"A", RegDataType::String, "changed", 0, ""});
    EXPECT_EQ(file.Serialize(), kHead +
                                    "; a comment\n"
                                    "\"A\"=\"changed\"\n"
                                    "\"Broken\"=\"unterminated\n"
                                    "\"E\"=hex(2):25,00,\\\n  zz\n"
                                    "\"B\"=dword:00000002\n"
                                    "\n[HKEY_CURRENT_USER\\Other]\n"
                                    "\"X\"=\"theirs\"\n");
}

TEST(RegistryFile, WritingADamagedValueReplacesItsLine) {
    RegistryFile file = ParseText(kHead + "\"A\"=\"1\"\n\"ServerPort\"=\"51\n\"B\"=\"2\"\n");
    EXPECT_EQ(file.Find("ServerPort"), nullptr);
    file.Set(RegValue{"ServerPort", RegDataType::String, "5100", 0, ""});
    EXPECT_EQ(file.Serialize(), kHead + "\"A\"=\"1\"\n\"ServerPort\"=\"5100\"\n\"B\"=\"2\"\n");
}

TEST(RegistryFile, SetReplacesAValueOfAnyTypeInPlace) {
    RegistryFile file = ParseText(kHead + "\"A\"=dword:00000001\n\"B\"=\"2\"\n");
    file.Set(RegValue{"a", RegDataType::String, "text", 0, ""});
    EXPECT_EQ(file.Serialize(), kHead + "\"a\"=\"text\"\n\"B\"=\"2\"\n");
}

TEST(RegistryFile, EmptyInputIsAnEmptyKey) {
    const RegistryFile file = ParseText("");
    EXPECT_TRUE(file.ValueNames().empty());
    EXPECT_EQ(file.Serialize(), kHead);
}

// A reading that leaves out some names skips their lines whole, sound or damaged, continued
// or not, in either letter case, and reads the rest as a whole reading does.
TEST(RegistryFile, LeavesOutTheNamesItIsToldToSkip) {
    const std::string text = kHead +
                             "\"Keep\"=\"1\"\n"
                             "\"Skip1\"=\"a\"\n"
                             "\"SKIP2\"=dword:00000002\n"
                             "\"skip3\"=hex:01,02,\\\n  03,04\n"
                             "\"Skip4\"=damaged\n"
                             "; a comment\n"
                             "\"skip5\" = hex:05,\\  \n  06\n"
                             "  \"Skip\\\"6\"=\"quoted\"\n"
                             "\"Later\"=dword:00000007\n";
    const RegistryFile file = RegistryFile::Parse(text, kKey, [](std::string_view name) {
        return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())).startsWith("skip", Qt::CaseInsensitive);
    });
    EXPECT_EQ(file.ValueNames(), (std::vector<std::string>{"Keep", "Later"}));
    ASSERT_NE(file.Find("Later"), nullptr);
    EXPECT_EQ(file.Find("Later")->Number, 7u);
    EXPECT_EQ(file.Find("Skip4"), nullptr);
    EXPECT_EQ(file.Serialize(), RegistryFile::Parse(kHead + "\"Keep\"=\"1\"\n; a comment\n\"Later\"=dword:00000007\n", kKey).Serialize());
    const RegistryFile whole = RegistryFile::Parse(text, kKey);
    EXPECT_EQ(whole.ValueNames(),
              (std::vector<std::string>{"Keep", "Skip1", "SKIP2", "skip3", "skip5", "Skip\"6", "Later"}));
}

}  // namespace
}  // namespace telv
