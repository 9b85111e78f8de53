// Exact bytes of every message the console sends.
#include "Protocol.h"

#include <gtest/gtest.h>

namespace telv {
namespace {

Bytes B(std::initializer_list<int> values) {
    Bytes b;
    for (int v : values) b.push_back(static_cast<std::uint8_t>(v));
    return b;
}

TEST(EncodeRequest, OneByteForTheFiveRequestCodesNothingOtherwise) {
    for (int c : {0, 32, 33, 48, 49}) EXPECT_EQ(EncodeRequest(c), B({c})) << c;
    for (int c : {-1, 1, 3, 4, 6, 16, 17, 31, 34, 50, 255, 256, 288}) EXPECT_TRUE(EncodeRequest(c).empty()) << c;
}

TEST(EncodeClientVersion, MagicAndLowByteOfEachNumber) {
    EXPECT_EQ(EncodeClientVersion({1, 3, 8, 17}), B({16, 'T', 'E', 'L', 'V', 'C', 'L', 1, 3, 8, 17}));
    EXPECT_EQ(EncodeClientVersion({2, 10, 300, 4}), B({16, 'T', 'E', 'L', 'V', 'C', 'L', 2, 10, 44, 4}));
    EXPECT_EQ(EncodeClientVersion({-1, 0, 256, 511}),
              B({16, 'T', 'E', 'L', 'V', 'C', 'L', 255, 0, 0, 255}));
}

TEST(EncodeEventMode, TextZeroFilledToSixteenBytes) {
    EXPECT_EQ(EncodeEventMode(true), B({3, 'E', 'V', 'E', 'N', 'T', '_', 'E', 'N', 'A', 'B', 'L', 'E', 0, 0, 0, 0}));
    EXPECT_EQ(EncodeEventMode(false),
              B({3, 'E', 'V', 'E', 'N', 'T', '_', 'D', 'I', 'S', 'A', 'B', 'L', 'E', 0, 0, 0}));
}

TEST(EncodeChannelCommand, CopiesTheWholeStoredFieldIncludingBytesAfterTheTerminator) {
    const std::uint8_t field[16] = {'1', '2', '3', 0, 'x', 'y', 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 'z'};
    for (std::uint8_t mode : {std::uint8_t{0}, std::uint8_t{1}, std::uint8_t{2}}) {
        const Bytes m = EncodeChannelCommand(mode, TextField(field, 16));
        ASSERT_EQ(m.size(), 18u);
        EXPECT_EQ(m[0], 4);
        EXPECT_EQ(m[1], mode);
        EXPECT_TRUE(std::equal(field, field + 16, m.begin() + 2));
    }
}

TEST(EncodeChannelCommand, ShortFieldIsZeroFilledLongFieldIsCut) {
    const std::uint8_t shortField[3] = {'A', 'B', 'C'};
    EXPECT_EQ(EncodeChannelCommand(1, TextField(shortField, 3)),
              B({4, 1, 'A', 'B', 'C', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    std::uint8_t longField[20];
    for (std::uint8_t i = 0; i < 20; ++i) longField[i] = static_cast<std::uint8_t>('a' + i);
    const Bytes m = EncodeChannelCommand(2, TextField(longField, 20));
    ASSERT_EQ(m.size(), 18u);
    EXPECT_EQ(m[17], 'p');
}

TEST(EncodeClientClose, AddressAndLittleEndianPortUnchanged) {
    // 192.168.0.5 port 5100 = 0x13EC, stored little-endian.
    EXPECT_EQ(EncodeClientClose({192, 168, 0, 5}, 5100), B({17, 192, 168, 0, 5, 0xEC, 0x13}));
    EXPECT_EQ(EncodeClientClose({0, 0, 0, 0}, 0xFFFF), B({17, 0, 0, 0, 0, 0xFF, 0xFF}));
}

TEST(Records, FieldsReadLittleEndianAtTheirOffsets) {
    std::uint8_t raw[53];
    for (int i = 0; i < 53; ++i) raw[i] = static_cast<std::uint8_t>(i + 1);
    const auto c = TELV_UDP_FULL_CHANEL_DATA::FromBytes(raw);
    EXPECT_EQ(c.TypeCode(), 1);
    EXPECT_EQ(c.Version(0), 6);
    EXPECT_EQ(c.EventFlags(), 10);
    EXPECT_EQ(c.DeviceId()[0], 11);
    EXPECT_EQ(c.DeviceId().size(), 16u);
    EXPECT_EQ(c.State(), 27);
    EXPECT_EQ(c.Address(), (Ipv4Address{28, 29, 30, 31}));
    EXPECT_EQ(c.Port(), 32 | (33 << 8));
    EXPECT_EQ(c.SecondsOnLine(), 0x25242322u);
    EXPECT_EQ(c.RxBytes(), 0x29282726u);
    EXPECT_EQ(c.TxBytes(), 0x2D2C2B2Au);
    EXPECT_EQ(c.ChanelHandle(), 0x31302F2Eu);
    EXPECT_EQ(c.LinkedClient(), 0x35343332u);

    const auto k = TELV_FULL_CLIENT_DATA::FromBytes(raw);
    EXPECT_EQ(k.Version(3), 10);
    EXPECT_EQ(k.Address(), (Ipv4Address{11, 12, 13, 14}));
    EXPECT_EQ(k.Port(), 15 | (16 << 8));
    EXPECT_EQ(k.SecondsOnLine(), 0x14131211u);
    EXPECT_EQ(k.State(), 21);
    EXPECT_EQ(k.RxBytes(), 0x19181716u);
    EXPECT_EQ(k.TxBytes(), 0x1D1C1B1Au);
    EXPECT_EQ(k.ClientHandle(), 0x21201F1Eu);
    EXPECT_EQ(k.LinkedChanel(), 0x25242322u);

    const auto s = TELV_STATISTICS_DATA::FromBytes(raw);
    EXPECT_EQ(s.State(), 1);
    EXPECT_EQ(s.SecondsOnLine(), 0x05040302u);
    EXPECT_EQ(s.RxBytes(), 0x09080706u);
    EXPECT_EQ(s.TxBytes(), 0x0D0C0B0Au);
    EXPECT_EQ(s.OwnHandle(), 0x11100F0Eu);
    EXPECT_EQ(s.LinkedHandle(), 0x15141312u);
}

TEST(Records, SignedVersionBytesOfChannels) {
    TELV_UDP_FULL_CHANEL_DATA c;
    for (int i = 0; i < 4; ++i) c.SetVersionByte(i, 200);
    EXPECT_EQ(c.Version(0), -56);
    EXPECT_EQ(c.Version(1), -56);
    EXPECT_EQ(c.Version(2), 200);
    EXPECT_EQ(c.Version(3), 200);
}

TEST(Records, SettersRoundTrip) {
    TELV_UDP_FULL_CHANEL_DATA c;
    c.SetChanelHandle(0xFFFFFFFF);
    c.SetRxBytes(0x80000001);
    c.SetPort(0xABCD);
    c.SetDeviceId("1234567890123456789", 19);
    EXPECT_EQ(c.ChanelHandle(), 0xFFFFFFFFu);
    EXPECT_EQ(c.RxBytes(), 0x80000001u);
    EXPECT_EQ(c.Port(), 0xABCD);
    EXPECT_EQ(c.Bytes[10 + 15], '6');
    EXPECT_EQ(c.Bytes[26], 0);  // the text did not spill into the next field
}

}  // namespace
}  // namespace telv
