// The simulator served in-process on a loopback port, talked to through the console's codec.
#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <thread>

namespace telv::sim::test {
namespace {

bool SameId(const TELV_UDP_FULL_CHANEL_DATA& c, TextField id) { return std::equal(id.begin(), id.end(), c.DeviceId().begin()); }

const TELV_FULL_CLIENT_DATA* FindConsoleRow(const std::vector<TELV_FULL_CLIENT_DATA>& clients, std::uint16_t port) {
    for (const auto& c : clients)
        if (c.Address() == TestConsole::LocalAddress() && c.Port() == port) return &c;
    return nullptr;
}

// --- The normal conversation ---

TEST(SimConversation, HandshakeListsAndStatisticsDecode) {
    SimHarness sim(QuietOptions(300, 20));
    TestConsole console(sim.Port());
    ASSERT_TRUE(console.Connected());

    console.Request(code::VersionRequest);
    const auto version = console.Next(2s);
    ASSERT_TRUE(version && version->Is(MessageKind::ServerVersion));
    EXPECT_TRUE(std::equal(kServerVersion, kServerVersion + 4, version->View().serverVersion));
    console.SetState(WaitingAck);
    const int clientVersion[4] = {1, 3, 8, 17};
    console.Send(EncodeClientVersion(clientVersion));
    const auto ack = console.Next(2s);
    ASSERT_TRUE(ack && ack->Is(MessageKind::ClientVersionAck));
    EXPECT_EQ(ack->bytes.size(), kAckLength);
    console.SetState(Running);

    console.Send(EncodeEventMode(true));
    const auto echo = console.Next(2s);
    ASSERT_TRUE(echo && echo->Is(MessageKind::EventMode));
    EXPECT_EQ(echo->View().eventMode, EventModeText::Enable);

    const auto list = FetchList(console, code::ChannelList);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->bytes.size(), 5 + 53 * 300u);
    const auto chanels = ChanelsOf(*list);
    const auto clientList = FetchList(console, code::ClientList);
    ASSERT_TRUE(clientList);
    const auto clients = ClientsOf(*clientList);
    ASSERT_EQ(clients.size(), 21u) << "20 simulated clients and this console";

    const auto* self = FindConsoleRow(clients, console.LocalPort());
    ASSERT_NE(self, nullptr);
    EXPECT_TRUE(std::equal(self->TypeCode().begin(), self->TypeCode().end(), "TELVCL"));
    EXPECT_EQ(self->Version(0), 1);
    EXPECT_EQ(self->Version(3), 17);
    EXPECT_EQ(self->State(), 2) << "event translation is on";
    EXPECT_GT(self->RxBytes(), 0u);
    EXPECT_GT(self->TxBytes(), 0u);

    // Links match in both tables.
    std::map<Handle, const TELV_FULL_CLIENT_DATA*> byHandle;
    for (const auto& c : clients) byHandle[c.ClientHandle()] = &c;
    int linked = 0;
    for (const auto& c : chanels) {
        if (c.LinkedClient() == 0) continue;
        ++linked;
        ASSERT_TRUE(byHandle.contains(c.LinkedClient()));
        EXPECT_EQ(byHandle[c.LinkedClient()]->LinkedChanel(), c.ChanelHandle());
    }
    EXPECT_GT(linked, 0);

    const auto stats = FetchList(console, code::ChannelStatistics);
    ASSERT_TRUE(stats);
    const auto chanelStats = StatisticsOf(*stats);
    ASSERT_EQ(chanelStats.size(), chanels.size());
    for (std::size_t i = 0; i < chanels.size(); ++i) EXPECT_EQ(chanelStats[i].OwnHandle(), chanels[i].ChanelHandle());
    const auto clientStats = FetchList(console, code::ClientStatistics);
    ASSERT_TRUE(clientStats);
    EXPECT_EQ(StatisticsOf(*clientStats).size(), clients.size());

    console.Send(EncodeEventMode(false));
    const auto off = console.NextOfKind(MessageKind::EventMode, 2s);
    ASSERT_TRUE(off);
    EXPECT_EQ(off->View().eventMode, EventModeText::Disable);
    const auto again = FetchList(console, code::ClientList);
    ASSERT_TRUE(again);
    const auto clientsAgain = ClientsOf(*again);
    ASSERT_NE(FindConsoleRow(clientsAgain, console.LocalPort()), nullptr);
    EXPECT_EQ(FindConsoleRow(clientsAgain, console.LocalPort())->State(), 0);

