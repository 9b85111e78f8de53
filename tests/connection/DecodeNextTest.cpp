// The decoder: every state and message type, whole, split and concatenated.
#include "Protocol.h"
#include "ServerSide.h"
#include "StackBuffer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace telv {
namespace {

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Decodes from an exactly sized heap copy, so that a read past the bytes is caught by ASan.
DecodedMessage DecodeExact(int state, const Bytes& bytes) {
    auto copy = std::make_unique<std::uint8_t[]>(bytes.size() ? bytes.size() : 1);
    std::copy(bytes.begin(), bytes.end(), copy.get());
    DecodedMessage m = DecodeNext(state, copy.get(), bytes.size());
    m.deviceId = {};  // the spans pointed into the copy
    m.text = {};
    m.chanels = {};
    m.clients = {};
    m.statistics = {};
    return m;
}

TELV_UDP_FULL_CHANEL_DATA Chanel(Handle h, const char* id) {
    TELV_UDP_FULL_CHANEL_DATA c;
    c.SetChanelHandle(h);
    c.SetDeviceId(id, std::strlen(id));
    return c;
}

TELV_FULL_CLIENT_DATA Client(Handle h) {
    TELV_FULL_CLIENT_DATA c;
    c.SetClientHandle(h);
    c.SetTypeCode("TELVCL", 6);
    return c;
}

TELV_STATISTICS_DATA Stat(Handle h, std::uint32_t rx) {
    TELV_STATISTICS_DATA s;
    s.SetOwnHandle(h);
    s.SetRxBytes(rx);
    return s;
}

struct Case {
    std::string name;
    int state;
    Bytes bytes;
    DecodeOutcome outcome;
    std::size_t length;
    MessageKind kind = MessageKind::Empty;
};

std::vector<Case> Cases() {
    const Bytes hello = server::EncodeServerVersion(1, 2, 3, 4);
    Bytes badHello = hello;
    badHello[7] = 'X';
    Bytes helloCode1 = hello;
    helloCode1[0] = 1;
    const std::uint8_t id[16] = {'3', '5', '0', 0};
    std::vector<TELV_UDP_FULL_CHANEL_DATA> chanels{Chanel(7, "A"), Chanel(9, "B")};
    std::vector<TELV_FULL_CLIENT_DATA> clients{Client(3)};
    std::vector<TELV_STATISTICS_DATA> stats{Stat(7, 1), Stat(9, 2), Stat(11, 3)};
    return {
        {"hello", WaitingHello, hello, DecodeOutcome::Message, 12, MessageKind::ServerVersion},
        {"hello_short", WaitingHello, Bytes(hello.begin(), hello.end() - 1), DecodeOutcome::Incomplete, 0},
        {"hello_bad_magic", WaitingHello, badHello, DecodeOutcome::Skip, 12},
        {"hello_bad_code", WaitingHello, helloCode1, DecodeOutcome::Skip, 12},
        {"hello_ack_bytes", WaitingHello, Cat({server::EncodeAck(), Bytes{0}}), DecodeOutcome::Skip, 12},
        {"ack", WaitingAck, server::EncodeAck(), DecodeOutcome::Message, 11, MessageKind::ClientVersionAck},
        {"ack_any_content", WaitingAck, Bytes{16, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, DecodeOutcome::Message, 11,
         MessageKind::ClientVersionAck},
        {"ack_short", WaitingAck, Bytes(10, 16), DecodeOutcome::Incomplete, 0},
        {"ack_wrong_code", WaitingAck, Bytes(11, 0), DecodeOutcome::Skip, 11},
        {"event_enable", Running, server::EncodeEventMode(true), DecodeOutcome::Message, 17, MessageKind::EventMode},
        {"event_short", Running, Bytes(16, 3), DecodeOutcome::Incomplete, 0},
        {"notice", Running, server::EncodeChannelNotice(2, TextField(id, 16)), DecodeOutcome::Message, 18,
         MessageKind::ChannelNotice},
        {"notice_short", Running, Bytes{4, 0, '1'}, DecodeOutcome::Incomplete, 0},
        {"text", Running, server::EncodeTextMessage("hi"), DecodeOutcome::Message, 6, MessageKind::TextMessage},
        {"text_empty", Running, server::EncodeTextMessage(""), DecodeOutcome::Message, 4, MessageKind::TextMessage},
        {"text_header_short", Running, Bytes{6, 0, 5}, DecodeOutcome::Incomplete, 0},
        {"text_body_short", Running, Bytes{6, 0, 5, 0, 'a', 'b'}, DecodeOutcome::Incomplete, 0},
        {"text_any_byte1", Running, Bytes{6, 0xEE, 1, 0, 'z'}, DecodeOutcome::Message, 5, MessageKind::TextMessage},
        {"text_max_length_waits", Running, Bytes{6, 0, 0xFF, 0xFF, 'a'}, DecodeOutcome::Incomplete, 0},
        {"client_closed", Running, server::EncodeClientClosed({10, 0, 0, 7}, 49152), DecodeOutcome::Message, 7,
         MessageKind::ClientClosed},
        {"client_closed_short", Running, Bytes{17, 1, 2, 3, 4, 5}, DecodeOutcome::Incomplete, 0},
        {"chanel_list", Running, server::EncodeChanelList(chanels), DecodeOutcome::Message, 5 + 2 * 53,
         MessageKind::ChannelList},
        {"client_list", Running, server::EncodeClientList(clients), DecodeOutcome::Message, 5 + 37,
         MessageKind::ClientList},
        {"chanel_stats", Running, server::EncodeStatistics(33, stats), DecodeOutcome::Message, 5 + 3 * 21,
         MessageKind::ChannelStatistics},
        {"client_stats", Running, server::EncodeStatistics(49, stats), DecodeOutcome::Message, 5 + 3 * 21,
         MessageKind::ClientStatistics},
        {"list_zero", Running, server::EncodeListHeader(32, 0), DecodeOutcome::Message, 5, MessageKind::ChannelList},
        {"list_header_short", Running, Bytes{48, 0, 0, 0}, DecodeOutcome::Incomplete, 0},
        {"list_at_limit_waits", Running, server::EncodeListHeader(32, kMaxRecordCount), DecodeOutcome::Incomplete, 0},
        {"list_over_limit", Running, server::EncodeListHeader(32, kMaxRecordCount + 1), DecodeOutcome::DiscardAll, 0},
        {"stats_over_limit", Running, server::EncodeListHeader(33, 0xFFFFFFFF), DecodeOutcome::DiscardAll, 0},
        {"clients_at_ffffffff", Running, server::EncodeListHeader(48, 0xFFFFFFFF), DecodeOutcome::DiscardAll, 0},
        {"client_stats_0x80000000", Running, server::EncodeListHeader(49, 0x80000000), DecodeOutcome::DiscardAll, 0},
        {"empty", Running, server::EncodeEmpty(), DecodeOutcome::Message, 1, MessageKind::Empty},
        {"second_hello_in_running", Running, hello, DecodeOutcome::DiscardAll, 0},
        {"ack_in_running", Running, server::EncodeAck(), DecodeOutcome::DiscardAll, 0},
        {"unknown_code", Running, Bytes{7, 1, 2}, DecodeOutcome::DiscardAll, 0},
        {"disconnected", Disconnected, hello, DecodeOutcome::DiscardAll, 0},
        {"connecting", Connecting, server::EncodeEmpty(), DecodeOutcome::DiscardAll, 0},
        {"unknown_state", 9, server::EncodeEmpty(), DecodeOutcome::DiscardAll, 0},
    };
}

class DecodeCase : public ::testing::TestWithParam<Case> {};

TEST_P(DecodeCase, GivesTheOutcome) {
    const Case& c = GetParam();
    const DecodedMessage m = DecodeExact(c.state, c.bytes);
    EXPECT_EQ(m.outcome, c.outcome);
    if (c.outcome == DecodeOutcome::Skip || c.outcome == DecodeOutcome::Message) {
        EXPECT_EQ(m.length, c.length);
    }
    if (c.outcome == DecodeOutcome::Message) {
        EXPECT_EQ(m.kind, c.kind);
    }
}

TEST_P(DecodeCase, EveryShorterPrefixOfAMessageIsIncomplete) {
    const Case& c = GetParam();
    if (c.outcome != DecodeOutcome::Message && c.outcome != DecodeOutcome::Skip) return;
    for (std::size_t n = 0; n < c.length; ++n)
        EXPECT_EQ(DecodeExact(c.state, Bytes(c.bytes.begin(), c.bytes.begin() + static_cast<long>(n))).outcome,
                  DecodeOutcome::Incomplete)
            << n;
}

INSTANTIATE_TEST_SUITE_P(AllMessages, DecodeCase, ::testing::ValuesIn(Cases()),
                         [](const auto& param) { return param.param.name; });

TEST(DecodeNext, ServerVersionFields) {
    const Bytes hello = server::EncodeServerVersion(1, 200, 3, 255);
    const DecodedMessage m = DecodeNext(WaitingHello, hello.data(), hello.size());
    EXPECT_EQ(m.serverVersion[0], 1);
    EXPECT_EQ(m.serverVersion[1], 200);
    EXPECT_EQ(m.serverVersion[3], 255);
}

TEST(DecodeNext, EventModeTexts) {
    struct {
        Bytes text;
        EventModeText expected;
    } cases[] = {
        {Bytes{'E', 'V', 'E', 'N', 'T', '_', 'E', 'N', 'A', 'B', 'L', 'E'}, EventModeText::Enable},
        {Bytes{'E', 'V', 'E', 'N', 'T', '_', 'E', 'N', 'A', 'B', 'L', 'E', 'X', 'Y', 'Z', 'W'}, EventModeText::Enable},
        {Bytes{'E', 'V', 'E', 'N', 'T', '_', 'D', 'I', 'S', 'A', 'B', 'L', 'E'}, EventModeText::Disable},
        {Bytes{'E', 'V', 'E', 'N', 'T', '_', 'D', 'I', 'S', 'A', 'B', 'L', 'E', 1, 1, 1}, EventModeText::Disable},
        {Bytes{'E', 'V', 'E', 'N', 'T', '_', 'E', 'N', 'A', 'B', 'L'}, EventModeText::Other},
        {Bytes{'e', 'v', 'e', 'n', 't', '_', 'e', 'n', 'a', 'b', 'l', 'e'}, EventModeText::Other},
        {Bytes{}, EventModeText::Other},
    };
    for (const auto& c : cases) {
        Bytes m(17, 0);
        m[0] = 3;
        std::copy(c.text.begin(), c.text.end(), m.begin() + 1);
        const DecodedMessage d = DecodeNext(Running, m.data(), m.size());
        EXPECT_EQ(d.length, 17u);
        EXPECT_EQ(d.eventMode, c.expected);
    }
}

TEST(DecodeNext, NoticeAndClosedClientFields) {
    std::uint8_t id[16];
    for (std::uint8_t i = 0; i < 16; ++i) id[i] = static_cast<std::uint8_t>('A' + i);  // no terminator
    const Bytes notice = server::EncodeChannelNotice(255, TextField(id, 16));
    const DecodedMessage n = DecodeNext(Running, notice.data(), notice.size());
    EXPECT_EQ(n.mode, 255);
    ASSERT_EQ(n.deviceId.size(), 16u);
    EXPECT_TRUE(std::equal(id, id + 16, n.deviceId.begin()));

    const Bytes closed = server::EncodeClientClosed({192, 168, 0, 5}, 5100);
    const DecodedMessage c = DecodeNext(Running, closed.data(), closed.size());
    EXPECT_EQ(c.address, (Ipv4Address{192, 168, 0, 5}));
    EXPECT_EQ(c.port, 5100);
}

TEST(DecodeNext, ListRecordsAreReadInPlace) {
    const std::vector<TELV_UDP_FULL_CHANEL_DATA> chanels{Chanel(0xFFFFFFFF, "X"), Chanel(1, "Y")};
    const Bytes list = server::EncodeChanelList(chanels);
    const DecodedMessage m = DecodeNext(Running, list.data(), list.size());
    ASSERT_EQ(m.chanels.size(), 2u);
    EXPECT_EQ(m.chanels[0].ChanelHandle(), 0xFFFFFFFFu);
    EXPECT_EQ(m.chanels[1].DeviceId()[0], 'Y');
    EXPECT_EQ(m.chanels[1].Bytes, chanels[1].Bytes);
}

TEST(DecodeNext, FullListAtTheLimitIsAccepted) {
    Bytes list = server::EncodeListHeader(33, kMaxRecordCount);
    list.resize(5 + 21 * std::size_t{kMaxRecordCount}, 0);
    const DecodedMessage whole = DecodeNext(Running, list.data(), list.size());
    EXPECT_EQ(whole.outcome, DecodeOutcome::Message);
    EXPECT_EQ(whole.statistics.size(), kMaxRecordCount);
    EXPECT_EQ(DecodeNext(Running, list.data(), list.size() - 1).outcome, DecodeOutcome::Incomplete);
}

TEST(DecodeNext, LongestMessageFitsInThirtyTwoBits) {
    EXPECT_EQ(kMaxMessageLength, 55573685u);
    EXPECT_LT(kMaxMessageLength, std::size_t{1} << 32);
}

// --- Streams ---

// What a decoded message says, for comparing streams.
std::string Describe(const DecodedMessage& m) {
    std::string d = std::to_string(static_cast<int>(m.kind)) + ":" + std::to_string(m.length);
    if (m.kind == MessageKind::TextMessage) d += ":" + std::string(m.text.begin(), m.text.end());
    if (m.kind == MessageKind::ChannelList)
        for (std::uint32_t i = 0; i < m.chanels.size(); ++i) d += ":" + std::to_string(m.chanels[i].ChanelHandle());
    if (m.kind == MessageKind::ChannelStatistics || m.kind == MessageKind::ClientStatistics)
        for (std::uint32_t i = 0; i < m.statistics.size(); ++i) d += ":" + std::to_string(m.statistics[i].RxBytes());
    return d;
}

// Feeds the stream through the receive buffer in pieces of the given sizes (the last size
// repeats), cutting messages as the controller does; skips and discards are recorded too.
std::vector<std::string> FeedPieces(int state, const Bytes& stream, const std::vector<std::size_t>& sizes) {
    StackBuffer buffer;
    std::vector<std::string> seen;
    std::size_t piece = 0;
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t size = std::min(sizes[std::min(piece++, sizes.size() - 1)], stream.size() - at);
        buffer.Append(stream.data() + at, size);
        at += size;
        while (buffer.Remaining() > 0) {
            const DecodedMessage m = DecodeNext(state, buffer.Front(), buffer.Remaining());
            if (m.outcome == DecodeOutcome::Incomplete) break;
            if (m.outcome == DecodeOutcome::DiscardAll) {
                seen.push_back("discard");
                buffer.DiscardAll();
                continue;
            }
            seen.push_back(m.outcome == DecodeOutcome::Skip ? "skip:" + std::to_string(m.length) : Describe(m));
            EXPECT_TRUE(buffer.Consume(m.length));
            if (m.kind == MessageKind::ServerVersion) state = WaitingAck;
            if (m.kind == MessageKind::ClientVersionAck) state = Running;
        }
    }
    return seen;
}

std::vector<std::string> Feed(int state, const Bytes& stream, std::size_t pieceSize) {
    return FeedPieces(state, stream, {pieceSize});
}

Bytes Conversation() {
    const std::uint8_t id[16] = {'8', '6', '0', 0, 0xFF};
    const std::vector<TELV_UDP_FULL_CHANEL_DATA> chanels{Chanel(5, "A"), Chanel(6, "B"), Chanel(70000, "C")};
    const std::vector<TELV_FULL_CLIENT_DATA> clients{Client(1), Client(2)};
    const std::vector<TELV_STATISTICS_DATA> stats{Stat(5, 100), Stat(6, 200)};
    Bytes garbage(12, 0xAB);
    return Cat({garbage, server::EncodeServerVersion(1, 0, 0, 1), Bytes(11, 0), server::EncodeAck(),
                server::EncodeEventMode(true), server::EncodeChanelList(chanels), server::EncodeClientList(clients),
                server::EncodeStatistics(33, stats), server::EncodeStatistics(49, stats), server::EncodeEmpty(),
                server::EncodeTextMessage("Привет"), server::EncodeChannelNotice(0, TextField(id, 16)),
                server::EncodeClientClosed({10, 0, 0, 1}, 7), server::EncodeListHeader(32, 0),
                server::EncodeTextMessage("")});
}

TEST(DecodeStream, WholeConversationInOnePiece) {
    const std::vector<std::string> seen = Feed(WaitingHello, Conversation(), 1 << 20);
    ASSERT_EQ(seen.size(), 15u);
    EXPECT_EQ(seen[0], "skip:12");
    EXPECT_EQ(seen[2], "skip:11");
    EXPECT_EQ(seen[5], "6:164:5:6:70000");
    EXPECT_EQ(seen.back(), "4:4:");
}

TEST(DecodeStream, SplitAtEveryByteBoundaryDecodesTheSame) {
    const Bytes stream = Conversation();
    const std::vector<std::string> whole = Feed(WaitingHello, stream, stream.size());
    for (std::size_t piece : {1u, 2u, 3u, 5u, 7u, 11u, 12u, 13u, 53u, 64u}) EXPECT_EQ(Feed(WaitingHello, stream, piece), whole) << piece;
    // Two pieces, cut at every position.
    for (std::size_t cut = 1; cut < stream.size(); ++cut)
        ASSERT_EQ(FeedPieces(WaitingHello, stream, {cut, stream.size()}), whole) << cut;
}

TEST(DecodeStream, ThirteenWrongBytesNeverYieldTheReply) {
    const Bytes stream = Cat({Bytes(13, 0x55), server::EncodeServerVersion(1, 2, 3, 4)});
    EXPECT_EQ(Feed(WaitingHello, stream, stream.size()), (std::vector<std::string>{"skip:12", "skip:12"}));
    const Bytes aligned = Cat({Bytes(12, 0x55), server::EncodeServerVersion(1, 2, 3, 4)});
    const std::vector<std::string> seen = Feed(WaitingHello, aligned, 5);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].rfind("0:12", 0), 0u);
}

