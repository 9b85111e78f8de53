#include "DisconnectCommands.h"

namespace telv {
namespace {

template <class Record, class Encode>
std::vector<Bytes> ForSelectedRows(const TListView& view, const HandleMap<Record>& data, Encode encode) {
    std::vector<Bytes> commands;
    if (view.SelectedCount() == 0) return commands;
    for (int i = 0; i < view.Count(); ++i) {
        const TListItem& row = *view.Item(i);
        if (!row.Selected()) continue;
        const auto it = data.find(static_cast<Handle>(row.Data));
        if (it != data.end()) commands.push_back(encode(it->second));
    }
    return commands;
}

}  // namespace

std::vector<Bytes> ChanelDisconnectCommands(const TListView& view,
                                            const ChanelTable& chanelData,
                                            std::uint8_t mode) {
    return ForSelectedRows(view, chanelData, [mode](const TELV_UDP_FULL_CHANEL_DATA& r) {
        return EncodeChannelCommand(mode, r.DeviceId());
    });
}

std::vector<Bytes> CloseClientCommands(const TListView& view, const ClientTable& clientData) {
    return ForSelectedRows(view, clientData,
                           [](const TELV_FULL_CLIENT_DATA& r) { return EncodeClientClose(r.Address(), r.Port()); });
}

}  // namespace telv
