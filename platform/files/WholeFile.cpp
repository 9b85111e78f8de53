#include "WholeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace telv {
namespace {

struct Fault {
    WholeFileStep Step;
    int ErrorNumber;
    std::size_t BytesBefore;
};

std::mutex faultMutex;
std::optional<Fault> injectedFault;

std::optional<Fault> CurrentFault() {
    const std::lock_guard lock(faultMutex);
    return injectedFault;
}

// The injected error for a step, or 0.
int FaultAt(const std::optional<Fault>& fault, WholeFileStep step) {
    return fault && fault->Step == step ? fault->ErrorNumber : 0;
}

QString SystemText(int errorNumber) { return QString::fromStdString(std::system_category().message(errorNumber)); }

// Fails with the error number kept, for the caller's message.
class Failure {
public:
    explicit Failure(int errorNumber) : errorNumber_(errorNumber) {}
    int ErrorNumber() const { return errorNumber_; }

private:
    int errorNumber_;
};

// The file that is to be replaced: a symbolic link is followed, so the link stays.
QString ReplacedFile(const QString& path) {
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QString target = info.symLinkTarget();
        if (!target.isEmpty()) return target;
    }
    return path;
}

// A new, empty temporary file beside target, opened for writing; -1 with errno (and no name) on
// failure.
int CreateTemporary(const QString& target, QByteArray& temporaryName) {
    const QFileInfo info(target);
    // Short enough that the name stays within the file system's limit.
    const QByteArray base = QFile::encodeName(info.fileName()).left(100);
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray suffix = QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        temporaryName = folder + "/." + base + "." + suffix + ".tmp";
        const int fd = ::open(temporaryName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        if (errno != EEXIST) break;
    }
    const int failure = errno;
    temporaryName.clear();  // not ours: never removed
    errno = failure;
    return -1;
}

void WriteAll(int fd, const QByteArray& bytes, const std::optional<Fault>& fault) {
    const char* data = bytes.constData();
    std::size_t left = static_cast<std::size_t>(bytes.size());
    std::size_t written = 0;
    while (left > 0) {
        std::size_t piece = left;
        if (const int injected = FaultAt(fault, WholeFileStep::Write)) {
            if (written >= fault->BytesBefore) throw Failure(injected);
            piece = std::min(piece, fault->BytesBefore - written);
        }
        const ssize_t n = ::write(fd, data + written, piece);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw Failure(errno);
        }
        if (n == 0) throw Failure(EIO);
        written += static_cast<std::size_t>(n);
        left -= static_cast<std::size_t>(n);
    }
}

void Sync(int fd, const std::optional<Fault>& fault) {
    if (const int injected = FaultAt(fault, WholeFileStep::Sync)) throw Failure(injected);
    // A file system that cannot sync (EINVAL) has nothing more to flush.
    if (::fsync(fd) != 0 && errno != EINVAL) throw Failure(errno);
}

// The rename is made durable by syncing the folder; a failure there no longer endangers the
// old contents, so it is not reported.
void SyncFolder(const QString& target) {
    const int fd = ::open(QFile::encodeName(QFileInfo(target).absolutePath()).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

bool WriteWholeFile(const QString& path, const QByteArray& bytes, QString* error) {
    const std::optional<Fault> fault = CurrentFault();
    const QString target = ReplacedFile(path);
    QByteArray temporaryName;
    int fd = -1;
    try {
        if (const int injected = FaultAt(fault, WholeFileStep::Open)) throw Failure(injected);
        fd = CreateTemporary(target, temporaryName);
        if (fd < 0) throw Failure(errno);
        // The replacement keeps the permissions of the file it replaces (best effort).
        struct stat old {};
        if (::stat(QFile::encodeName(target).constData(), &old) == 0 && S_ISREG(old.st_mode))
            ::fchmod(fd, old.st_mode & 07777);
        WriteAll(fd, bytes, fault);
        Sync(fd, fault);
        const int closed = ::close(fd);
        fd = -1;
        if (closed != 0 && errno != EINTR) throw Failure(errno);
        if (const int injected = FaultAt(fault, WholeFileStep::Rename)) throw Failure(injected);
        if (::rename(temporaryName.constData(), QFile::encodeName(target).constData()) != 0) throw Failure(errno);
    } catch (const Failure& failure) {
        if (fd >= 0) ::close(fd);
        if (!temporaryName.isEmpty()) ::unlink(temporaryName.constData());
        if (error) *error = SystemText(failure.ErrorNumber());
        return false;
    }
    SyncFolder(target);
    return true;
}

void InjectWholeFileFault(WholeFileStep step, int errorNumber, std::size_t bytesBefore) {
    const std::lock_guard lock(faultMutex);
    injectedFault = Fault{step, errorNumber, bytesBefore};
}

void ClearWholeFileFault() {
    const std::lock_guard lock(faultMutex);
    injectedFault.reset();
}

}  // namespace telv
