// The channel table at the protocol's limit: a full list to rows, a second identical list,
// statistics passes, mass removal and sorting, each beside a baseline of plain std::map work on
// the same records. Every iteration is timed by hand, so that building and freeing the tables
// around it is not counted.
#include "BenchData.h"
#include "BenchTiming.h"
#include "Sorting.h"

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <vector>

namespace telv::bench {
namespace {

const PopulationMessages& Full() { return Messages(kFullChanels, kFullClients); }

std::unique_ptr<ConsoleTables> LoadedTables(const Bytes& chanelList, const Bytes& clientList) {
    auto tables = std::make_unique<ConsoleTables>();
    tables->Receive(chanelList);
    tables->Receive(clientList);
    return tables;
}

RecordArray<TELV_UDP_FULL_CHANEL_DATA> ChanelRecords(const Bytes& list) {
    return DecodeNext(Running, list.data(), list.size()).chanels;
}

RecordArray<TELV_STATISTICS_DATA> StatisticsRecords(const Bytes& message) {
    return DecodeNext(Running, message.data(), message.size()).statistics;
}

// Baseline: a std::map of the channel records, built from the message in message order.
void BM_MapOfRecords(benchmark::State& state) {
    const Bytes& list = Full().chanelList;
    for (auto _ : state) {
        auto map = std::make_unique<std::map<Handle, TELV_UDP_FULL_CHANEL_DATA>>();
        TimeIteration(state, [&] {
            const auto records = ChanelRecords(list);
            for (std::uint32_t i = 0; i < records.size(); ++i) {
                const auto record = records[i];
                map->try_emplace(record.ChanelHandle(), record);
            }
        });
        benchmark::DoNotOptimize(map->size());
    }
    state.counters["records"] = static_cast<double>(kFullChanels);
}
BENCHMARK(BM_MapOfRecords)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);

// The channel list and then the client list arrive at empty tables: every row is new.
void BM_FullListToRows(benchmark::State& state) {
    const PopulationMessages& m = Full();
    for (auto _ : state) {
        auto tables = std::make_unique<ConsoleTables>();
        TimeIteration(state, [&] {
            tables->Receive(m.chanelList);
            tables->Receive(m.clientList);
        });
        if (tables->ChanelRows().Count() != static_cast<int>(kFullChanels)) state.SkipWithError("rows missing");
    }
}
BENCHMARK(BM_FullListToRows)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);

// The same lists again: every row is kept and rewritten.
void BM_SecondIdenticalList(benchmark::State& state) {
    const PopulationMessages& m = Full();
    auto tables = LoadedTables(m.chanelList, m.clientList);
    for (auto _ : state) {
        TimeIteration(state, [&] {
            tables->Receive(m.chanelList);
            tables->Receive(m.clientList);
        });
    }
    if (tables->ChanelRows().Count() != static_cast<int>(kFullChanels)) state.SkipWithError("rows missing");
}
BENCHMARK(BM_SecondIdenticalList)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);

// Baseline: every handle of a statistics message looked up in a std::map of the same records
// (the console's own table is a sorted array; BM_LookUpInChanelData times that one).
void BM_LookUpEveryHandle(benchmark::State& state) {
    const PopulationMessages& m = Full();
    std::map<Handle, TELV_UDP_FULL_CHANEL_DATA> map;
    const auto list = ChanelRecords(m.chanelList);
    for (std::uint32_t i = 0; i < list.size(); ++i) map.try_emplace(list[i].ChanelHandle(), list[i]);
    for (auto _ : state) {
        std::uint64_t found = 0;
        TimeIteration(state, [&] {
            const auto records = StatisticsRecords(m.chanelStatistics);
            for (std::uint32_t i = 0; i < records.size(); ++i) {
                const auto it = map.find(records[i].OwnHandle());
                if (it != map.end()) found += it->second.Bytes[0];
            }
        });
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_LookUpEveryHandle)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);

