// An event-loop latency probe: a timer that fires every few milliseconds and measures how late
// each firing is. A late firing is a stall of the event loop (the operator's clicks and the
// repaints waited that long); the sum of the time beyond each interval is the time it was busy.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace telv::bench {

class LatencyProbe : public QObject {
public:
    static constexpr int kIntervalMs = 2;

    LatencyProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(kIntervalMs);
        connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
    }

    void Start() {
        stalls_.clear();
        busyNs_ = 0;
        clock_.start();
        last_ = 0;
        timer_.start();
    }
    void Stop() { timer_.stop(); }

    // Milliseconds: the longest stall, and the stall that 99 % of the firings stayed within.
    double MaxStallMs() const { return stalls_.empty() ? 0 : *std::max_element(stalls_.begin(), stalls_.end()); }
    double PercentileMs(double p) const {
        if (stalls_.empty()) return 0;
        std::vector<double> sorted = stalls_;
        std::sort(sorted.begin(), sorted.end());
        return sorted[static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1))];
    }
    // The share of the wall time since Start that the event loop spent on other work.
    double BusyShare() const {
        const auto wall = clock_.nsecsElapsed();
        return wall > 0 ? static_cast<double>(busyNs_) / static_cast<double>(wall) : 0;
    }

private:
    void Tick() {
        const std::int64_t now = clock_.nsecsElapsed();
        const std::int64_t late = std::max<std::int64_t>(0, now - last_ - std::int64_t{kIntervalMs} * 1000000);
        stalls_.push_back(static_cast<double>(late) / 1e6);
        busyNs_ += late;
        last_ = now;
    }

    QTimer timer_;
    QElapsedTimer clock_;
    std::int64_t last_ = 0;
    std::int64_t busyNs_ = 0;
    std::vector<double> stalls_;
};

}  // namespace telv::bench
