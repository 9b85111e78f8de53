#include "TrafficChart.h"

#include "ChartLines.h"
#include "SaveFileDialog.h"
#include "WholeFile.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QCursor>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMessageBox>
#include <QPushButton>
#include <QToolTip>
#include <QValueAxis>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace telv {
namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// Colours readable on the light and the dark chart theme.
const QColor kTotalColors[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e), QColor(0x2c, 0xa0, 0x2c),
                               QColor(0xd6, 0x27, 0x28), QColor(0x8c, 0x8c, 0x8c), QColor(0xb0, 0x8f, 0x60)};
const QColor kRowColors[] = {QColor(0x94, 0x67, 0xbd), QColor(0xe3, 0x77, 0xc2), QColor(0x17, 0xbe, 0xcf),
                             QColor(0xbc, 0xbd, 0x22), QColor(0x8c, 0x56, 0x4b), QColor(0x39, 0x3b, 0xd9),
                             QColor(0x00, 0x99, 0x66), QColor(0xcc, 0x66, 0x00)};

const char* const kTotalNames[] = {"Приборы RX", "Приборы TX", "Клиенты RX", "Клиенты TX", "Строк приборов",
                                   "Строк клиентов"};

bool IsRowCount(std::size_t series) {
    return series == TrafficChart::ChanelRows || series == TrafficChart::ClientRows;
}

QPen PenOf(std::size_t series) {
    QPen pen;
    pen.setWidthF(1.5);
    bool dashed = false;
    if (series < TrafficChart::FirstRowSeries) {
        pen.setColor(kTotalColors[series]);
        dashed = IsRowCount(series);
    } else {
        const std::size_t k = (series - TrafficChart::FirstRowSeries) / 2;
        pen.setColor(kRowColors[k % std::size(kRowColors)]);
        dashed = (series - TrafficChart::FirstRowSeries) % 2;  // TX
    }
    if (dashed) pen.setDashPattern({6, 3});
    return pen;
}

// The unit of the rate axis for the largest rate shown, with the bounds of the traffic cells.
std::pair<double, QString> RateUnitFor(double maximum) {
    if (maximum > 600000) return {1048576.0, "Mб/с"};
    if (maximum > 600) return {1024.0, "кб/с"};
    return {1.0, "б/с"};
}

}  // namespace

TrafficChart::TrafficChart(QWidget* parent) : QWidget(parent) {
    for (std::size_t s = 0; s < FirstRowSeries; ++s) {
        lines_[s].name = kTotalNames[s];
        lines_[s].active = true;
    }

    chart_ = new QChart;
    chart_->legend()->setAlignment(Qt::AlignRight);
    chart_->legend()->setShowToolTips(true);
    chart_->setMargins(QMargins(4, 4, 4, 4));
    timeAxis_ = new QDateTimeAxis;
    timeAxis_->setTickCount(7);
    rateAxis_ = new QValueAxis;
    rateAxis_->setLabelFormat("%.1f");
    rowsAxis_ = new QValueAxis;
    rowsAxis_->setLabelFormat("%.0f");
    rowsAxis_->setTitleText("Строк");
    chart_->addAxis(timeAxis_, Qt::AlignBottom);
    chart_->addAxis(rateAxis_, Qt::AlignLeft);
    chart_->addAxis(rowsAxis_, Qt::AlignRight);
    // Every line's legend entry from the start, in a fixed order; those of rows not followed hidden.
    for (std::size_t s = 0; s < kSeriesCount; ++s) AddLegendSeries(s);

    // The lines above Qt Charts' background, grid, axes and series (z up to 4), below its legend (5).
    plot_ = new ChartLines(kSeriesCount, chart_);
    plot_->setZValue(4.5);
    for (std::size_t s = 0; s < kSeriesCount; ++s)
        plot_->SetAxis(s, IsRowCount(s) ? ChartLines::RightAxis : ChartLines::LeftAxis);
    plot_->SetHoverHandler([this](std::size_t series, const QPointF& point) { ShowTip(series, point); });
    plot_->SetPlotArea(chart_->plotArea());
    connect(chart_, &QChart::plotAreaChanged, this, [this](const QRectF& area) { plot_->SetPlotArea(area); });

    view_ = new QChartView(chart_);
    view_->setRenderHint(QPainter::Antialiasing, false);

    rangeBox_ = new QComboBox;
    rangeBox_->addItems({"5 мин", "1 ч", "24 ч"});
    connect(rangeBox_, &QComboBox::currentIndexChanged, this,
            [this](int index) { SetRange(static_cast<ChartRange>(std::clamp(index, 0, kChartRangeCount - 1))); });
    exportButton_ = new QPushButton("Экспорт в CSV...");
    connect(exportButton_, &QPushButton::clicked, this, &TrafficChart::ExportWithDialog);
    clearRowsButton_ = new QPushButton("Убрать строки с графика");
    clearRowsButton_->setEnabled(false);
    connect(clearRowsButton_, &QPushButton::clicked, this, &TrafficChart::UnfollowAll);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(0, 0, 0, 0);
    bar->addWidget(new QLabel("Интервал"));
    bar->addWidget(rangeBox_);
    bar->addSpacing(12);
    bar->addWidget(exportButton_);
    bar->addWidget(clearRowsButton_);
    bar->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 2, 0, 0);
    layout->setSpacing(2);
    layout->addLayout(bar);
    layout->addWidget(view_, 1);
    ApplyTheme();
    Refresh();
}

