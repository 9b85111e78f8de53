// The channel and client tables: the records of the server's last full lists, keyed by handle,
// and the rows of the two list views kept in step with them.
#pragma once

#include "HandleMap.h"
#include "ListView.h"
#include "Records.h"
#include "StatusPanels.h"
#include "TrafficTotals.h"

#include <unordered_map>

namespace telv {

class MonitorTables {
public:
    MonitorTables(TListView& chanelView, TListView& clientView, StatusPanels& statusBar);

    // Message 32: the stored channel records become those of the list; the view is untouched.
    void ReplaceChanels(RecordArray<TELV_UDP_FULL_CHANEL_DATA> records);
    // Message 48: the stored client records become those of the list.
    void ReplaceClients(RecordArray<TELV_FULL_CLIENT_DATA> records);
    // Reconciles both views with the stored records: rows of kept handles stay where they are
    // with their selection, new handles get rows at the end, rows of gone handles are deleted.
    void RebuildViews();
    // Messages 33 and 49: time, traffic and state of existing rows; rows not mentioned go.
    void ChanelStatisticsPass(RecordArray<TELV_STATISTICS_DATA> records);
    void ClientStatisticsPass(RecordArray<TELV_STATISTICS_DATA> records);

    void ResetTotals(bool clients, bool chanels) { Totals.ResetTotals(clients, chanels); }
    void ShowTotals();

    TListView& ChanelListView;
    TListView& ClientListView;

    ChanelTable ChanelData;
    ClientTable ClientData;
    std::unordered_map<Handle, TListItem*> ChanelItems;
    std::unordered_map<Handle, TListItem*> ClientItems;
    UntouchedRows ChanelUntouched;
    UntouchedRows ClientUntouched;
    // The tables are out of step with the server: the next periodic request asks for the lists.
    bool FullListNeeded = false;
    TrafficTotals Totals;

private:
    void MarkChanelRows() { ChanelUntouched.MarkAll(ChanelListView.Count()); }
    void MarkClientRows() { ClientUntouched.MarkAll(ClientListView.Count()); }
    void ApplyChanelStatistics(const TELV_STATISTICS_DATA& record);
    void ApplyClientStatistics(const TELV_STATISTICS_DATA& record);
    void RemoveUntouchedChanelRows();
    void RemoveUntouchedClientRows();
    void RebuildChanelRows();
    void RebuildClientRows();

    StatusPanels& statusBar_;
};

// Suspends a view's repainting for a scope, resuming it also when an exception leaves early.
class RepaintSuspension {
public:
    explicit RepaintSuspension(TListView& view) : view_(view) { view_.SuspendRepaint(); }
    ~RepaintSuspension() { view_.ResumeRepaint(); }
    RepaintSuspension(const RepaintSuspension&) = delete;
    RepaintSuspension& operator=(const RepaintSuspension&) = delete;

private:
    TListView& view_;
};

}  // namespace telv
