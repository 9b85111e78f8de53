// Traffic rates of a row: bytes per second received and sent, from two successive samples of the
// row's seconds on line and byte counters (statistics, or the full record of a rebuild).
//
// One step of the rule, for each new sample of a row:
// - no previous sample (a new row, or the first sample after connecting): no rate;
// - seconds on line went back (a new connection of the device, or a server whose clock jumped):
//   no rate;
// - seconds on line did not advance: the previous rate stays (none stays none);
// - otherwise each counter's difference modulo 2^32 (a 32-bit counter that wrapped while the
//   seconds grew) divided by the seconds elapsed. A difference of half the counter range or more
//   is not a plausible wrap but a counter that went back (a reset that the seconds do not show):
//   no rate. So a rate is never negative and stays below 2^31 bytes per second.
#pragma once

#include <cstdint>
#include <optional>

namespace telv {

// Bytes per second, rounded to the nearest whole byte.
struct ByteRates {
    std::uint32_t Rx = 0;
    std::uint32_t Tx = 0;
    bool operator==(const ByteRates&) const = default;
};

// What a row reports at one moment.
struct RateSample {
    std::uint32_t SecondsOnLine = 0;
    std::uint32_t RxBytes = 0;
    std::uint32_t TxBytes = 0;
};

// A counter difference of this much or more is taken as a reset, not a wrap.
inline constexpr std::uint32_t kMaxCounterStep = 0x80000000u;

// The rate after `next`, given the row's previous sample (none: the row has none) and the rate
// it showed (none: no rate). Inline: the statistics pass runs it once per row.
inline std::optional<ByteRates> NextRates(const std::optional<RateSample>& previous,
                                          const std::optional<ByteRates>& previousRates, const RateSample& next) {
    if (!previous || next.SecondsOnLine < previous->SecondsOnLine) return std::nullopt;
    const std::uint32_t seconds = next.SecondsOnLine - previous->SecondsOnLine;
    if (seconds == 0) return previousRates;
    // Modulo 2^32: a counter that wrapped gives its true step.
    const std::uint32_t rx = next.RxBytes - previous->RxBytes;
    const std::uint32_t tx = next.TxBytes - previous->TxBytes;
    if (rx >= kMaxCounterStep || tx >= kMaxCounterStep) return std::nullopt;
    // One division for both; the quotients are below 2^31 and exact to far below a byte.
    const double perSecond = 1.0 / seconds;
    return ByteRates{static_cast<std::uint32_t>(rx * perSecond + 0.5), static_cast<std::uint32_t>(tx * perSecond + 0.5)};
}

// The per-row state the rule needs beside the row's latest values: its rate, and whether those
// values are a sample to step from. 12 bytes per row.
struct RowRates {
    ByteRates Rates;
    bool Known = false;    // Rates holds a rate
    bool Sampled = false;  // the row's values are a sample of this connection

    std::optional<ByteRates> Current() const { return Known ? std::optional<ByteRates>(Rates) : std::nullopt; }
    // Steps from `previous` (the row's values before `next`) to `next`.
    void Step(const RateSample& previous, const RateSample& next) {
        const std::optional<ByteRates> rates =
            NextRates(Sampled ? std::optional<RateSample>(previous) : std::nullopt, Current(), next);
        Known = rates.has_value();
        if (rates) Rates = *rates;
        Sampled = true;
    }
    // The row's values no longer count as a sample (a new connection): no rate until two more.
    void Forget() { *this = RowRates{}; }
};

// Sums of the rates of the rows that have one, in bytes per second.
struct RateTotals {
    std::uint64_t Rx = 0;
    std::uint64_t Tx = 0;
    std::uint32_t RowsWithRate = 0;
    void Add(const ByteRates& rates) {
        Rx += rates.Rx;
        Tx += rates.Tx;
        ++RowsWithRate;
    }
};

}  // namespace telv
