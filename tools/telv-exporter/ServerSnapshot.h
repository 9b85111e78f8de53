// What a scrape shows of one server: its connection status and, while it is up, the state of its
// tables at the end of its last refresh. Snapshots are immutable once published, so a scrape sees
// a server's old values or its new ones, never a mix.
#pragma once

#include "RecordTables.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace telv::exporter {

// The reasons of telv_connection_failures_total, all of them present from the start.
inline constexpr const char* kFailureReasons[] = {"refused", "timeout", "unreachable", "resolve",
                                                  "connect", "handshake", "closed"};

// At most this many client kinds are told apart; the rest count as kind "other", so that a server
// sending arbitrary type codes cannot flood the scrape.
inline constexpr std::size_t kMaxClientKinds = 64;

struct ChannelSeries {
    std::string device;  // the device ID text
    Handle handle = 0;
    std::uint32_t rxBytes = 0;
    std::uint32_t txBytes = 0;
};

// The tables of a server at the end of one refresh.
struct TableSnapshot {
    std::uint64_t channelsFree = 0;
    std::uint64_t channelsLinked = 0;
    std::uint64_t channelsOther = 0;
    std::map<std::string, std::uint64_t> clientsByKind;
    std::uint64_t channelRxBytes = 0;
    std::uint64_t channelTxBytes = 0;
    std::uint64_t clientRxBytes = 0;
    std::uint64_t clientTxBytes = 0;
    std::vector<ChannelSeries> channels;  // per-channel series, at most the limit
    std::uint64_t channelsLeftOut = 0;    // rows beyond the limit
};

// Reads the rows of the tables; per-channel series only when `perChannelLimit` is given.
TableSnapshot SnapshotTables(const RecordTables& tables, bool perChannel, std::size_t perChannelLimit);

struct ServerSnapshot {
    std::string name;
    bool up = false;
    std::string version;  // "a.b.c.d" once a server has replied, else empty
    std::uint64_t connects = 0;
    std::map<std::string, std::uint64_t> failures;  // by reason
    std::uint64_t channelSeriesDropped = 0;
    double lastRefreshSeconds = 0;  // Unix time of the last finished refresh; 0 = none yet
    double refreshDurationSeconds = 0;
    std::shared_ptr<const TableSnapshot> tables;  // of the last refresh; served only while up
};

}  // namespace telv::exporter
