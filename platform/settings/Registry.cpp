#include "Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <utility>

namespace telv {
namespace {

constexpr std::string_view kRootKeyName = "HKEY_CURRENT_USER";
constexpr std::string_view kKeyFileSuffix = ".reg";

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

bool WriteFileAtomically(const std::filesystem::path& path, const std::string& text) {
    const QString qtPath = ToQtPath(path);
    if (!QDir().mkpath(QFileInfo(qtPath).absolutePath())) return false;
    QSaveFile file(qtPath);
    if (!file.open(QIODevice::WriteOnly)) return false;
    const auto size = static_cast<qint64>(text.size());
    if (file.write(text.data(), size) != size) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
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

bool TRegistry::OpenKey(std::string_view path, bool canCreate) {
    CloseKey();
    const std::optional<std::vector<std::string>> parts = SplitKeyPath(path);
    if (!parts) return false;
    const std::filesystem::path filePath = *KeyFilePath(path);
    const QString qtPath = ToQtPath(filePath);

    if (QFileInfo::exists(qtPath)) {
        QFile file(qtPath);
        if (!file.open(QIODevice::ReadOnly) || static_cast<std::uintmax_t>(file.size()) > kMaxKeyFileSize) {
            return false;
        }
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) return false;
        file_ = RegistryFile::Parse(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                                    KeyName(*parts));
    } else {
        if (!canCreate) return false;
        RegistryFile created(KeyName(*parts));
        if (!WriteFileAtomically(filePath, created.Serialize())) return false;
        file_ = std::move(created);
    }
    openPath_ = filePath;
    modified_ = false;
    return true;
}

bool TRegistry::CloseKey() {
    if (!file_) return true;
    const bool written = !modified_ || WriteFileAtomically(openPath_, file_->Serialize());
    file_.reset();
    openPath_.clear();
    modified_ = false;
    return written;
}

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

std::vector<std::string> TRegistry::GetValueNames() const { return file_ ? file_->ValueNames() : std::vector<std::string>{}; }

bool TRegistry::Write(RegValue value) {
    if (!file_) return false;
    file_->Set(std::move(value));
    modified_ = true;
    return true;
}

}  // namespace telv
