#include "ExporterApp.h"

#include <prometheus/exposer.h>

#include <exception>

namespace telv::exporter {

ExporterApp::ExporterApp(ExporterConfig config, LogSink log)
    : config_(std::move(config)),
      log_(std::move(log)),
      random_(std::random_device{}()),
      collector_(std::make_shared<MetricsCollector>(config_.servers.size(), config_.perChannel)) {}

ExporterApp::~ExporterApp() {
    // The endpoint's threads stop first; then the connections close.
    exposer_.reset();
    monitors_.clear();
}

bool ExporterApp::Start(std::string& error) {
    try {
        exposer_ = std::make_unique<prometheus::Exposer>(config_.listen, 2);
    } catch (const std::exception& e) {
        error = "cannot serve metrics on " + config_.listen + ": " + e.what();
        return false;
    }
    exposer_->RegisterCollectable(collector_);
    MonitorOptions options;
    options.perChannel = config_.perChannel;
    options.perChannelLimit = config_.perChannelLimit;
    for (std::size_t slot = 0; slot < config_.servers.size(); ++slot) {
        monitors_.push_back(std::make_unique<ServerMonitor>(
            config_.servers[slot], options,
            [collector = collector_, slot](std::shared_ptr<const ServerSnapshot> s) {
                collector->Publish(slot, std::move(s));
            },
            log_, [this] { return std::uniform_real_distribution<double>(0.0, 1.0)(random_); }));
    }
    for (auto& monitor : monitors_) monitor->Start();
    return true;
}

int ExporterApp::ListeningPort() const {
    if (!exposer_) return 0;
    const std::vector<int> ports = exposer_->GetListeningPorts();
    return ports.empty() ? 0 : ports.front();
}

}  // namespace telv::exporter
