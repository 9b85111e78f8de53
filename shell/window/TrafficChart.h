// The "Трафик" tab: a Qt Charts line chart of the total receive and send rates of channels and
// clients, the number of rows of each table on a second axis, and the rates of up to eight rows
// the operator chose, over the last 5 minutes, hour or day. The values live in a TrafficHistory
// (bounded ring buffers); the chart shows the chosen range of it. Qt Charts gives the axes and
// the legend (an empty series per line); a ChartLines item draws the lines.
#pragma once

#include "RecordTables.h"
#include "TrafficHistory.h"

#include <QList>
#include <QPolygonF>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <vector>

class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QLineSeries;
class QPushButton;
class QValueAxis;

namespace telv {

class ChartLines;

class TrafficChart : public QWidget {
    Q_OBJECT
public:
    // Rows whose rates the chart can show beside the totals.
    static constexpr int kMaxRows = 8;
    // Series: the four total rates, the two row counts, then RX and TX of each followed row.
    enum Series { ChanelRx, ChanelTx, ClientRx, ClientTx, ChanelRows, ClientRows, FirstRowSeries };
    static constexpr std::size_t kSeriesCount = FirstRowSeries + 2 * kMaxRows;

    struct FollowedRow {
        bool Client = false;
        Handle RowHandle = 0;
        QString Name;
        bool operator==(const FollowedRow&) const = default;
    };

    explicit TrafficChart(QWidget* parent = nullptr);
    ~TrafficChart() override;

    // One sample of the tables at `timeMs` (milliseconds since the epoch): the rate totals and
    // row counts, and each followed row's rates (none once its row is gone). Redraws the chart
    // when it is shown.
    void AddSample(std::int64_t timeMs, const RecordTables& tables);
    // The console was disconnected: no line from the points before to those after.
    void AddGap();

    // Adds a row to the chart; false when it is there already or kMaxRows rows are.
    bool FollowRow(const FollowedRow& row);
    void UnfollowRow(bool client, Handle handle);
    void UnfollowAll();
    std::vector<FollowedRow> Followed() const;

    void SetRange(ChartRange range);
    ChartRange Range() const { return range_; }
    // The CSV of the current range (UTF-8 with a byte order mark): the time, then every series shown.
    QByteArray CsvBytes() const;
    // Writes CsvBytes whole or not at all; false with the reason when it cannot.
    bool ExportCsv(const QString& path, QString& error) const;
    // Asks for a file and exports, telling the operator of a failure.
    void ExportWithDialog();

    // Redraws the chart from the history now.
    void Refresh();

    // For tests and benchmarks.
    const TrafficHistory& History() const { return history_; }
    QChart* Chart() const { return chart_; }
    // The points drawn of one series, as runs without gaps (x the time in ms, y the value in the
    // axis's unit), and its legend name.
    const QList<QPolygonF>& RunsOf(std::size_t series) const;
    QString NameOf(std::size_t series) const;
    // The item that draws the lines (for tests of what the mouse finds).
    const ChartLines& Lines() const { return *plot_; }
    // The divisor of the rate axis (1, 1024 or 1048576: б/с, кб/с, Mб/с).
    double RateUnit() const { return rateUnit_; }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Line {
        QLineSeries* legend = nullptr;  // no points: its legend entry, and its place on the axes
        QString name;
        bool active = false;
    };

    void AddLegendSeries(std::size_t series);
    void ShowLegend(std::size_t series, bool shown);
    void ApplyTheme();
    void ShowTip(std::size_t series, const QPointF& point);
    std::int64_t RangeStartMs() const;

    TrafficHistory history_{kSeriesCount};
    std::array<Line, kSeriesCount> lines_;
    std::array<FollowedRow, kMaxRows> rows_{};
    std::array<bool, kMaxRows> rowUsed_{};
    ChartRange range_ = ChartRange::FiveMinutes;
    double rateUnit_ = 1;
    std::int64_t shownTo_ = 0;  // the end of the time axis

    QChart* chart_ = nullptr;
    ChartLines* plot_ = nullptr;
    QChartView* view_ = nullptr;
    QDateTimeAxis* timeAxis_ = nullptr;
    QValueAxis* rateAxis_ = nullptr;
    QValueAxis* rowsAxis_ = nullptr;
    QComboBox* rangeBox_ = nullptr;
    QPushButton* exportButton_ = nullptr;
    QPushButton* clearRowsButton_ = nullptr;
};

}  // namespace telv
