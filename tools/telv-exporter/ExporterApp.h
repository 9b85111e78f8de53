// The running exporter: the metrics endpoint and one monitor per configured server, on the
// calling thread's event loop.
#pragma once

#include "ExporterConfig.h"
#include "MetricsCollector.h"
#include "ServerMonitor.h"

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace prometheus {
class Exposer;
}

namespace telv::exporter {

class ExporterApp {
public:
    using LogSink = ServerMonitor::LogSink;

    ExporterApp(ExporterConfig config, LogSink log);
    ~ExporterApp();
    ExporterApp(const ExporterApp&) = delete;
    ExporterApp& operator=(const ExporterApp&) = delete;

    // Opens the metrics endpoint (false with `error` set when it cannot listen) and starts
    // connecting to every server.
    bool Start(std::string& error);
    // The port the endpoint listens on (after Start).
    int ListeningPort() const;

    const std::vector<std::unique_ptr<ServerMonitor>>& Monitors() const { return monitors_; }
    std::shared_ptr<MetricsCollector> Collector() const { return collector_; }

private:
    ExporterConfig config_;
    LogSink log_;
    std::mt19937_64 random_;
    std::shared_ptr<MetricsCollector> collector_;
    std::unique_ptr<prometheus::Exposer> exposer_;
    std::vector<std::unique_ptr<ServerMonitor>> monitors_;
};

}  // namespace telv::exporter
