// What the connection hands to the tables it feeds: the server's lists and statistics in the
// order they arrived, and what it asks of them: whether the next periodic request must fetch the
// full lists. The window's tables and the exporter's both implement it.
#pragma once

#include "Records.h"

namespace telv {

class SessionTables {
public:
    virtual ~SessionTables() = default;
    // The handshake is done: the tables are out of step until the full lists have arrived.
    virtual void SessionStarted() = 0;
    virtual bool NeedsFullList() const = 0;
    // The records stay readable only for the call.
    virtual void ChannelListReceived(RecordArray<TELV_UDP_FULL_CHANEL_DATA> records) = 0;
    virtual void ClientListReceived(RecordArray<TELV_FULL_CLIENT_DATA> records) = 0;
    virtual void ChannelStatisticsReceived(RecordArray<TELV_STATISTICS_DATA> records) = 0;
    virtual void ClientStatisticsReceived(RecordArray<TELV_STATISTICS_DATA> records) = 0;
};

}  // namespace telv
