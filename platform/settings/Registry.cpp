#include "Registry.h"

#include "SkippedLineFilter.h"
#include "WholeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <ctime>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace telv {
namespace {

constexpr std::string_view kRootKeyName = "HKEY_CURRENT_USER";
constexpr std::string_view kKeyFileSuffix = ".reg";
// The size of the pieces in which a partial reading reads the file.
constexpr std::size_t kPartialReadPiece = std::size_t{256} << 10;

QString ToQtPath(const std::filesystem::path& path) { return QFile::decodeName(path.c_str()); }

// The parts of a key path, or nothing when one of them cannot name a key.
std::optional<std::vector<std::string>> SplitKeyPath(std::string_view path) {
    if (!path.empty() && path.front() == '\\') path.remove_prefix(1);
    std::vector<std::string> parts;
    while (!path.empty()) {
        const std::size_t end = path.find('\\');
        const std::string_view part = path.substr(0, end);
        if (part.empty() || part == "." || part == ".." || part.find('/') != std::string_view::npos ||
            part.find('\0') != std::string_view::npos) {
            return std::nullopt;
        }
        parts.emplace_back(part);
        if (end == std::string_view::npos) break;
        path.remove_prefix(end + 1);
        if (path.empty()) return std::nullopt;  // trailing backslash
    }
    if (parts.empty()) return std::nullopt;
    return parts;
}

std::string KeyName(const std::vector<std::string>& parts) {
    std::string name(kRootKeyName);
    for (const std::string& part : parts) {
        name += '\\';
        name += part;
    }
    return name;
}

// The whole file or, on failure, the old one untouched; error says why.
bool WriteKeyFile(const std::filesystem::path& path, const std::string& text, std::string& error) {
    std::error_code folderError;
    std::filesystem::create_directories(path.parent_path(), folderError);
    if (folderError) {
        error = folderError.message();
        return false;
    }
    QString reason;
    if (WriteWholeFile(ToQtPath(path), QByteArray::fromStdString(text), &reason)) return true;
    error = reason.toStdString();
    return false;
}

bool SameValue(const RegValue& a, const RegValue& b) {
    return a.Name == b.Name && a.Type == b.Type && a.Text == b.Text && a.Number == b.Number && a.RawData == b.RawData;
}

}  // namespace

std::filesystem::path TRegistry::DefaultRootDirectory() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return std::filesystem::path(QFile::encodeName(config).toStdString()) / "telv-console" / "registry";
}

TRegistry::TRegistry(std::filesystem::path rootDirectory) : root_(std::move(rootDirectory)) {}

TRegistry::~TRegistry() { CloseKey(); }

std::optional<std::filesystem::path> TRegistry::KeyFilePath(std::string_view path) const {
    const std::optional<std::vector<std::string>> parts = SplitKeyPath(path);
    if (!parts) return std::nullopt;
    std::filesystem::path file = root_ / std::string(kRootKeyName);
    for (std::size_t i = 0; i + 1 < parts->size(); ++i) file /= (*parts)[i];
    file /= parts->back() + std::string(kKeyFileSuffix);
    return file;
}

bool TRegistry::IsSettled(const FileStamp& stamp) {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec - stamp.ModifiedSeconds >= 2;
}

std::optional<TRegistry::FileStamp> TRegistry::StampOf(const std::filesystem::path& file) {
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    return FileStamp{status.st_dev, status.st_ino, status.st_size, status.st_mtim.tv_sec, status.st_mtim.tv_nsec};
}

bool TRegistry::ReadKeyFile(const std::filesystem::path& filePath, std::string keyName) {
    QFile file(ToQtPath(filePath));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        lastError_ = file.errorString().toStdString();
        return false;
    }
    if (static_cast<std::uintmax_t>(file.size()) > kMaxKeyFileSize) {
        lastError_ = "the file is larger than " + std::to_string(kMaxKeyFileSize >> 20) + " MB";
        return false;
    }
    // The stamp of the file as opened, taken before reading: a change made while reading makes
    // the next OpenKey read again.
    struct stat status {};
    openStamp_.reset();
    if (::fstat(file.handle(), &status) == 0)
        openStamp_ = FileStamp{status.st_dev, status.st_ino, status.st_size, status.st_mtim.tv_sec, status.st_mtim.tv_nsec};
    if (ReadOnly()) {
        // A partial reading takes the file piece by piece through one small buffer, keeping the
        // few lines it needs: the large file is never held whole.
        SkippedLineFilter filter(keyName, skip_);
        std::vector<char> buffer(kPartialReadPiece);
        while (true) {
            const qint64 got = file.read(buffer.data(), static_cast<qint64>(buffer.size()));
            if (got < 0) {
                lastError_ = file.errorString().toStdString();
                return false;
            }
            if (got == 0) break;
            filter.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
        }
        file_ = RegistryFile::Parse(filter.Finish(), std::move(keyName), skip_);
        openPartial_ = true;
        return true;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        lastError_ = file.errorString().toStdString();
        return false;
    }
    file_ = RegistryFile::Parse(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                                std::move(keyName), skip_);
    openPartial_ = false;
    return true;
}

