// The start of the benchmarks that need a window application: one QApplication for the whole run,
// on the offscreen platform unless QT_QPA_PLATFORM names another.
#pragma once

#include <QApplication>
#include <QtGlobal>

#include <benchmark/benchmark.h>

#include <functional>

namespace telv::bench {

// Runs body inside the application and returns its exit status.
template <class Body>
int RunInApplication(int& argc, char** argv, Body&& body) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return body();
}

// Google Benchmark's main inside the application. beforeShutdown runs after the last benchmark,
// while the application still exists (to free the widgets the benchmarks kept).
inline int RunBenchmarksInApplication(int argc, char** argv, const std::function<void()>& beforeShutdown = {}) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    return RunInApplication(argc, argv, [&] {
        benchmark::RunSpecifiedBenchmarks();
        if (beforeShutdown) beforeShutdown();
        benchmark::Shutdown();
        return 0;
    });
}

}  // namespace telv::bench
