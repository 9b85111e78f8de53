// The status bar's two totals panels. Each keeps room for its text with up to 9999 channels and
// 999999.5 Mб, or 9999 clients and 9999.999 Mб, so the texts stand still while the figures
// change; the client panel, the last, takes the rest of the bar, which has no size grip. The
// window opens at least wide enough for both.
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

// Adds the channel and client panels to the bar, left to right, and leaves out its size grip.
void AddTotalsPanels(QStatusBar& bar, QLabel* (&panels)[2]);

// A panel after the totals that is shown only while the bar has room for it beside their full
// texts: the totals are never cut for it.
class SparePanel : public QLabel {
    Q_OBJECT
public:
    SparePanel(QStatusBar& bar, QLabel* (&totals)[2]);
    void SetText(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Fit();

    QStatusBar& bar_;
    QLabel* (&totals_)[2];
};

}  // namespace telv
