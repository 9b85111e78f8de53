// The exporter's refresh at the protocol's limit, beside the console's own statistics pass on the
// same messages in the same run; and the cost of one scrape of a fleet of 50 servers.
#include "BenchData.h"
#include "BenchTiming.h"
#include "MetricsCollector.h"
#include "ServerMonitor.h"

#include <prometheus/text_serializer.h>

#include <benchmark/benchmark.h>

#include <memory>

namespace telv::bench {
namespace {

using namespace telv::exporter;

const PopulationMessages& Full() { return Messages(kFullChanels, kFullClients); }

template <class Records>
Records Decoded(const Bytes& message, Records DecodedMessage::*field) {
    return DecodeNext(Running, message.data(), message.size()).*field;
}

// The exporter's tables loaded with the full lists, publishing into a collector as the monitor does.
struct ExporterSide {
    ExporterTables tables;
    MetricsCollector collector{1, false};

    ExporterSide(const Bytes& chanelList, const Bytes& clientList) {
        tables.SessionStarted();
        tables.ChannelListReceived(Decoded(chanelList, &DecodedMessage::chanels));
        tables.ClientListReceived(Decoded(clientList, &DecodedMessage::clients));
    }
    void Publish() {
        auto s = std::make_shared<ServerSnapshot>();
        s->name = "gw";
        s->up = true;
        s->tables = std::make_shared<TableSnapshot>(SnapshotTables(tables, false, 0));
        collector.Publish(0, std::move(s));
    }
};

// Times one refresh an iteration. The channel statistics alternate between two passes of other
// values, so that every pass changes the rows.
template <class Refresh>
void TimeRefreshes(benchmark::State& state, const PopulationMessages& m, Refresh&& refresh) {
    bool later = false;
    for (auto _ : state) {
        const Bytes& chanelStatistics = later ? m.laterChanelStatistics : m.chanelStatistics;
        later = !later;
        TimeIteration(state, [&] { refresh(chanelStatistics); });
    }
}

// The console's tables with the full lists received.
void ReceiveLists(ConsoleTables& console, const PopulationMessages& m) {
    console.Receive(m.chanelList);
    console.Receive(m.clientList);
}

// Channel statistics for every channel, then the snapshot a scrape reads.
void BM_ExporterChanelRefresh(benchmark::State& state) {
    const PopulationMessages& m = Full();
    ExporterSide side(m.chanelList, m.clientList);
    TimeRefreshes(state, m, [&](const Bytes& chanelStatistics) {
        side.tables.ChannelStatisticsReceived(Decoded(chanelStatistics, &DecodedMessage::statistics));
        side.Publish();
    });
    if (side.tables.LiveChanels.size() != kFullChanels) state.SkipWithError("rows lost");
}
BENCHMARK(BM_ExporterChanelRefresh)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);

// The console's channel statistics pass on the same messages (the figure of the tables bench).
void BM_ConsoleChanelPass(benchmark::State& state) {
    const PopulationMessages& m = Full();
    ConsoleTables console;
    ReceiveLists(console, m);
    TimeRefreshes(state, m, [&](const Bytes& chanelStatistics) { console.Receive(chanelStatistics); });
    if (console.ChanelRows().Count() != static_cast<int>(kFullChanels)) state.SkipWithError("rows lost");
}
BENCHMARK(BM_ConsoleChanelPass)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);

// A whole refresh: channel statistics, client statistics, the snapshot.
void BM_ExporterRefresh(benchmark::State& state) {
    const PopulationMessages& m = Full();
    ExporterSide side(m.chanelList, m.clientList);
    TimeRefreshes(state, m, [&](const Bytes& chanelStatistics) {
        side.tables.ChannelStatisticsReceived(Decoded(chanelStatistics, &DecodedMessage::statistics));
        side.tables.ClientStatisticsReceived(Decoded(m.clientStatistics, &DecodedMessage::statistics));
        side.Publish();
    });
}
BENCHMARK(BM_ExporterRefresh)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);

void BM_ConsoleRefresh(benchmark::State& state) {
    const PopulationMessages& m = Full();
    ConsoleTables console;
    ReceiveLists(console, m);
    TimeRefreshes(state, m, [&](const Bytes& chanelStatistics) {
        console.Receive(chanelStatistics);
        console.Receive(m.clientStatistics);
    });
}
BENCHMARK(BM_ConsoleRefresh)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);

// One scrape of 50 servers of 20,000 channels and 2,000 clients: collect and serialize.
void BM_ScrapeFiftyServers(benchmark::State& state) {
    const PopulationMessages& m = Messages(20000, 2000);
    ExporterSide side(m.chanelList, m.clientList);
    const auto tables = std::make_shared<TableSnapshot>(SnapshotTables(side.tables, false, 0));
    MetricsCollector collector(50, false);
    for (std::size_t i = 0; i < 50; ++i) {
        auto s = std::make_shared<ServerSnapshot>();
        s->name = "gateway-" + std::to_string(i);
        s->up = true;
        s->version = "2.4.0.31";
        s->lastRefreshSeconds = 1.7e9;
        s->tables = tables;
        collector.Publish(i, std::move(s));
    }
    std::size_t bytes = 0;
    for (auto _ : state) {
        TimeIteration(state, [&] { bytes = prometheus::TextSerializer().Serialize(collector.Collect()).size(); });
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ScrapeFiftyServers)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(5);

}  // namespace
}  // namespace telv::bench

BENCHMARK_MAIN();
