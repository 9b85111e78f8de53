// One watched server: the shared connection controller and record tables, driven without a
// window. It connects, keeps the periodic requests going, reconnects with backoff after a failure
// or a loss, writes the connection's log lines to the exporter's log and publishes a snapshot at
// the end of each refresh and at each change of the connection.
#pragma once

#include "ConnectionController.h"
#include "ExporterConfig.h"
#include "ReconnectBackoff.h"
#include "ServerSnapshot.h"

#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace telv::exporter {

// The record tables, telling the monitor when a refresh has finished: a client list or client
// statistics ends each request cycle.
class ExporterTables : public RecordTables {
public:
    std::function<void()> onSessionStarted;
    std::function<void()> onRefreshed;

    void SessionStarted() override;
    void ClientListReceived(RecordArray<TELV_FULL_CLIENT_DATA> records) override;
    void ClientStatisticsReceived(RecordArray<TELV_STATISTICS_DATA> records) override;
};

struct MonitorOptions {
    bool perChannel = false;
    std::size_t perChannelLimit = kDefaultPerChannelLimit;
    // A TCP connection not set up within this time is abandoned and counted as a timeout.
    std::chrono::milliseconds connectTimeout{10000};
};

class ServerMonitor : private ConnectionView {
public:
    using Publisher = std::function<void(std::shared_ptr<const ServerSnapshot>)>;
    using LogSink = std::function<void(const std::string& line)>;

    ServerMonitor(ServerConfig config, MonitorOptions options, Publisher publish, LogSink log,
                  std::function<double()> random);
    ~ServerMonitor() override;
    ServerMonitor(const ServerMonitor&) = delete;
    ServerMonitor& operator=(const ServerMonitor&) = delete;

    // Publishes the first snapshot and starts connecting.
    void Start();

    const ServerConfig& Config() const { return config_; }
    bool Up() const { return phase_ == Phase::Up; }
    ConnectionController& Controller() { return controller_; }
    ExporterTables& Tables() { return tables_; }

    // The reason of a connection attempt that failed with this socket error.
    static const char* ReasonOfError(int error);

private:
    enum class Phase { Idle, Connecting, Handshake, Up };

    // ConnectionView
    std::string AddressText() const override { return config_.address; }
    std::string PortText() const override { return std::to_string(config_.port); }
    void SetServerEditsEnabled(bool) override {}
    void SetConnectCaption(const std::string&) override {}
    bool AutoRequestChecked() const override { return true; }
    bool EventsChecked() const override { return config_.events; }
    void LogEvent(const std::string& text) override;
    void ServerConnected(const std::string&, const std::string&, std::uint16_t) override;
    void ServerVersionReceived(const std::string& version) override;
    void ConnectAttemptFailed(int error, const std::string& text) override;
    void ConnectionEnded(ConnectionEnd how) override;

    void Tick();
    void Refresh();
    void Attempt();
    void SessionStarted();
    void Refreshed();
    void CheckEnded();
    void Ended(const char* reason);
    void Publish();

    ServerConfig config_;
    MonitorOptions options_;
    Publisher publish_;
    LogSink log_;
    ExporterTables tables_;
    ConnectionController controller_;
    ReconnectBackoff backoff_;
    QTimer tick_;
    QTimer refresh_;

    Phase phase_ = Phase::Idle;
    ReconnectBackoff::Clock::time_point attemptStarted_{};
    const char* pendingReason_ = nullptr;  // set when the monitor itself abandons an attempt
    int lastError_ = 0;                     // of the failed attempt
    bool refreshPending_ = false;
    ReconnectBackoff::Clock::time_point refreshStarted_{};

    ServerSnapshot status_;  // the snapshot being kept up to date; copies are published
};

}  // namespace telv::exporter