    EXPECT_TRUE(sim.Logged("channel list request: 300 records, 15905 bytes"));
    EXPECT_EQ(console.PassedOver(), 0u) << "no notices without a notice interval";
}

TEST(SimConversation, EveryConsoleIsAClientRowUntilItLeaves) {
    SimHarness sim(QuietOptions(10, 3));
    TestConsole a(sim.Port());
    ASSERT_TRUE(a.Start(false));
    std::uint16_t bPort = 0;
    {
        TestConsole b(sim.Port());
        ASSERT_TRUE(b.Start(true));
        bPort = b.LocalPort();
        const auto list = FetchList(a, code::ClientList);
        ASSERT_TRUE(list);
        const auto clients = ClientsOf(*list);
        EXPECT_EQ(clients.size(), 5u);
        EXPECT_NE(FindConsoleRow(clients, a.LocalPort()), nullptr);
        EXPECT_NE(FindConsoleRow(clients, bPort), nullptr);
    }
    // b is gone; the simulator notices its end of stream before a's next request is answered.
    for (int attempt = 0; attempt < 50; ++attempt) {
        const auto list = FetchList(a, code::ClientList);
        ASSERT_TRUE(list);
        if (!FindConsoleRow(ClientsOf(*list), bPort)) return;
        std::this_thread::sleep_for(10ms);
    }
    FAIL() << "the console that left is still listed";
}

// --- Fault modes ---

struct FaultCase {
    const char* name;
    std::function<void(SimOptions&)> configure;
    std::function<void(SimHarness&, TestConsole&)> check;
};

void CheckSplitOneByte(SimHarness&, TestConsole& console) {
    ASSERT_TRUE(console.Start(true));
    const auto list = FetchList(console, code::ChannelList);
    ASSERT_TRUE(list);
    EXPECT_EQ(ChanelsOf(*list).size(), 20u);
    ASSERT_TRUE(FetchList(console, code::ClientStatistics));
}

void CheckNoHello(SimHarness&, TestConsole& console) {
    console.Request(code::VersionRequest);
    EXPECT_TRUE(console.Silent(300ms));
    EXPECT_EQ(console.Buffered(), 0u);
}

void CheckNoAck(SimHarness&, TestConsole& console) {
    console.Request(code::VersionRequest);
    const auto version = console.Next(2s);
    ASSERT_TRUE(version && version->Is(MessageKind::ServerVersion));
    console.SetState(WaitingAck);
    const int v[4] = {1, 3, 8, 17};
    console.Send(EncodeClientVersion(v));
    EXPECT_TRUE(console.Silent(300ms));
}

void CheckSlow(SimHarness& sim, TestConsole& console) {
    console.Request(code::VersionRequest);
    EXPECT_TRUE(console.Silent(200ms)) << "the reply waits for its delay";
    sim.Advance(250ms);
    EXPECT_TRUE(console.Silent(100ms)) << "not before the whole delay";
    sim.Advance(300ms);
    const auto version = console.Next(2s);
    ASSERT_TRUE(version && version->Is(MessageKind::ServerVersion));
}

void CheckGarbage(SimHarness&, TestConsole& console) {
    console.DecodeFromExactCopies(true);
    console.Request(code::VersionRequest);
    const auto junk = console.Next(2s);
    ASSERT_TRUE(junk);
    EXPECT_EQ(junk->outcome, DecodeOutcome::Skip);
    EXPECT_EQ(junk->length, kServerVersionLength);
    const auto version = console.Next(2s);
    ASSERT_TRUE(version && version->Is(MessageKind::ServerVersion));
    console.SetState(WaitingAck);
    const int v[4] = {1, 3, 8, 17};
    console.Send(EncodeClientVersion(v));
    const auto junk2 = console.Next(2s);
    ASSERT_TRUE(junk2);
    EXPECT_EQ(junk2->outcome, DecodeOutcome::Skip);
    EXPECT_EQ(junk2->length, kAckLength);
    const auto ack = console.Next(2s);
    ASSERT_TRUE(ack && ack->Is(MessageKind::ClientVersionAck));
    console.SetState(Running);

    // Garbage follows some replies: the decoder drops it (and whatever came with it).
    int discards = 0, replies = 0;
    for (int i = 0; i < 40 && (discards < 2 || replies < 5); ++i) {
        console.Request(code::ChannelStatistics);
        while (const auto r = console.Next(150ms)) {
            ASSERT_NE(r->outcome, DecodeOutcome::Skip) << "no Skip outcome while running";
            if (r->outcome == DecodeOutcome::DiscardAll) ++discards;
            if (r->Is(MessageKind::ChannelStatistics)) ++replies;
        }
    }
    EXPECT_GE(discards, 2);
    EXPECT_GE(replies, 5);
}

void CheckOverLimit(SimHarness&, TestConsole& console) {
    ASSERT_TRUE(console.Handshake());
    console.Request(code::ChannelList);
    const auto r = console.Next(2s);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->outcome, DecodeOutcome::DiscardAll);
    EXPECT_EQ(r->length, kListHeaderLength) << "dropped at the header, before any record";
    ASSERT_TRUE(FetchList(console, code::ClientList)) << "the stream goes on";
}

