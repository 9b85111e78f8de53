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

    // Tables may handle a very large message over several turns of the event loop. While one is
    // pending, its records must stay readable where they are: the connection hands over no
    // other message and does not touch its receive buffer until the tables say they are done
    // (through a hook of their own), or until it asks them to finish at once.
    virtual bool Pending() const { return false; }
    virtual void FinishPending() {}
};

}  // namespace telv
