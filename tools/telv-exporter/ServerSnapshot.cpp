#include "ServerSnapshot.h"

#include "FieldTexts.h"

#include <array>
#include <cstring>

namespace telv::exporter {

TableSnapshot SnapshotTables(const RecordTables& tables, bool perChannel, std::size_t perChannelLimit) {
    TableSnapshot s;
    for (const LiveRow& row : tables.LiveChanels) {
        const RowValues& v = row.Values;
        if (v.State == 0)
            ++s.channelsFree;
        else if (v.State == 1)
            ++s.channelsLinked;
        else
            ++s.channelsOther;
        s.channelRxBytes += v.RxBytes;
        s.channelTxBytes += v.TxBytes;
    }

    // Counted by the raw type field first: each distinct field is converted to text once.
    std::map<std::array<std::uint8_t, TELV_FULL_CLIENT_DATA::kTypeCodeWidth>, std::uint64_t> byCode;
    std::uint64_t unknown = 0;
    for (const LiveRow& row : tables.LiveClients) {
        s.clientRxBytes += row.Values.RxBytes;
        s.clientTxBytes += row.Values.TxBytes;
        const TELV_FULL_CLIENT_DATA* record = tables.ClientData.Find(row.RowHandle);
        if (!record) {
            ++unknown;
            continue;
        }
        std::array<std::uint8_t, TELV_FULL_CLIENT_DATA::kTypeCodeWidth> code{};
        std::memcpy(code.data(), record->TypeCode().data(), code.size());
        ++byCode[code];
    }
    for (const auto& [code, count] : byCode) {
        std::string kind = FieldText(TextField(code.data(), code.size()));
        if (kind.empty()) kind = "unknown";
        if (s.clientsByKind.size() >= kMaxClientKinds && !s.clientsByKind.count(kind)) kind = "other";
        s.clientsByKind[kind] += count;
    }
    if (unknown) s.clientsByKind["unknown"] += unknown;

    if (perChannel) {
        const std::size_t shown = std::min(perChannelLimit, tables.LiveChanels.size());
        s.channels.reserve(shown);
        for (std::size_t i = 0; i < shown; ++i) {
            const LiveRow& row = tables.LiveChanels[i];
            const TELV_UDP_FULL_CHANEL_DATA* record = tables.ChanelData.Find(row.RowHandle);
            s.channels.push_back({record ? FieldText(record->DeviceId()) : std::string(), row.RowHandle,
                                  row.Values.RxBytes, row.Values.TxBytes});
        }
        s.channelsLeftOut = tables.LiveChanels.size() - shown;
    }
    return s;
}

}  // namespace telv::exporter