void CheckCloseMidMessage(SimHarness&, TestConsole& console) {
    ASSERT_TRUE(console.Handshake());
    console.Request(code::ChannelList);
    EXPECT_FALSE(console.Next(3s)) << "no whole message";
    EXPECT_TRUE(console.PeerClosed());
    EXPECT_EQ(console.Buffered(), (5 + 53 * 20u) / 2);
    EXPECT_EQ(DecodeNext(Running, console.Buffer().Front(), console.Buffered()).outcome, DecodeOutcome::Incomplete);
}

void CheckOrphanStats(SimHarness&, TestConsole& console) {
    ASSERT_TRUE(console.Handshake());
    const auto list = FetchList(console, code::ChannelList);
    const auto clientList = FetchList(console, code::ClientList);
    ASSERT_TRUE(list && clientList);
    const auto chanelHandles = HandlesOf(ChanelsOf(*list));
    const auto clientHandles = HandlesOf(ClientsOf(*clientList));
    for (const auto& [request, known] :
         {std::pair{code::ChannelStatistics, chanelHandles}, std::pair{code::ClientStatistics, clientHandles}}) {
        const auto stats = FetchList(console, request);
        ASSERT_TRUE(stats);
        const auto records = StatisticsOf(*stats);
        const auto orphans = std::count_if(records.begin(), records.end(),
                                           [&](const auto& s) { return !known.contains(s.OwnHandle()); });
        EXPECT_GT(orphans, 0);
        EXPECT_EQ(records.size() - static_cast<std::size_t>(orphans), known.size());
    }
}

class SimFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(SimFaultTest, ConsoleDecoderCopes) {
    SimOptions options = QuietOptions(20, 5);
    GetParam().configure(options);
    SimHarness sim(options);
    TestConsole console(sim.Port());
    ASSERT_TRUE(console.Connected());
    GetParam().check(sim, console);
}

const FaultCase kFaults[] = {
    {"SplitOneByte", [](SimOptions& o) { o.splitBytes = 1; }, CheckSplitOneByte},
    {"NoHello", [](SimOptions& o) { o.noHello = true; }, CheckNoHello},
    {"NoAck", [](SimOptions& o) { o.noAck = true; }, CheckNoAck},
    {"Slow", [](SimOptions& o) { o.slowMs = 500; }, CheckSlow},
    {"Garbage", [](SimOptions& o) { o.garbage = true; }, CheckGarbage},
    {"OverLimit", [](SimOptions& o) { o.overLimit = true; }, CheckOverLimit},
    {"CloseMidMessage", [](SimOptions& o) { o.closeMidMessage = true; }, CheckCloseMidMessage},
    {"OrphanStats", [](SimOptions& o) { o.orphanStats = true; }, CheckOrphanStats},
};