TEST(DecodeStream, OverLimitCountDropsCompleteMessagesBehindIt) {
    const Bytes stream = Cat({server::EncodeEmpty(), server::EncodeListHeader(48, kMaxRecordCount + 1),
                              server::EncodeEmpty(), server::EncodeTextMessage("lost")});
    EXPECT_EQ(Feed(Running, stream, stream.size()), (std::vector<std::string>{"10:1", "discard"}));
}

// The length the header of a list or statistics message gives, as the receive path reads ahead
// for it: 0 for anything that is no such header while the connection runs.
TEST(ListMessageLength, FromTheHeaderAlone) {
    const struct {
        const char* label;
        int state;
        Bytes bytes;
        std::size_t length;
    } cases[] = {
        {"channel list", Running, server::EncodeListHeader(32, 3), 5 + 3 * TELV_UDP_FULL_CHANEL_DATA::kSize},
        {"client list", Running, server::EncodeListHeader(48, 2), 5 + 2 * TELV_FULL_CLIENT_DATA::kSize},
        {"channel statistics", Running, server::EncodeListHeader(33, 7), 5 + 7 * TELV_STATISTICS_DATA::kSize},
        {"client statistics at the limit", Running, server::EncodeListHeader(49, kMaxRecordCount),
         5 + std::size_t{kMaxRecordCount} * TELV_STATISTICS_DATA::kSize},
        {"over the limit", Running, server::EncodeListHeader(32, kMaxRecordCount + 1), 0},
        {"header not complete", Running, Bytes{32, 3, 0, 0}, 0},
        {"another message", Running, server::EncodeTextMessage("abcde"), 0},
        {"before the handshake ends", WaitingAck, server::EncodeListHeader(32, 3), 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ListMessageLength(c.state, c.bytes.data(), c.bytes.size()), c.length) << c.label;
    EXPECT_EQ(ListMessageLength(Running, nullptr, 0), 0u);
}

}  // namespace
}  // namespace telv
