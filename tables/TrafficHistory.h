// The history of the traffic chart, without any view: a fixed number of series (total rates, row
// counts, followed rows) sampled at each refresh and kept at three resolutions, one per time
// range of the chart, each a ring buffer of fixed capacity. A sample is added to the current
// bucket of every resolution (values averaged within a bucket), so memory stays bounded however
// long the console runs: about 1,100 buckets of 12 bytes per series.
//
// Gaps: a series without a value in a sample (NaN) has no point there, and AddGap (the console
// was disconnected) makes every series start a new run, so no line is drawn across a gap.
#pragma once

#include "RowExport.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace telv {

enum class ChartRange { FiveMinutes = 0, OneHour = 1, OneDay = 2 };
inline constexpr int kChartRangeCount = 3;

struct RangeResolution {
    std::int64_t SpanMs;    // the time the range shows
    std::int64_t BucketMs;  // one point per bucket
    std::size_t Capacity;   // buckets kept: the span and a little more
};
// 5 min at 1 s, 1 h at 10 s, 24 h at 4 min: about 360 points a line in every range, which is
// what a chart a thousand pixels wide can show, and what it can redraw within a few ms.
RangeResolution ResolutionOf(ChartRange range);

struct HistoryPoint {
    std::int64_t TimeMs = 0;  // start of the bucket, milliseconds since the epoch
    double Value = 0;
    bool operator==(const HistoryPoint&) const = default;
};

class TrafficHistory {
public:
    explicit TrafficHistory(std::size_t seriesCount);

    std::size_t SeriesCount() const { return seriesCount_; }
    // One sample: a value per series, NaN for none. A time before the last one by up to a minute
    // (a clock stepped back a little) counts as the last time; further back, the history starts
    // again, since its order would no longer be that of time.
    void Append(std::int64_t timeMs, std::span<const double> values);
    // The next sample starts a new run in every series.
    void AddGap();
    // Forgets every value of one series (its line is removed from the chart).
    void ClearSeries(std::size_t series);
    void Clear();

    // The time of the last sample (0 before the first).
    std::int64_t LastTimeMs() const { return lastTimeMs_; }
    // The runs of one series in a range, oldest first, from `fromMs` on: a run ends at a gap and
    // where the series has no value.
    std::vector<std::vector<HistoryPoint>> Runs(ChartRange range, std::size_t series, std::int64_t fromMs) const;
    // The number of buckets of a range from `fromMs` on.
    std::size_t BucketCount(ChartRange range, std::int64_t fromMs) const;
    // As a table for CSV (valid while the history is unchanged): the time (as `timeText` writes
    // it), then the given series under their captions, each value rounded to a whole number,
    // empty where there is none.
    struct Column {
        std::size_t Series = 0;
        std::string Caption;
    };
    ExportTable Table(ChartRange range, std::int64_t fromMs, std::vector<Column> columns,
                      std::function<std::string(std::int64_t timeMs)> timeText) const;

    // The bytes held by the buckets.
    std::size_t MemoryBytes() const;

private:
    // One resolution: a ring of buckets, oldest at head_.
    struct Level {
        RangeResolution resolution;
        std::size_t head = 0;
        std::size_t size = 0;
        std::vector<std::int64_t> start;     // bucket start time
        std::vector<std::uint8_t> newRun;    // a gap came before the bucket
        std::vector<double> sum;             // per bucket and series
        std::vector<std::uint32_t> count;    // samples with a value, per bucket and series
        bool gapPending = false;

        std::size_t Slot(std::size_t i) const { return (head + i) % start.size(); }
        // The first bucket (index from the oldest) that starts at or after fromMs.
        std::size_t FirstFrom(std::int64_t fromMs) const;
    };

    void AppendTo(Level& level, std::int64_t timeMs, std::span<const double> values);
    double ValueAt(const Level& level, std::size_t slot, std::size_t series) const;

    std::size_t seriesCount_;
    std::vector<Level> levels_;
    std::int64_t lastTimeMs_ = 0;
    bool any_ = false;
};

}  // namespace telv
