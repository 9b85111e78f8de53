#include "TrafficTotals.h"

#include "RowTexts.h"
#include "StatusPanels.h"
#include "Sysutil.h"

namespace telv {

void TrafficTotals::ShowTotals(StatusPanels& panels, int chanelRows, int clientRows) const {
    panels.SetPanelText(0, Format("Приборы (Количество - %d RX : %s TX : %s)", chanelRows,
                                  FormatByteCount(ChanelRxTotal).c_str(), FormatByteCount(ChanelTxTotal).c_str()));
    panels.SetPanelText(1, Format("Клиенты (Количество - %d RX : %s TX : %s)", clientRows,
                                  FormatByteCount(ClientRxTotal).c_str(), FormatByteCount(ClientTxTotal).c_str()));
}

}  // namespace telv
