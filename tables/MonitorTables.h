// The channel and client tables as the window shows them: the record tables of the connection,
// mirrored in the rows of the two list views.
#pragma once

#include "ListView.h"
#include "RecordTables.h"
#include "StatusPanels.h"

#include <functional>

namespace telv {

// The list item of each row of a table, looked up by handle.
class RowItems {
public:
    explicit RowItems(const LiveRows& rows) : rows_(rows) {}
    std::size_t size() const { return rows_.size(); }
    // The item of a handle's row, or nullptr.
    TListItem* Find(Handle handle) const;

    static TListItem* ItemOf(const LiveRow& row) { return reinterpret_cast<TListItem*>(row.Tag); }

private:
    const LiveRows& rows_;
};

class MonitorTables : public RecordTables {
public:
    MonitorTables(TListView& chanelView, TListView& clientView, StatusPanels& statusBar);

    // Reconciles both views with the stored records: rows of kept handles stay where they are
    // with their selection, new handles get rows at the end, rows of gone handles are deleted.
    void RebuildViews();
    // Messages 33 and 49: time, traffic and state of existing rows; rows not mentioned go.
    void ChanelStatisticsPass(RecordArray<TELV_STATISTICS_DATA> records);
    void ClientStatisticsPass(RecordArray<TELV_STATISTICS_DATA> records);
    void ShowTotals();

    // With a way to run work later on the event loop, a statistics pass over more than
    // PassPieceRecords records goes in pieces of that many, one a turn, so that a refresh of a
    // million rows never holds the window for long. The view is not repainted until the pass
    // ends (no row is ever shown half-updated), and the rows go at the end as in a whole pass.
    // PassDone runs when a pass that went in pieces has ended by itself (not by FinishPending).
    static constexpr std::uint32_t kPassPieceRecords = 65536;
    std::uint32_t PassPieceRecords = kPassPieceRecords;
    std::function<void(std::function<void()>)> Later;
    std::function<void()> PassDone;

    // SessionTables
    void SessionStarted() override;
    void ChannelListReceived(RecordArray<TELV_UDP_FULL_CHANEL_DATA> records) override;
    void ClientListReceived(RecordArray<TELV_FULL_CLIENT_DATA> records) override;
    void ChannelStatisticsReceived(RecordArray<TELV_STATISTICS_DATA> records) override;
    void ClientStatisticsReceived(RecordArray<TELV_STATISTICS_DATA> records) override;
    bool Pending() const override { return pass_.Records.size() > 0; }
    void FinishPending() override;

    TListView& ChanelListView;
    TListView& ClientListView;
    // Runs after every ShowTotals, that is once the handling of a list or statistics message has
    // changed the views (the window samples its traffic chart there).
    std::function<void()> AfterTotals;
    const RowItems ChanelItems{LiveChanels};
    const RowItems ClientItems{LiveClients};

private:
    // A statistics pass under way: its message, the table, and the first record not yet done.
    struct PiecewisePass {
        RecordArray<TELV_STATISTICS_DATA> Records;
        bool Chanels = true;
        std::uint32_t Next = 0;
        unsigned Serial = 0;  // tells a scheduled piece whether its pass is still the one under way
    };

    void StartPass(bool chanels, RecordArray<TELV_STATISTICS_DATA> records);
    // Passes the records up to `to`, and ends the pass after its last one; PassDone runs when
    // a scheduled piece ended it.
    void ContinuePass(std::uint32_t to, bool scheduled);
    void ShowChanelStatistics(LiveRow& live, const TELV_STATISTICS_DATA& record,
                              const LinkedState<TELV_FULL_CLIENT_DATA>& linked);
    void ShowClientStatistics(LiveRow& live, const TELV_STATISTICS_DATA& record,
                              const LinkedState<TELV_UDP_FULL_CHANEL_DATA>& linked);
    void RebuildChanelRows();
    void RebuildClientRows();
    // Deletes the rows the view marked in `untouched` in one pass.
    static void RemoveRows(TListView& view, UntouchedRows& untouched);
    // Deletes the view rows of the live rows a statistics pass did not touch.
    static void EndPass(LiveRows& rows, TListView& view);

    PiecewisePass pass_;
    unsigned passSerial_ = 0;
    UntouchedRows chanelUntouched_;
    UntouchedRows clientUntouched_;
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