void BM_LookUpInChanelData(benchmark::State& state) {
    const PopulationMessages& m = Full();
    auto tables = LoadedTables(m.chanelList, m.clientList);
    const ChanelTable& data = tables->Tables().ChanelData;
    for (auto _ : state) {
        std::uint64_t found = 0;
        TimeIteration(state, [&] {
            const auto records = StatisticsRecords(m.chanelStatistics);
            for (std::uint32_t i = 0; i < records.size(); ++i)
                if (const auto* record = data.Find(records[i].OwnHandle())) found += record->Bytes[0];
        });
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_LookUpInChanelData)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);

// A statistics message for every channel: all rows updated in place (two states alternate, so
// that every pass really changes the cells), their rates stepped and the rate cells written.
// The baseline is the same pass with the rates left out (state.range(0) == 0).
void BM_ChanelStatisticsPass(benchmark::State& state) {
    const PopulationMessages& m = Full();
    auto tables = LoadedTables(m.chanelList, m.clientList);
    tables->Tables().TrackRates = state.range(0) != 0;
    bool later = false;
    for (auto _ : state) {
        const Bytes& message = later ? m.laterChanelStatistics : m.chanelStatistics;
        later = !later;
        TimeIteration(state, [&] { tables->Receive(message); });
    }
    if (tables->ChanelRows().Count() != static_cast<int>(kFullChanels)) state.SkipWithError("rows lost");
    if (tables->Tables().FullListNeeded) state.SkipWithError("a handle was not found");
}
BENCHMARK(BM_ChanelStatisticsPass)->ArgName("rates")->Arg(0)->Arg(1)
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(9);

// A statistics message that names every other channel of the list: the pass updates half the
// rows and deletes the other half (scattered over the view, as handles are random).
void BM_RemoveHalfTheRows(benchmark::State& state) {
    const auto n = static_cast<std::uint32_t>(state.range(0));
    const PopulationMessages& m = Full();
    const Bytes list = Prefix(m.chanelList, n);
    const Bytes half = EveryOther(Prefix(m.chanelStatistics, n));
    for (auto _ : state) {
        auto tables = LoadedTables(list, m.clientList);
        TimeIteration(state, [&] { tables->Receive(half); });
        if (tables->ChanelRows().Count() != static_cast<int>((n + 1) / 2)) state.SkipWithError("wrong row count");
    }
    state.counters["rows"] = static_cast<double>(n);
}
BENCHMARK(BM_RemoveHalfTheRows)
    ->Arg(kQuarterChanels)->Arg(kHalfChanels)->Arg(kFullChanels)
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

// A column click on a view of n rows in the order the rebuild left them (ascending handles).
void SortBenchmark(benchmark::State& state, int sortCode) {
    const auto n = static_cast<std::uint32_t>(state.range(0));
    const PopulationMessages& m = Full();
    auto tables = LoadedTables(Prefix(m.chanelList, n), m.clientList);
    TListView& view = tables->ChanelRows();
    std::vector<TListItem*> rebuiltOrder;
    for (const auto& row : view.Rows()) rebuiltOrder.push_back(row.get());
    for (auto _ : state) {
        view.Reorder(rebuiltOrder);
        TimeIteration(state, [&] { SortChanelRows(view, tables->Tables().ChanelData, sortCode); });
    }
    state.counters["rows"] = static_cast<double>(n);
}

// "Время на связи", a number column.
void BM_SortByNumber(benchmark::State& state) { SortBenchmark(state, SortCode(4, false)); }
// "ID прибора", a text column.
void BM_SortByText(benchmark::State& state) { SortBenchmark(state, SortCode(0, false)); }
BENCHMARK(BM_SortByNumber)
    ->Arg(kQuarterChanels)->Arg(kHalfChanels)->Arg(kFullChanels)
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);
BENCHMARK(BM_SortByText)
    ->Arg(kQuarterChanels)->Arg(kHalfChanels)->Arg(kFullChanels)
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

}  // namespace
}  // namespace telv::bench

BENCHMARK_MAIN();
