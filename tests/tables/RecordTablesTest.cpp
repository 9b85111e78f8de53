// The record tables without views: rows follow the lists and statistics in any order, checked
// against a plain map of the same rules.
#include "RecordTables.h"
#include "RecordMessage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

namespace telv {
namespace {

template <class Record>
using Message = test::RecordMessage<Record>;

TELV_UDP_FULL_CHANEL_DATA Chanel(Handle h, std::uint32_t rx) {
    TELV_UDP_FULL_CHANEL_DATA c;
    c.SetChanelHandle(h);
    c.SetRxBytes(rx);
    c.SetSecondsOnLine(h);
    return c;
}

TELV_STATISTICS_DATA Stat(Handle h, std::uint32_t rx, std::uint8_t state = 0, Handle linked = 0) {
    TELV_STATISTICS_DATA s;
    s.SetOwnHandle(h);
    s.SetRxBytes(rx);
    s.SetTxBytes(rx / 2);
    s.SetSecondsOnLine(rx + 1);
    s.SetState(state);
    s.SetLinkedHandle(linked);
    return s;
}

// The rules the tables follow, kept in a map: rows are the handles of the last list (first record
// of a repeated handle); a statistics pass updates the rows it names (again for a repeat), adds
// their traffic to the total, drops the rows it does not name, and marks a handle without a row.
struct Reference {
    std::map<Handle, RowValues> rows;
    std::uint64_t rxTotal = 0;
    bool fullListNeeded = false;

