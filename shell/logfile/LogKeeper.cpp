#include "LogKeeper.h"

#include "LogText.h"

#include <QDateTime>

#include <utility>

namespace telv {

LogKeeper::LogKeeper(QString directory, std::function<void(const QString&)> report, Clock clock)
    : directory_(std::move(directory)), report_(std::move(report)), clock_(std::move(clock)) {
    timer_.setSingleShot(true);
    timer_.setInterval(kFlushInterval);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Flush(); });
}

LogKeeper::~LogKeeper() { Write(false); }

QString LogKeeper::PathOf(const QDate& day) const { return DailyLogFile(directory_).PathOf(day); }

void LogKeeper::SetEnabled(bool on) {
    if (on == Enabled()) return;
    if (!on) {
        Flush();
        file_.reset();
        failing_ = false;
        return;
    }
    file_ = std::make_unique<DailyLogFile>(directory_);
    failing_ = false;
    QString error;
    if (!file_->OpenDay(QDateTime::fromMSecsSinceEpoch(clock_()).date(), error)) Failed(error, true);
}

void LogKeeper::Add(QByteArrayView line) {
    if (!file_) return;
    const qint64 now = clock_();
    if (waiting_.isEmpty()) {
        StartBatch(now);
    } else if (now >= batchDayEnds_) {
        // Midnight has passed: the waiting lines go to the day they were logged in.
        Flush();
        if (!file_) return;  // switched off by the receiver of a report
        StartBatch(now);
    }
    AppendTextLine(waiting_, line);
    if (waiting_.size() >= kMaxWaitingBytes) Flush();
}

void LogKeeper::StartBatch(qint64 now) {
    batchDay_ = QDateTime::fromMSecsSinceEpoch(now).date();
    batchDayEnds_ = batchDay_.addDays(1).startOfDay().toMSecsSinceEpoch();
    timer_.start();
}

void LogKeeper::Flush() { Write(true); }

void LogKeeper::Write(bool reportFailure) {
    timer_.stop();
    if (waiting_.isEmpty() || !file_) return;
    // Taken first: a report adds a line of its own, which starts the next batch.
    const QByteArray lines = std::exchange(waiting_, {});
    QString error;
    if (file_->AppendLines(batchDay_, lines, error)) {
        failing_ = false;
        return;
    }
    file_->Close();  // the next batch opens the file again: the folder may have been mended
    Failed(error, reportFailure);
}

void LogKeeper::Failed(const QString& reason, bool reportFailure) {
    if (failing_) return;
    failing_ = true;
    if (reportFailure && report_) report_("не удалось записать журнал в файл: " + reason);
}

}  // namespace telv
