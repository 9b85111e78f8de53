// A population at the protocol's count limit is served whole and decodes.
#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace telv::sim::test {
namespace {

TEST(SimLimit, FullChannelListAtTheCountLimit) {
    SimHarness sim(QuietOptions(kMaxRecordCount, 10));
    TestConsole console(sim.Port());
    ASSERT_TRUE(console.Start(true, 30s));

    const auto list = FetchList(console, code::ChannelList, 60s);
    ASSERT_TRUE(list);
    ASSERT_EQ(list->bytes.size(), 55'573'685u);
    const DecodedMessage m = list->View();
    ASSERT_EQ(m.chanels.size(), kMaxRecordCount);
    std::unordered_set<Handle> handles;
    handles.reserve(kMaxRecordCount);
    for (std::uint32_t i = 0; i < m.chanels.size(); ++i) handles.insert(m.chanels[i].ChanelHandle());
    EXPECT_EQ(handles.size(), kMaxRecordCount) << "handles are unique";

    const auto stats = FetchList(console, code::ChannelStatistics, 60s);
    ASSERT_TRUE(stats);
    EXPECT_EQ(stats->View().statistics.size(), kMaxRecordCount);
    EXPECT_EQ(stats->bytes.size(), 5 + 21 * std::size_t{kMaxRecordCount});

    const auto clients = FetchList(console, code::ClientList, 10s);
    ASSERT_TRUE(clients);
    EXPECT_EQ(clients->View().clients.size(), 11u);
}

}  // namespace
}  // namespace telv::sim::test
