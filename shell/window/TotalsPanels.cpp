#include "TotalsPanels.h"

#include "StatusPanels.h"

#include "TrafficTotals.h"

#include <QEvent>
#include <QStatusBar>

namespace telv {
namespace {

// The texts of both panels at the largest figures they are laid out for.
struct WidestTexts : StatusPanels {
    QString Text[2];
    void SetPanelText(int panel, const std::string& text) override {
        if (panel >= 0 && panel < 2) Text[panel] = QString::fromStdString(text);
    }
};

// Figures laid out for: a large gateway's devices, whose totals reach hundreds of gigabytes
// within days, and far more clients than connect at once.
constexpr int kWidestChanelRows = 9999;
constexpr std::uint64_t kWidestChanelTotal = 1048575475712;  // 999999.500 Mб
constexpr int kWidestClientRows = 9999;
constexpr std::uint64_t kWidestClientTotal = 10485758951;  // 9999.999 Mб

WidestTexts MakeWidestTexts() {
    WidestTexts texts;
    TrafficTotals totals;
    totals.ChanelRxTotal = totals.ChanelTxTotal = kWidestChanelTotal;
    totals.ClientRxTotal = totals.ClientTxTotal = kWidestClientTotal;
    totals.ShowTotals(texts, kWidestChanelRows, kWidestClientRows);
    return texts;
}

}  // namespace

TotalsPanel::TotalsPanel(QString widest, QWidget* parent) : QLabel(parent), widest_(std::move(widest)) {
    setTextFormat(Qt::PlainText);
}

QSize TotalsPanel::sizeHint() const {
    const QMargins margins = contentsMargins();
    const int room = fontMetrics().horizontalAdvance(widest_) + margins.left() + margins.right() + 2 * margin();
    return QLabel::sizeHint().expandedTo(QSize(room, 0));
}

// A window made narrower than the texts cuts them rather than pushing the panels over each other.
QSize TotalsPanel::minimumSizeHint() const {
    return QSize(0, QLabel::minimumSizeHint().height());
}

void AddTotalsPanels(QStatusBar& bar, QLabel* (&panels)[2]) {
    // The whole width goes to the texts; the window's frame resizes the window.
    bar.setSizeGripEnabled(false);
    const WidestTexts widest = MakeWidestTexts();
    for (int i = 0; i < 2; ++i) {
        panels[i] = new TotalsPanel(widest.Text[i]);
        bar.addWidget(panels[i], i == 1 ? 1 : 0);
    }
}

SparePanel::SparePanel(QStatusBar& bar, QLabel* (&totals)[2]) : bar_(bar), totals_(totals) {
    setTextFormat(Qt::PlainText);
    bar_.addWidget(this);
    bar_.installEventFilter(this);
    Fit();
}

void SparePanel::SetText(const QString& text) {
    setText(text);
    Fit();
}

bool SparePanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &bar_ && event->type() == QEvent::Resize) Fit();
    return QLabel::eventFilter(watched, event);
}

void SparePanel::Fit() {
    const int spacing = 12;  // the bar's gaps and frames between three panels, with a margin
    const int needed = totals_[0]->sizeHint().width() + totals_[1]->sizeHint().width() + sizeHint().width() + spacing;
    setVisible(!text().isEmpty() && bar_.width() >= needed);
}

}  // namespace telv
