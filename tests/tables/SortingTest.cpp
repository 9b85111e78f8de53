// Sorting by a column click, and the command messages for the selected rows.
#include "DisconnectCommands.h"
#include "MonitorTables.h"
#include "RowTexts.h"
#include "Sorting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace telv {
namespace {

struct Panels : StatusPanels {
    void SetPanelText(int, const std::string&) override {}
};

class SortingTest : public ::testing::Test {
protected:
    TListView chanels{kChanelColumns, RenderCell};
    TListView clients{kClientColumns, RenderCell};
    Panels panels;
    MonitorTables tables{chanels, clients, panels};

    void AddChanel(Handle h, const std::string& id, Ipv4Address address = {10, 0, 0, 1}, std::uint16_t port = 80,
                   std::uint32_t seconds = 0, std::uint32_t rx = 0, std::uint32_t tx = 0) {
        TELV_UDP_FULL_CHANEL_DATA c;
        c.SetChanelHandle(h);
        c.SetDeviceId(id.data(), id.size());
        c.SetAddress(address);
        c.SetPort(port);
        c.SetSecondsOnLine(seconds);
        c.SetRxBytes(rx);
        c.SetTxBytes(tx);
        records_.push_back(c);
    }
    void Rebuild() {
        std::vector<std::uint8_t> bytes;
        for (const auto& r : records_) bytes.insert(bytes.end(), r.Bytes.begin(), r.Bytes.end());
        tables.ReplaceChanels({bytes.data(), static_cast<std::uint32_t>(records_.size())});
        tables.ReplaceClients({});
        tables.RebuildViews();
    }
    std::vector<std::string> Captions() const {
        std::vector<std::string> out;
        for (int i = 0; i < chanels.Count(); ++i) out.push_back(chanels.Text(i, 0));
        return out;
    }
    std::vector<TELV_UDP_FULL_CHANEL_DATA> records_;
};

TEST(CompareTexts, CodePointsWithOnlyLatinLettersFolded) {
    struct {
        const char* a;
        const char* b;
        int sign;
    } cases[] = {
        {"abc", "ABD", -1}, {"ABD", "abc", 1},  {"abc", "ABC", 0}, {"а", "Б", 1},   // а (U+0430) > Б (U+0411)
        {"Б", "б", -1},    {"12", "123", -1},  {"", "a", -1},     {"z", "{", -1},  // 'Z' < '{'
        {"_", "a", 1},     {"Ё", "Е", -1},     {"x", "x", 0},
    };
    for (const auto& c : cases) {
        const int r = CompareTexts(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
    }
}

TEST_F(SortingTest, TextColumnFirstClickGreatestFirstThenReverses) {
    AddChanel(1, "abc");
    AddChanel(2, "ABD");
    AddChanel(3, "12");
    AddChanel(4, "123");
    Rebuild();
    ColumnSortState state;
    SortChanelRows(chanels, tables.ChanelData, state.Click(0, 0));
    EXPECT_EQ(Captions(), (std::vector<std::string>{"ABD", "abc", "123", "12"}));
    SortChanelRows(chanels, tables.ChanelData, state.Click(0, 0));
    EXPECT_EQ(Captions(), (std::vector<std::string>{"12", "123", "abc", "ABD"}));
    SortChanelRows(chanels, tables.ChanelData, state.Click(0, 0));
    EXPECT_EQ(Captions(), (std::vector<std::string>{"ABD", "abc", "123", "12"}));
}

TEST_F(SortingTest, AddressColumnOrdersByAddressThenPort) {
    AddChanel(1, "a", {10, 0, 0, 2}, 80);
    AddChanel(2, "b", {10, 0, 0, 1}, 9000);
    AddChanel(3, "c", {10, 0, 0, 1}, 80);
    AddChanel(4, "d", {9, 255, 255, 255}, 65535);
    AddChanel(5, "e", {10, 0, 0, 0}, 1);
    Rebuild();
    ColumnSortState state;
    SortChanelRows(chanels, tables.ChanelData, state.Click(2, 2));
    EXPECT_EQ(Captions(), (std::vector<std::string>{"d", "e", "c", "b", "a"}));
    // Another column, then the address again: a first click again.
    SortChanelRows(chanels, tables.ChanelData, state.Click(3, 3));
    SortChanelRows(chanels, tables.ChanelData, state.Click(2, 2));
    EXPECT_EQ(Captions(), (std::vector<std::string>{"d", "e", "c", "b", "a"}));
}

TEST_F(SortingTest, TrafficSumsBeyondThirtyTwoBitsAndStoredTimes) {
    AddChanel(1, "big", {}, 0, 5, 4000000000u, 4000000000u);
    AddChanel(2, "small", {}, 0, 9, 4294967295u, 0);
    Rebuild();
    SortChanelRows(chanels, tables.ChanelData, SortCode(5, false));
    EXPECT_EQ(Captions(), (std::vector<std::string>{"small", "big"}));
    // Statistics change the shown times; the sort uses the stored ones of the last full list.
    TELV_STATISTICS_DATA s[2];
    s[0].SetOwnHandle(1);
    s[0].SetSecondsOnLine(100);
    s[1].SetOwnHandle(2);
    s[1].SetSecondsOnLine(1);
    std::vector<std::uint8_t> bytes;
    for (const auto& r : s) bytes.insert(bytes.end(), r.Bytes.begin(), r.Bytes.end());
    tables.ChanelStatisticsPass({bytes.data(), 2});
    SortChanelRows(chanels, tables.ChanelData, SortCode(4, false));
    EXPECT_EQ(Captions(), (std::vector<std::string>{"big", "small"}));
    SortChanelRows(chanels, tables.ChanelData, SortCode(4, true));
    EXPECT_EQ(Captions(), (std::vector<std::string>{"small", "big"}));
}

TEST_F(SortingTest, RowsWithoutRecordsGoLastInBothOrders) {
    AddChanel(1, "a", {}, 0, 30);
    AddChanel(2, "b", {}, 0, 10);
    AddChanel(3, "c", {}, 0, 20);
    Rebuild();
    records_.erase(records_.begin() + 1);  // a full channel list without "b", no rebuild yet
    std::vector<std::uint8_t> bytes;
    for (const auto& r : records_) bytes.insert(bytes.end(), r.Bytes.begin(), r.Bytes.end());
    tables.ReplaceChanels({bytes.data(), static_cast<std::uint32_t>(records_.size())});
    for (bool descending : {false, true}) {
        SortChanelRows(chanels, tables.ChanelData, SortCode(4, descending));
        EXPECT_EQ(Captions().back(), "b");
    }
    // Text columns of channels compare the shown texts and need no record.
    SortChanelRows(chanels, tables.ChanelData, SortCode(0, false));
    EXPECT_EQ(Captions(), (std::vector<std::string>{"c", "b", "a"}));
}

TEST_F(SortingTest, SortKeepsCellsDataAndSelectionAndARebuildAppendsNewRows) {
    for (Handle h = 1; h <= 5; ++h) AddChanel(h, std::string(1, static_cast<char>('a' + h)), {}, 0, 100 - h);
    Rebuild();
    chanels.SetSelected(*chanels.Item(0), true);  // "b", handle 1
    SortChanelRows(chanels, tables.ChanelData, SortCode(4, false));
    EXPECT_EQ(Captions(), (std::vector<std::string>{"f", "e", "d", "c", "b"}));
    EXPECT_TRUE(chanels.Item(4)->Selected());
    EXPECT_EQ(chanels.Item(4)->Data, 1u);
    AddChanel(9, "new", {}, 0, 1);
    Rebuild();
    EXPECT_EQ(Captions(), (std::vector<std::string>{"f", "e", "d", "c", "b", "new"}));
}

TEST_F(SortingTest, FastSortAgreesWithTheComparison) {
    std::mt19937 random(7);
    for (Handle h = 1; h <= 300; ++h) {
        const std::string id = std::to_string(random() % 50) + (random() % 2 ? "a" : "B");
        AddChanel(h, id, {10, 0, 0, static_cast<std::uint8_t>(random() % 4)}, static_cast<std::uint16_t>(random() % 3),
                  static_cast<std::uint32_t>(random() % 20), static_cast<std::uint32_t>(random()),
                  static_cast<std::uint32_t>(random()));
    }
    Rebuild();
    for (int code = 0; code <= 6; ++code)
        for (bool descending : {false, true}) {
            const int sortCode = SortCode(code, descending);
            SortChanelRows(chanels, tables.ChanelData, sortCode);
            for (int i = 0; i + 1 < chanels.Count(); ++i)
                ASSERT_LE(CompareChanelRows(chanels, tables.ChanelData, *chanels.Item(i), *chanels.Item(i + 1), sortCode), 0)
                    << code << " " << descending << " at " << i;
        }
}

// Texts that agree in their first 16 bytes or more (the full 16-byte ID field, CP1251 letters
// and control bytes that take two or three bytes once shown): the sort still follows the
// comparison, and rows of equal keys keep their order.
TEST_F(SortingTest, LongTextKeysSortByTheWholeTextAndStably) {
    const std::string ids[] = {
        "1234567890123456", "123456789012345", "1234567890123457", "12345678901234",
        "\xC0\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xC9", "\xC0\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xCA",
        "\xC0\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8", "\x01\x02\x03\x04\x05\x06a", "\x01\x02\x03\x04\x05\x06B",
        "abcdefghijklmnop", "ABCDEFGHIJKLMNOP", "abcdefghijklmnoq", "",
    };
    std::mt19937 random(11);
    for (Handle h = 1; h <= 200; ++h) AddChanel(h, ids[random() % std::size(ids)]);
    Rebuild();
    for (bool descending : {false, true}) {
        std::vector<Handle> before;
        for (int i = 0; i < chanels.Count(); ++i) before.push_back(static_cast<Handle>(chanels.Item(i)->Data));
        const int sortCode = SortCode(0, descending);
        SortChanelRows(chanels, tables.ChanelData, sortCode);
        for (int i = 0; i + 1 < chanels.Count(); ++i) {
            const int r = CompareChanelRows(chanels, tables.ChanelData, *chanels.Item(i), *chanels.Item(i + 1), sortCode);
            ASSERT_LE(r, 0) << descending << " at " << i;
            if (r == 0) {
                const auto at = [&](int row) {
                    return std::find(before.begin(), before.end(), static_cast<Handle>(chanels.Item(row)->Data));
                };
                ASSERT_LT(at(i), at(i + 1)) << "equal keys changed order at " << i;
            }
        }
    }
}

TEST_F(SortingTest, ClientColumnsUseStoredRecords) {
    std::vector<TELV_FULL_CLIENT_DATA> list(3);
    const char* codes[] = {"MERKAL", "TELVCL", "BASTOR"};
    for (std::size_t i = 0; i < 3; ++i) {
        list[i].SetClientHandle(static_cast<Handle>(i + 1));
        list[i].SetTypeCode(codes[i], 6);
        list[i].SetState(static_cast<std::uint8_t>(2 - i));
    }
    std::vector<std::uint8_t> bytes;
    for (const auto& r : list) bytes.insert(bytes.end(), r.Bytes.begin(), r.Bytes.end());
    tables.ReplaceClients({bytes.data(), 3});
    tables.RebuildViews();
    auto captions = [&] {
        std::vector<std::string> out;
        for (int i = 0; i < clients.Count(); ++i) out.push_back(clients.Text(i, 0));
        return out;
    };
    SortClientRows(clients, tables.ClientData, SortCode(7, false));  // greatest code point first
    EXPECT_EQ(captions(), (std::vector<std::string>{"Меркаль 0.0.0.0", "Бастор 0.0.0.0", "TELV клиент 0.0.0.0"}));
    SortClientRows(clients, tables.ClientData, SortCode(11, false));
    EXPECT_EQ(captions(), (std::vector<std::string>{"Бастор 0.0.0.0", "TELV клиент 0.0.0.0", "Меркаль 0.0.0.0"}));
}

TEST_F(SortingTest, CommandsForSelectedRowsInViewOrder) {
    AddChanel(1, "111");
    AddChanel(2, "222");
    AddChanel(3, "333");
    Rebuild();
    EXPECT_TRUE(ChanelDisconnectCommands(chanels, tables.ChanelData, kCloseChanel).empty());
    SortChanelRows(chanels, tables.ChanelData, SortCode(0, false));  // 333 222 111
    for (int i = 0; i < 3; ++i) chanels.SetSelected(*chanels.Item(i), true);
    for (std::uint8_t mode : {kResetChanel, kCloseChanel, kCloseChanelInterval}) {
        const std::vector<Bytes> commands = ChanelDisconnectCommands(chanels, tables.ChanelData, mode);
        ASSERT_EQ(commands.size(), 3u);
        for (const Bytes& c : commands) {
            ASSERT_EQ(c.size(), 18u);
            EXPECT_EQ(c[0], 4);
            EXPECT_EQ(c[1], mode);
        }
        EXPECT_EQ(commands[0][2], '3');
        EXPECT_EQ(commands[2][2], '1');
        EXPECT_TRUE(std::equal(commands[2].begin() + 2, commands[2].end(), records_[0].DeviceId().begin()));
    }
    // A selected row whose record left with a full list is skipped.
    records_.erase(records_.begin());
    std::vector<std::uint8_t> bytes;
    for (const auto& r : records_) bytes.insert(bytes.end(), r.Bytes.begin(), r.Bytes.end());
    tables.ReplaceChanels({bytes.data(), 2});
    EXPECT_EQ(ChanelDisconnectCommands(chanels, tables.ChanelData, kCloseChanel).size(), 2u);
}

TEST_F(SortingTest, ClientCloseCommandCopiesAddressAndStoredPort) {
    TELV_FULL_CLIENT_DATA k;
    k.SetClientHandle(5);
    k.SetAddress({192, 168, 0, 5});
    k.SetPort(5100);
    tables.ReplaceClients({k.Bytes.data(), 1});
    tables.RebuildViews();
    EXPECT_TRUE(CloseClientCommands(clients, tables.ClientData).empty());
    clients.SetSelected(*clients.Item(0), true);
    EXPECT_EQ(CloseClientCommands(clients, tables.ClientData), (std::vector<Bytes>{{17, 192, 168, 0, 5, 0xEC, 0x13}}));
}

}  // namespace
}  // namespace telv
