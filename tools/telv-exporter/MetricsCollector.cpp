#include "MetricsCollector.h"

#include <prometheus/client_metric.h>

#include <string>

namespace telv::exporter {
namespace {

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;

class FamilyBuilder {
public:
    FamilyBuilder(const char* name, const char* help, MetricType type) {
        family_.name = name;
        family_.help = help;
        family_.type = type;
    }

    void Add(const std::string& server, double value, std::initializer_list<ClientMetric::Label> labels = {}) {
        ClientMetric& m = family_.metric.emplace_back();
        m.label.reserve(labels.size() + 1);
        m.label.push_back({"server", server});
        m.label.insert(m.label.end(), labels.begin(), labels.end());
        if (family_.type == MetricType::Counter)
            m.counter.value = value;
        else
            m.gauge.value = value;
    }

    MetricFamily Take() { return std::move(family_); }

private:
    MetricFamily family_;
};

double D(std::uint64_t v) { return static_cast<double>(v); }

}  // namespace

std::vector<MetricFamily> BuildFamilies(const std::vector<std::shared_ptr<const ServerSnapshot>>& servers,
                                        bool perChannel) {
    FamilyBuilder up("telv_up", "1 while the connection to the server is running (handshake done), else 0",
                     MetricType::Gauge);
    FamilyBuilder info("telv_server_info", "The server's version, from its last version reply", MetricType::Gauge);
    FamilyBuilder channels("telv_channels", "Device channel rows by state (free, linked, other)", MetricType::Gauge);
    FamilyBuilder clients("telv_clients", "Client connection rows by client kind", MetricType::Gauge);
    FamilyBuilder chRx("telv_channels_receive_bytes", "Sum of the RX byte counts of the current channel rows",
                       MetricType::Gauge);
    FamilyBuilder chTx("telv_channels_transmit_bytes", "Sum of the TX byte counts of the current channel rows",
                       MetricType::Gauge);
    FamilyBuilder clRx("telv_clients_receive_bytes", "Sum of the RX byte counts of the current client rows",
                       MetricType::Gauge);
    FamilyBuilder clTx("telv_clients_transmit_bytes", "Sum of the TX byte counts of the current client rows",
                       MetricType::Gauge);
    FamilyBuilder connects("telv_connects_total", "Connections that completed the handshake", MetricType::Counter);
    FamilyBuilder failures("telv_connection_failures_total",
                           "Connection attempts that failed and connections that were lost, by reason",
                           MetricType::Counter);
    FamilyBuilder lastRefresh("telv_last_refresh_timestamp_seconds",
                              "Unix time at which the last refresh of the server's tables finished", MetricType::Gauge);
    FamilyBuilder duration("telv_refresh_duration_seconds",
                           "Time from the last refresh request to the end of its answers", MetricType::Gauge);
    FamilyBuilder chanRx("telv_channel_receive_bytes", "RX byte count of one channel (--per-channel)",
                         MetricType::Gauge);
    FamilyBuilder chanTx("telv_channel_transmit_bytes", "TX byte count of one channel (--per-channel)",
                         MetricType::Gauge);
    FamilyBuilder dropped("telv_channel_series_dropped_total",
                          "Per-channel series left out beyond --per-channel-limit, summed over refreshes",
                          MetricType::Counter);

    for (const auto& snapshot : servers) {
        if (!snapshot) continue;
        const ServerSnapshot& s = *snapshot;
        up.Add(s.name, s.up ? 1 : 0);
        if (!s.version.empty()) info.Add(s.name, 1, {{"version", s.version}});
        connects.Add(s.name, D(s.connects));
        for (const char* reason : kFailureReasons) {
            const auto it = s.failures.find(reason);
            failures.Add(s.name, it == s.failures.end() ? 0 : D(it->second), {{"reason", reason}});
        }
        if (s.lastRefreshSeconds > 0) {
            lastRefresh.Add(s.name, s.lastRefreshSeconds);
            duration.Add(s.name, s.refreshDurationSeconds);
        }
        if (perChannel) dropped.Add(s.name, D(s.channelSeriesDropped));
        if (!s.up || !s.tables) continue;
        const TableSnapshot& t = *s.tables;
        channels.Add(s.name, D(t.channelsFree), {{"state", "free"}});
        channels.Add(s.name, D(t.channelsLinked), {{"state", "linked"}});
        channels.Add(s.name, D(t.channelsOther), {{"state", "other"}});
        for (const auto& [kind, count] : t.clientsByKind) clients.Add(s.name, D(count), {{"kind", kind}});
        chRx.Add(s.name, D(t.channelRxBytes));
        chTx.Add(s.name, D(t.channelTxBytes));
        clRx.Add(s.name, D(t.clientRxBytes));
        clTx.Add(s.name, D(t.clientTxBytes));
        if (perChannel) {
            for (const ChannelSeries& c : t.channels) {
                const std::string handle = std::to_string(c.handle);
                chanRx.Add(s.name, c.rxBytes, {{"device", c.device}, {"handle", handle}});
                chanTx.Add(s.name, c.txBytes, {{"device", c.device}, {"handle", handle}});
            }
        }
    }

    std::vector<MetricFamily> families;
    families.reserve(15);
    for (FamilyBuilder* b : {&up, &info, &channels, &clients, &chRx, &chTx, &clRx, &clTx, &connects, &failures,
                             &lastRefresh, &duration})
        families.push_back(b->Take());
    if (perChannel)
        for (FamilyBuilder* b : {&chanRx, &chanTx, &dropped}) families.push_back(b->Take());
    return families;
}

void MetricsCollector::Publish(std::size_t slot, std::shared_ptr<const ServerSnapshot> snapshot) {
    std::shared_ptr<const ServerSnapshot> old;
    {
        const std::lock_guard lock(mutex_);
        if (slot >= snapshots_.size()) return;
        old = std::exchange(snapshots_[slot], std::move(snapshot));
    }
    // `old` (and a large table snapshot with it) is freed here, outside the lock.
}

std::vector<MetricFamily> MetricsCollector::Collect() const {
    std::vector<std::shared_ptr<const ServerSnapshot>> current;
    {
        const std::lock_guard lock(mutex_);
        current = snapshots_;
    }
    return BuildFamilies(current, perChannel_);
}

}  // namespace telv::exporter
