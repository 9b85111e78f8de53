// Ends the event loop on SIGTERM or SIGINT: the handler writes the signal's number to a pipe
// whose reading end a QSocketNotifier watches, so the loop quits from its own thread.
#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace telv::exporter {

class SignalExit {
public:
    // Installs the handlers; `onSignal` runs on the event loop with the signal's number.
    explicit SignalExit(std::function<void(int)> onSignal);
    ~SignalExit();
    SignalExit(const SignalExit&) = delete;
    SignalExit& operator=(const SignalExit&) = delete;
    bool ok() const { return fds_[0] >= 0; }

private:
    int fds_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void(int)> onSignal_;
};

}  // namespace telv::exporter
