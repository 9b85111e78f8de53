#include "MonitorTables.h"

#include "RowTexts.h"

#include <algorithm>
#include <vector>

namespace telv {

TListItem* RowItems::Find(Handle handle) const {
    const std::size_t row = rows_.Find(handle);
    return row == LiveRows::npos ? nullptr : ItemOf(rows_[row]);
}

MonitorTables::MonitorTables(TListView& chanelView, TListView& clientView, StatusPanels& statusBar)
    : ChanelListView(chanelView), ClientListView(clientView), statusBar_(statusBar) {}

void MonitorTables::ShowTotals() {
    Totals.ShowTotals(statusBar_, ChanelListView.Count(), ClientListView.Count());
    if (AfterTotals) AfterTotals();
}

void MonitorTables::SessionStarted() {
    FinishPending();
    RecordTables::SessionStarted();
}

void MonitorTables::ChannelListReceived(RecordArray<TELV_UDP_FULL_CHANEL_DATA> records) {
    FinishPending();
    ReplaceChanels(records);
}

void MonitorTables::ClientListReceived(RecordArray<TELV_FULL_CLIENT_DATA> records) {
    FinishPending();
    ReplaceClients(records);
    ResetTotals(true, true);
    RebuildViews();
    ShowTotals();
}

void MonitorTables::ChannelStatisticsReceived(RecordArray<TELV_STATISTICS_DATA> records) {
    ChanelStatisticsPass(records);
}

void MonitorTables::ClientStatisticsReceived(RecordArray<TELV_STATISTICS_DATA> records) {
    ClientStatisticsPass(records);
}

void MonitorTables::RebuildViews() {
    FinishPending();
    chanelUntouched_.MarkAll(ChanelListView.Count());
    clientUntouched_.MarkAll(ClientListView.Count());
    RebuildRows();
    {
        RepaintSuspension chanelRepaint(ChanelListView);
        RepaintSuspension clientRepaint(ClientListView);
        RebuildChanelRows();
        RebuildClientRows();
        RemoveRows(ChanelListView, chanelUntouched_);
        RemoveRows(ClientListView, clientUntouched_);
    }
}

// Walks the records in handle order, so that new rows are added in that order.
void MonitorTables::RebuildChanelRows() {
    TrafficTotals counted;  // the record tables have added the traffic already
    std::size_t k = 0;
    for (const auto& [handle, record] : ChanelData) {
        LiveRow& live = LiveChanels[LiveChanels.RowOfSorted(k++)];
        const TELV_FULL_CLIENT_DATA* linkedClient =
            record.LinkedClient() ? ClientData.Find(record.LinkedClient()) : nullptr;
        TListItem* item = RowItems::ItemOf(live);
        const bool isNew = item == nullptr;
        if (isNew) {
            item = ChanelListView.Add();
            item->Data = handle;
            live.Tag = reinterpret_cast<std::uintptr_t>(item);
        } else {
            chanelUntouched_.Remove(*item);
        }
        ShowChanelRow(item, record, isNew, linkedClient, counted);
        if (isNew) item->AddSubItem();
        item->SubItem(kChanelRateColumn - 1) = RatesCell(live.Rates);
        ChanelListView.Changed(*item);
    }
}

void MonitorTables::RebuildClientRows() {
    TrafficTotals counted;
    std::size_t k = 0;
    for (const auto& [handle, record] : ClientData) {
        LiveRow& live = LiveClients[LiveClients.RowOfSorted(k++)];
        const TELV_UDP_FULL_CHANEL_DATA* linkedChanel =
            record.LinkedChanel() ? ChanelData.Find(record.LinkedChanel()) : nullptr;
        TListItem* item = RowItems::ItemOf(live);
        const bool isNew = item == nullptr;
        if (isNew) {
            item = ClientListView.Add();
            item->Data = handle;
            live.Tag = reinterpret_cast<std::uintptr_t>(item);
        } else {
            clientUntouched_.Remove(*item);
        }
        ShowClientRow(item, record, isNew, linkedChanel, counted);
        if (isNew) item->AddSubItem();
        item->SubItem(kClientRateColumn - 1) = RatesCell(live.Rates);
        ClientListView.Changed(*item);
    }
}

void MonitorTables::ChanelStatisticsPass(RecordArray<TELV_STATISTICS_DATA> records) { StartPass(true, records); }

void MonitorTables::ClientStatisticsPass(RecordArray<TELV_STATISTICS_DATA> records) { StartPass(false, records); }

void MonitorTables::StartPass(bool chanels, RecordArray<TELV_STATISTICS_DATA> records) {
    FinishPending();  // passes never overlap
    ResetTotals(!chanels, chanels);
    (chanels ? ChanelListView : ClientListView).SuspendRepaint();
    pass_ = PiecewisePass{records, chanels, 0, ++passSerial_};
    if (!Later || records.size() <= PassPieceRecords) {
        ContinuePass(records.size(), false);
        return;
    }
    ContinuePass(PassPieceRecords, false);
}

void MonitorTables::FinishPending() {
    if (Pending()) ContinuePass(pass_.Records.size(), false);
}

void MonitorTables::ContinuePass(std::uint32_t to, bool scheduled) {
    const PiecewisePass pass = pass_;
    const bool last = to >= pass.Records.size();
    TListView& view = pass.Chanels ? ChanelListView : ClientListView;
    try {
        if (pass.Chanels)
            PassChanelStatistics(pass.Records, pass.Next, to,
                                 [this](LiveRow& live, const TELV_STATISTICS_DATA& record,
                                        const LinkedState<TELV_FULL_CLIENT_DATA>& linked) {
                                     ShowChanelStatistics(live, record, linked);
                                 });
        else
            PassClientStatistics(pass.Records, pass.Next, to,
                                 [this](LiveRow& live, const TELV_STATISTICS_DATA& record,
                                        const LinkedState<TELV_UDP_FULL_CHANEL_DATA>& linked) {
                                     ShowClientStatistics(live, record, linked);
                                 });
        if (last) EndPass(pass.Chanels ? LiveChanels : LiveClients, view);
    } catch (...) {
        // The pass ends here, with the rows it wrote so far; the view shows them.
        pass_ = PiecewisePass{};
        view.ResumeRepaint();
        throw;
    }
    if (!last) {
        pass_.Next = to;
        Later([this, serial = pass.Serial] {
            if (Pending() && pass_.Serial == serial) ContinuePass(pass_.Next + PassPieceRecords, true);
        });
        return;
    }
    pass_ = PiecewisePass{};
    view.ResumeRepaint();  // the suspension of StartPass: the view hears of the whole pass now
    ShowTotals();
    if (scheduled && PassDone) PassDone();
}

void MonitorTables::ShowChanelStatistics(LiveRow& live, const TELV_STATISTICS_DATA& record,
                                         const LinkedState<TELV_FULL_CLIENT_DATA>& linked) {
    TListItem& row = *RowItems::ItemOf(live);
    row.SubItem(3) = TimeOnLineCell(record.SecondsOnLine());
    row.SubItem(4) = TrafficCell(record.RxBytes(), record.TxBytes());
    if (TrackRates) row.SubItem(kChanelRateColumn - 1) = RatesCell(live.Rates);
    ChanelListView.Changed(row);
    if (!linked.Known) return;  // the state cell keeps its previous text
    if (record.State() == 0)
        row.SubItem(5) = TextCell(CellKind::ChanelFree);
    else if (linked.Record)
        row.SubItem(5) = LinkedWithClientCell(linked.Record);
    else
        row.SubItem(5) = ListCell{};
}

void MonitorTables::ShowClientStatistics(LiveRow& live, const TELV_STATISTICS_DATA& record,
                                         const LinkedState<TELV_UDP_FULL_CHANEL_DATA>& linked) {
    TListItem& row = *RowItems::ItemOf(live);
    row.SubItem(1) = TimeOnLineCell(record.SecondsOnLine());
    row.SubItem(2) = TrafficCell(record.RxBytes(), record.TxBytes());
    if (TrackRates) row.SubItem(kClientRateColumn - 1) = RatesCell(live.Rates);
    ClientListView.Changed(row);
    if (!linked.Known) return;
    switch (record.State()) {
    case 0: row.SubItem(3) = TextCell(CellKind::ClientFree); break;
    case 1: row.SubItem(3) = linked.Record ? LinkedWithDeviceCell(linked.Record) : ListCell{}; break;
    case 2: row.SubItem(3) = TextCell(CellKind::EventTranslation); break;
    default: row.SubItem(3) = ListCell{}; break;
    }
}

void MonitorTables::RemoveRows(TListView& view, UntouchedRows& untouched) {
    view.DeleteWhere([&untouched](int index) { return untouched.Contains(index); });
    untouched.Clear();
}

void MonitorTables::EndPass(LiveRows& rows, TListView& view) {
    std::vector<std::uint8_t> doomed;
    rows.EndPass([&](const LiveRow& live) {
        if (doomed.empty()) doomed.resize(static_cast<std::size_t>(view.Count()));
        doomed[static_cast<std::size_t>(RowItems::ItemOf(live)->Index())] = 1;
    });
    if (!doomed.empty())
        view.DeleteWhere([&doomed](int index) { return doomed[static_cast<std::size_t>(index)] != 0; });
}

}  // namespace telv
