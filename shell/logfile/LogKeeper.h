// Keeps the event log in daily files while the option is on. Lines are collected and written
// together, once every kFlushInterval (or sooner when many have gathered), so that a flood of
// events costs a write a turn rather than a write a line; the lines of a day go to that day's
// file even when they wait past midnight. A failure to write is reported once, with the
// reason, and reported again only after a write that succeeded; the lines it could not write
// are dropped (they are still in the log pane) and the next ones try again.
#pragma once

#include "DailyLogFile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

namespace telv {

class LogKeeper {
public:
    // Milliseconds since the epoch (tests hand in a fake clock).
    using Clock = std::function<qint64()>;
    static constexpr std::chrono::milliseconds kFlushInterval{200};
    // Collected lines beyond this many bytes are written at once.
    static constexpr qsizetype kMaxWaitingBytes = qsizetype{1} << 20;

    // report receives the line that tells the operator of a failure.
    LogKeeper(QString directory, std::function<void(const QString&)> report,
              Clock clock = &QDateTime::currentMSecsSinceEpoch);
    // Writes the lines that wait, without a report.
    ~LogKeeper();
    LogKeeper(const LogKeeper&) = delete;
    LogKeeper& operator=(const LogKeeper&) = delete;

    // Off by default. On opens today's file at once (a failure is reported then); off writes
    // the lines that wait and closes the file.
    void SetEnabled(bool on);
    bool Enabled() const { return file_ != nullptr; }
    // A failure was reported and no write has succeeded since.
    bool Failing() const { return failing_; }

    // Takes a line of the log (UTF-8, no line break) while on; nothing while off.
    void Add(QByteArrayView line);
    // Writes the lines that wait now.
    void Flush();

    const QString& Directory() const { return directory_; }
    // The file of a day.
    QString PathOf(const QDate& day) const;
    qsizetype WaitingBytes() const { return waiting_.size(); }
    // Tests: how long lines wait before they are written.
    void SetFlushInterval(std::chrono::milliseconds interval) { timer_.setInterval(interval); }

private:
    void StartBatch(qint64 now);
    void Write(bool reportFailure);
    void Failed(const QString& reason, bool reportFailure);

    QString directory_;
    std::function<void(const QString&)> report_;
    Clock clock_;
    std::unique_ptr<DailyLogFile> file_;  // while on
    QByteArray waiting_;                  // whole lines of batchDay_, each with its line break
    QDate batchDay_;
    qint64 batchDayEnds_ = 0;  // the first millisecond of the next day
    QTimer timer_;
    bool failing_ = false;
};

}  // namespace telv
