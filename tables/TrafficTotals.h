// The traffic totals of the two views and the status bar panels that show them.
#pragma once

#include <cstdint>
#include <string>

namespace telv {

class StatusPanels;
struct RateTotals;

// Sums of the RX and TX counts of the rows written since the last reset. They are 64-bit, so
// that a million channels' counters add up to their true sum instead of wrapping at 4 GB.
class TrafficTotals {
public:
    std::uint64_t ChanelRxTotal = 0;
    std::uint64_t ChanelTxTotal = 0;
    std::uint64_t ClientRxTotal = 0;
    std::uint64_t ClientTxTotal = 0;

    void ResetTotals(bool clients, bool chanels) {
        if (chanels) ChanelRxTotal = ChanelTxTotal = 0;
        if (clients) ClientRxTotal = ClientTxTotal = 0;
    }
    void AddChanel(std::uint32_t rx, std::uint32_t tx) {
        ChanelRxTotal += rx;
        ChanelTxTotal += tx;
    }
    void AddClient(std::uint32_t rx, std::uint32_t tx) {
        ClientRxTotal += rx;
        ClientTxTotal += tx;
    }
    // Rewrites both panels from the row counts of the two views and the four totals.
    void ShowTotals(StatusPanels& panels, int chanelRows, int clientRows) const;
};

// The text of the status bar's rate label beside the two totals panels:
// "Скорость: приборы %s / %s, клиенты %s / %s", RX then TX of each table, each a sum of the
// rows' rates in the units of the traffic cells followed by "/с".
std::string RateTotalsText(const RateTotals& chanels, const RateTotals& clients);

}  // namespace telv
