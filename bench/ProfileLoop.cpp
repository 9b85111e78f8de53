// Repeats one table operation at the protocol's limit, for a profiler:
//
//   perf record -g bench/telv_bench_profile sort-text 10
//
// Operations: full-list (into empty tables), second-list, statistics, remove-half, sort-number,
// sort-text, filter (one character typed into the channel filter, as the window filters). Prints
// the time of each repetition.
#include "BenchData.h"
#include "RowFilter.h"
#include "Sorting.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace telv;
using namespace telv::bench;

int main(int argc, char** argv) {
    const std::string operation = argc > 1 ? argv[1] : "";
    const int times = argc > 2 ? std::atoi(argv[2]) : 5;
    const PopulationMessages& m = Messages(kFullChanels, kFullClients);
    auto tables = std::make_unique<ConsoleTables>();
    auto load = [&] {
        tables = std::make_unique<ConsoleTables>();
        tables->Receive(m.chanelList);
        tables->Receive(m.clientList);
    };
    load();
    std::vector<TListItem*> rebuiltOrder;
    for (const auto& row : tables->ChanelRows().Rows()) rebuiltOrder.push_back(row.get());
    const Bytes half = EveryOther(m.chanelStatistics);
    RowFilter filter(tables->ChanelRows(), {0, 1, 2});

    const std::map<std::string, std::function<void(int)>> operations = {
        {"full-list", [&](int) {
             tables = std::make_unique<ConsoleTables>();
             tables->Receive(m.chanelList);
             tables->Receive(m.clientList);
         }},
        {"second-list", [&](int) {
             tables->Receive(m.chanelList);
             tables->Receive(m.clientList);
         }},
        {"statistics", [&](int i) { tables->Receive(i % 2 ? m.laterChanelStatistics : m.chanelStatistics); }},
        {"remove-half", [&](int) { tables->Receive(half); }},
        {"sort-number", [&](int) { SortChanelRows(tables->ChanelRows(), tables->Tables().ChanelData, 4); }},
        {"sort-text", [&](int) { SortChanelRows(tables->ChanelRows(), tables->Tables().ChanelData, 0); }},
        {"filter", [&](int) {
             filter.SetText("");
             filter.SetText("1");
         }},
    };
    const auto it = operations.find(operation);
    if (it == operations.end()) {
        std::fprintf(stderr, "usage: telv_bench_profile full-list|second-list|statistics|remove-half|"
                             "sort-number|sort-text|filter [times]\n");
        return 2;
    }
    for (int i = 0; i < times; ++i) {
        const auto start = std::chrono::steady_clock::now();
        it->second(i);
        const auto end = std::chrono::steady_clock::now();
        std::printf("%s %d: %.1f ms\n", operation.c_str(), i, std::chrono::duration<double, std::milli>(end - start).count());
        // Untimed: the state the next repetition starts from.
        if (operation == "remove-half") load();
        if (operation.rfind("sort-", 0) == 0) tables->ChanelRows().Reorder(rebuiltOrder);
    }
    return 0;
}
