#include "TrafficHistory.h"

#include "Sysutil.h"

#include <cmath>
#include <limits>

namespace telv {
namespace {

constexpr std::int64_t kSecondMs = 1000;
// A clock stepped back by no more than this is taken as standing still.
constexpr std::int64_t kClockSlackMs = 60 * kSecondMs;

std::int64_t FloorTo(std::int64_t time, std::int64_t step) {
    const std::int64_t r = time % step;
    return r < 0 ? time - r - step : time - r;
}

}  // namespace

RangeResolution ResolutionOf(ChartRange range) {
    switch (range) {
    case ChartRange::FiveMinutes: return {5 * 60 * kSecondMs, kSecondMs, 5 * 60 + 60};
    case ChartRange::OneHour: return {3600 * kSecondMs, 10 * kSecondMs, 360 + 12};
    case ChartRange::OneDay: break;
    }
    return {24 * 3600 * kSecondMs, 240 * kSecondMs, 360 + 10};
}

TrafficHistory::TrafficHistory(std::size_t seriesCount) : seriesCount_(seriesCount) {
    for (int r = 0; r < kChartRangeCount; ++r) {
        Level level;
        level.resolution = ResolutionOf(static_cast<ChartRange>(r));
        const std::size_t capacity = level.resolution.Capacity;
        level.start.assign(capacity, 0);
        level.newRun.assign(capacity, 0);
        level.sum.assign(capacity * seriesCount_, 0.0);
        level.count.assign(capacity * seriesCount_, 0);
        levels_.push_back(std::move(level));
    }
}

void TrafficHistory::Append(std::int64_t timeMs, std::span<const double> values) {
    if (any_ && timeMs < lastTimeMs_) {
        if (lastTimeMs_ - timeMs > kClockSlackMs)
            Clear();
        else
            timeMs = lastTimeMs_;
    }
    for (Level& level : levels_) AppendTo(level, timeMs, values);
    lastTimeMs_ = timeMs;
    any_ = true;
}

void TrafficHistory::AppendTo(Level& level, std::int64_t timeMs, std::span<const double> values) {
    const std::int64_t bucket = FloorTo(timeMs, level.resolution.BucketMs);
    const std::size_t capacity = level.start.size();
    std::size_t slot = 0;
    if (level.size > 0 && !level.gapPending && level.start[level.Slot(level.size - 1)] == bucket) {
        slot = level.Slot(level.size - 1);
    } else {
        if (level.size < capacity) {
            ++level.size;
        } else {
            level.head = (level.head + 1) % capacity;
        }
        slot = level.Slot(level.size - 1);
        level.start[slot] = bucket;
        level.newRun[slot] = level.gapPending ? 1 : 0;
        level.gapPending = false;
        std::fill_n(level.sum.begin() + static_cast<std::ptrdiff_t>(slot * seriesCount_), seriesCount_, 0.0);
        std::fill_n(level.count.begin() + static_cast<std::ptrdiff_t>(slot * seriesCount_), seriesCount_, 0u);
    }
    const std::size_t n = std::min(values.size(), seriesCount_);
    for (std::size_t s = 0; s < n; ++s) {
        if (!std::isfinite(values[s])) continue;
        level.sum[slot * seriesCount_ + s] += values[s];
        ++level.count[slot * seriesCount_ + s];
    }
}

void TrafficHistory::AddGap() {
    for (Level& level : levels_)
        if (level.size > 0) level.gapPending = true;
}

void TrafficHistory::ClearSeries(std::size_t series) {
    if (series >= seriesCount_) return;
    for (Level& level : levels_)
        for (std::size_t slot = 0; slot < level.start.size(); ++slot) {
            level.sum[slot * seriesCount_ + series] = 0.0;
            level.count[slot * seriesCount_ + series] = 0;
        }
}

void TrafficHistory::Clear() {
    for (Level& level : levels_) {
        level.head = level.size = 0;
        level.gapPending = false;
    }
    lastTimeMs_ = 0;
    any_ = false;
}

std::size_t TrafficHistory::Level::FirstFrom(std::int64_t fromMs) const {
    // Bucket starts grow from the oldest to the newest: a binary search.
    std::size_t low = 0, high = size;
    while (low < high) {
        const std::size_t mid = low + (high - low) / 2;
        if (start[Slot(mid)] < fromMs)
            low = mid + 1;
        else
            high = mid;
    }
    return low;
}

double TrafficHistory::ValueAt(const Level& level, std::size_t slot, std::size_t series) const {
    const std::uint32_t n = level.count[slot * seriesCount_ + series];
    return n ? level.sum[slot * seriesCount_ + series] / n : std::numeric_limits<double>::quiet_NaN();
}

std::vector<std::vector<HistoryPoint>> TrafficHistory::Runs(ChartRange range, std::size_t series,
                                                            std::int64_t fromMs) const {
    std::vector<std::vector<HistoryPoint>> runs;
    if (series >= seriesCount_) return runs;
    const Level& level = levels_[static_cast<std::size_t>(range)];
    bool open = false;
    for (std::size_t i = level.FirstFrom(fromMs); i < level.size; ++i) {
        const std::size_t slot = level.Slot(i);
        const double value = ValueAt(level, slot, series);
        if (std::isnan(value)) {
            open = false;
            continue;
        }
        if (!open || level.newRun[slot]) runs.emplace_back();
        open = true;
        runs.back().push_back({level.start[slot], value});
    }
    return runs;
}

std::size_t TrafficHistory::BucketCount(ChartRange range, std::int64_t fromMs) const {
    const Level& level = levels_[static_cast<std::size_t>(range)];
    return level.size - level.FirstFrom(fromMs);
}

ExportTable TrafficHistory::Table(ChartRange range, std::int64_t fromMs, std::vector<Column> columns,
                                  std::function<std::string(std::int64_t)> timeText) const {
    ExportTable table;
    std::erase_if(columns, [this](const Column& c) { return c.Series >= seriesCount_; });
    table.Captions.push_back("Время");
    for (const Column& column : columns) table.Captions.push_back(column.Caption);
    const Level& level = levels_[static_cast<std::size_t>(range)];
    const std::size_t first = level.FirstFrom(fromMs);
    table.RowCount = level.size - first;
    table.Cell = [this, &level, first, columns = std::move(columns), timeText = std::move(timeText)](
                     std::size_t row, std::size_t column) -> std::string {
        const std::size_t slot = level.Slot(first + row);
        if (column == 0) return timeText(level.start[slot]);
        const double value = ValueAt(level, slot, columns[column - 1].Series);
        return std::isnan(value) ? std::string() : Format("%.0f", value);
    };
    return table;
}

std::size_t TrafficHistory::MemoryBytes() const {
    std::size_t bytes = 0;
    for (const Level& level : levels_)
        bytes += level.start.capacity() * sizeof(std::int64_t) + level.newRun.capacity() +
                 level.sum.capacity() * sizeof(double) + level.count.capacity() * sizeof(std::uint32_t);
    return bytes;
}

}  // namespace telv