INSTANTIATE_TEST_SUITE_P(Faults, SimFaultTest, ::testing::ValuesIn(kFaults),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(SimFaults, FloodOfWholeMessagesStillAnswersRequests) {
    SimOptions options = QuietOptions(30, 5);
    options.flood = true;
    SimHarness sim(options);
    TestConsole console(sim.Port());
    ASSERT_TRUE(console.Handshake());
    std::map<MessageKind, int> kinds;
    for (int i = 0; i < 2000; ++i) {
        const auto r = console.Next(2s);
        ASSERT_TRUE(r);
        ASSERT_EQ(r->outcome, DecodeOutcome::Message);
        ++kinds[r->kind];
    }
    for (auto kind : {MessageKind::ChannelNotice, MessageKind::TextMessage, MessageKind::ClientClosed, MessageKind::Empty})
        EXPECT_GT(kinds[kind], 100);
    console.Request(code::ChannelStatistics);
    ASSERT_TRUE(console.NextOfKind(MessageKind::ChannelStatistics, 5s));
}

TEST(SimFaults, HostileTextsReachTheWire) {
    SimOptions options = QuietOptions(400, 5);
    options.hostileTexts = true;
    options.noticeIntervalSeconds = 1;
    SimHarness sim(options);
    TestConsole console(sim.Port());
    ASSERT_TRUE(console.Start(true));
    const auto list = FetchList(console, code::ChannelList);
    ASSERT_TRUE(list);
    int unterminated = 0, control = 0, invalid = 0;
    for (const auto& c : ChanelsOf(*list)) {
        const auto id = c.DeviceId();
        const auto end = std::find(id.begin(), id.end(), 0);
        unterminated += end == id.end();
        control += std::any_of(id.begin(), end, [](std::uint8_t b) { return b < 0x20; });
        invalid += std::find(id.begin(), end, 0x98) != end;
    }
    EXPECT_GT(unterminated, 0);
    EXPECT_GT(control, 0);
    EXPECT_GT(invalid, 0);

    int hostileTexts = 0;
    for (int second = 0; second < 60 && hostileTexts < 2; ++second) {
        sim.Advance(1000ms);
        const auto text = console.NextOfKind(MessageKind::TextMessage, 2s);
        ASSERT_TRUE(text);
        const TextField t = text->View().text;
        hostileTexts += std::any_of(t.begin(), t.end(), [](std::uint8_t b) { return b < 0x20 || b == 0x98; }) || t.empty();
    }
    EXPECT_GE(hostileTexts, 2);
}

// --- Notices ---

TEST(SimNotices, OnlyConsolesWithEventsGetPeriodicNotices) {
    SimOptions options = QuietOptions(100, 10);
    options.noticeIntervalSeconds = 1;
    options.churnPerSecond = 2;
    SimHarness sim(options);
    TestConsole listening(sim.Port()), deaf(sim.Port());
    ASSERT_TRUE(listening.Start(true));
    ASSERT_TRUE(deaf.Start(false));
    sim.Advance(1000ms);

    std::map<MessageKind, int> heard;
    while (heard[MessageKind::TextMessage] == 0 || heard[MessageKind::ChannelNotice] < 2 ||
           heard[MessageKind::ClientClosed] == 0) {
        const auto r = listening.Next(2s);
        ASSERT_TRUE(r) << "the console with events enabled hears the notices";
        ASSERT_EQ(r->outcome, DecodeOutcome::Message);
        ++heard[r->kind];
        if (r->Is(MessageKind::TextMessage)) {
            const TextField t = r->View().text;
            EXPECT_TRUE(std::any_of(t.begin(), t.end(), [](std::uint8_t b) { return b >= 0xC0; })) << "Cyrillic in CP1251";
            EXPECT_EQ(std::find(t.begin(), t.end(), 0x98), t.end());
        }
        if (r->Is(MessageKind::ChannelNotice)) {
            EXPECT_EQ(r->View().mode, 1) << "a dropped device";
        }
    }
    while (const auto r = deaf.Next(300ms)) EXPECT_TRUE(r->Is(MessageKind::Empty)) << "only empty messages";
}

// --- Commands ---

class SimCommandTest : public ::testing::Test {
protected:
    SimCommandTest() : sim_(QuietOptions(40, 12)), console_(sim_.Port()) {}
    void SetUp() override {
        ASSERT_TRUE(console_.Start(true));
        sim_.Advance(5000ms);  // some time on line for everyone
    }
    std::vector<TELV_UDP_FULL_CHANEL_DATA> Chanels() {
        const auto list = FetchList(console_, code::ChannelList);
        EXPECT_TRUE(list);
        return list ? ChanelsOf(*list) : std::vector<TELV_UDP_FULL_CHANEL_DATA>{};
    }
    std::vector<TELV_FULL_CLIENT_DATA> Clients(TestConsole& console) {
        const auto list = FetchList(console, code::ClientList);
        EXPECT_TRUE(list);
        return list ? ClientsOf(*list) : std::vector<TELV_FULL_CLIENT_DATA>{};
    }
    void SendChannelCommand(std::uint8_t mode, const TELV_UDP_FULL_CHANEL_DATA& c) {
        console_.Send(EncodeChannelCommand(mode, c.DeviceId()));
    }
    std::optional<Received> Notice(Millis timeout = 2s) { return console_.Next(timeout); }

    SimHarness sim_;
    TestConsole console_;
};

TEST_F(SimCommandTest, ResetKeepsTheChannelWithRestartedCounters) {
    const auto before = Chanels();
    ASSERT_FALSE(before.empty());
    const auto& target = before[3];
    ASSERT_GT(target.SecondsOnLine(), 0u);
    SendChannelCommand(0, target);
    const auto notice = Notice();
    ASSERT_TRUE(notice && notice->Is(MessageKind::ChannelNotice));
    EXPECT_EQ(notice->View().mode, 0);
    EXPECT_TRUE(SameId(target, notice->View().deviceId));
    const auto after = Chanels();
    ASSERT_EQ(after.size(), before.size());
    const auto it = std::find_if(after.begin(), after.end(), [&](const auto& c) { return c.ChanelHandle() == target.ChanelHandle(); });
    ASSERT_NE(it, after.end());
    EXPECT_TRUE(SameId(*it, target.DeviceId()));
    EXPECT_EQ(it->SecondsOnLine(), 0u);
    EXPECT_EQ(it->RxBytes(), 0u);
    EXPECT_EQ(it->TxBytes(), 0u);
    sim_.Advance(2000ms);
    const auto later = Chanels();
    const auto again = std::find_if(later.begin(), later.end(), [&](const auto& c) { return c.ChanelHandle() == target.ChanelHandle(); });
    ASSERT_NE(again, later.end());
    EXPECT_EQ(again->SecondsOnLine(), 2u) << "the time on line runs again";
}

TEST_F(SimCommandTest, CloseRemovesTheChannelFromListsAndStatistics) {
    const auto before = Chanels();
    const auto linked = std::find_if(before.begin(), before.end(), [](const auto& c) { return c.LinkedClient() != 0; });
    ASSERT_NE(linked, before.end());
    const auto target = *linked;
    SendChannelCommand(1, target);
    const auto notice = Notice();
    ASSERT_TRUE(notice && notice->Is(MessageKind::ChannelNotice));
    EXPECT_EQ(notice->View().mode, 1);
    EXPECT_TRUE(SameId(target, notice->View().deviceId));
    const auto after = Chanels();
    EXPECT_EQ(after.size(), before.size() - 1);
    EXPECT_FALSE(HandlesOf(after).contains(target.ChanelHandle()));
    const auto stats = FetchList(console_, code::ChannelStatistics);
    ASSERT_TRUE(stats);
    for (const auto& s : StatisticsOf(*stats)) EXPECT_NE(s.OwnHandle(), target.ChanelHandle());
    const auto clients = Clients(console_);
    const auto client = std::find_if(clients.begin(), clients.end(), [&](const auto& c) { return c.ClientHandle() == target.LinkedClient(); });
    ASSERT_NE(client, clients.end());
    EXPECT_EQ(client->State(), 0) << "its client is free now";
    EXPECT_EQ(client->LinkedChanel(), 0u);
}

TEST_F(SimCommandTest, CloseAfterIntervalWaitsThenCloses) {
    const auto before = Chanels();
    const auto target = before[7];
    SendChannelCommand(2, target);
    EXPECT_FALSE(Notice(200ms)) << "not closed at once";
    EXPECT_TRUE(HandlesOf(Chanels()).contains(target.ChanelHandle()));
    sim_.Advance(kPollingInterval);
    const auto notice = Notice();
    ASSERT_TRUE(notice && notice->Is(MessageKind::ChannelNotice));
    EXPECT_EQ(notice->View().mode, 2);
    EXPECT_TRUE(SameId(target, notice->View().deviceId));
    EXPECT_FALSE(HandlesOf(Chanels()).contains(target.ChanelHandle()));
}

TEST_F(SimCommandTest, UnknownDeviceChangesNothing) {
    const auto before = Chanels();
    TELV_UDP_FULL_CHANEL_DATA ghost = before[0];
    ghost.SetDeviceId("000000000000000", 15);
    SendChannelCommand(1, ghost);
    EXPECT_FALSE(Notice(200ms));
    EXPECT_EQ(Chanels().size(), before.size());
}

TEST_F(SimCommandTest, ClientCloseRemovesASimulatedClient) {
    const auto before = Clients(console_);
    const auto target = std::find_if(before.begin(), before.end(), [](const auto& c) { return c.Address()[0] == 10; });
    ASSERT_NE(target, before.end());
    console_.Send(EncodeClientClose(target->Address(), target->Port()));
    const auto notice = Notice();
    ASSERT_TRUE(notice && notice->Is(MessageKind::ClientClosed));
    EXPECT_EQ(notice->View().address, target->Address());
    EXPECT_EQ(notice->View().port, target->Port());
    const auto after = Clients(console_);
    EXPECT_EQ(after.size(), before.size() - 1);
    EXPECT_FALSE(HandlesOf(after).contains(target->ClientHandle()));
    if (target->LinkedChanel() != 0) {
        for (const auto& c : Chanels())
            if (c.ChanelHandle() == target->LinkedChanel()) {
                EXPECT_EQ(c.LinkedClient(), 0u);
            }
    }
}

TEST_F(SimCommandTest, ClientCloseOfItsOwnEntryEndsTheConnection) {
    console_.Send(EncodeClientClose(TestConsole::LocalAddress(), console_.LocalPort()));
    const auto notice = Notice();
    ASSERT_TRUE(notice && notice->Is(MessageKind::ClientClosed));
    EXPECT_EQ(notice->View().port, console_.LocalPort());
    EXPECT_TRUE(console_.WaitForClose(2s));
}

TEST_F(SimCommandTest, ClientCloseOfAnotherConsoleEndsThatConnection) {
    TestConsole other(sim_.Port());
    ASSERT_TRUE(other.Start(false));
    ASSERT_NE(FindConsoleRow(Clients(console_), other.LocalPort()), nullptr);
    console_.Send(EncodeClientClose(TestConsole::LocalAddress(), other.LocalPort()));
    const auto notice = Notice();
    ASSERT_TRUE(notice && notice->Is(MessageKind::ClientClosed));
    EXPECT_EQ(notice->View().port, other.LocalPort());
    EXPECT_TRUE(other.WaitForClose(2s));
    EXPECT_EQ(FindConsoleRow(Clients(console_), other.LocalPort()), nullptr);
    ASSERT_NE(FindConsoleRow(Clients(console_), console_.LocalPort()), nullptr) << "the issuer stays";
}

// --- Population over time ---

TEST(SimPopulation, ChurnReplacesDevicesWithNotices) {
    SimOptions options = QuietOptions(100, 10);
    options.churnPerSecond = 3;
    SimHarness sim(options);
    TestConsole console(sim.Port());
    ASSERT_TRUE(console.Start(true));
    const auto first = FetchList(console, code::ChannelList);
    ASSERT_TRUE(first);
    const auto before = ChanelsOf(*first);
    sim.Advance(4000ms);
    std::vector<DeviceIdField> droppedIds;
    while (droppedIds.size() < 12) {
        const auto notice = console.Next(2s);
        ASSERT_TRUE(notice && notice->Is(MessageKind::ChannelNotice));
        DeviceIdField id{};
        std::copy_n(notice->View().deviceId.begin(), id.size(), id.begin());
        droppedIds.push_back(id);
    }
    const auto second = FetchList(console, code::ChannelList);
    ASSERT_TRUE(second);
    const auto after = ChanelsOf(*second);
    EXPECT_EQ(after.size(), 100u);
    std::set<DeviceIdField> nowListed;
    for (const auto& c : after) nowListed.insert(IdOf(c));
    std::set<DeviceIdField> previouslyListed;
    for (const auto& c : before) previouslyListed.insert(IdOf(c));
    for (const auto& id : droppedIds) EXPECT_FALSE(nowListed.contains(id)) << "a dropped device is still listed";
    const auto newcomers = std::count_if(after.begin(), after.end(), [&](const auto& c) { return !previouslyListed.contains(IdOf(c)); });
    EXPECT_EQ(newcomers, 12);
}

TEST(SimPopulation, SameSeedGivesIdenticalLists) {
    SimOptions options = QuietOptions(500, 30);
    options.churnPerSecond = 4;
    options.seed = 42;
    auto fetch = [](SimOptions o, std::vector<std::uint8_t>& chanelList, std::vector<TELV_FULL_CLIENT_DATA>& clients) {
        SimHarness sim(o);
        TestConsole console(sim.Port());
        ASSERT_TRUE(console.Start(false));
        sim.Advance(10'000ms);
        const auto list = FetchList(console, code::ChannelList);
        const auto clientList = FetchList(console, code::ClientList);
        ASSERT_TRUE(list && clientList);
        chanelList = list->bytes;
        for (const auto& c : ClientsOf(*clientList))
            if (c.Address() != TestConsole::LocalAddress()) clients.push_back(c);  // the console's own port differs
    };
    std::vector<std::uint8_t> listA, listB, listC;
    std::vector<TELV_FULL_CLIENT_DATA> clientsA, clientsB, clientsC;
    fetch(options, listA, clientsA);
    fetch(options, listB, clientsB);
    options.seed = 43;
    fetch(options, listC, clientsC);
    ASSERT_EQ(listA.size(), 5 + 53 * 500u);
    EXPECT_EQ(listA, listB);
    ASSERT_EQ(clientsA.size(), clientsB.size());
    for (std::size_t i = 0; i < clientsA.size(); ++i) EXPECT_EQ(clientsA[i].Bytes, clientsB[i].Bytes) << i;
    EXPECT_NE(listA, listC);
}

// --- Several consoles, slow and vanishing ones ---

TEST(SimConnections, AConsoleThatDoesNotReadBlocksNoOne) {
    SimHarness sim(QuietOptions(200'000, 10));
    {
        TestConsole stuck(sim.Port());
        ASSERT_TRUE(stuck.Handshake());
        for (int i = 0; i < 5; ++i) stuck.Request(code::ChannelList);  // 53 MB it never reads

        TestConsole quick(sim.Port());
        const auto started = std::chrono::steady_clock::now();
        ASSERT_TRUE(quick.Start(true));
        ASSERT_TRUE(FetchList(quick, code::ClientList));
        ASSERT_TRUE(FetchList(quick, code::ClientStatistics));
        EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    }  // the stuck console goes away with data queued for it
    TestConsole after(sim.Port());
    ASSERT_TRUE(after.Start(false)) << "the simulator survived the vanished console";
}

TEST(SimConnections, TooManyConsolesAreRefused) {
    SimHarness sim(QuietOptions(5, 1));
    std::vector<std::unique_ptr<TestConsole>> consoles;
    for (std::uint32_t i = 0; i < kMaxConsoles; ++i) {
        consoles.push_back(std::make_unique<TestConsole>(sim.Port()));
        ASSERT_TRUE(consoles.back()->Connected());
    }
    ASSERT_TRUE(consoles.back()->Handshake());  // all accepted by now
    TestConsole extra(sim.Port());
    EXPECT_TRUE(extra.WaitForClose(2s));
    ASSERT_TRUE(consoles.front()->Handshake());
}

TEST(SimLifetime, RunTimeEndsTheLoop) {
    SimOptions options = QuietOptions(5, 1);
    options.runSeconds = 3;
    SimHarness sim(options);
    TestConsole console(sim.Port());
    ASSERT_TRUE(console.Handshake());
    sim.Advance(3000ms);
    EXPECT_TRUE(sim.WaitForExit(2s));
    EXPECT_TRUE(console.WaitForClose(2s));
}

}  // namespace
}  // namespace telv::sim::test
