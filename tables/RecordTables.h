// The record tables of one server connection, without any view: the records of the server's last
// full lists, keyed by handle, the rows those lists made with their latest statistics, and the
// traffic totals. The window mirrors the rows in its list views (MonitorTables); the exporter
// reads them directly.
#pragma once

#include "HandleMap.h"
#include "LiveRows.h"
#include "Records.h"
#include "SessionTables.h"
#include "TrafficTotals.h"

#include <algorithm>
#include <cstdint>

namespace telv {

class RecordTables : public SessionTables {
public:
    // Message 32: the stored channel records become those of the list; the rows are untouched.
    void ReplaceChanels(RecordArray<TELV_UDP_FULL_CHANEL_DATA> records);
    // Message 48: the stored client records become those of the list.
    void ReplaceClients(RecordArray<TELV_FULL_CLIENT_DATA> records);
    // The rows become the stored records (a kept handle keeps its row's tag) and their traffic
    // is added to the totals; the tables are in step again.
    void RebuildRows();
    // Messages 33 and 49 without a view: the rows named take the new values, rows not named go.
    void UpdateChanelRows(RecordArray<TELV_STATISTICS_DATA> records);
    void UpdateClientRows(RecordArray<TELV_STATISTICS_DATA> records);
    void ResetTotals(bool clients, bool chanels) { Totals.ResetTotals(clients, chanels); }

    // SessionTables
    // A new connection: the full lists are needed, and rates start again from its own samples.
    void SessionStarted() override;
    bool NeedsFullList() const override { return FullListNeeded; }
    void ChannelListReceived(RecordArray<TELV_UDP_FULL_CHANEL_DATA> records) override { ReplaceChanels(records); }
    void ClientListReceived(RecordArray<TELV_FULL_CLIENT_DATA> records) override;
    void ChannelStatisticsReceived(RecordArray<TELV_STATISTICS_DATA> records) override;
    void ClientStatisticsReceived(RecordArray<TELV_STATISTICS_DATA> records) override;

    ChanelTable ChanelData;
    ClientTable ClientData;
    LiveRows LiveChanels;
    LiveRows LiveClients;
    // The tables are out of step with the server: the next periodic request asks for the lists.
    bool FullListNeeded = false;
    TrafficTotals Totals;
    // Rows step their traffic rates with every sample (on by default; off only to measure what
    // the rates cost).
    bool TrackRates = true;

    // The sums of the rates of the rows written by the latest rebuild or pass over each table,
    // in bytes per second (rows without a rate add nothing).
    RateTotals ChanelRates;
    RateTotals ClientRates;

protected:
    // What the state of a row's statistics says of the linked record: Known false when the
    // state names a record that is not stored (the row's state stays as it was shown).
    template <class Linked>
    struct LinkedState {
        const Linked* Record = nullptr;
        bool Known = true;
    };

    // One statistics pass over the channel (client) rows: each record found updates its row and
    // the totals, then `onRow(row, record, linked)` runs; a handle without a row, or a linked
    // handle without a record, marks the tables out of step. The pass ends with EndPass.
    // A pass may go in pieces: records [from, to) of the message, the piece from 0 first.
    template <class OnRow>
    void PassChanelStatistics(RecordArray<TELV_STATISTICS_DATA> records, OnRow onRow) {
        PassChanelStatistics(records, 0, records.size(), onRow);
    }
    template <class OnRow>
    void PassClientStatistics(RecordArray<TELV_STATISTICS_DATA> records, OnRow onRow) {
        PassClientStatistics(records, 0, records.size(), onRow);
    }
    template <class OnRow>
    void PassChanelStatistics(RecordArray<TELV_STATISTICS_DATA> records, std::uint32_t from, std::uint32_t to,
                              OnRow onRow);
    template <class OnRow>
    void PassClientStatistics(RecordArray<TELV_STATISTICS_DATA> records, std::uint32_t from, std::uint32_t to,
                              OnRow onRow);

private:
    template <class Linked, class LinkedTable, class AddTotals, class OnRow>
    void PassStatistics(LiveRows& rows, const LinkedTable& linkedData, RecordArray<TELV_STATISTICS_DATA> records,
                        std::uint32_t from, std::uint32_t to, AddTotals addTotals, RateTotals& rates, OnRow& onRow);
    static RateTotals SumRates(const LiveRows& rows);
};

template <class Linked, class LinkedTable, class AddTotals, class OnRow>
void RecordTables::PassStatistics(LiveRows& rows, const LinkedTable& linkedData,
                                  RecordArray<TELV_STATISTICS_DATA> records, std::uint32_t from, std::uint32_t to,
                                  AddTotals addTotals, RateTotals& rates, OnRow& onRow) {
    if (from == 0) {
        rows.BeginPass();
        rates = {};
    }
    to = std::min(to, records.size());
    for (std::uint32_t i = from; i < to; ++i) {
        const TELV_STATISTICS_DATA record = records[i];
        const std::size_t at = rows.Locate(record.OwnHandle());
        if (at == LiveRows::npos) {
            FullListNeeded = true;
            continue;
        }
        // A handle repeated in one message updates its row again; its rate steps once per pass,
        // so that two records of one message never make a rate between themselves.
        const bool repeated = rows.Touched(at);
        LiveRow& row = rows.Touch(at);
        const RowValues values{record.SecondsOnLine(), record.RxBytes(), record.TxBytes(), record.LinkedHandle(),
                               record.State()};
        if (TrackRates && !repeated) {
            row.Rates.Step(SampleOf(row.Values), SampleOf(values));
            if (row.Rates.Known) rates.Add(row.Rates.Rates);
        }
        row.Values = values;
        addTotals(record.RxBytes(), record.TxBytes());
        LinkedState<Linked> linked;
        if (record.State() == 1 && record.LinkedHandle()) {
            linked.Record = linkedData.Find(record.LinkedHandle());
            if (!linked.Record) {
                FullListNeeded = true;
                linked.Known = false;
            }
        }
        onRow(row, record, linked);
    }
}

template <class OnRow>
void RecordTables::PassChanelStatistics(RecordArray<TELV_STATISTICS_DATA> records, std::uint32_t from,
                                        std::uint32_t to, OnRow onRow) {
    PassStatistics<TELV_FULL_CLIENT_DATA>(
        LiveChanels, ClientData, records, from, to,
        [this](std::uint32_t rx, std::uint32_t tx) { Totals.AddChanel(rx, tx); }, ChanelRates, onRow);
}

template <class OnRow>
void RecordTables::PassClientStatistics(RecordArray<TELV_STATISTICS_DATA> records, std::uint32_t from,
                                        std::uint32_t to, OnRow onRow) {
    PassStatistics<TELV_UDP_FULL_CHANEL_DATA>(
        LiveClients, ChanelData, records, from, to,
        [this](std::uint32_t rx, std::uint32_t tx) { Totals.AddClient(rx, tx); }, ClientRates, onRow);
}

}  // namespace telv
