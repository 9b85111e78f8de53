// The operator's commands for the selected rows: reset or close device channels, close clients.
#pragma once

#include "HandleMap.h"
#include "ListView.h"
#include "Protocol.h"

#include <vector>

namespace telv {

// Channel command modes.
inline constexpr std::uint8_t kResetChanel = 0;
inline constexpr std::uint8_t kCloseChanel = 1;
inline constexpr std::uint8_t kCloseChanelInterval = 2;

// One channel command per selected row with a stored record, from the top of the view down;
// the device ID field is copied as stored.
std::vector<Bytes> ChanelDisconnectCommands(const TListView& view,
                                            const ChanelTable& chanelData,
                                            std::uint8_t mode);
// One client close command per selected row with a stored record: its address and port as stored.
std::vector<Bytes> CloseClientCommands(const TListView& view, const ClientTable& clientData);

}  // namespace telv
