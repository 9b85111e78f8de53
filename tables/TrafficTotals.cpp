#include "TrafficTotals.h"

#include "RowTexts.h"
#include "StatusPanels.h"
#include "Sysutil.h"
#include "TrafficRates.h"

namespace telv {

void TrafficTotals::ShowTotals(StatusPanels& panels, int chanelRows, int clientRows) const {
    panels.SetPanelText(0, Format("Приборы (Количество - %d RX : %s TX : %s)", chanelRows,
                                  FormatByteCount(ChanelRxTotal).c_str(), FormatByteCount(ChanelTxTotal).c_str()));
    panels.SetPanelText(1, Format("Клиенты (Количество - %d RX : %s TX : %s)", clientRows,
                                  FormatByteCount(ClientRxTotal).c_str(), FormatByteCount(ClientTxTotal).c_str()));
}

std::string RateTotalsText(const RateTotals& chanels, const RateTotals& clients) {
    return Format("Скорость: приборы %s / %s, клиенты %s / %s", FormatRate(chanels.Rx).c_str(),
                  FormatRate(chanels.Tx).c_str(), FormatRate(clients.Rx).c_str(), FormatRate(clients.Tx).c_str());
}

}  // namespace telv
