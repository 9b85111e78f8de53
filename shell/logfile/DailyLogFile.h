// The event log kept on disk: every line is appended to telv-console-YYYY-MM-DD.log of the day
// it was logged in, a new file each day; at the start of each day's file, files of that name
// pattern older than kKeepDays days are removed. A file never keeps half a line from this
// program: what a failed write left of a line is undone.
#pragma once

#include <QByteArrayView>
#include <QDate>
#include <QDateTime>
#include <QString>

#include <functional>

namespace telv {

class DailyLogFile {
public:
    using Clock = std::function<QDateTime()>;
    static constexpr int kKeepDays = 30;

    // The folder is made when the first line is written; the clock gives the local time (tests
    // hand in a fake one).
    explicit DailyLogFile(QString directory, Clock clock = &QDateTime::currentDateTime);
    ~DailyLogFile();
    DailyLogFile(const DailyLogFile&) = delete;
    DailyLogFile& operator=(const DailyLogFile&) = delete;

    // Appends one line to the file of today, made one line of text by AppendTextLine. False with
    // a reason when it could not be written whole: the folder cannot be made, the file cannot be
    // opened, the disk is full. The next line tries again.
    bool Append(const QString& line, QString& error);
    // Appends whole lines, each ending in a line break, to the file of `day`. False with a reason
    // when they could not all be written; the lines written whole before the failure stay.
    bool AppendLines(const QDate& day, QByteArrayView lines, QString& error);
    // Opens the file of `day` for appending (making the folder, removing old files), so that a
    // folder that cannot be written is known before the first line. True when it is open.
    bool OpenDay(const QDate& day, QString& error);
    // Closes the file; the next line opens it again.
    void Close();

    // The file of a day.
    QString PathOf(const QDate& day) const;
    const QString& Directory() const { return directory_; }

private:
    bool OpenFor(const QDate& day, QString& error);
    void RemoveOldFiles(const QDate& today) const;

    QString directory_;
    Clock clock_;
    int fd_ = -1;  // the file of day_, open for appending
    QString path_;
    QDate day_;
};

}  // namespace telv
