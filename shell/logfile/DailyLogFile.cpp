#include "DailyLogFile.h"

#include "LogText.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace telv {
namespace {

const QString kPrefix = "telv-console-";
const QString kSuffix = ".log";
const QString kDateFormat = "yyyy-MM-dd";

}  // namespace

DailyLogFile::DailyLogFile(QString directory, Clock clock)
    : directory_(std::move(directory)), clock_(std::move(clock)) {}

DailyLogFile::~DailyLogFile() { Close(); }

void DailyLogFile::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

QString DailyLogFile::PathOf(const QDate& day) const {
    return QDir(directory_).filePath(kPrefix + day.toString(kDateFormat) + kSuffix);
}

bool DailyLogFile::Append(const QString& line, QString& error) {
    QByteArray text;
    AppendTextLine(text, line.toUtf8());
    return AppendLines(clock_().date(), text, error);
}

bool DailyLogFile::OpenDay(const QDate& day, QString& error) {
    return (fd_ >= 0 && day == day_) || OpenFor(day, error);
}

bool DailyLogFile::AppendLines(const QDate& day, QByteArrayView lines, QString& error) {
    if (!OpenDay(day, error)) return false;
    const off_t before = ::lseek(fd_, 0, SEEK_END);
    qsizetype done = 0;
    while (done < lines.size()) {
        const ssize_t written =
            ::write(fd_, lines.data() + done, static_cast<std::size_t>(lines.size() - done));
        if (written > 0) {
            done += written;
            continue;
        }
        if (written < 0 && errno == EINTR) continue;
        const int code = written < 0 ? errno : ENOSPC;
        // The lines written whole stay; the piece of the next one is undone, so that the file
        // ends with a whole line.
        if (done > 0 && before >= 0) {
            const qsizetype whole = lines.first(done).lastIndexOf('\n') + 1;
            [[maybe_unused]] const int undone = ::ftruncate(fd_, before + whole);
        }
        error = QString("%1: %2").arg(path_, QString::fromLocal8Bit(std::strerror(code)));
        return false;
    }
    return true;
}

bool DailyLogFile::OpenFor(const QDate& day, QString& error) {
    Close();
    if (!QDir().mkpath(directory_)) {
        error = QString("%1: %2").arg(directory_, "не удалось создать папку");
        return false;
    }
    path_ = PathOf(day);
    fd_ = ::open(QFile::encodeName(path_).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        error = QString("%1: %2").arg(path_, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    day_ = day;
    RemoveOldFiles(day);
    return true;
}

void DailyLogFile::RemoveOldFiles(const QDate& today) const {
    static const QRegularExpression name("^telv-console-(\\d{4}-\\d{2}-\\d{2})\\.log$");
    const QDate oldestKept = today.addDays(-kKeepDays);
    const QDir dir(directory_);
    for (const QString& entry : dir.entryList({kPrefix + "*" + kSuffix}, QDir::Files)) {
        const QRegularExpressionMatch match = name.match(entry);
        if (!match.hasMatch()) continue;
        const QDate day = QDate::fromString(match.captured(1), kDateFormat);
        if (day.isValid() && day < oldestKept) QFile::remove(dir.filePath(entry));
    }
}

}  // namespace telv
