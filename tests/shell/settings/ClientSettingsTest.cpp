#include "ClientSettings.h"

#include "Registry.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <string>

namespace telv {
namespace {

namespace fs = std::filesystem;

const std::string kHeader = "[HKEY_CURRENT_USER\\Software\\Велартон\\TELV Клиент]\n";

// A temporary per-user root and the settings key's file in it.
class SettingsStore {
public:
    SettingsStore() : registry_(fs::path(dir_.path().toStdString())) {}

    TRegistry& Registry() { return registry_; }
    fs::path KeyFile() const { return *registry_.KeyFilePath(kSettingsKeyPath); }
    void Store(const std::string& text) const {
        fs::create_directories(KeyFile().parent_path());
        std::ofstream(KeyFile(), std::ios::binary) << text;
    }
    std::string Stored() const {
        std::ifstream in(KeyFile(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    QTemporaryDir dir_;
    TRegistry registry_;
};

// What a first start reads: every stored default.
ClientSettings StoredDefaults() {
    ClientSettings settings;
    settings.ServerAddress = "127.0.0.1";
    settings.ServerPort = "5100";
    settings.AutoRequest = true;
    settings.AutoRequestInterval = 3;
    settings.EnableEventTranslate = true;
    return settings;
}

std::string History(int count) {
    std::string lines;
    for (int i = 0; i < count; ++i) {
        lines += "\"" + HistoryServerName(i) + "\"=\"host" + std::to_string(i) + "\"\n";
        lines += "\"" + HistoryPortName(i) + "\"=dword:00000001\n";
    }
    return lines;
}

struct ReadCase {
    const char* label;
    std::string fileText;
    std::function<void(ClientSettings&)> expect;  // changes to StoredDefaults()
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.label;
}

class ReadClientSettingsTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadClientSettingsTest, EachValueFallsBackByItself) {
    SettingsStore store;
    store.Store(GetParam().fileText);
    ClientSettings expected = StoredDefaults();
    if (GetParam().expect) GetParam().expect(expected);
    EXPECT_EQ(ReadClientSettings(store.Registry()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    StoredFiles, ReadClientSettingsTest,
    ::testing::Values(
        ReadCase{"EmptyKey", kHeader, nullptr},
        ReadCase{"EmptyFile", "", nullptr},
        ReadCase{"AllValues",
                 kHeader + "\"ServerAddress\"=\"10.1.2.3\"\n\"ServerPort\"=\"5200\"\n\"AutoRequest\"=dword:00000000\n"
                           "\"AutoRequestInterval\"=dword:0000000a\n\"EnableEventTranslate\"=dword:00000000\n"
                           "\"ServerListCount\"=dword:00000002\n\"Server000\"=\"10.1.2.3\"\n\"Port000\"=dword:00001450\n"
                           "\"Server001\"=\"gw.example\"\n\"Port001\"=dword:000013ec\n",
                 [](ClientSettings& s) {
                     s.ServerAddress = "10.1.2.3";
                     s.ServerPort = "5200";
                     s.AutoRequest = false;
                     s.AutoRequestInterval = 10;
                     s.EnableEventTranslate = false;
                     s.History = {{"10.1.2.3", 5200}, {"gw.example", 5100}};
                 }},
        ReadCase{"PortTextKeptAsTyped", kHeader + "\"ServerPort\"=\"51 00x\"\n",
                 [](ClientSettings& s) { s.ServerPort = "51 00x"; }},
        ReadCase{"WrongTypes",
                 kHeader + "\"ServerAddress\"=dword:00000001\n\"ServerPort\"=dword:000013ec\n\"AutoRequest\"=\"0\"\n"
                           "\"AutoRequestInterval\"=\"10\"\n\"EnableEventTranslate\"=hex(2):30,00,00,00\n"
                           "\"ServerListCount\"=\"2\"\n\"Server000\"=\"a\"\n",
                 nullptr},
        ReadCase{"ExpandableHistoryAddressReadsEmpty",
                 kHeader + "\"ServerListCount\"=dword:00000001\n\"Server000\"=hex(2):61,00,00,00\n"
                           "\"Port000\"=dword:00001450\n",
                 [](ClientSettings& s) { s.History = {{"", 5200}}; }},
        ReadCase{"PortAsStringReadsZero",
                 kHeader + "\"ServerListCount\"=dword:00000001\n\"Server000\"=\"a\"\n\"Port000\"=\"5200\"\n",
                 [](ClientSettings& s) { s.History = {{"a", 0}}; }},
        ReadCase{"AnyNonZeroIsOn", kHeader + "\"AutoRequest\"=dword:00000007\n\"EnableEventTranslate\"=dword:ffffffff\n",
                 nullptr},
        ReadCase{"IntervalBelowRange", kHeader + "\"AutoRequestInterval\"=dword:00000000\n",
                 [](ClientSettings& s) { s.AutoRequestInterval = 1; }},
        ReadCase{"IntervalNegative", kHeader + "\"AutoRequestInterval\"=dword:ffffffff\n",
                 [](ClientSettings& s) { s.AutoRequestInterval = 1; }},
        ReadCase{"IntervalHuge", kHeader + "\"AutoRequestInterval\"=dword:7fffffff\n",
                 [](ClientSettings& s) { s.AutoRequestInterval = 100; }},
        ReadCase{"PortLow16Bits",
                 kHeader + "\"ServerListCount\"=dword:00000002\n\"Server000\"=\"a\"\n\"Port000\"=dword:00011388\n"
                           "\"Server001\"=\"b\"\n\"Port001\"=dword:ffffffff\n",
                 [](ClientSettings& s) { s.History = {{"a", 5000}, {"b", 65535}}; }},
        ReadCase{"CountLargerThanEntries",
                 kHeader + "\"ServerListCount\"=dword:00000003\n\"Server000\"=\"a\"\n\"Port000\"=dword:00001450\n",
                 [](ClientSettings& s) { s.History = {{"a", 5200}, {"", 0}, {"", 0}}; }},
        ReadCase{"HistoryWithGaps",
                 kHeader + "\"ServerListCount\"=dword:00000003\n\"Server000\"=\"a\"\n\"Port001\"=dword:00000002\n"
                           "\"Server002\"=\"c\"\n",
                 [](ClientSettings& s) { s.History = {{"a", 0}, {"", 2}, {"c", 0}}; }},
        ReadCase{"EntriesBeyondTheCountIgnored",
                 kHeader + "\"ServerListCount\"=dword:00000001\n" + History(3),
                 [](ClientSettings& s) { s.History = {{"host0", 1}}; }},
        ReadCase{"NoCountNoHistory", kHeader + History(2), nullptr},
        ReadCase{"NegativeCount", kHeader + "\"ServerListCount\"=dword:ffffffff\n" + History(2), nullptr},
        ReadCase{"HugeCountReadsTheStoredEntries",
                 kHeader + "\"ServerListCount\"=dword:7fffffff\n" + History(2),
                 [](ClientSettings& s) { s.History = {{"host0", 1}, {"host1", 1}}; }},
        ReadCase{"HugeCountWithAFarIndexStaysBounded",
                 kHeader + "\"ServerListCount\"=dword:7fffffff\n\"Server000\"=\"a\"\n\"Server2000000000\"=\"far\"\n",
                 [](ClientSettings& s) {
                     s.History.assign(2 + kTrustedHistoryCount, ServerInfo{});
                     s.History[0].Address = "a";
                 }},
        ReadCase{"TrustedCountMakesUpEmptyEntries",
                 kHeader + "\"ServerListCount\"=dword:000003e8\n\"Server000\"=\"a\"\n",
                 [](ClientSettings& s) {
                     s.History.assign(1000, ServerInfo{});
                     s.History[0].Address = "a";
                 }},
        ReadCase{"FourDigitNamesFromIndex1000",
                 kHeader + "\"ServerListCount\"=dword:000003e9\n" + History(1001),
                 [](ClientSettings& s) {
                     for (int i = 0; i < 1001; ++i) s.History.push_back({"host" + std::to_string(i), 1});
                 }},
        ReadCase{"DuplicatesLoadedAsTheyAre",
                 kHeader + "\"ServerListCount\"=dword:00000002\n\"Server000\"=\"a\"\n\"Server001\"=\"a\"\n",
                 [](ClientSettings& s) { s.History = {{"a", 0}, {"a", 0}}; }},
        ReadCase{"DamagedLinesLoseOnlyTheirValue",
                 kHeader + "\"ServerAddress\"=\"10.0.0.\n\"ServerPort\"=\"5200\"\n\"AutoRequest\"=dword:zz\n"
                           "garbage line \x01\xFE\n\"EnableEventTranslate\"=dword:00000000\n"
                           "\"ServerListCount\"=dword:00000001\n\"Server000\"=\"a\"\n\"Port000\"=dword:\n",
                 [](ClientSettings& s) {
                     s.ServerPort = "5200";
                     s.EnableEventTranslate = false;
                     s.History = {{"a", 0}};
                 }},
        ReadCase{"CrLfAndBom",
                 "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
                 "[HKEY_CURRENT_USER\\Software\\Велартон\\TELV Клиент]\r\n"
                 "\"ServerAddress\"=\"сервер\"\r\n\"ServerListCount\"=dword:00000001\r\n"
                 "\"Server000\"=\"сервер\"\r\n\"Port000\"=dword:00001450\r\n",
                 [](ClientSettings& s) {
                     s.ServerAddress = "сервер";
                     s.History = {{"сервер", 5200}};
                 }},
        // An ANSI export of another system: CP1251 address and history.
        ReadCase{"Cp1251FromAnotherSystem",
                 "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\\xC2\xE5\xEB\xE0\xF0\xF2\xEE\xED\\TELV "
                 "\xCA\xEB\xE8\xE5\xED\xF2]\r\n\"ServerAddress\"=\"\xF1\xE5\xF0\xE2\xE5\xF0\"\r\n"
                 "\"ServerListCount\"=dword:00000001\r\n\"Server000\"=\"\xF1\xE5\xF0\xE2\xE5\xF0\"\r\n",
                 [](ClientSettings& s) {
                     s.ServerAddress = "сервер";
                     s.History = {{"сервер", 0}};
                 }},
        ReadCase{"NamesIgnoreLetterCase",
                 kHeader + "\"serveraddress\"=\"x\"\n\"SERVERLISTCOUNT\"=dword:00000001\n\"server000\"=\"y\"\n",
                 [](ClientSettings& s) {
                     s.ServerAddress = "x";
                     s.History = {{"y", 0}};
                 }}),
    [](const ::testing::TestParamInfo<ReadCase>& param) { return std::string(param.param.label); });

TEST(ClientSettings, FirstStartCreatesTheKeyAndReadsDefaults) {
    SettingsStore store;
    EXPECT_EQ(ReadClientSettings(store.Registry()), StoredDefaults());
    EXPECT_TRUE(fs::exists(store.KeyFile()));

    ASSERT_TRUE(SaveClientOptions(store.Registry(), true, 3, true));
    EXPECT_EQ(store.Stored(), "Windows Registry Editor Version 5.00\n\n" + kHeader +
                                  "\"AutoRequest\"=dword:00000001\n"
                                  "\"AutoRequestInterval\"=dword:00000003\n"
                                  "\"EnableEventTranslate\"=dword:00000001\n");
}

TEST(ClientSettings, KeyThatCannotBeOpenedLeavesTheDesignTimeValues) {
    SettingsStore store;
    fs::create_directories(store.KeyFile());  // a folder where the key's file belongs
    EXPECT_EQ(ReadClientSettings(store.Registry()), ClientSettings{});
    EXPECT_EQ(ClientSettings{}.AutoRequestInterval, 1);
    EXPECT_TRUE(ClientSettings{}.ServerAddress.empty());
    EXPECT_FALSE(SaveServerSettings(store.Registry(), "a", "1", {{"a", 1}}));
    EXPECT_FALSE(SaveClientOptions(store.Registry(), false, 5, false));
    EXPECT_TRUE(fs::is_directory(store.KeyFile()));
}

TEST(ClientSettings, OptionsAreWrittenAsOneOrZero) {
    SettingsStore store;
    store.Store(kHeader + "\"AutoRequest\"=dword:00000007\n");
    const ClientSettings read = ReadClientSettings(store.Registry());
    EXPECT_TRUE(read.AutoRequest);
    ASSERT_TRUE(SaveClientOptions(store.Registry(), read.AutoRequest, 42, false));
    ASSERT_TRUE(store.Registry().OpenKey(kSettingsKeyPath, false));
    EXPECT_EQ(store.Registry().ReadInteger(setting::AutoRequest), 1);
    EXPECT_EQ(store.Registry().ReadInteger(setting::AutoRequestInterval), 42);
    EXPECT_EQ(store.Registry().ReadInteger(setting::EnableEventTranslate), 0);
}

TEST(ClientSettings, ServerSettingsRoundTripAndKeepOtherValues) {
    SettingsStore store;
    store.Store(kHeader + "\"WindowLayout\"=hex:01,02\n\"AutoRequestInterval\"=dword:00000007\n"
                          "\"ServerListCount\"=dword:00000003\n" +
                History(3));
    const ServerList history = {{"gw.example", 5200}, {"10.0.0.1", 5100}};
    ASSERT_TRUE(SaveServerSettings(store.Registry(), "gw.example", "5200x", history));

    const ClientSettings read = ReadClientSettings(store.Registry());
    EXPECT_EQ(read.ServerAddress, "gw.example");
    EXPECT_EQ(read.ServerPort, "5200x");  // written as typed, even when not a number
    EXPECT_EQ(read.History, history);     // the stale third entry stays in the store, unread
    EXPECT_EQ(read.AutoRequestInterval, 7);

    ASSERT_TRUE(store.Registry().OpenKey(kSettingsKeyPath, false));
    EXPECT_EQ(store.Registry().GetDataType("WindowLayout"), RegDataType::Other);
    EXPECT_EQ(store.Registry().GetDataType(setting::ServerPort), RegDataType::String);
    EXPECT_EQ(store.Registry().GetDataType(HistoryPortName(0)), RegDataType::Integer);
    EXPECT_EQ(store.Registry().ReadString(HistoryServerName(2)), "host2");
}

TEST(ClientSettings, ServerSettingsAreWrittenInOrder) {
    SettingsStore store;
    ASSERT_TRUE(SaveServerSettings(store.Registry(), "b", "2", {{"b", 2}, {"a", 1}}));
    EXPECT_EQ(store.Stored(), "Windows Registry Editor Version 5.00\n\n" + kHeader +
                                  "\"ServerAddress\"=\"b\"\n"
                                  "\"ServerPort\"=\"2\"\n"
                                  "\"ServerListCount\"=dword:00000002\n"
                                  "\"Server000\"=\"b\"\n"
                                  "\"Port000\"=dword:00000002\n"
                                  "\"Server001\"=\"a\"\n"
                                  "\"Port001\"=dword:00000001\n");
}

TEST(ClientSettings, ConnectingCollapsesHandEditedDuplicatesAndGrowsForNewServers) {
    SettingsStore store;
    store.Store(kHeader + "\"ServerListCount\"=dword:00000003\n\"Server000\"=\"a\"\n\"Port000\"=dword:00000001\n"
                          "\"Server001\"=\"b\"\n\"Port001\"=dword:00000002\n\"Server002\"=\"b\"\n"
                          "\"Port002\"=dword:00000003\n");
    ServerList history = ReadClientSettings(store.Registry()).History;
    ASSERT_EQ(history.size(), 3u);

    AddServer(history, "b", 5200);  // the hand-edited duplicate goes too
    ASSERT_TRUE(SaveServerSettings(store.Registry(), "b", "5200", history));
    EXPECT_EQ(ReadClientSettings(store.Registry()).History, (ServerList{{"b", 5200}, {"a", 1}}));

    AddServer(history, "c", 1);
    ASSERT_TRUE(SaveServerSettings(store.Registry(), "c", "1", history));
    ASSERT_TRUE(store.Registry().OpenKey(kSettingsKeyPath, false));
    EXPECT_EQ(store.Registry().ReadInteger(setting::ServerListCount), 3);
}

// A history far beyond the count that is believed without stored values is kept whole.
TEST(ClientSettings, ALongHistoryIsReadAndWrittenWhole) {
    SettingsStore store;
    ServerList history;
    for (int i = 0; i < 20000; ++i)
        history.push_back({"gateway-" + std::to_string(i) + ".example.net", static_cast<std::uint16_t>(i)});
    ASSERT_TRUE(SaveServerSettings(store.Registry(), "a", "5100", history));
    EXPECT_EQ(ReadClientSettings(store.Registry()).History, history);
    AddServer(history, "gateway-19999.example.net", 1);
    ASSERT_TRUE(SaveServerSettings(store.Registry(), "a", "5100", history));
    TRegistry fresh(store.KeyFile().parent_path().parent_path().parent_path().parent_path());
    EXPECT_EQ(ReadClientSettings(fresh).History, history);
}

TEST(ClientSettings, HistoryValueNames) {
    EXPECT_EQ(HistoryServerName(0), "Server000");
    EXPECT_EQ(HistoryPortName(7), "Port007");
    EXPECT_EQ(HistoryServerName(999), "Server999");
    EXPECT_EQ(HistoryServerName(1000), "Server1000");
}

// The names a reading without the history leaves out: those the history is read from, letter
// case aside as the store compares names (also where a letter folds to an ASCII one).
TEST(ClientSettings, HistoryValueNamesAreToldApart) {
    for (const char* name : {"Server000", "SERVER001", "port123", "Port1000", "sErVeR4294", "\u017Ferver001"})
        EXPECT_TRUE(IsHistoryValueName(name)) << name;
    for (const char* name : {"Server01", "Server0005", "Server", "Port", "ServerAddress", "ServerListCount", "ServerPort",
                             "Server1a", "Server00000000001", "Serv\u0435r001", "Sever001", "Port-01", ""})
        EXPECT_FALSE(IsHistoryValueName(name)) << name;
}

}  // namespace
}  // namespace telv