bool TRegistry::OpenKey(std::string_view path, bool canCreate) {
    CloseKey();
    lastError_.clear();
    const std::optional<std::vector<std::string>> parts = SplitKeyPath(path);
    if (!parts) {
        lastError_ = "invalid key path";
        return false;
    }
    const std::filesystem::path filePath = *KeyFilePath(path);
    std::optional<RegistryFile> cached = std::exchange(cached_, std::nullopt);
    openPartial_ = false;

    if (QFileInfo::exists(ToQtPath(filePath))) {
        const std::optional<FileStamp> stamp = StampOf(filePath);
        if (cached && cachedPath_ == filePath && stamp && *stamp == cachedStamp_ && (!cachedSkip_ || cachedSkip_ == skip_)) {
            file_ = std::move(cached);
            openStamp_ = stamp;
            openPartial_ = cachedSkip_ != nullptr;
        } else if (!ReadKeyFile(filePath, KeyName(*parts))) {
            return false;
        }
    } else {
        if (!canCreate) {
            lastError_ = "no such key";
            return false;
        }
        RegistryFile created(KeyName(*parts));
        if (!WriteKeyFile(filePath, created.Serialize(), lastError_)) return false;
        file_ = std::move(created);
        openStamp_ = StampOf(filePath);
    }
    openPath_ = filePath;
    modified_ = false;
    return true;
}

bool TRegistry::CloseKey() {
    if (!file_) return true;
    bool written = true;
    if (modified_) {
        written = WriteKeyFile(openPath_, file_->Serialize(), lastError_);
        openStamp_ = written ? StampOf(openPath_) : std::nullopt;
    }
    // Kept for the next OpenKey only when it is what the file on disk holds, and when the file
    // is older than the clock's granularity for modification times: a change in place within
    // the same tick would leave the stamp as it was.
    if (openStamp_ && IsSettled(*openStamp_)) {
        cachedPath_ = openPath_;
        cached_ = std::move(file_);
        cachedStamp_ = *openStamp_;
        cachedSkip_ = openPartial_ ? skip_ : nullptr;
    }
    file_.reset();
    openStamp_.reset();
    openPath_.clear();
    modified_ = false;
    openPartial_ = false;
    return written;
}

void TRegistry::SetSkippedValues(RegistryFile::NameFilter skip) { skip_ = skip; }

RegDataType TRegistry::GetDataType(std::string_view name) const {
    if (!file_) return RegDataType::Absent;
    const RegValue* value = file_->Find(name);
    return value ? value->Type : RegDataType::Absent;
}

std::optional<std::string> TRegistry::ReadString(std::string_view name) const {
    if (!file_) return std::nullopt;
    const RegValue* value = file_->Find(name);
    if (!value || value->Type != RegDataType::String) return std::nullopt;
    return value->Text;
}

std::optional<std::int32_t> TRegistry::ReadInteger(std::string_view name) const {
    if (!file_) return std::nullopt;
    const RegValue* value = file_->Find(name);
    if (!value || value->Type != RegDataType::Integer) return std::nullopt;
    return static_cast<std::int32_t>(value->Number);
}

bool TRegistry::WriteString(std::string_view name, std::string_view text) {
    RegValue value;
    value.Name = std::string(name);
    value.Type = RegDataType::String;
    value.Text = std::string(text);
    return Write(std::move(value));
}

bool TRegistry::WriteInteger(std::string_view name, std::int32_t number) {
    RegValue value;
    value.Name = std::string(name);
    value.Type = RegDataType::Integer;
    value.Number = static_cast<std::uint32_t>(number);
    return Write(std::move(value));
}

void TRegistry::ForEachValue(const std::function<void(const RegValue&)>& visit) const {
    if (file_) file_->ForEachValue(visit);
}

std::vector<std::string> TRegistry::GetValueNames() const { return file_ ? file_->ValueNames() : std::vector<std::string>{}; }

bool TRegistry::Write(RegValue value) {
    if (!file_) return false;
    if (ReadOnly()) {
        lastError_ = "the key is open for reading only";
        return false;
    }
    // A value written as it is already stored changes nothing: the file is not rewritten for it.
    if (const RegValue* stored = file_->Find(value.Name); stored && SameValue(*stored, value)) return true;
    file_->Set(std::move(value));
    modified_ = true;
    return true;
}

}  // namespace telv
