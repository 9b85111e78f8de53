// Measures how late the thread's event loop runs a timer that should fire every few
// milliseconds: each tick's lateness is a stall of the loop (a turn that held it). Start it, run
// the loop, then read the worst and the 99th percentile, and the share of the time the loop was
// busy (the sum of the stalls over the time since Start).
#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace telv::test {

class LoopLatencyProbe {
public:
    explicit LoopLatencyProbe(int periodMs = 5) : periodMs_(periodMs) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(periodMs_);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    }

    void Start() {
        lateMs_.clear();
        clock_.start();
        lastNs_ = 0;
        timer_.start();
    }
    void Stop() { timer_.stop(); }

    std::size_t Samples() const { return lateMs_.size(); }
    // The longest stall, in milliseconds.
    double MaxMs() const { return lateMs_.empty() ? 0 : *std::max_element(lateMs_.begin(), lateMs_.end()); }
    // The stall that fraction of the ticks stayed within (0.99: the 99th percentile).
    double PercentileMs(double fraction) const {
        if (lateMs_.empty()) return 0;
        std::vector<double> sorted = lateMs_;
        const auto at = static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1));
        std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(at), sorted.end());
        return sorted[at];
    }
    double BusyShare() const {
        const std::int64_t wallNs = clock_.nsecsElapsed();
        if (wallNs <= 0) return 0;
        double busyMs = 0;
        for (const double late : lateMs_) busyMs += late;
        return busyMs * 1e6 / static_cast<double>(wallNs);
    }

private:
    void Tick() {
        const std::int64_t nowNs = clock_.nsecsElapsed();
        const double sinceLastMs = static_cast<double>(nowNs - lastNs_) / 1e6;
        lastNs_ = nowNs;
        lateMs_.push_back(std::max(sinceLastMs - periodMs_, 0.0));
    }

    int periodMs_;
    QTimer timer_;
    QElapsedTimer clock_;
    std::int64_t lastNs_ = 0;  // since Start, at the last tick
    std::vector<double> lateMs_;
};

}  // namespace telv::test
