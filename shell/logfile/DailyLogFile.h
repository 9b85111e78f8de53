// The event log kept on disk: every line is appended to telv-console-YYYY-MM-DD.log of the day
// it is written in, a new file each day; at the start of each day's file, files of that name
// pattern older than kKeepDays days are removed. Each line goes out in one write, so a file
// never holds half a line from this program.
#pragma once

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

    // Appends one line (a line break is added) to the file of today. False with a reason when it
    // could not be written whole: the folder cannot be made, the file cannot be opened, the disk
    // is full. The next line tries again.
    bool Append(const QString& line, QString& error);

    // The file of a day.
    QString PathOf(const QDate& day) const;
    const QString& Directory() const { return directory_; }

private:
    bool OpenFor(const QDate& day, QString& error);
    void Close();
    void RemoveOldFiles(const QDate& today) const;

    QString directory_;
    Clock clock_;
    int fd_ = -1;  // the file of day_, open for appending
    QString path_;
    QDate day_;
};

}  // namespace telv
