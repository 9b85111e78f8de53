// The status bar's two totals panels. Each keeps room for its text with totals up to
// 9999.999 Mб and up to 99999 channels or 9999 clients, so the texts stand still while the
// figures change; the client panel, the last, takes the rest of the bar. The window opens at
// least wide enough for both.
#pragma once

#include <QLabel>

class QStatusBar;

namespace telv {

// A status text that keeps room for the widest text it is expected to show.
class TotalsPanel : public QLabel {
    Q_OBJECT
public:
    explicit TotalsPanel(QString widest, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    QString widest_;
};

// Adds the channel and client panels to the bar, left to right.
void AddTotalsPanels(QStatusBar& bar, QLabel* (&panels)[2]);

// The width the bar needs to show its panels in full, the size grip included.
int TotalsBarWidth(const QStatusBar& bar);

}  // namespace telv
