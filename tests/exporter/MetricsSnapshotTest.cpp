// The metrics of a fixture of records: counts by state and kind, sums over the current rows,
// per-channel series up to the limit, and the text a scrape receives.
#include "MetricsCollector.h"
#include "RecordMessage.h"
#include "ServerSnapshot.h"

#include <prometheus/text_serializer.h>

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

namespace telv::exporter {
namespace {

template <class Record>
using Message = test::RecordMessage<Record>;

TELV_UDP_FULL_CHANEL_DATA Chanel(Handle h, const char* id, std::uint8_t state, std::uint32_t rx, std::uint32_t tx) {
    return test::ChanelRecord({.handle = h, .text = id, .state = state, .rx = rx, .tx = tx});
}

TELV_FULL_CLIENT_DATA Client(Handle h, const char* kind, std::uint32_t rx, std::uint32_t tx) {
    return test::ClientRecord({.handle = h, .text = kind, .rx = rx, .tx = tx});
}

TELV_STATISTICS_DATA Stat(Handle h, std::uint8_t state, std::uint32_t rx, std::uint32_t tx) {
    return test::StatisticsRecord({.handle = h, .state = state, .rx = rx, .tx = tx});
}

// Three channels (free, linked, state 7), four clients of two kinds and one without a type code;
// traffic near 2^32 so that the sums need 64 bits.
RecordTables Fixture() {
    RecordTables t;
    t.SessionStarted();
    t.ChannelListReceived(Message<TELV_UDP_FULL_CHANEL_DATA>({Chanel(30, "dev-30", 0, 4000000000u, 1),
                                                              Chanel(10, "dev-10", 1, 4000000000u, 2),
                                                              Chanel(20, "dev-\"20\"", 7, 5, 3)}));
    t.ClientListReceived(Message<TELV_FULL_CLIENT_DATA>({Client(1, "TELVCL", 1, 10), Client(2, "MERKAL", 2, 20),
                                                         Client(3, "TELVCL", 3, 30), Client(4, "", 4, 40)}));
    return t;
}

TEST(MetricsSnapshot, CountsAndSumsOfTheRows) {
    const RecordTables t = Fixture();
    const TableSnapshot s = SnapshotTables(t, false, 10);
    EXPECT_EQ(s.channelsFree, 1u);
    EXPECT_EQ(s.channelsLinked, 1u);
    EXPECT_EQ(s.channelsOther, 1u);
    EXPECT_EQ(s.channelRxBytes, 8000000005u);
    EXPECT_EQ(s.channelTxBytes, 6u);
    EXPECT_EQ(s.clientsByKind, (std::map<std::string, std::uint64_t>{{"MERKAL", 1}, {"TELVCL", 2}, {"unknown", 1}}));
    EXPECT_EQ(s.clientRxBytes, 10u);
    EXPECT_EQ(s.clientTxBytes, 100u);
    EXPECT_TRUE(s.channels.empty());
    EXPECT_EQ(s.channelsLeftOut, 0u);
}

TEST(MetricsSnapshot, StatisticsMoveRowsBetweenStatesAndDropTheUnnamed) {
    RecordTables t = Fixture();
    t.ChannelStatisticsReceived(Message<TELV_STATISTICS_DATA>({Stat(30, 1, 7, 8), Stat(10, 0, 1, 1)}));
    t.ClientStatisticsReceived(Message<TELV_STATISTICS_DATA>({Stat(2, 0, 5, 5)}));
    const TableSnapshot s = SnapshotTables(t, false, 10);
    EXPECT_EQ(s.channelsFree, 1u);
    EXPECT_EQ(s.channelsLinked, 1u);
    EXPECT_EQ(s.channelsOther, 0u);
    EXPECT_EQ(s.channelRxBytes, 8u);
    EXPECT_EQ(s.clientsByKind, (std::map<std::string, std::uint64_t>{{"MERKAL", 1}}));
    EXPECT_EQ(s.clientRxBytes, 5u);
}

TEST(MetricsSnapshot, PerChannelSeriesUpToTheLimitInListOrder) {
    const RecordTables t = Fixture();
    const TableSnapshot s = SnapshotTables(t, true, 2);
    ASSERT_EQ(s.channels.size(), 2u);
    EXPECT_EQ(s.channels[0].device, "dev-30");
    EXPECT_EQ(s.channels[0].handle, 30u);
    EXPECT_EQ(s.channels[1].device, "dev-10");
    EXPECT_EQ(s.channelsLeftOut, 1u);
    EXPECT_EQ(SnapshotTables(t, true, 0).channelsLeftOut, 3u);
}

TEST(MetricsSnapshot, ManyClientKindsAreCapped) {
    RecordTables t;
    std::vector<TELV_FULL_CLIENT_DATA> clients;
    for (Handle h = 1; h <= 500; ++h) clients.push_back(Client(h, std::to_string(100000 + h).c_str(), 0, 0));
    t.ClientListReceived(Message<TELV_FULL_CLIENT_DATA>(clients));
    const TableSnapshot s = SnapshotTables(t, false, 0);
    EXPECT_LE(s.clientsByKind.size(), kMaxClientKinds + 1);
    std::uint64_t total = 0;
    for (const auto& [kind, count] : s.clientsByKind) total += count;
    EXPECT_EQ(total, 500u);
}

std::string Scrape(const std::vector<std::shared_ptr<const ServerSnapshot>>& servers, bool perChannel) {
    return prometheus::TextSerializer().Serialize(BuildFamilies(servers, perChannel));
}

std::vector<std::shared_ptr<const ServerSnapshot>> Servers(bool perChannel) {
    const RecordTables t = Fixture();
    auto up = std::make_shared<ServerSnapshot>();
    up->name = "gw1";
    up->up = true;
    up->version = "2.4.0.31";
    up->connects = 2;
    up->failures["refused"] = 3;
    up->lastRefreshSeconds = 1700000000.5;
    up->refreshDurationSeconds = 0.25;
    up->channelSeriesDropped = 1;
    up->tables = std::make_shared<TableSnapshot>(SnapshotTables(t, perChannel, 2));
    auto down = std::make_shared<ServerSnapshot>(*up);
    down->name = "gw2";
    down->up = false;  // its old tables are not served
    return {up, down};
}

TEST(MetricsText, WhatAScrapeReceives) {
    const std::string text = Scrape(Servers(false), false);
    for (const char* line : {
             "# TYPE telv_up gauge\n",
             "telv_up{server=\"gw1\"} 1\n",
             "telv_up{server=\"gw2\"} 0\n",
             "telv_server_info{server=\"gw1\",version=\"2.4.0.31\"} 1\n",
             "telv_channels{server=\"gw1\",state=\"free\"} 1\n",
             "telv_channels{server=\"gw1\",state=\"linked\"} 1\n",
             "telv_channels{server=\"gw1\",state=\"other\"} 1\n",
             "telv_clients{server=\"gw1\",kind=\"TELVCL\"} 2\n",
             "telv_channels_receive_bytes{server=\"gw1\"} 8000000005\n",
             "telv_channels_transmit_bytes{server=\"gw1\"} 6\n",
             "telv_clients_receive_bytes{server=\"gw1\"} 10\n",
             "telv_clients_transmit_bytes{server=\"gw1\"} 100\n",
             "# TYPE telv_connects_total counter\n",
             "telv_connects_total{server=\"gw1\"} 2\n",
             "telv_connection_failures_total{server=\"gw1\",reason=\"refused\"} 3\n",
             "telv_connection_failures_total{server=\"gw1\",reason=\"handshake\"} 0\n",
             "telv_last_refresh_timestamp_seconds{server=\"gw1\"} 1700000000.5\n",
             "telv_refresh_duration_seconds{server=\"gw1\"} 0.25\n",
         })
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;
    EXPECT_EQ(text.find("telv_channels{server=\"gw2\""), std::string::npos);
    EXPECT_EQ(text.find("telv_channel_receive_bytes"), std::string::npos);
    EXPECT_EQ(text.find("telv_channel_series_dropped_total"), std::string::npos);
}

TEST(MetricsText, PerChannelSeriesWhenAsked) {
    const std::string text = Scrape(Servers(true), true);
    for (const char* line : {
             "telv_channel_receive_bytes{server=\"gw1\",device=\"dev-30\",handle=\"30\"} 4000000000\n",
             "telv_channel_transmit_bytes{server=\"gw1\",device=\"dev-10\",handle=\"10\"} 2\n",
             "# TYPE telv_channel_series_dropped_total counter\n",
             "telv_channel_series_dropped_total{server=\"gw1\"} 1\n",
         })
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;
    EXPECT_EQ(text.find("handle=\"20\""), std::string::npos);  // beyond the limit of 2
}

TEST(MetricsCollector, AScrapeSeesWholeSnapshots) {
    // A writer publishes snapshots whose every count equals one number; concurrent scrapes must
    // never see two numbers in one server's series.
    MetricsCollector collector(1, false);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (std::uint64_t n = 1; !stop; ++n) {
            auto s = std::make_shared<ServerSnapshot>();
            s->name = "gw";
            s->up = true;
            s->connects = n;
            auto t = std::make_shared<TableSnapshot>();
            t->channelsFree = t->channelsLinked = t->channelsOther = t->channelRxBytes = n;
            s->tables = t;
            collector.Publish(0, s);
        }
    });
    for (int i = 0; i < 2000; ++i) {
        std::set<double> values;
        for (const auto& family : collector.Collect()) {
            for (const auto& m : family.metric) {
                if (family.name == "telv_connects_total") values.insert(m.counter.value);
                if (family.name == "telv_channels" || family.name == "telv_channels_receive_bytes")
                    values.insert(m.gauge.value);
            }
        }
        EXPECT_LE(values.size(), 1u);
    }
    stop = true;
    writer.join();
}

}  // namespace
}  // namespace telv::exporter
