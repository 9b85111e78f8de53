// The exporter's metrics as prometheus-cpp collects them: one published snapshot per server,
// swapped whole under a lock by the event loop and read by the exposer's threads at each scrape.
#pragma once

#include "ServerSnapshot.h"

#include <prometheus/collectable.h>
#include <prometheus/metric_family.h>

#include <memory>
#include <mutex>
#include <vector>

namespace telv::exporter {

// The metric families of the given snapshots, in a fixed order; servers in the given order.
std::vector<prometheus::MetricFamily> BuildFamilies(const std::vector<std::shared_ptr<const ServerSnapshot>>& servers,
                                                    bool perChannel);

class MetricsCollector : public prometheus::Collectable {
public:
    MetricsCollector(std::size_t servers, bool perChannel) : snapshots_(servers), perChannel_(perChannel) {}

    // Replaces the snapshot of server `slot`.
    void Publish(std::size_t slot, std::shared_ptr<const ServerSnapshot> snapshot);
    std::vector<prometheus::MetricFamily> Collect() const override;

private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<const ServerSnapshot>> snapshots_;
    const bool perChannel_;
};

}  // namespace telv::exporter
