// Traffic rates: the rule of one step, then the rates the record tables keep per row through
// statistics passes, rebuilds and reconnections.
#include "RecordTables.h"
#include "RecordMessage.h"
#include "RowTexts.h"
#include "TrafficRates.h"
#include "TrafficTotals.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace telv {
namespace {

using Rates = std::optional<ByteRates>;
constexpr std::uint32_t kTop = 0xFFFFFFFFu;

struct StepCase {
    const char* name;
    std::optional<RateSample> previous;
    Rates previousRates;
    RateSample next;
    Rates expected;
};

class RateStep : public ::testing::TestWithParam<StepCase> {};

TEST_P(RateStep, FollowsTheRule) {
    const StepCase& c = GetParam();
    EXPECT_EQ(NextRates(c.previous, c.previousRates, c.next), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RateStep,
    ::testing::Values(
        StepCase{"Normal", RateSample{100, 1000, 500}, std::nullopt, {110, 13500, 620}, ByteRates{1250, 12}},
        StepCase{"RoundsToNearest", RateSample{0, 0, 0}, std::nullopt, {3, 10, 11}, ByteRates{3, 4}},
        StepCase{"Idle", RateSample{5, 77, 88}, ByteRates{9, 9}, {6, 77, 88}, ByteRates{0, 0}},
        // 32-bit counters that wrapped while the seconds grew: the modular difference.
        StepCase{"RxWrapped", RateSample{50, kTop - 99, 0}, std::nullopt, {52, 300, 10}, ByteRates{200, 5}},
        StepCase{"BothWrapped", RateSample{50, kTop, kTop - 1}, std::nullopt, {51, 0, 0}, ByteRates{1, 2}},
        // Seconds back to a small value with smaller counters: a new connection of the device.
        StepCase{"Reset", RateSample{5000, 900000, 800000}, ByteRates{180, 160}, {3, 120, 40}, std::nullopt},
        // Seconds back without a counter reset: a server clock that jumped.
        StepCase{"ClockJumpBack", RateSample{5000, 900000, 800000}, ByteRates{180, 160}, {4000, 901000, 800100},
                 std::nullopt},
        // A clock that jumped ahead makes a long step: a small rate, never a spike.
        StepCase{"ClockJumpAhead", RateSample{100, 1000, 1000}, ByteRates{5, 5}, {100100, 1500, 1100},
                 ByteRates{0, 0}},
        // Seconds that did not advance keep the rate shown, none included.
        StepCase{"SecondsStill", RateSample{100, 1000, 1000}, ByteRates{7, 8}, {100, 5000, 9000}, ByteRates{7, 8}},
        StepCase{"SecondsStillNoRate", RateSample{100, 1000, 1000}, std::nullopt, {100, 5000, 9000}, std::nullopt},
        // No previous sample (a new row, a row missing from earlier statistics, a new connection).
        StepCase{"NoPreviousSample", std::nullopt, ByteRates{7, 8}, {100, 5000, 9000}, std::nullopt},
        // A counter that went back a little while the seconds grew is no wrap: it would mean
        // nearly 4 GB in one second. No rate rather than an absurd one.
        StepCase{"CounterBackNoReset", RateSample{100, 5000, 5000}, std::nullopt, {101, 4000, 5100}, std::nullopt},
        StepCase{"HalfRangeStep", RateSample{100, 0, 0}, std::nullopt, {101, 0x80000000u, 0}, std::nullopt},
        StepCase{"JustBelowHalfRange", RateSample{100, 0, 0}, std::nullopt, {101, 0x7FFFFFFFu, 0},
                 ByteRates{0x7FFFFFFFu, 0}}),
    [](const ::testing::TestParamInfo<StepCase>& param) { return param.param.name; });

template <class Record>
using Message = test::RecordMessage<Record>;

TELV_UDP_FULL_CHANEL_DATA Chanel(Handle h, std::uint32_t seconds, std::uint32_t rx, std::uint32_t tx) {
    return test::ChanelRecord({.handle = h, .seconds = seconds, .rx = rx, .tx = tx});
}

TELV_STATISTICS_DATA Stat(Handle h, std::uint32_t seconds, std::uint32_t rx, std::uint32_t tx) {
    return test::StatisticsRecord({.handle = h, .seconds = seconds, .rx = rx, .tx = tx});
}

class RowRatesTest : public ::testing::Test {
protected:
    void List(const std::vector<TELV_UDP_FULL_CHANEL_DATA>& list) {
        tables.ChannelListReceived(Message(list));
        tables.ClientListReceived(Message(std::vector<TELV_FULL_CLIENT_DATA>{}));
    }
    void Statistics(const std::vector<TELV_STATISTICS_DATA>& stats) {
        tables.ChannelStatisticsReceived(Message(stats));
    }
    Rates RateOf(Handle h) const {
        const std::size_t row = tables.LiveChanels.Find(h);
        return row == LiveRows::npos ? std::nullopt : tables.LiveChanels[row].Rates.Current();
    }
    RecordTables tables;
};

// The full list is the first sample; each statistics pass steps from the row's last values.
TEST_F(RowRatesTest, EachPassStepsFromTheLastValues) {
    List({Chanel(1, 100, 1000, 2000), Chanel(2, 50, 0, 0)});
    EXPECT_EQ(RateOf(1), std::nullopt);
    EXPECT_EQ(tables.ChanelRates.RowsWithRate, 0u);
    Statistics({Stat(1, 110, 2000, 2100), Stat(2, 52, 600, 0)});
    EXPECT_EQ(RateOf(1), (ByteRates{100, 10}));
    EXPECT_EQ(RateOf(2), (ByteRates{300, 0}));
    EXPECT_EQ(tables.ChanelRates.Rx, 400u);
    EXPECT_EQ(tables.ChanelRates.Tx, 10u);
    EXPECT_EQ(tables.ChanelRates.RowsWithRate, 2u);
    Statistics({Stat(1, 110, 2500, 2100), Stat(2, 53, 601, 0)});  // row 1: seconds did not advance
    EXPECT_EQ(RateOf(1), (ByteRates{100, 10}));
    EXPECT_EQ(RateOf(2), (ByteRates{1, 0}));
}

// The same handle twice in one message writes the row twice, but the rate steps once, from the
// values before the pass: two records of one message never make a rate between themselves.
TEST_F(RowRatesTest, RepeatedHandleMakesNoSpike) {
    List({Chanel(1, 100, 1000, 1000)});
    Statistics({Stat(1, 110, 1100, 1000), Stat(1, 111, 900000000, 1000)});
    EXPECT_EQ(RateOf(1), (ByteRates{10, 0}));
    EXPECT_EQ(tables.ChanelRates.RowsWithRate, 1u);
    EXPECT_EQ(tables.LiveChanels[0].Values.RxBytes, 900000000u);  // the second record's values stay
}

// Statistics out of the list's order find the same rows and the same rates.
TEST_F(RowRatesTest, OutOfOrderStatistics) {
    List({Chanel(1, 10, 0, 0), Chanel(2, 10, 0, 0), Chanel(3, 10, 0, 0)});
    Statistics({Stat(3, 12, 30, 3), Stat(1, 12, 10, 1), Stat(2, 12, 20, 2)});
    EXPECT_EQ(RateOf(1), (ByteRates{5, 1}));
    EXPECT_EQ(RateOf(2), (ByteRates{10, 1}));
    EXPECT_EQ(RateOf(3), (ByteRates{15, 2}));
}

// A row a pass skips is removed; when the lists bring it back it starts without a rate.
TEST_F(RowRatesTest, MissingRowStartsAgain) {
    List({Chanel(1, 10, 0, 0), Chanel(2, 10, 0, 0)});
    Statistics({Stat(1, 11, 10, 10), Stat(2, 11, 10, 10)});
    Statistics({Stat(1, 12, 20, 20)});  // row 2 skipped: gone
    EXPECT_EQ(RateOf(2), std::nullopt);
    EXPECT_EQ(tables.LiveChanels.size(), 1u);
    List({Chanel(1, 13, 30, 30), Chanel(2, 5000, 999999, 999999)});
    EXPECT_EQ(RateOf(1), (ByteRates{10, 10}));  // a kept row steps to its full record
    EXPECT_EQ(RateOf(2), std::nullopt);
    EXPECT_EQ(tables.ChanelRates.RowsWithRate, 1u);
}

// A reset (new connection of the device) and a clock jump: no rate for that step, then rates
// from the new values.
TEST_F(RowRatesTest, ResetAndClockJump) {
    List({Chanel(1, 1000, 500000, 500000), Chanel(2, 1000, 500000, 500000)});
    Statistics({Stat(1, 1001, 500100, 500100), Stat(2, 1001, 500100, 500100)});
    Statistics({Stat(1, 2, 10, 10), Stat(2, 900, 500200, 500200)});
    EXPECT_EQ(RateOf(1), std::nullopt);
    EXPECT_EQ(RateOf(2), std::nullopt);
    EXPECT_EQ(tables.ChanelRates.RowsWithRate, 0u);
    Statistics({Stat(1, 4, 30, 10), Stat(2, 901, 500300, 500200)});
    EXPECT_EQ(RateOf(1), (ByteRates{10, 0}));
    EXPECT_EQ(RateOf(2), (ByteRates{100, 0}));
}

// A new connection forgets the samples of the last one: its first lists give no rate.
TEST_F(RowRatesTest, NewSessionStartsWithoutRates) {
    List({Chanel(1, 10, 0, 0)});
    Statistics({Stat(1, 11, 10, 10)});
    tables.SessionStarted();
    List({Chanel(1, 20, 100, 100)});
    EXPECT_EQ(RateOf(1), std::nullopt);
    Statistics({Stat(1, 21, 110, 100)});
    EXPECT_EQ(RateOf(1), (ByteRates{10, 0}));
}

TEST(RateTexts, InTheUnitsOfTheTrafficCells) {
    EXPECT_EQ(FormatRates({1280, 12}), "1.250 кб/с / 12 б/с");
    EXPECT_EQ(FormatRate(0), "0 б/с");
    EXPECT_EQ(FormatRate(700000), "0.668 Mб/с");
    RowRates none;
    EXPECT_EQ(RenderCell(RatesCell(none)), "");
    RowRates some;
    some.Known = true;
    some.Rates = {600, 601};
    EXPECT_EQ(RenderCell(RatesCell(some)), "600 б/с / 0.587 кб/с");
    RateTotals chanels;
    chanels.Add({1280, 12});
    EXPECT_EQ(RateTotalsText(chanels, {}), "Скорость: приборы 1.250 кб/с / 12 б/с, клиенты 0 б/с / 0 б/с");
}

}  // namespace
}  // namespace telv
