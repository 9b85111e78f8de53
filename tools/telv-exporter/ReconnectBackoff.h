// When to try a server again after a failed or lost connection: 1 s after the first failure,
// doubling with each further one up to 60 s, each delay shortened by a random part of up to a
// fifth, so that servers that went down together are not all retried in the same instant.
// Pure: time and randomness come from the caller.
#pragma once

#include <chrono>
#include <functional>

namespace telv::exporter {

class ReconnectBackoff {
public:
    using Clock = std::chrono::steady_clock;
    using Millis = std::chrono::milliseconds;
    static constexpr Millis kFirstDelay{1000};
    static constexpr Millis kMaxDelay{60000};
    static constexpr double kJitter = 0.2;

    // `random` returns numbers in [0, 1).
    explicit ReconnectBackoff(std::function<double()> random) : random_(std::move(random)) {}

    // An attempt failed (or a connection was lost) at `now`: the next one waits longer.
    void Failed(Clock::time_point now);
    // The connection is sound again: the next failure starts from the first delay.
    void Succeeded() { failures_ = 0; }
    // Whether an attempt may start at `now`.
    bool Due(Clock::time_point now) const { return now >= nextAttempt_; }

    Clock::time_point NextAttempt() const { return nextAttempt_; }
    int Failures() const { return failures_; }
    // The delay before the attempt after `failures` failures in a row, before jitter.
    static Millis BaseDelay(int failures);

private:
    std::function<double()> random_;
    int failures_ = 0;
    Clock::time_point nextAttempt_{};
};

}  // namespace telv::exporter
