#include "ReconnectBackoff.h"

#include <algorithm>

namespace telv::exporter {

ReconnectBackoff::Millis ReconnectBackoff::BaseDelay(int failures) {
    if (failures <= 0) return Millis{0};
    Millis delay = kFirstDelay;
    for (int i = 1; i < failures && delay < kMaxDelay; ++i) delay *= 2;
    return std::min(delay, kMaxDelay);
}

void ReconnectBackoff::Failed(Clock::time_point now) {
    if (failures_ < 1000) ++failures_;
    const Millis base = BaseDelay(failures_);
    const double u = std::clamp(random_ ? random_() : 0.0, 0.0, 1.0);
    const auto cut = static_cast<Millis::rep>(static_cast<double>(base.count()) * kJitter * u);
    nextAttempt_ = now + (base - Millis{cut});
}

}  // namespace telv::exporter