    void List(const std::vector<TELV_UDP_FULL_CHANEL_DATA>& list) {
        rows.clear();
        rxTotal = 0;
        for (const auto& c : list)
            if (rows.emplace(c.ChanelHandle(), RowValues{c.SecondsOnLine(), c.RxBytes(), c.TxBytes(), 0, 0}).second)
                rxTotal += c.RxBytes();
        fullListNeeded = false;
    }
    void Statistics(const std::vector<TELV_STATISTICS_DATA>& stats) {
        rxTotal = 0;
        std::map<Handle, RowValues> named;
        for (const auto& s : stats) {
            const auto it = rows.find(s.OwnHandle());
            if (it == rows.end()) {
                fullListNeeded = true;
                continue;
            }
            it->second = {s.SecondsOnLine(), s.RxBytes(), s.TxBytes(), s.LinkedHandle(), s.State()};
            named[it->first] = it->second;
            rxTotal += s.RxBytes();
            if (s.State() == 1 && s.LinkedHandle()) fullListNeeded = true;  // no clients are stored
        }
        rows = named;
    }
};

void ExpectSame(const RecordTables& tables, const Reference& reference) {
    ASSERT_EQ(tables.LiveChanels.size(), reference.rows.size());
    for (const auto& [handle, values] : reference.rows) {
        const std::size_t row = tables.LiveChanels.Find(handle);
        ASSERT_NE(row, LiveRows::npos) << handle;
        const RowValues& v = tables.LiveChanels[row].Values;
        EXPECT_EQ(tables.LiveChanels[row].RowHandle, handle);
        EXPECT_EQ(v.SecondsOnLine, values.SecondsOnLine) << handle;
        EXPECT_EQ(v.RxBytes, values.RxBytes) << handle;
        EXPECT_EQ(v.TxBytes, values.TxBytes) << handle;
        EXPECT_EQ(v.State, values.State) << handle;
    }
    EXPECT_EQ(tables.Totals.ChanelRxTotal, reference.rxTotal);
    EXPECT_EQ(tables.FullListNeeded, reference.fullListNeeded);
}

void ApplyList(RecordTables& tables, Reference& reference, const std::vector<TELV_UDP_FULL_CHANEL_DATA>& list) {
    tables.ChannelListReceived(Message(list));
    tables.ClientListReceived(Message(std::vector<TELV_FULL_CLIENT_DATA>{}));
    reference.List(list);
}

void ApplyStatistics(RecordTables& tables, Reference& reference, const std::vector<TELV_STATISTICS_DATA>& stats) {
    tables.ChannelStatisticsReceived(Message(stats));
    reference.Statistics(stats);
}

struct PassCase {
    const char* name;
    std::vector<Handle> list;
    std::vector<Handle> statistics;
};

class StatisticsOrder : public ::testing::TestWithParam<PassCase> {};

TEST_P(StatisticsOrder, RowsMatchTheRules) {
    const PassCase& c = GetParam();
    std::vector<TELV_UDP_FULL_CHANEL_DATA> list;
    for (Handle h : c.list) list.push_back(Chanel(h, h * 10));
    std::vector<TELV_STATISTICS_DATA> stats;
    for (std::size_t i = 0; i < c.statistics.size(); ++i)
        stats.push_back(Stat(c.statistics[i], static_cast<std::uint32_t>(1000 + i)));
    RecordTables tables;
    Reference reference;
    ApplyList(tables, reference, list);
    ExpectSame(tables, reference);
    ApplyStatistics(tables, reference, stats);
    ExpectSame(tables, reference);
    ApplyStatistics(tables, reference, stats);  // a second pass over the rows that are left
    ExpectSame(tables, reference);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StatisticsOrder,
    ::testing::Values(PassCase{"InListOrder", {5, 3, 9, 1}, {5, 3, 9, 1}},
                      PassCase{"Reversed", {5, 3, 9, 1}, {1, 9, 3, 5}},
                      PassCase{"SortedList", {1, 2, 3, 4}, {1, 2, 3, 4}},
                      PassCase{"OneSkipped", {5, 3, 9, 1}, {5, 9, 1}},
                      PassCase{"AllSkipped", {5, 3, 9, 1}, {}},
                      PassCase{"Repeated", {5, 3, 9, 1}, {5, 3, 3, 9, 1, 5}},
                      PassCase{"UnknownHandle", {5, 3, 9, 1}, {5, 77, 3, 9, 1}},
                      PassCase{"RepeatedInList", {5, 3, 5, 9, 3}, {5, 3, 9}},
                      PassCase{"EmptyList", {}, {4, 2}}),
    [](const ::testing::TestParamInfo<PassCase>& param) { return param.param.name; });

// Random lists and passes: shuffled, partial, repeated and unknown handles, over many rounds.
TEST(RecordTables, RandomPassesFollowTheRules) {
    std::mt19937 engine(12345);
    const auto rng = [&engine] { return static_cast<std::uint32_t>(engine()); };
    RecordTables tables;
    Reference reference;
    for (int round = 0; round < 300; ++round) {
        if (round % 10 == 0) {
            std::vector<TELV_UDP_FULL_CHANEL_DATA> list;
            const auto n = rng() % 200;
            for (std::uint32_t i = 0; i < n; ++i) list.push_back(Chanel(rng() % 300 + 1, rng() % 1000));
            ApplyList(tables, reference, list);
            ASSERT_NO_FATAL_FAILURE(ExpectSame(tables, reference));
        }
        std::vector<Handle> handles;
        for (const LiveRow& row : tables.LiveChanels) handles.push_back(row.RowHandle);
        if (rng() % 3 == 0) std::shuffle(handles.begin(), handles.end(), engine);
        std::vector<TELV_STATISTICS_DATA> stats;
        for (Handle h : handles) {
            const auto dice = rng() % 20;
            if (dice == 0) continue;  // skipped: the row goes
            if (dice == 1) stats.push_back(Stat(h + 1000, 1));  // no such row
            stats.push_back(Stat(h, rng() % 5000, static_cast<std::uint8_t>(rng() % 3)));
            if (dice == 2) stats.push_back(Stat(h, rng() % 5000));  // repeated
        }
        ApplyStatistics(tables, reference, stats);
        ASSERT_NO_FATAL_FAILURE(ExpectSame(tables, reference)) << "round " << round;
    }
}

// A handle that stays from one list to the next keeps its row's tag; a new handle starts without.
TEST(RecordTables, RebuildCarriesTagsByHandle) {
    RecordTables tables;
    tables.ChannelListReceived(Message(std::vector{Chanel(7, 0), Chanel(2, 0), Chanel(4, 0)}));
    tables.RebuildRows();
    for (std::size_t row = 0; row < tables.LiveChanels.size(); ++row)
        tables.LiveChanels[row].Tag = tables.LiveChanels[row].RowHandle * 100u;
    tables.ChannelListReceived(Message(std::vector{Chanel(4, 0), Chanel(9, 0), Chanel(7, 0)}));
    tables.RebuildRows();
    ASSERT_EQ(tables.LiveChanels.size(), 3u);
    EXPECT_EQ(tables.LiveChanels[0].RowHandle, 4u);  // the order of the list
    EXPECT_EQ(tables.LiveChanels[0].Tag, 400u);
    EXPECT_EQ(tables.LiveChanels[1].RowHandle, 9u);
    EXPECT_EQ(tables.LiveChanels[1].Tag, 0u);
    EXPECT_EQ(tables.LiveChanels[2].Tag, 700u);
    const std::vector<std::size_t> sorted = {tables.LiveChanels.RowOfSorted(0), tables.LiveChanels.RowOfSorted(1),
                                             tables.LiveChanels.RowOfSorted(2)};
    EXPECT_EQ(sorted, (std::vector<std::size_t>{0, 2, 1}));  // handles 4, 7, 9
}

}  // namespace
}  // namespace telv
