#include "TrafficRates.h"

namespace telv {
namespace {

// The counter's step divided by the seconds elapsed, or none when it is no plausible step.
std::optional<std::uint32_t> PerSecond(std::uint32_t before, std::uint32_t after, std::uint32_t seconds) {
    const std::uint32_t step = after - before;  // modulo 2^32: a wrap gives the true step
    if (step >= kMaxCounterStep) return std::nullopt;
    return static_cast<std::uint32_t>((std::uint64_t{step} + seconds / 2) / seconds);
}

}  // namespace

std::optional<ByteRates> NextRates(const std::optional<RateSample>& previous,
                                   const std::optional<ByteRates>& previousRates, const RateSample& next) {
    if (!previous || next.SecondsOnLine < previous->SecondsOnLine) return std::nullopt;
    const std::uint32_t seconds = next.SecondsOnLine - previous->SecondsOnLine;
    if (seconds == 0) return previousRates;
    const std::optional<std::uint32_t> rx = PerSecond(previous->RxBytes, next.RxBytes, seconds);
    const std::optional<std::uint32_t> tx = PerSecond(previous->TxBytes, next.TxBytes, seconds);
    if (!rx || !tx) return std::nullopt;
    return ByteRates{*rx, *tx};
}

}  // namespace telv
