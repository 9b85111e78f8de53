// Timing helpers for benchmarks whose iterations need untimed preparation.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>

namespace telv::bench {

// Runs f and reports its wall time as the iteration's time (benchmarks use UseManualTime).
template <class F>
void TimeIteration(benchmark::State& state, F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
}

}  // namespace telv::bench
