#include "MonitorTables.h"

#include "RowTexts.h"

namespace telv {

MonitorTables::MonitorTables(TListView& chanelView, TListView& clientView, StatusPanels& statusBar)
    : ChanelListView(chanelView), ClientListView(clientView), statusBar_(statusBar) {}

void MonitorTables::ReplaceChanels(RecordArray<TELV_UDP_FULL_CHANEL_DATA> records) {
    ChanelData.Refill(records, [](const TELV_UDP_FULL_CHANEL_DATA& r) { return r.ChanelHandle(); });
}

void MonitorTables::ReplaceClients(RecordArray<TELV_FULL_CLIENT_DATA> records) {
    ClientData.Refill(records, [](const TELV_FULL_CLIENT_DATA& r) { return r.ClientHandle(); });
}

void MonitorTables::ShowTotals() { Totals.ShowTotals(statusBar_, ChanelListView.Count(), ClientListView.Count()); }

void MonitorTables::RebuildViews() {
    MarkChanelRows();
    MarkClientRows();
    {
        RepaintSuspension chanelRepaint(ChanelListView);
        RepaintSuspension clientRepaint(ClientListView);
        RebuildChanelRows();
        RebuildClientRows();
        RemoveUntouchedChanelRows();
        RemoveUntouchedClientRows();
    }
    FullListNeeded = false;
}

void MonitorTables::RebuildChanelRows() {
    ChanelItems.reserve(ChanelData.size());
    for (const auto& [handle, record] : ChanelData) {
        const TELV_FULL_CLIENT_DATA* linkedClient =
            record.LinkedClient() ? ClientData.Find(record.LinkedClient()) : nullptr;
        auto [it, isNew] = ChanelItems.try_emplace(handle, nullptr);
        if (isNew) {
            it->second = ChanelListView.Add();
            it->second->Data = handle;
        } else {
            ChanelUntouched.Remove(*it->second);
        }
        ShowChanelRow(it->second, record, isNew, linkedClient, Totals);
        ChanelListView.Changed(*it->second);
    }
}

void MonitorTables::RebuildClientRows() {
    ClientItems.reserve(ClientData.size());
    for (const auto& [handle, record] : ClientData) {
        const TELV_UDP_FULL_CHANEL_DATA* linkedChanel =
            record.LinkedChanel() ? ChanelData.Find(record.LinkedChanel()) : nullptr;
        auto [it, isNew] = ClientItems.try_emplace(handle, nullptr);
        if (isNew) {
            it->second = ClientListView.Add();
            it->second->Data = handle;
        } else {
            ClientUntouched.Remove(*it->second);
        }
        ShowClientRow(it->second, record, isNew, linkedChanel, Totals);
        ClientListView.Changed(*it->second);
    }
}

void MonitorTables::ChanelStatisticsPass(RecordArray<TELV_STATISTICS_DATA> records) {
    MarkChanelRows();
    ResetTotals(false, true);
    {
        RepaintSuspension repaint(ChanelListView);
        for (std::uint32_t i = 0; i < records.size(); ++i) ApplyChanelStatistics(records[i]);
        RemoveUntouchedChanelRows();
    }
    ShowTotals();
}

void MonitorTables::ClientStatisticsPass(RecordArray<TELV_STATISTICS_DATA> records) {
    MarkClientRows();
    ResetTotals(true, false);
    {
        RepaintSuspension repaint(ClientListView);
        for (std::uint32_t i = 0; i < records.size(); ++i) ApplyClientStatistics(records[i]);
        RemoveUntouchedClientRows();
    }
    ShowTotals();
}

void MonitorTables::ApplyChanelStatistics(const TELV_STATISTICS_DATA& record) {
    const auto it = ChanelItems.find(record.OwnHandle());
    if (it == ChanelItems.end()) {
        FullListNeeded = true;
        return;
    }
    TListItem& row = *it->second;
    ChanelUntouched.Remove(row);  // a handle repeated in one message was removed already
    row.SubItem(3) = TimeOnLineCell(record.SecondsOnLine());
    row.SubItem(4) = TrafficCell(record.RxBytes(), record.TxBytes());
    Totals.AddChanel(record.RxBytes(), record.TxBytes());
    ChanelListView.Changed(row);
    ListCell state;
    if (record.State() == 0) {
        state = TextCell(CellKind::ChanelFree);
    } else if (record.State() == 1 && record.LinkedHandle()) {
        const TELV_FULL_CLIENT_DATA* client = ClientData.Find(record.LinkedHandle());
        if (!client) {
            FullListNeeded = true;  // the state cell keeps its previous text
            return;
        }
        state = LinkedWithClientCell(client);
    }
    row.SubItem(5) = state;
}

void MonitorTables::ApplyClientStatistics(const TELV_STATISTICS_DATA& record) {
    const auto it = ClientItems.find(record.OwnHandle());
    if (it == ClientItems.end()) {
        FullListNeeded = true;
        return;
    }
    TListItem& row = *it->second;
    ClientUntouched.Remove(row);
    row.SubItem(1) = TimeOnLineCell(record.SecondsOnLine());
    row.SubItem(2) = TrafficCell(record.RxBytes(), record.TxBytes());
    Totals.AddClient(record.RxBytes(), record.TxBytes());
    ClientListView.Changed(row);
    ListCell state;
    switch (record.State()) {
    case 0: state = TextCell(CellKind::ClientFree); break;
    case 1:
        if (record.LinkedHandle()) {
            const TELV_UDP_FULL_CHANEL_DATA* chanel = ChanelData.Find(record.LinkedHandle());
            if (!chanel) {
                FullListNeeded = true;
                return;
            }
            state = LinkedWithDeviceCell(chanel);
        }
        break;
    case 2: state = TextCell(CellKind::EventTranslation); break;
    default: break;
    }
    row.SubItem(3) = state;
}

void MonitorTables::RemoveUntouchedChanelRows() {
    ChanelListView.DeleteWhere([this](int index) { return ChanelUntouched.Contains(index); },
                               [this](TListItem& row) { ChanelItems.erase(static_cast<Handle>(row.Data)); });
    ChanelUntouched.Clear();
}

void MonitorTables::RemoveUntouchedClientRows() {
    ClientListView.DeleteWhere([this](int index) { return ClientUntouched.Contains(index); },
                               [this](TListItem& row) { ClientItems.erase(static_cast<Handle>(row.Data)); });
    ClientUntouched.Clear();
}

}  // namespace telv
