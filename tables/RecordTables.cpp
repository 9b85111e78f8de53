#include "RecordTables.h"

namespace telv {
namespace {

RowValues ChanelValues(const TELV_UDP_FULL_CHANEL_DATA& r) {
    return {r.SecondsOnLine(), r.RxBytes(), r.TxBytes(), r.LinkedClient(), r.State()};
}

RowValues ClientValues(const TELV_FULL_CLIENT_DATA& r) {
    return {r.SecondsOnLine(), r.RxBytes(), r.TxBytes(), r.LinkedChanel(), r.State()};
}

}  // namespace

void RecordTables::SessionStarted() {
    FullListNeeded = true;
    LiveChanels.ForgetSamples();
    LiveClients.ForgetSamples();
}

RateTotals RecordTables::SumRates(const LiveRows& rows) {
    RateTotals totals;
    for (const LiveRow& row : rows)
        if (row.Rates.Known) totals.Add(row.Rates.Rates);
    return totals;
}

void RecordTables::ReplaceChanels(RecordArray<TELV_UDP_FULL_CHANEL_DATA> records) {
    ChanelData.Refill(records, [](const TELV_UDP_FULL_CHANEL_DATA& r) { return r.ChanelHandle(); });
}

void RecordTables::ReplaceClients(RecordArray<TELV_FULL_CLIENT_DATA> records) {
    ClientData.Refill(records, [](const TELV_FULL_CLIENT_DATA& r) { return r.ClientHandle(); });
}

void RecordTables::RebuildRows() {
    LiveChanels.Rebuild(ChanelData, ChanelValues);
    LiveClients.Rebuild(ClientData, ClientValues);
    ChanelRates = SumRates(LiveChanels);
    ClientRates = SumRates(LiveClients);
    for (const auto& [handle, record] : ChanelData) Totals.AddChanel(record.RxBytes(), record.TxBytes());
    for (const auto& [handle, record] : ClientData) Totals.AddClient(record.RxBytes(), record.TxBytes());
    FullListNeeded = false;
}

void RecordTables::UpdateChanelRows(RecordArray<TELV_STATISTICS_DATA> records) {
    ResetTotals(false, true);
    PassChanelStatistics(records, [](LiveRow&, const TELV_STATISTICS_DATA&, const auto&) {});
    LiveChanels.EndPass([](const LiveRow&) {});
}

void RecordTables::UpdateClientRows(RecordArray<TELV_STATISTICS_DATA> records) {
    ResetTotals(true, false);
    PassClientStatistics(records, [](LiveRow&, const TELV_STATISTICS_DATA&, const auto&) {});
    LiveClients.EndPass([](const LiveRow&) {});
}

void RecordTables::ClientListReceived(RecordArray<TELV_FULL_CLIENT_DATA> records) {
    ReplaceClients(records);
    ResetTotals(true, true);
    RebuildRows();
}

void RecordTables::ChannelStatisticsReceived(RecordArray<TELV_STATISTICS_DATA> records) {
    UpdateChanelRows(records);
}

void RecordTables::ClientStatisticsReceived(RecordArray<TELV_STATISTICS_DATA> records) {
    UpdateClientRows(records);
}

}  // namespace telv
