#include "SeedCorpus.h"

#include "ControllerFuzz.h"
#include "ServerSide.h"

#include <initializer_list>
#include <string_view>

namespace telv::fuzz {
namespace {

using namespace std::string_view_literals;
using server::EncodeAck;
using server::EncodeChanelList;
using server::EncodeChannelNotice;
using server::EncodeClientClosed;
using server::EncodeClientList;
using server::EncodeEmpty;
using server::EncodeEventMode;
using server::EncodeListHeader;
using server::EncodeServerVersion;
using server::EncodeStatistics;
using server::EncodeTextMessage;

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes Repeat(const Bytes& part, int times) {
    Bytes all;
    for (int i = 0; i < times; ++i) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Raw(std::string_view bytes) { return Bytes(bytes.begin(), bytes.end()); }

TELV_UDP_FULL_CHANEL_DATA Chanel(Handle handle, std::string_view id, std::uint8_t type = 3, Handle client = 0) {
    TELV_UDP_FULL_CHANEL_DATA r;
    r.SetTypeCode(type);
    r.SetTypeText("MX01", 4);
    for (int i = 0; i < 4; ++i) r.SetVersionByte(i, static_cast<std::uint8_t>(1 + i * 3));
    r.SetEventFlags(static_cast<std::uint8_t>(handle * 37));
    r.SetDeviceId(id.data(), id.size());
    r.SetState(client ? 1 : 0);
    r.SetAddress({10, 20, static_cast<std::uint8_t>(handle >> 8), static_cast<std::uint8_t>(handle)});
    r.SetPort(static_cast<std::uint16_t>(40000 + handle));
    r.SetSecondsOnLine(handle * 61);
    r.SetRxBytes(handle * 1000);
    r.SetTxBytes(handle * 700);
    r.SetChanelHandle(handle);
    r.SetLinkedClient(client);
    return r;
}

TELV_FULL_CLIENT_DATA Client(Handle handle, std::string_view type = "TELVCL", Handle chanel = 0,
                             std::uint8_t state = 0) {
    TELV_FULL_CLIENT_DATA r;
    r.SetTypeCode(type.data(), type.size());
    for (int i = 0; i < 4; ++i) r.SetVersionByte(i, static_cast<std::uint8_t>(i + 1));
    r.SetAddress({192, 168, 1, static_cast<std::uint8_t>(handle)});
    r.SetPort(static_cast<std::uint16_t>(5000 + handle));
    r.SetSecondsOnLine(handle * 3600);
    r.SetState(chanel ? 1 : state);
    r.SetRxBytes(handle * 600001);
    r.SetTxBytes(0xFFFFFFFFu - handle);
    r.SetClientHandle(handle);
    r.SetLinkedChanel(chanel);
    return r;
}

TELV_STATISTICS_DATA Stat(Handle own, Handle linked = 0, std::uint8_t state = 0, std::uint32_t seconds = 100) {
    TELV_STATISTICS_DATA r;
    r.SetState(state);
    r.SetSecondsOnLine(seconds);
    r.SetRxBytes(seconds * 17);
    r.SetTxBytes(seconds * 5);
    r.SetOwnHandle(own);
    r.SetLinkedHandle(linked);
    return r;
}

std::vector<TELV_UDP_FULL_CHANEL_DATA> Chanels(Handle first, int count) {
    std::vector<TELV_UDP_FULL_CHANEL_DATA> records;
    for (int i = 0; i < count; ++i) {
        const Handle h = first + static_cast<Handle>(i);
        records.push_back(Chanel(h, "86" + std::to_string(1000 + h), static_cast<std::uint8_t>(h % 14),
                                 h % 3 == 0 ? 900 + h % 4 : 0));
    }
    return records;
}

std::vector<TELV_FULL_CLIENT_DATA> Clients(Handle first, int count) {
    static constexpr std::string_view kTypes[] = {"TELVCL", "MERKAL", "BASTOR", "LUNDIS", "XYZ"};
    std::vector<TELV_FULL_CLIENT_DATA> records;
    for (int i = 0; i < count; ++i) {
        const Handle h = first + static_cast<Handle>(i);
        records.push_back(Client(h, kTypes[i % 5], i % 2 ? 3 + static_cast<Handle>(i) * 3 : 0,
                                 static_cast<std::uint8_t>(i % 3)));
    }
    return records;
}

Bytes Record(const TELV_UDP_FULL_CHANEL_DATA& r) { return Bytes(r.Bytes.begin(), r.Bytes.end()); }

Bytes Handshake() { return Cat({EncodeServerVersion(2, 4, 0, 31), EncodeAck()}); }

TextField Field(std::string_view bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

Bytes Notices() {
    const std::string_view id = "860001";
    return Cat({EncodeEventMode(true), EncodeChannelNotice(0, Field(id)), EncodeChannelNotice(1, Field(id)),
                EncodeChannelNotice(2, Field(id)), EncodeChannelNotice(3, Field(id)),
                EncodeTextMessage("\xCF\xF0\xE8\xE2\xE5\xF2"), EncodeClientClosed({192, 168, 0, 5}, 5100),
                EncodeEmpty(), EncodeEventMode(false)});
}

// The running part of a session: lists, statistics with a row gone and an orphan, notices.
Bytes RunningSession() {
    return Cat({EncodeEventMode(true), EncodeChanelList(Chanels(1, 8)), EncodeClientList(Clients(900, 4)),
                EncodeStatistics(code::ChannelStatistics,
                                 std::vector{Stat(1, 0, 0), Stat(2, 900, 1), Stat(3, 901, 1), Stat(4, 77, 1),
                                             Stat(5), Stat(6), Stat(7), Stat(5000)}),
                EncodeStatistics(code::ClientStatistics,
                                 std::vector{Stat(900, 2, 1), Stat(901, 0, 2), Stat(902, 55, 1), Stat(7000)}),
                Notices()});
}

Bytes Session() { return Cat({Handshake(), RunningSession()}); }

// Texts a server should never send: controls, the unassigned byte, markup, no terminator.
constexpr std::string_view kHostile = "\x01\n\r\t\x7F\x98\xFF<b>&amp;</b>\x1B[31m";

InputOptions From(int state, PieceMode pieces = PieceMode::Whole, std::uint8_t param = 0, std::uint8_t seed = 0) {
    InputOptions o;
    o.startState = state;
    o.pieces = pieces;
    o.pieceParam = param;
    o.seed = seed;
    return o;
}

InputOptions With(InputOptions o, bool timer, bool sort, bool select, std::uint8_t ticks = 0) {
    o.timerTicks = timer;
    o.sortRows = sort;
    o.selectRows = select;
    o.handshakeTicks = ticks;
    return o;
}

}  // namespace

std::vector<Seed> MakeSeedCorpus() {
    std::vector<Seed> seeds;
    const auto add = [&](std::string name, const InputOptions& options, const Bytes& server) {
        seeds.push_back({std::move(name), MakeInput(options, server)});
    };
    const auto oneId = Field("860001");
    Bytes garbage12 = Raw("GARBAGEBLOCK");
    Bytes garbage13 = Raw("GARBAGEBLOCK!");

    // Whole sessions, cut in every way.
    add("session-whole", From(WaitingHello), Session());
    add("session-single-bytes", From(WaitingHello, PieceMode::SingleBytes), Session());
    add("session-pieces-of-5", From(WaitingHello, PieceMode::Fixed, 4), Session());
    add("session-varying-pieces", From(WaitingHello, PieceMode::Varying, 40, 7), Session());
    add("session-sorted-and-selected", With(From(WaitingHello, PieceMode::Varying, 90, 3), false, true, true),
        Session());
    InputOptions manual = From(WaitingHello, PieceMode::Fixed, 30);
    manual.autoRequest = false;
    manual.events = false;
    add("session-auto-request-off", manual, Session());

    // The handshake and its faults.
    add("hello-in-pieces", From(WaitingHello, PieceMode::Fixed, 4), Handshake());
    add("hello-after-12-wrong-bytes", From(WaitingHello), Cat({garbage12, Handshake(), EncodeEmpty()}));
    add("hello-after-13-wrong-bytes", From(WaitingHello), Cat({garbage13, Handshake(), EncodeEmpty()}));
    add("hello-twice", From(WaitingHello), Cat({EncodeServerVersion(1, 2, 3, 4), EncodeServerVersion(5, 6, 7, 8)}));
    add("ack-after-11-wrong-bytes", From(WaitingAck), Cat({Raw("WRONGBLOCK!"), EncodeAck(), RunningSession()}));
    add("hello-time-limit", With(From(WaitingHello, PieceMode::SingleBytes), true, false, false, 3), Session());
    add("ack-time-limit", With(From(WaitingAck, PieceMode::Fixed, 3), true, false, false, 2),
        Cat({EncodeAck(), RunningSession()}));
    add("running-timer-ticks", With(From(Running, PieceMode::Varying, 60, 9), true, false, false, 5),
        RunningSession());
    add("disconnected-discards", From(Disconnected, PieceMode::Fixed, 9), Session());
    add("connecting-discards", From(Connecting), Session());

    // Each message in Running.
    add("running-event-modes", From(Running),
        Cat({EncodeEventMode(true), EncodeEventMode(false),
             Cat({Bytes{code::EventMode}, Raw("EVENT_ENABLEXYZW")}), Cat({Bytes{code::EventMode}, Raw("EVENT_NONE\0\0\0\0\0\0"sv)}),
             Cat({Bytes{code::EventMode}, Raw("EVENT_DISABLE\x01\x02\x03")})}));
    add("running-channel-notices", From(Running, PieceMode::Fixed, 6),
        Cat({EncodeChannelNotice(0, oneId), EncodeChannelNotice(2, Field("0123456789ABCDEF")),
             EncodeChannelNotice(3, Field(kHostile)), EncodeChannelNotice(255, Field("86\0tail after zero"sv))}));
    Bytes anyByteOne = EncodeTextMessage("byte one");
    anyByteOne[1] = 0xEE;
    add("running-text-messages", From(Running, PieceMode::Varying, 12, 1),
        Cat({EncodeTextMessage(""), EncodeTextMessage(kHostile), EncodeTextMessage("zero\0inside"sv),
             EncodeTextMessage("\xC8\xE4\xE5\xF2 \xEE\xEF\xF0\xEE\xF1"), anyByteOne}));
    InputOptions textsManual = From(Running);
    textsManual.autoRequest = false;
    add("running-text-auto-request-off", textsManual, Repeat(EncodeTextMessage("refresh"), 3));
    add("running-client-closed", From(Running),
        Cat({EncodeClientClosed({0, 0, 0, 0}, 0), EncodeClientClosed({255, 255, 255, 255}, 65535)}));
    add("running-empty-messages", From(Running, PieceMode::SingleBytes), Repeat(EncodeEmpty(), 20));

    // Lists and statistics.
    add("running-empty-lists", From(Running),
        Cat({EncodeChanelList(Chanels(1, 5)), EncodeClientList(Clients(900, 3)), EncodeListHeader(code::ChannelList, 0),
             EncodeListHeader(code::ClientList, 0), EncodeListHeader(code::ChannelStatistics, 0),
             EncodeListHeader(code::ClientStatistics, 0)}));
    add("running-duplicate-handles", With(From(Running), false, true, true),
        Cat({EncodeChanelList(std::vector{Chanel(5, "first"), Chanel(5, "second"), Chanel(0, "zero")}),
             EncodeClientList(std::vector{Client(9), Client(9, "MERKAL"), Client(0)}),
             EncodeStatistics(code::ChannelStatistics, std::vector{Stat(5), Stat(5, 9, 1), Stat(0)}),
             EncodeStatistics(code::ClientStatistics, std::vector{Stat(9, 5, 1), Stat(9)})}));
    add("running-orphan-statistics", From(Running, PieceMode::Fixed, 20),
        Cat({EncodeStatistics(code::ChannelStatistics, std::vector{Stat(1), Stat(2, 3, 1)}),
             EncodeChanelList(Chanels(1, 3)), EncodeClientList(Clients(900, 2)),
             EncodeStatistics(code::ChannelStatistics, std::vector{Stat(1, 4444, 1), Stat(2, 901, 1), Stat(9999)}),
             EncodeStatistics(code::ClientStatistics, std::vector{Stat(900, 4444, 1), Stat(901, 2, 1), Stat(8888)})}));
    add("running-churn", With(From(Running, PieceMode::Varying, 200, 5), false, true, true),
        Cat({EncodeChanelList(Chanels(1, 10)), EncodeClientList(Clients(900, 3)),
             EncodeStatistics(code::ChannelStatistics, std::vector{Stat(2), Stat(4), Stat(6), Stat(8), Stat(10)}),
             EncodeChanelList(Chanels(5, 10)), EncodeClientList(Clients(901, 3)),
             EncodeStatistics(code::ChannelStatistics, std::vector{Stat(5), Stat(14), Stat(20)}),
             EncodeChanelList(Chanels(12, 4)), EncodeClientList(Clients(900, 1))}));
    add("running-hostile-fields", With(From(Running), false, true, true),
        Cat({EncodeChanelList(std::vector{Chanel(1, kHostile, 200), Chanel(2, "0123456789ABCDEF", 99),
                                          Chanel(3, "\0\x01"sv, 11)}),
             EncodeClientList(std::vector{Client(1, kHostile, 1), Client(2, "\x98\x98\x98\x98\x98\x98", 2),
                                          Client(3, "\0x"sv)})}));
    add("running-sixty-channels", With(From(Running, PieceMode::Fixed, 127), false, true, false),
        Cat({EncodeChanelList(Chanels(100, 60)), EncodeClientList(Clients(900, 5))}));

    // Counts and lengths at and beyond the limits, and codes not accepted in Running.
    add("running-count-at-limit", From(Running, PieceMode::Fixed, 63),
        Cat({EncodeListHeader(code::ChannelList, kMaxRecordCount), Repeat(Record(Chanel(1, "partial")), 3)}));
    add("running-count-over-limit", From(Running, PieceMode::Fixed, 5),
        Cat({EncodeListHeader(code::ChannelList, kMaxRecordCount + 1), EncodeTextMessage("dropped"),
             EncodeTextMessage("kept"), EncodeListHeader(code::ClientStatistics, 0xFFFFFFFF), EncodeEmpty(),
             EncodeListHeader(code::ChannelStatistics, 0x80000000), EncodeListHeader(code::ClientList, 0x10000000)}));
    add("running-text-at-full-length", From(Running, PieceMode::Fixed, 255),
        Cat({Bytes{code::TextMessage, 0, 0xFF, 0xFF}, Repeat(Raw("long text "), 40)}));
    add("running-handshake-codes", From(Running, PieceMode::Fixed, 11),
        Cat({EncodeEmpty(), EncodeServerVersion(2, 4, 0, 31), EncodeTextMessage("dropped with the buffer"),
             EncodeEmpty(), EncodeAck(), EncodeTextMessage("after")}));
    add("running-unknown-codes", From(Running, PieceMode::Fixed, 2),
        Cat({Bytes{1, 2, 5}, EncodeEmpty(), Bytes{7, 100, 254}, EncodeTextMessage("x"), Bytes{18, 31, 34, 47, 50}}));
    add("running-garbage-after-handshake", From(WaitingHello, PieceMode::Varying, 30, 2),
        Cat({Handshake(), Raw("\x99\x98\x97 garbage"), RunningSession()}));
    return seeds;
}

}  // namespace telv::fuzz