TrafficChart::~TrafficChart() = default;

void TrafficChart::AddLegendSeries(std::size_t series) {
    auto* legend = new QLineSeries;
    Line& line = lines_[series];
    legend->setName(line.name);
    legend->setPen(PenOf(series));
    chart_->addSeries(legend);
    legend->attachAxis(timeAxis_);
    legend->attachAxis(IsRowCount(series) ? rowsAxis_ : rateAxis_);
    line.legend = legend;
    ShowLegend(series, line.active);
}

void TrafficChart::ShowLegend(std::size_t series, bool shown) {
    for (QLegendMarker* marker : chart_->legend()->markers(lines_[series].legend)) marker->setVisible(shown);
}

const QList<QPolygonF>& TrafficChart::RunsOf(std::size_t series) const { return plot_->Runs(series); }

QString TrafficChart::NameOf(std::size_t series) const { return series < kSeriesCount ? lines_[series].name : QString(); }

void TrafficChart::AddSample(std::int64_t timeMs, const RecordTables& tables) {
    std::array<double, kSeriesCount> values;
    values.fill(kNone);
    values[ChanelRx] = static_cast<double>(tables.ChanelRates.Rx);
    values[ChanelTx] = static_cast<double>(tables.ChanelRates.Tx);
    values[ClientRx] = static_cast<double>(tables.ClientRates.Rx);
    values[ClientTx] = static_cast<double>(tables.ClientRates.Tx);
    values[ChanelRows] = static_cast<double>(tables.LiveChanels.size());
    values[ClientRows] = static_cast<double>(tables.LiveClients.size());
    for (std::size_t k = 0; k < kMaxRows; ++k) {
        if (!rowUsed_[k]) continue;
        const LiveRows& rows = rows_[k].Client ? tables.LiveClients : tables.LiveChanels;
        const std::size_t row = rows.Find(rows_[k].RowHandle);
        if (row == LiveRows::npos || !rows[row].Rates.Known) continue;
        values[FirstRowSeries + 2 * k] = rows[row].Rates.Rates.Rx;
        values[FirstRowSeries + 2 * k + 1] = rows[row].Rates.Rates.Tx;
    }
    history_.Append(timeMs, values);
    if (isVisible()) Refresh();
}

void TrafficChart::AddGap() { history_.AddGap(); }

