#include "Population.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

namespace telv::sim {
namespace {

Population Make(std::uint32_t devices, std::uint32_t clients, std::uint64_t seed = 3, bool hostile = false) {
    return Population(PopulationConfig{devices, clients, seed, hostile});
}

std::string TypeCodeText(const TELV_FULL_CLIENT_DATA& c) {
    const auto code = c.TypeCode();
    return std::string(code.begin(), std::find(code.begin(), code.end(), 0));
}

std::set<Handle> ChanelHandles(const Population& p) {
    std::set<Handle> out;
    for (const auto& c : p.Chanels()) out.insert(c.ChanelHandle());
    return out;
}

// Every link is mirrored by the other table; handles are unique, non-zero and allocatable.
void ExpectConsistent(const Population& p) {
    std::set<Handle> all;
    for (const auto& c : p.Chanels()) {
        ASSERT_TRUE(all.insert(c.ChanelHandle()).second) << "duplicate handle";
        EXPECT_NE(c.ChanelHandle(), 0u);
        EXPECT_LT(c.ChanelHandle(), kFirstConsoleHandle);
        if (c.LinkedClient() == 0) {
            EXPECT_EQ(c.State(), state::Free);
            continue;
        }
        EXPECT_EQ(c.State(), state::Linked);
        const auto* client = p.ClientByHandle(c.LinkedClient());
        ASSERT_NE(client, nullptr) << "link to a client that is not there";
        EXPECT_EQ(client->LinkedChanel(), c.ChanelHandle());
        EXPECT_EQ(client->State(), state::Linked);
    }
    for (const auto& c : p.Consoles()) {
        ASSERT_TRUE(all.insert(c.ClientHandle()).second) << "duplicate handle";
        EXPECT_GE(c.ClientHandle(), kFirstConsoleHandle);
        EXPECT_EQ(c.LinkedChanel(), 0u);
    }
    for (const auto& c : p.SimulatedClients()) {
        ASSERT_TRUE(all.insert(c.ClientHandle()).second) << "duplicate handle";
        EXPECT_LT(c.ClientHandle(), kFirstConsoleHandle);
        if (c.State() == state::Linked) {
            const auto* chanel = p.ChanelByHandle(c.LinkedChanel());
            ASSERT_NE(chanel, nullptr);
            EXPECT_EQ(chanel->LinkedClient(), c.ClientHandle());
        } else {
            EXPECT_EQ(c.LinkedChanel(), 0u);
        }
    }
}

TEST(Population, FieldsAreRealistic) {
    const Population p = Make(3000, 2000);
    ASSERT_EQ(p.Chanels().size(), 3000u);
    ASSERT_EQ(p.SimulatedClients().size(), 2000u);
    std::set<int> typeCodes;
    int imeis = 0, fullWidthIds = 0, linked = 0;
    for (const auto& c : p.Chanels()) {
        typeCodes.insert(c.TypeCode());
        EXPECT_EQ(c.Address()[0], 10);
        EXPECT_GE(c.Port(), 1024);
        const auto id = c.DeviceId();
        const auto length = static_cast<std::size_t>(std::find(id.begin(), id.end(), 0) - id.begin());
        if (length == 16) ++fullWidthIds;
        if (length == 15) {
            ++imeis;
            int sum = 0;  // Luhn over all 15 digits
            for (std::size_t i = 0; i < 15; ++i) {
                int d = id[14 - i] - '0';
                if (i % 2 == 1) d = d * 2 > 9 ? d * 2 - 9 : d * 2;
                sum += d;
            }
            EXPECT_EQ(sum % 10, 0);
        }
        if (c.State() == state::Linked) ++linked;
    }
    for (int code = 0; code <= 11; ++code) EXPECT_TRUE(typeCodes.contains(code)) << code;
    EXPECT_TRUE(std::any_of(typeCodes.begin(), typeCodes.end(), [](int code) { return code > 11; }));
    EXPECT_GT(imeis, 2500);
    EXPECT_GT(fullWidthIds, 30);
    EXPECT_GT(linked, 100);

    std::map<std::string, int> kinds;
    std::set<int> clientStates;
    for (const auto& c : p.SimulatedClients()) {
        ++kinds[TypeCodeText(c)];
        clientStates.insert(c.State());
        EXPECT_EQ(c.Address()[0], 10);
    }
    for (const char* code : {"TELVCL", "MERKAL", "BASTOR", "LUNDIS", "KONFIG", ""}) EXPECT_GT(kinds[code], 0) << code;
    EXPECT_EQ(clientStates, (std::set<int>{0, 1, 2}));
    ExpectConsistent(p);
}

TEST(Population, SameSeedSameLists) {
    Population a = Make(500, 30, 11), b = Make(500, 30, 11), other = Make(500, 30, 12);
    for (int i = 0; i < 5; ++i) {
        for (Population* p : {&a, &b}) {
            p->Tick();
            p->Churn(7);
            p->Relink(3);
        }
    }
    EXPECT_EQ(a.EncodeChanelList(), b.EncodeChanelList());
    EXPECT_EQ(a.EncodeClientList(), b.EncodeClientList());
    EXPECT_EQ(a.EncodeChanelStatistics(), b.EncodeChanelStatistics());
    EXPECT_NE(a.EncodeChanelList(), other.EncodeChanelList());
}

TEST(Population, ConsolesComingAndGoingChangeNothingElse) {
    Population quiet = Make(300, 40, 21), busy = Make(300, 40, 21);
    const std::uint8_t version[4] = {1, 3, 8, 17};
    std::vector<Handle> consoles;
    for (int tick = 0; tick < 30; ++tick) {
        if (tick % 3 == 0) consoles.push_back(busy.AddConsole({127, 0, 0, 1}, static_cast<std::uint16_t>(40000 + tick), version));
        if (tick % 5 == 4) {
            busy.CloseClient(consoles.front());
            consoles.erase(consoles.begin());
        }
        for (Population* p : {&quiet, &busy}) {
            p->Tick();
            p->Churn(6);
            p->Relink(2);
            if (tick % 4 == 0) p->ReplaceRandomClient();
        }
    }
    EXPECT_EQ(busy.Consoles().size(), consoles.size());
    EXPECT_EQ(quiet.EncodeChanelList(), busy.EncodeChanelList());
    ASSERT_EQ(quiet.SimulatedClients().size(), busy.SimulatedClients().size());
    for (std::size_t i = 0; i < quiet.SimulatedClients().size(); ++i)
        EXPECT_EQ(quiet.SimulatedClients()[i].Bytes, busy.SimulatedClients()[i].Bytes);
    ExpectConsistent(busy);
}

TEST(Population, ChurnKeepsCountAndLinksAndReusesSomeHandles) {
    Population p = Make(200, 60);
    std::set<Handle> everSeen;
    for (const auto& c : p.Chanels()) everSeen.insert(c.ChanelHandle());
    std::uint32_t reused = 0, fresh = 0;
    for (int tick = 0; tick < 200; ++tick) {
        const auto before = ChanelHandles(p);
        const ChurnReport report = p.Churn(5);
        p.Relink(4);
        EXPECT_EQ(report.dropped.size(), 5u);
        EXPECT_EQ(report.connected, 5u);
        EXPECT_EQ(p.Chanels().size(), 200u);
        for (const auto& d : report.dropped) EXPECT_FALSE(p.FindChanel(d.deviceId)) << "dropped device still found";
        for (const auto& c : p.Chanels()) {
            if (before.contains(c.ChanelHandle())) continue;
            if (everSeen.contains(c.ChanelHandle()))
                ++reused;
            else
                ++fresh;
            everSeen.insert(c.ChanelHandle());
        }
        ExpectConsistent(p);
        if (HasFailure()) return;
    }
    EXPECT_GT(reused, 0u);
    EXPECT_GT(fresh, reused);
}

TEST(Population, TickGrowsTimeAndTraffic) {
    Population p = Make(100, 20);
    const auto before = std::vector<TELV_UDP_FULL_CHANEL_DATA>(p.Chanels().begin(), p.Chanels().end());
    for (int i = 0; i < 10; ++i) p.Tick();
    for (std::size_t i = 0; i < before.size(); ++i) {
        const auto& now = p.Chanels()[i];
        EXPECT_EQ(now.SecondsOnLine(), before[i].SecondsOnLine() + 10);
        if (now.State() == state::Linked) {
            EXPECT_NE(now.RxBytes(), before[i].RxBytes());
        }
    }
}

TEST(Population, ResetRestartsCountersAndKeepsEverythingElse) {
    Population p = Make(20, 10);
    p.Tick();
    const TELV_UDP_FULL_CHANEL_DATA before = p.Chanels()[5];
    ASSERT_TRUE(p.ResetChanel(before.ChanelHandle()));
    const auto* after = p.ChanelByHandle(before.ChanelHandle());
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->SecondsOnLine(), 0u);
    EXPECT_EQ(after->RxBytes(), 0u);
    EXPECT_EQ(after->TxBytes(), 0u);
    EXPECT_TRUE(std::equal(after->Bytes.begin(), after->Bytes.begin() + 33, before.Bytes.begin()));
    EXPECT_FALSE(p.ResetChanel(0xDEAD0000u));
}

TEST(Population, ClosingALinkedChanelFreesItsClient) {
    Population p = Make(50, 40);
    const auto linked = std::find_if(p.Chanels().begin(), p.Chanels().end(),
                                     [](const auto& c) { return c.State() == state::Linked; });
    ASSERT_NE(linked, p.Chanels().end());
    const Handle chanel = linked->ChanelHandle(), client = linked->LinkedClient();
    const auto removed = p.CloseChanel(chanel);
    ASSERT_TRUE(removed);
    EXPECT_EQ(p.ChanelByHandle(chanel), nullptr);
    EXPECT_FALSE(p.FindChanel(removed->deviceId));
    ASSERT_NE(p.ClientByHandle(client), nullptr);
    EXPECT_EQ(p.ClientByHandle(client)->State(), state::Free);
    EXPECT_EQ(p.ClientByHandle(client)->LinkedChanel(), 0u);
    EXPECT_FALSE(p.CloseChanel(chanel));
    ExpectConsistent(p);
}

TEST(Population, ConsolesAreTelvclRowsFoundByEndpoint) {
    Population p = Make(10, 5);
    const std::uint8_t version[4] = {1, 3, 8, 17};
    const Handle h = p.AddConsole({127, 0, 0, 1}, 40312, version);
    const auto* row = p.ClientByHandle(h);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(TypeCodeText(*row), "TELVCL");
    EXPECT_EQ(row->Version(3), 17);
    EXPECT_EQ(p.FindClient({127, 0, 0, 1}, 40312), h);
    p.SetConsole(h, state::EventTranslation, 31, 1000);
    EXPECT_EQ(p.ClientByHandle(h)->State(), state::EventTranslation);
    EXPECT_EQ(p.ClientByHandle(h)->TxBytes(), 1000u);
    p.Tick();  // the console's traffic is not invented
    EXPECT_EQ(p.ClientByHandle(h)->TxBytes(), 1000u);
    EXPECT_EQ(p.ClientByHandle(h)->SecondsOnLine(), 1u);
    const auto removed = p.CloseClient(h);
    ASSERT_TRUE(removed);
    EXPECT_TRUE(removed->console);
    EXPECT_FALSE(p.FindClient({127, 0, 0, 1}, 40312));
}

TEST(Population, StatisticsCarryTheChangingPartOfEachRecord) {
    Population p = Make(30, 12);
    p.Tick();
    const Bytes stats = p.EncodeChanelStatistics(2);
    ASSERT_EQ(wire::ReadU32(&stats[1]), 32u);
    ASSERT_EQ(stats.size(), 5 + 21 * 32u);
    for (std::uint32_t i = 0; i < 30; ++i) {
        const auto s = TELV_STATISTICS_DATA::FromBytes(&stats[5 + 21 * i]);
        const auto& c = p.Chanels()[i];
        EXPECT_EQ(s.State(), c.State());
        EXPECT_EQ(s.SecondsOnLine(), c.SecondsOnLine());
        EXPECT_EQ(s.RxBytes(), c.RxBytes());
        EXPECT_EQ(s.TxBytes(), c.TxBytes());
        EXPECT_EQ(s.OwnHandle(), c.ChanelHandle());
        EXPECT_EQ(s.LinkedHandle(), c.LinkedClient());
    }
    for (std::uint32_t i = 30; i < 32; ++i) {
        const auto s = TELV_STATISTICS_DATA::FromBytes(&stats[5 + 21 * i]);
        EXPECT_EQ(p.ChanelByHandle(s.OwnHandle()), nullptr);
        EXPECT_EQ(p.ClientByHandle(s.LinkedHandle()), nullptr);
    }
    const Bytes clientStats = p.EncodeClientStatistics();
    ASSERT_EQ(wire::ReadU32(&clientStats[1]), 12u);
    for (std::uint32_t i = 0; i < 12; ++i) {
        const auto s = TELV_STATISTICS_DATA::FromBytes(&clientStats[5 + 21 * i]);
        const auto& c = p.SimulatedClients()[i];
        EXPECT_EQ(s.State(), c.State());
        EXPECT_EQ(s.SecondsOnLine(), c.SecondsOnLine());
        EXPECT_EQ(s.TxBytes(), c.TxBytes());
        EXPECT_EQ(s.LinkedHandle(), c.LinkedChanel());
    }
}

TEST(Population, HostileTextsGiveUnterminatedControlAndInvalidBytes) {
    const Population p = Make(2000, 0, 5, true);
    int noZero = 0, control = 0, invalid = 0, afterTerminator = 0;
    for (const auto& c : p.Chanels()) {
        const auto id = c.DeviceId();
        const auto zero = std::find(id.begin(), id.end(), 0);
        if (zero == id.end()) ++noZero;
        if (std::any_of(id.begin(), zero, [](std::uint8_t b) { return b < 0x20 || b == 0x7F; })) ++control;
        if (std::find(id.begin(), zero, 0x98) != zero) ++invalid;
        if (zero != id.end() && std::any_of(zero, id.end(), [](std::uint8_t b) { return b != 0; })) ++afterTerminator;
    }
    EXPECT_GT(noZero, 100);
    EXPECT_GT(control, 20);
    EXPECT_GT(invalid, 20);
    EXPECT_GT(afterTerminator, 10);
}

}  // namespace
}  // namespace telv::sim
