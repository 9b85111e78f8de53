// The waits between attempts to get a lost connection back: 1 s, then twice the last wait each
// time, up to a minute. A connection that completes its handshake starts the series again.
#pragma once

#include <algorithm>
#include <chrono>

namespace telv {

class ReconnectBackoff {
public:
    static constexpr std::chrono::milliseconds kFirstDelay{1000};
    static constexpr std::chrono::milliseconds kMaxDelay{60000};

    // The wait before the next attempt; the one after it is twice as long, kMaxDelay at most.
    std::chrono::milliseconds NextDelay() {
        const std::chrono::milliseconds delay = next_;
        next_ = std::min(next_ * 2, kMaxDelay);
        ++attempts_;
        return delay;
    }
    void Reset() {
        next_ = kFirstDelay;
        attempts_ = 0;
    }
    // Waits handed out since the last Reset: the number of the coming attempt.
    int Attempts() const { return attempts_; }

private:
    std::chrono::milliseconds next_ = kFirstDelay;
    int attempts_ = 0;
};

}  // namespace telv
