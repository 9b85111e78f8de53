// Cell texts of both views, from record fields.
#include "RowTexts.h"
#include "StatusPanels.h"
#include "TrafficTotals.h"

#include <gtest/gtest.h>

#include <cstring>

namespace telv {
namespace {

struct ByteCountCase {
    std::uint64_t count;
    const char* text;
};

class ByteCount : public ::testing::TestWithParam<ByteCountCase> {};

TEST_P(ByteCount, TextOfCount) { EXPECT_EQ(FormatByteCount(GetParam().count), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(AroundEveryUnitBoundary, ByteCount,
                         ::testing::Values(ByteCountCase{0, "0 б"}, ByteCountCase{1, "1 б"},
                                           ByteCountCase{600, "600 б"}, ByteCountCase{601, "0.587 кб"},
                                           ByteCountCase{1024, "1.000 кб"}, ByteCountCase{1200, "1.172 кб"},
                                           ByteCountCase{1536, "1.500 кб"}, ByteCountCase{600000, "585.938 кб"},
                                           ByteCountCase{600001, "0.572 Mб"}, ByteCountCase{700000, "0.668 Mб"},
                                           ByteCountCase{1048576, "1.000 Mб"},
                                           ByteCountCase{4294967295u, "4096.000 Mб"},
                                           // single precision: 123456789 / 2^20 = 117.737568..., as a float 117.737572
                                           ByteCountCase{123456789, "117.738 Mб"},
                                           // beyond 32 bits (totals): the true sum
                                           ByteCountCase{5368709120ull, "5120.000 Mб"}));

TEST(ByteCount, SinglePrecisionRoundingDecidesTheThirdDecimal) {
    // 536870399 / 2^20 = 511.99951... prints 512.000 from the exact quotient too; find a count
    // where float rounding changes the printed text and check the float result is shown.
    int differing = 0;
    for (std::uint32_t count = 600001; count < 4000000000u; count += 7919 * 1031) {
        const double exact = count / 1048576.0;
        const double single = static_cast<double>(static_cast<float>(exact));
        char a[32], b[32];
        std::snprintf(a, sizeof a, "%.3f Mб", exact);
        std::snprintf(b, sizeof b, "%.3f Mб", single);
        if (std::strcmp(a, b) != 0) {
            ++differing;
            EXPECT_EQ(FormatByteCount(count), b) << count;
        }
    }
    EXPECT_GT(differing, 0);
}

struct DurationCase {
    std::uint32_t seconds;
    const char* text;
};
class Duration : public ::testing::TestWithParam<DurationCase> {};
TEST_P(Duration, Text) { EXPECT_EQ(FormatTimeOnLine(GetParam().seconds), GetParam().text); }
INSTANTIATE_TEST_SUITE_P(Cases, Duration,
                         ::testing::Values(DurationCase{0, "00:00:00"}, DurationCase{59, "00:00:59"},
                                           DurationCase{3725, "01:02:05"}, DurationCase{86400, "24:00:00"},
                                           DurationCase{360000, "100:00:00"},
                                           DurationCase{4294967295u, "1193046:28:15"}));

TEST(Traffic, RxFirst) { EXPECT_EQ(FormatTraffic(512, 2048), "512 б / 2.000 кб"); }

TELV_UDP_FULL_CHANEL_DATA Chanel(std::uint8_t type, const char* typeText, std::initializer_list<std::uint8_t> version) {
    TELV_UDP_FULL_CHANEL_DATA c;
    c.SetTypeCode(type);
    c.SetTypeText(typeText, std::strlen(typeText));
    int i = 0;
    for (std::uint8_t v : version) c.SetVersionByte(i++, v);
    return c;
}

TEST(DeviceType, ModelNamesUnknownCodesAndSignedVersions) {
    struct {
        std::uint8_t type;
        const char* typeText;
        std::initializer_list<std::uint8_t> version;
        const char* expected;
    } cases[] = {
        {0, "", {1, 2, 3, 4}, "КЕ-11.1.2 ver3.4"},
        {4, "", {1, 2, 3, 4}, "ВСП-Р70.1.2 ver3.4"},
        {11, "ZZZZ", {0, 0, 0, 0}, "ОРН-32.0.0 ver0.0"},
        {20, "AB", {1, 2, 3, 4}, "AB.1.2 ver3.4"},
        {12, "", {1, 2, 3, 4}, ".1.2 ver3.4"},
        {255, "WXYZ", {1, 2, 3, 4}, "WXYZ.1.2 ver3.4"},  // fills the field, no terminator
        {1, "", {200, 200, 200, 200}, "ЛД-21.-56.-56 ver200.200"},
    };
    for (const auto& c : cases) EXPECT_EQ(DeviceTypeText(Chanel(c.type, c.typeText, c.version)), c.expected);
}

TEST(Events, NamesPerFamily) {
    struct {
        std::uint8_t type, flags;
        const char* expected;
    } cases[] = {
        {0, 0x05, "Входящий звонок, Вход 1"},
        {0, 0x21, "Входящий звонок, "},  // bit 5 has no name but brings the separator
        {0, 0x20, ""},
        {0, 0x1F, "Входящий звонок, Расписание, Вход 1, Вход 2, Команда SMS"},
        {1, 0xFF, ""},
        {3, 0xFF, ""},
        {5, 0xFF, ""},
        {10, 0x01, ""},
        {200, 0x01, ""},
        {4, 0x30, "Флаги внешних событий, Флаги событий ТС"},
        {6, 0x60, "Флаги канальных НС, Флаги НС ТС"},
        {7, 0x40, "Флаги НС ТС"},
        {8, 0x24, "Команда SMS, Флаги НС"},
        {9, 0xC0, ""},
        {9, 0xE0, "Флаги НС, , "},
        {4, 0x00, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(EventText(c.type, c.flags), c.expected) << int(c.type) << " " << int(c.flags);
}

TEST(Address, DottedFormAndUnsignedPort) {
    EXPECT_EQ(AddressText({192, 168, 1, 10}, 5100), "192.168.1.10:5100");
    EXPECT_EQ(AddressText({255, 0, 0, 1}, 65535), "255.0.0.1:65535");
}

TELV_FULL_CLIENT_DATA Client(const void* code, std::size_t n, std::initializer_list<std::uint8_t> version) {
    TELV_FULL_CLIENT_DATA c;
    c.SetTypeCode(code, n);
    int i = 0;
    for (std::uint8_t v : version) c.SetVersionByte(i++, v);
    return c;
}

TEST(ClientCaption, KnownCodesOwnCodesAndEmpty) {
    EXPECT_EQ(ClientCaptionText(Client("TELVCL", 6, {1, 3, 8, 17})), "TELV клиент 1.3.8.17");
    EXPECT_EQ(ClientCaptionText(Client("MERKAL", 6, {0, 0, 0, 1})), "Меркаль 0.0.0.1");
    EXPECT_EQ(ClientCaptionText(Client("BASTOR", 6, {2, 0, 0, 1})), "Бастор 2.0.0.1");
    EXPECT_EQ(ClientCaptionText(Client("LUNDIS", 6, {255, 0, 0, 1})), "Лундис 255.0.0.1");
    EXPECT_EQ(ClientCaptionText(Client("XYZ", 3, {2, 0, 0, 1})), "XYZ 2.0.0.1");
    EXPECT_EQ(ClientCaptionText(Client("TELVC", 5, {1, 0, 0, 0})), "TELVC 1.0.0.0");
    EXPECT_EQ(ClientCaptionText(Client("telvcl", 6, {1, 0, 0, 0})), "telvcl 1.0.0.0");
    EXPECT_EQ(ClientCaptionText(Client("", 0, {1, 2, 3, 4})), "Неизвестный клиент 1.2.3.4");
}

TEST(Texts, CyrillicFieldsAndHostileBytesStayPlainText) {
    TELV_UDP_FULL_CHANEL_DATA c;
    const std::uint8_t id[16] = {0xCF, 0xF0, 0xE8, 0x01, 0x98, '<', 'b', '>', 0x0A, 'A', 'B', 'C', 'D', 'E', 'F', 'G'};
    c.SetDeviceId(id, 16);
    EXPECT_EQ(DeviceIdText(c), "При\u2401\uFFFD<b>\u240AABCDEFG");
    c.SetDeviceId("", 0);
    EXPECT_EQ(DeviceIdText(c), "");
}

TEST(Cells, RenderedTextsEqualTheDirectTexts) {
    TELV_UDP_FULL_CHANEL_DATA c = Chanel(6, "", {9, 200, 7, 1});
    c.SetDeviceId("1234567890123456", 16);
    c.SetEventFlags(0x61);
    c.SetAddress({10, 0, 0, 7});
    c.SetPort(49152);
    EXPECT_EQ(RenderCell(DeviceIdCell(c)), "1234567890123456");
    EXPECT_EQ(RenderCell(DeviceTypeCell(c)), DeviceTypeText(c));
    EXPECT_EQ(RenderCell(EventsCell(c.TypeCode(), c.EventFlags())), "Входящий звонок, Флаги канальных НС, Флаги НС ТС");
    EXPECT_EQ(RenderCell(AddressCell(c.Address(), c.Port())), "10.0.0.7:49152");
    EXPECT_EQ(RenderCell(TimeOnLineCell(3725)), "01:02:05");
    EXPECT_EQ(RenderCell(TrafficCell(1200, 700000)), "1.172 кб / 0.668 Mб");
    EXPECT_EQ(RenderCell(ListCell{}), "");
}

TEST(ShowRows, ChanelRowTextsStateAndTotals) {
    TListView view(kChanelColumns, RenderCell);
    TrafficTotals totals;
    TELV_FULL_CLIENT_DATA client;
    client.SetAddress({10, 0, 0, 7});
    client.SetPort(49152);
    struct {
        std::uint8_t state;
        Handle linked;
        const TELV_FULL_CLIENT_DATA* client;
        const char* expected;
    } cases[] = {
        {0, 0, nullptr, "Прибор свободен"},
        {1, 5, &client, "Связан с клиентом 10.0.0.7:49152"},
        {1, 0, nullptr, "Связан с клиентом"},
        {1, 5, nullptr, "Связан с клиентом"},
        {2, 5, &client, ""},
    };
    for (const auto& c : cases) {
        TELV_UDP_FULL_CHANEL_DATA r = Chanel(0, "", {1, 2, 3, 4});
        r.SetState(c.state);
        r.SetLinkedClient(c.linked);
        r.SetRxBytes(10);
        r.SetTxBytes(20);
        TListItem* row = view.Add();
        ShowChanelRow(row, r, true, c.client, totals);
        EXPECT_EQ(row->SubItemCount(), 6);
        EXPECT_EQ(view.Text(*row, 6), c.expected);
        EXPECT_EQ(view.Text(*row, 1), "КЕ-11.1.2 ver3.4");
    }
    EXPECT_EQ(totals.ChanelRxTotal, 50u);
    EXPECT_EQ(totals.ChanelTxTotal, 100u);
    ShowChanelRow(nullptr, TELV_UDP_FULL_CHANEL_DATA{}, true, nullptr, totals);
    EXPECT_EQ(totals.ChanelRxTotal, 50u);
}

TEST(ShowRows, ClientRowStates) {
    TListView view(kClientColumns, RenderCell);
    TrafficTotals totals;
    TELV_UDP_FULL_CHANEL_DATA chanel;
    chanel.SetDeviceId("860000000000001", 15);
    struct {
        std::uint8_t state;
        Handle linked;
        const TELV_UDP_FULL_CHANEL_DATA* chanel;
        const char* expected;
    } cases[] = {
        {0, 0, nullptr, "Клиент свободен"},
        {1, 9, &chanel, "Связан с прибором 860000000000001"},
        {1, 0, nullptr, "Связан с прибором "},
        {1, 9, nullptr, "Связан с прибором "},
        {2, 9, &chanel, "Режим трансляции событий"},
        {3, 0, nullptr, ""},
    };
    for (const auto& c : cases) {
        TELV_FULL_CLIENT_DATA r = Client("TELVCL", 6, {1, 3, 8, 17});
        r.SetState(c.state);
        r.SetLinkedChanel(c.linked);
        TListItem* row = view.Add();
        ShowClientRow(row, r, true, c.chanel, totals);
        EXPECT_EQ(view.Text(*row, 4), c.expected);
        EXPECT_EQ(view.Text(*row, 0), "TELV клиент 1.3.8.17");
    }
}

TEST(Totals, PanelTexts) {
    struct Panels : StatusPanels {
        std::string text[2];
        void SetPanelText(int panel, const std::string& t) override { text[panel] = t; }
    } panels;
    TrafficTotals totals;
    totals.AddChanel(1200, 700000);
    totals.ShowTotals(panels, 1, 0);
    EXPECT_EQ(panels.text[0], "Приборы (Количество - 1 RX : 1.172 кб TX : 0.668 Mб)");
    EXPECT_EQ(panels.text[1], "Клиенты (Количество - 0 RX : 0 б TX : 0 б)");
    totals.AddChanel(4294967295u, 0);
    totals.AddChanel(4294967295u, 0);
    EXPECT_EQ(totals.ChanelRxTotal, 2ull * 4294967295u + 1200);  // no wrap at 2^32
    totals.ResetTotals(false, true);
    EXPECT_EQ(totals.ChanelRxTotal, 0u);
}

}  // namespace
}  // namespace telv