bool TrafficChart::FollowRow(const FollowedRow& row) {
    std::size_t free = kMaxRows;
    for (std::size_t k = 0; k < kMaxRows; ++k) {
        if (rowUsed_[k] && rows_[k].Client == row.Client && rows_[k].RowHandle == row.RowHandle) return false;
        if (!rowUsed_[k] && free == kMaxRows) free = k;
    }
    if (free == kMaxRows) return false;
    rows_[free] = row;
    rowUsed_[free] = true;
    for (std::size_t s : {FirstRowSeries + 2 * free, FirstRowSeries + 2 * free + 1}) {
        history_.ClearSeries(s);
        Line& line = lines_[s];
        line.name = row.Name + (s % 2 == FirstRowSeries % 2 ? " RX" : " TX");
        line.active = true;
        line.legend->setName(line.name);
        ShowLegend(s, true);
    }
    clearRowsButton_->setEnabled(true);
    Refresh();
    return true;
}

void TrafficChart::UnfollowRow(bool client, Handle handle) {
    for (std::size_t k = 0; k < kMaxRows; ++k) {
        if (!rowUsed_[k] || rows_[k].Client != client || rows_[k].RowHandle != handle) continue;
        rowUsed_[k] = false;
        for (std::size_t s : {FirstRowSeries + 2 * k, FirstRowSeries + 2 * k + 1}) {
            history_.ClearSeries(s);
            lines_[s].active = false;
            ShowLegend(s, false);
        }
    }
    clearRowsButton_->setEnabled(!Followed().empty());
    Refresh();
}

void TrafficChart::UnfollowAll() {
    for (const FollowedRow& row : Followed()) UnfollowRow(row.Client, row.RowHandle);
}

std::vector<TrafficChart::FollowedRow> TrafficChart::Followed() const {
    std::vector<FollowedRow> rows;
    for (std::size_t k = 0; k < kMaxRows; ++k)
        if (rowUsed_[k]) rows.push_back(rows_[k]);
    return rows;
}

void TrafficChart::SetRange(ChartRange range) {
    range_ = range;
    shownTo_ = 0;
    if (rangeBox_->currentIndex() != static_cast<int>(range)) rangeBox_->setCurrentIndex(static_cast<int>(range));
    Refresh();
}

std::int64_t TrafficChart::RangeStartMs() const {
    const std::int64_t last = history_.LastTimeMs() ? history_.LastTimeMs() : QDateTime::currentMSecsSinceEpoch();
    return last - ResolutionOf(range_).SpanMs;
}

