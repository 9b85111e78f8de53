#include "TotalsPanels.h"

#include "TrafficTotals.h"

#include <QLayout>
#include <QSizeGrip>
#include <QStatusBar>

#include <algorithm>

namespace telv {
namespace {

// The texts of both panels at the largest figures they are laid out for.
struct WidestTexts : StatusPanels {
    QString Text[2];
    void SetPanelText(int panel, const std::string& text) override {
        if (panel >= 0 && panel < 2) Text[panel] = QString::fromStdString(text);
    }
};

// Rows laid out for: a large gateway's devices, and far more clients than connect at once.
constexpr int kWidestChanelRows = 99999;
constexpr int kWidestClientRows = 9999;
constexpr std::uint64_t kWidestTotal = 10485758951;  // 9999.999 Mб

WidestTexts MakeWidestTexts() {
    WidestTexts texts;
    TrafficTotals totals;
    totals.ChanelRxTotal = totals.ChanelTxTotal = totals.ClientRxTotal = totals.ClientTxTotal = kWidestTotal;
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
    const WidestTexts widest = MakeWidestTexts();
    for (int i = 0; i < 2; ++i) {
        panels[i] = new TotalsPanel(widest.Text[i]);
        bar.addWidget(panels[i], i == 1 ? 1 : 0);
    }
}

int TotalsBarWidth(const QStatusBar& bar) {
    int width = bar.sizeHint().width();
    // The bar shows its size grip with the window and leaves it out of its size until then: the
    // grip, the spacing before it and the one pixel the bar puts between them.
    const auto* grip = bar.findChild<const QSizeGrip*>(QString(), Qt::FindDirectChildrenOnly);
    if (grip && grip->isHidden() && bar.isSizeGripEnabled() && bar.layout())
        width += grip->sizeHint().width() + std::max(bar.layout()->spacing(), 0) + 1;
    return width;
}

}  // namespace telv
