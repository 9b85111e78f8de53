// The chart's history: buckets per range, averages, gaps, bounded memory, CSV table.
#include "TrafficHistory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace telv {
namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
constexpr std::int64_t kT0 = 1'700'000'160'000;  // a whole number of 4 minutes

std::vector<HistoryPoint> Points(const std::vector<std::vector<HistoryPoint>>& runs) {
    std::vector<HistoryPoint> all;
    for (const auto& run : runs) all.insert(all.end(), run.begin(), run.end());
    return all;
}

TEST(TrafficHistory, SamplesAreAveragedPerBucketOfEachRange) {
    TrafficHistory history(2);
    for (int s = 0; s < 20; ++s) {
        const double values[] = {double(s), 100.0};
        history.Append(kT0 + s * 1000, values);
    }
    EXPECT_EQ(history.BucketCount(ChartRange::FiveMinutes, 0), 20u);
    EXPECT_EQ(history.BucketCount(ChartRange::OneHour, 0), 2u);
    EXPECT_EQ(history.BucketCount(ChartRange::OneDay, 0), 1u);
    EXPECT_EQ(Points(history.Runs(ChartRange::OneHour, 0, 0)),
              (std::vector<HistoryPoint>{{kT0, 4.5}, {kT0 + 10000, 14.5}}));
    EXPECT_EQ(Points(history.Runs(ChartRange::OneDay, 1, 0)), (std::vector<HistoryPoint>{{kT0, 100.0}}));
    // From a time on: only the buckets that start then or later.
    EXPECT_EQ(history.BucketCount(ChartRange::FiveMinutes, kT0 + 15000), 5u);
}

TEST(TrafficHistory, GapsAndMissingValuesSplitRuns) {
    TrafficHistory history(2);
    const auto add = [&](int second, double a, double b) {
        const double values[] = {a, b};
        history.Append(kT0 + second * 1000, values);
    };
    add(0, 1, 1);
    add(1, 2, kNone);  // series 1 has no value here
    add(2, 3, 3);
    history.AddGap();  // disconnected
    add(9, 4, 4);
    add(10, 5, 5);
    const auto runs0 = history.Runs(ChartRange::FiveMinutes, 0, 0);
    ASSERT_EQ(runs0.size(), 2u);
    EXPECT_EQ(runs0[0].size(), 3u);
    EXPECT_EQ(runs0[1].front(), (HistoryPoint{kT0 + 9000, 4}));
    const auto runs1 = history.Runs(ChartRange::FiveMinutes, 1, 0);
    ASSERT_EQ(runs1.size(), 3u);
    EXPECT_EQ(runs1[0].size(), 1u);
    EXPECT_EQ(runs1[1].size(), 1u);
    EXPECT_EQ(runs1[2].size(), 2u);
    // The gap holds at the coarser ranges too, even within one bucket.
    EXPECT_EQ(history.Runs(ChartRange::OneHour, 0, 0).size(), 2u);
    history.ClearSeries(1);
    EXPECT_TRUE(history.Runs(ChartRange::FiveMinutes, 1, 0).empty());
    EXPECT_EQ(history.Runs(ChartRange::FiveMinutes, 0, 0).size(), 2u);
}

// Days of samples at one a second: every range keeps its capacity of buckets, no more.
TEST(TrafficHistory, MemoryStaysBounded) {
    TrafficHistory history(22);
    const std::size_t bytes = history.MemoryBytes();
    EXPECT_LT(bytes, 4u * 1024 * 1024);
    std::vector<double> values(22, 1.0);
    for (std::int64_t s = 0; s < 2 * 24 * 3600; ++s) {
        if (s % 5000 == 0 && s < 24 * 3600) history.AddGap();  // none in the last day
        history.Append(kT0 + s * 1000, values);
    }
    EXPECT_EQ(history.MemoryBytes(), bytes);
    for (int r = 0; r < kChartRangeCount; ++r) {
        const auto range = static_cast<ChartRange>(r);
        const RangeResolution res = ResolutionOf(range);
        EXPECT_EQ(history.BucketCount(range, 0), res.Capacity);
        EXPECT_GE(static_cast<std::int64_t>(res.Capacity) * res.BucketMs, res.SpanMs);
        const std::int64_t from = history.LastTimeMs() - res.SpanMs;
        EXPECT_LE(history.BucketCount(range, from), static_cast<std::size_t>(res.SpanMs / res.BucketMs) + 1);
    }
}

TEST(TrafficHistory, ClockSteppedBack) {
    TrafficHistory history(1);
    const double one[] = {1.0};
    history.Append(kT0 + 10000, one);
    history.Append(kT0 + 5000, one);  // a little back: counts as the last time
    EXPECT_EQ(history.LastTimeMs(), kT0 + 10000);
    EXPECT_EQ(history.BucketCount(ChartRange::FiveMinutes, 0), 1u);
    history.Append(kT0 - 3600 * 1000, one);  // an hour back: the history starts again
    EXPECT_EQ(history.BucketCount(ChartRange::FiveMinutes, 0), 1u);
    EXPECT_EQ(history.LastTimeMs(), kT0 - 3600 * 1000);
}

TEST(TrafficHistory, TableForCsv) {
    TrafficHistory history(2);
    const double a[] = {1250.4, kNone};
    const double b[] = {10, 3};
    history.Append(kT0, a);
    history.Append(kT0 + 1000, b);
    const ExportTable table = history.Table(ChartRange::FiveMinutes, 0, {{0, "RX"}, {1, "Строк"}},
                                            [](std::int64_t t) { return std::to_string((t - kT0) / 1000); });
    EXPECT_EQ(CsvText(table), std::string(kUtf8Bom) + "Время,RX,Строк\r\n0,1250,\r\n1,10,3\r\n");
}

}  // namespace
}  // namespace telv