void TrafficChart::Refresh() {
    const std::int64_t from = RangeStartMs();
    const std::int64_t to = from + ResolutionOf(range_).SpanMs;
    std::array<std::vector<std::vector<HistoryPoint>>, kSeriesCount> runs;
    double maxRate = 0, maxRows = 0;
    for (std::size_t s = 0; s < kSeriesCount; ++s) {
        if (!lines_[s].active) continue;
        runs[s] = history_.Runs(range_, s, from);
        double& maximum = IsRowCount(s) ? maxRows : maxRate;
        for (const auto& run : runs[s])
            for (const HistoryPoint& p : run) maximum = std::max(maximum, p.Value);
    }
    const auto [unit, unitText] = RateUnitFor(maxRate);
    rateUnit_ = unit;
    for (std::size_t s = 0; s < kSeriesCount; ++s) {
        const double divisor = IsRowCount(s) ? 1.0 : unit;
        QList<QPolygonF> points;
        points.reserve(static_cast<qsizetype>(runs[s].size()));
        for (const std::vector<HistoryPoint>& run : runs[s]) {
            QPolygonF& polygon = points.emplace_back();
            polygon.reserve(static_cast<qsizetype>(run.size()));
            for (const HistoryPoint& p : run) polygon.append(QPointF(static_cast<qreal>(p.TimeMs), p.Value / divisor));
        }
        plot_->SetRuns(s, std::move(points));
    }
    // The axes change only when their rounded values do: each change lays the axes out again.
    // The time axis moves by whole buckets, the value axes by steps of a sixteenth of their power
    // of two.
    const std::int64_t bucket = ResolutionOf(range_).BucketMs;
    const std::int64_t shownTo = (to + bucket - 1) / bucket * bucket;
    const auto roundUp = [](double value) {
        const double step = std::exp2(std::ceil(std::log2(std::max(value, 1.0)))) / 16;
        return std::ceil(value / step) * step;
    };
    const double rateTop = roundUp(std::max(1.0, maxRate / unit * 1.1));
    const double rowsTop = roundUp(std::max(1.0, std::ceil(maxRows * 1.1)));
    const QString format = range_ == ChartRange::OneDay ? "HH:mm" : "HH:mm:ss";
    const QString title = "Скорость, " + unitText;
    if (shownTo != shownTo_) {
        shownTo_ = shownTo;
        timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(shownTo - ResolutionOf(range_).SpanMs),
                            QDateTime::fromMSecsSinceEpoch(shownTo));
    }
    if (timeAxis_->format() != format) timeAxis_->setFormat(format);
    if (rateAxis_->max() != rateTop) rateAxis_->setRange(0, rateTop);
    if (rateAxis_->titleText() != title) rateAxis_->setTitleText(title);
    if (rowsAxis_->max() != rowsTop) rowsAxis_->setRange(0, rowsTop);
    plot_->SetDomain(static_cast<double>(shownTo_ - ResolutionOf(range_).SpanMs), static_cast<double>(shownTo_), rateTop,
                     rowsTop);
}

void TrafficChart::ShowTip(std::size_t series, const QPointF& point) {
    if (series >= kSeriesCount) {
        QToolTip::hideText();
        return;
    }
    const QString time = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(point.x())).toString("HH:mm:ss");
    QString value;
    if (IsRowCount(series)) {
        value = QString::number(std::lround(point.y()));
    } else {
        const double bytes = point.y() * rateUnit_;
        value = QString::number(bytes / RateUnitFor(bytes).first, 'f', bytes > 600 ? 3 : 0) + " " +
                RateUnitFor(bytes).second;
    }
    QToolTip::showText(QCursor::pos(), QString("%1\n%2: %3").arg(time, lines_[series].name, value), view_);
}

QByteArray TrafficChart::CsvBytes() const {
    std::vector<TrafficHistory::Column> columns;
    for (std::size_t s = 0; s < kSeriesCount; ++s)
        if (lines_[s].active) columns.push_back({s, lines_[s].name.toStdString()});
    const ExportTable table = history_.Table(range_, RangeStartMs(), std::move(columns), [](std::int64_t t) {
        return QDateTime::fromMSecsSinceEpoch(t).toString("yyyy-MM-dd HH:mm:ss").toStdString();
    });
    return QByteArray::fromStdString(CsvText(table));
}

bool TrafficChart::ExportCsv(const QString& path, QString& error) const {
    return WriteWholeFile(path, CsvBytes(), &error);
}

void TrafficChart::ExportWithDialog() {
    const QString path = AskSavePath(this, "Экспорт в CSV", "Трафик.csv", kCsvFileFilter, "csv");
    if (path.isEmpty()) return;
    QString error;
    if (!ExportCsv(path, error))
        QMessageBox::critical(this, "Экспорт в CSV", QString("Не удалось записать файл %1:\n%2").arg(path, error));
}

void TrafficChart::ApplyTheme() {
    const bool dark = palette().color(QPalette::Window).lightness() < 128;
    chart_->setTheme(dark ? QChart::ChartThemeDark : QChart::ChartThemeLight);
    chart_->setBackgroundRoundness(0);
    for (std::size_t s = 0; s < kSeriesCount; ++s) {
        lines_[s].legend->setPen(PenOf(s));
        plot_->SetPen(s, PenOf(s));
    }
}

void TrafficChart::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
}

void TrafficChart::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && plot_) ApplyTheme();
}

}  // namespace telv
