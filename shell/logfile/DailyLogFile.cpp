#include "DailyLogFile.h"

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
    const QDate today = clock_().date();
    if (fd_ < 0 || today != day_) {
        if (!OpenFor(today, error)) return false;
    }
    // One write of the whole line; a short write (full disk) is undone so that the file ends
    // with a whole line.
    const QByteArray bytes = (line + '\n').toUtf8();
    const off_t before = ::lseek(fd_, 0, SEEK_END);
    const ssize_t written = ::write(fd_, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (written == static_cast<ssize_t>(bytes.size())) return true;
    const int code = written < 0 ? errno : ENOSPC;
    if (written > 0 && before >= 0) {
        [[maybe_unused]] const int undone = ::ftruncate(fd_, before);
    }
    error = QString("%1: %2").arg(path_, QString::fromLocal8Bit(std::strerror(code)));
    return false;
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
