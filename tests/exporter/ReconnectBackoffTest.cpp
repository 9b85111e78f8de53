// The reconnection delays: doubling from 1 s to 60 s, jitter within a fifth below, a fresh start
// after success; time from a fake clock.
#include "ReconnectBackoff.h"

#include <gtest/gtest.h>

namespace telv::exporter {
namespace {

using namespace std::chrono_literals;
using Clock = ReconnectBackoff::Clock;

TEST(ReconnectBackoff, DoublesUpToAMinute) {
    const std::vector<std::chrono::milliseconds> expected = {1s, 2s, 4s, 8s, 16s, 32s, 60s, 60s, 60s};
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(ReconnectBackoff::BaseDelay(static_cast<int>(i + 1)), expected[i]) << i;
    EXPECT_EQ(ReconnectBackoff::BaseDelay(100000), 60s);
}

TEST(ReconnectBackoff, DueAfterTheDelayOnTheFakeClock) {
    ReconnectBackoff backoff([] { return 0.0; });
    const Clock::time_point t0{std::chrono::hours(1)};
    EXPECT_TRUE(backoff.Due(t0));  // nothing failed yet
    backoff.Failed(t0);
    EXPECT_FALSE(backoff.Due(t0 + 999ms));
    EXPECT_TRUE(backoff.Due(t0 + 1s));
    backoff.Failed(t0 + 1s);
    EXPECT_FALSE(backoff.Due(t0 + 2999ms));
    EXPECT_TRUE(backoff.Due(t0 + 3s));
    for (int i = 0; i < 20; ++i) backoff.Failed(t0);
    EXPECT_EQ(backoff.NextAttempt(), t0 + 60s);
    backoff.Succeeded();
    backoff.Failed(t0);
    EXPECT_EQ(backoff.NextAttempt(), t0 + 1s);
}

TEST(ReconnectBackoff, JitterShortensByAtMostAFifth) {
    for (const double u : {0.0, 0.25, 0.5, 0.999999}) {
        ReconnectBackoff backoff([u] { return u; });
        const Clock::time_point t0{};
        for (int failures = 1; failures <= 8; ++failures) {
            backoff.Failed(t0);
            const auto delay = backoff.NextAttempt() - t0;
            const auto base = ReconnectBackoff::BaseDelay(failures);
            EXPECT_LE(delay, base);
            EXPECT_GE(delay, base * 4 / 5);
            EXPECT_LE(delay, 60s);
        }
    }
    // Two servers failing together with different random draws are retried apart.
    ReconnectBackoff a([] { return 0.1; }), b([] { return 0.9; });
    a.Failed(Clock::time_point{});
    b.Failed(Clock::time_point{});
    EXPECT_NE(a.NextAttempt(), b.NextAttempt());
}

}  // namespace
}  // namespace telv::exporter
