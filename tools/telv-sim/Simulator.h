// The simulated TELV server: listens on one address, serves several consoles at once from one
// poll loop (non-blocking sockets, an output queue per console), keeps the population going
// (time, traffic, churn), carries out the operator's commands, sends notices, and applies the
// fault modes. Runs in the calling thread or in a thread of its own.
#pragma once

#include "ConsoleConnection.h"
#include "OutputQueue.h"
#include "Population.h"
#include "ServerSide.h"
#include "SimOptions.h"
#include "SimRandom.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace telv::sim {

// The version the simulated server reports.
inline constexpr std::uint8_t kServerVersion[4] = {2, 4, 0, 31};
// How long a device takes to close after "close after its polling interval".
inline constexpr Millis kPollingInterval{2000};
// How long a closing connection waits for the console to close its side.
inline constexpr Millis kLinger{2000};

class Simulator {
public:
    // Monotonic milliseconds; tests pass a clock they move by hand.
    using Clock = std::function<Millis()>;
    // Receives each log line without its end of line.
    using LogSink = std::function<void(const std::string&)>;

    // Without a clock the steady clock is used; without a sink lines go to stderr.
    explicit Simulator(SimOptions options, Clock clock = {}, LogSink log = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Builds the population and binds the listening socket. Port() is valid afterwards.
    bool Start(std::string& error);
    std::uint16_t Port() const { return port_; }

    // Serves until Stop() or the end of --seconds; returns at once if Start failed or was not called.
    void Run();
    void RunInThread();
    // Safe from any thread and from a signal handler.
    void Stop();
    void Join();

private:
    struct PendingClose {
        Handle handle;
        DeviceIdField deviceId;  // the handle may have gone to a newcomer by the time it is due
        Millis due;
        std::uint32_t issuer;
    };

    Millis Now() const;
    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void LogConnection(const ConsoleConnection& c, const char* format, ...) __attribute__((format(printf, 3, 4)));

    int PollTimeout(Millis now) const;
    void AcceptAll();
    void ServeConnection(ConsoleConnection& c, short revents, Millis now);
    void ProcessInput(ConsoleConnection& c, Millis now);
    void HandleMessage(ConsoleConnection& c, const server::ConsoleMessage& m, Millis now);
    void HandleChanelCommand(ConsoleConnection& c, const server::ConsoleMessage& m, Millis now);
    void HandleClientClose(ConsoleConnection& c, const server::ConsoleMessage& m, Millis now);
    void FlushConnection(ConsoleConnection& c, Millis now);
    void BeginClose(ConsoleConnection& c, const std::string& reason);
    void Drop(ConsoleConnection& c, const std::string& reason, Millis now);
    bool WantsInput(const ConsoleConnection& c) const;

    void RunTimers(Millis now);
    void Tick(Millis now);
    void PeriodicNotices(Millis now);
    void FeedFlood(Millis now);

    void Queue(ConsoleConnection& c, Bytes bytes, Millis at);
    void QueueListReply(ConsoleConnection& c, SharedBytes reply, Millis at);
    void QueueGarbage(ConsoleConnection& c, std::size_t length, int forbiddenFirstByte, Millis at);
    void QueueRunningGarbage(ConsoleConnection& c, Millis at);
    // A notice to the consoles that translate events, and to the one that caused it (if any).
    void Notify(const SharedBytes& notice, std::uint32_t issuer, Millis issuerAt, Millis now);
    void NotifyClientClosed(const RemovedClient& removed, std::uint32_t issuer, Millis issuerAt, Millis now);
    void RefreshConsoleRows();
    SharedBytes ChanelList();
    SharedBytes ChanelStatistics();

    SimOptions options_;
    Clock clock_;
    LogSink log_;
    std::unique_ptr<Population> population_;
    SimRandom rng_;

    int listenFd_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopRequested_{false};
    std::thread thread_;

    std::vector<std::unique_ptr<ConsoleConnection>> connections_;
    std::uint32_t nextConnectionId_ = 1;
    std::vector<PendingClose> pendingCloses_;

    Millis start_{0};
    Millis nextTick_{0};
    Millis nextNotice_{0};
    std::optional<Millis> end_;
    double churnCarry_ = 0;
    Millis nextFloodReport_{0};
    std::uint64_t floodMessages_ = 0;

    // The channel list and statistics of one state of the channel table, shared by the consoles
    // that ask for it before the table changes.
    SharedBytes chanelListCache_;
    std::uint64_t chanelListVersion_ = 0;
    SharedBytes chanelStatsCache_;
    std::uint64_t chanelStatsVersion_ = 0;
};

}  // namespace telv::sim
