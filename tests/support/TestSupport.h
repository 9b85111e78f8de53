// Helpers shared by the tests that run the console's event loop and the simulator.
#pragma once

#include "Simulator.h"

#include <QCoreApplication>

#include <chrono>
#include <thread>

namespace telv::test {

// Runs the event loop until `done` holds or `limit` has passed; true when it holds.
template <class Condition>
bool PumpUntil(Condition done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Runs the event loop for a while.
inline void PumpFor(std::chrono::milliseconds duration) {
    PumpUntil([] { return false; }, duration);
}

// Simulator options for tests: any free loopback port, no periodic notices.
inline sim::SimOptions QuietOptions(std::uint32_t devices, std::uint32_t clients) {
    sim::SimOptions options;
    options.listenPort = 0;
    options.devices = devices;
    options.clients = clients;
    options.noticeIntervalSeconds = 0;
    return options;
}

// A simulator serving in its own thread for the life of the object; its log is dropped.
class RunningSimulator {
public:
    explicit RunningSimulator(sim::SimOptions options)
        : simulator_(std::move(options), {}, [](const std::string&) {}) {
        started_ = simulator_.Start(error_);
        if (started_) simulator_.RunInThread();
    }
    ~RunningSimulator() {
        if (!started_) return;
        simulator_.Stop();
        simulator_.Join();
    }
    RunningSimulator(const RunningSimulator&) = delete;
    RunningSimulator& operator=(const RunningSimulator&) = delete;

    bool Started() const { return started_; }
    const std::string& Error() const { return error_; }
    std::uint16_t Port() const { return simulator_.Port(); }

private:
    sim::Simulator simulator_;
    std::string error_;
    bool started_ = false;
};

}  // namespace telv::test
