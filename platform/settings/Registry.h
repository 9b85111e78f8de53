// The per-user settings store: keys of typed values under the current user's root, with the
// operations the program needs of the Windows registry.
//
// Each key is one file in registry-export text syntax (see RegistryFile.h) under the root
// directory: key "\Software\Vendor\Program" is <root>/HKEY_CURRENT_USER/Software/Vendor/Program.reg.
// OpenKey reads the file (or takes the copy kept from the last use of that key, while the file is
// unchanged on disk); the values live in memory while the key is open; CloseKey writes the
// file when a value was written, whole or not at all (a complete new file replaces the old one,
// or the old one stays), so a reader or a crash never sees half a file. Nothing stays open
// between OpenKey and CloseKey.
#pragma once

#include "RegistryFile.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace telv {

class TRegistry {
public:
    // A key file larger than this is not read (OpenKey fails and the file is left alone).
    static constexpr std::uintmax_t kMaxKeyFileSize = std::uintmax_t{64} << 20;

    // The per-user root: <generic config dir>/telv-console/registry, e.g. ~/.config/telv-console/registry.
    static std::filesystem::path DefaultRootDirectory();

    explicit TRegistry(std::filesystem::path rootDirectory = DefaultRootDirectory());
    ~TRegistry();  // closes an open key, writing it when it changed
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    // Opens the key at path ("\Software\Vendor\Program"; the leading backslash is optional), first
    // closing the key that is open. A missing key is created (its file written at once) when
    // canCreate is set. Fails for a path with an empty, "." or ".." part or one containing '/',
    // an unreadable or oversized file, or a key that cannot be created.
    bool OpenKey(std::string_view path, bool canCreate);
    // Writes the key's file when a value changed since OpenKey; false when that write failed
    // (the file then stays as it was). Closing with no key open does nothing and succeeds.
    bool CloseKey();
    bool IsOpen() const { return file_.has_value(); }
    // While a filter is set, keys are opened for reading only and their files are read without
    // the values whose names it accepts (their lines are not even parsed), which makes a quick
    // look at a few values of a very large key: writes fail and CloseKey writes nothing. A key
    // read so is kept for the next OpenKey with the same filter only; a key kept whole serves
    // every OpenKey. No filter (the default) reads and writes keys whole. Set it with no key open.
    void SetSkippedValues(RegistryFile::NameFilter skip);
    // True when the open key was read without some of its values.
    bool IsPartlyRead() const { return file_.has_value() && openPartial_; }
    // Why the last OpenKey or CloseKey failed, in the system's words where it gave them (e.g.
    // "No space left on device"); empty after an OpenKey that succeeded.
    const std::string& LastError() const { return lastError_; }

    // Absent when no key is open or the value does not exist.
    RegDataType GetDataType(std::string_view name) const;
    // The value when it exists with that type; nothing otherwise.
    std::optional<std::string> ReadString(std::string_view name) const;
    std::optional<std::int32_t> ReadInteger(std::string_view name) const;
    // Set the value, replacing one of any type; false when no key is open.
    bool WriteString(std::string_view name, std::string_view value);
    bool WriteInteger(std::string_view name, std::int32_t value);
    // The names of the key's values, in file order; empty when no key is open.
    std::vector<std::string> GetValueNames() const;
    // Calls visit with each value of the open key, in file order; nothing when no key is open.
    void ForEachValue(const std::function<void(const RegValue&)>& visit) const;

    const std::filesystem::path& RootDirectory() const { return root_; }
    // The file that holds the key at path; nothing for an invalid path.
    std::optional<std::filesystem::path> KeyFilePath(std::string_view path) const;

private:
    // What tells whether a file changed: device, inode, size and modification time.
    struct FileStamp {
        std::uint64_t Device = 0;
        std::uint64_t Inode = 0;
        std::int64_t Size = 0;
        std::int64_t ModifiedSeconds = 0;
        std::int64_t ModifiedNanoseconds = 0;
        bool operator==(const FileStamp&) const = default;
    };
    static std::optional<FileStamp> StampOf(const std::filesystem::path& file);
    static bool IsSettled(const FileStamp& stamp);
    bool ReadKeyFile(const std::filesystem::path& file, std::string keyName);
    bool ReadOnly() const { return skip_ != nullptr; }
    bool Write(RegValue value);

    std::filesystem::path root_;
    std::filesystem::path openPath_;
    std::optional<RegistryFile> file_;
    std::optional<FileStamp> openStamp_;  // of the file as read; nothing when unknown
    bool modified_ = false;
    bool openPartial_ = false;  // the open key lacks the values skip_ accepted when it was read
    RegistryFile::NameFilter skip_ = nullptr;
    std::string lastError_;
    // The key as last read or written, kept after CloseKey and taken again by an OpenKey of the
    // same file while the file on disk is unchanged, so a large key is not read and parsed anew
    // each time.
    std::filesystem::path cachedPath_;
    std::optional<RegistryFile> cached_;
    FileStamp cachedStamp_;
    RegistryFile::NameFilter cachedSkip_ = nullptr;  // the filter the kept key was read with
};

}  // namespace telv
