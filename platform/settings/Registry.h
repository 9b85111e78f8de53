// The per-user settings store: keys of typed values under the current user's root, with the
// operations the program needs of the Windows registry.
//
// Each key is one file in registry-export text syntax (see RegistryFile.h) under the root
// directory: key "\Software\Vendor\Program" is <root>/HKEY_CURRENT_USER/Software/Vendor/Program.reg.
// OpenKey reads the file; the values live in memory while the key is open; CloseKey writes the
// file when a value was written, atomically (a complete new file replaces the old one), so a
// reader or a crash never sees half a file. Nothing stays open between OpenKey and CloseKey.
#pragma once

#include "RegistryFile.h"

#include <cstdint>
#include <filesystem>
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
    // Writes the key's file when a value was written since OpenKey; false when that write failed
    // (the file then stays as it was). Closing with no key open does nothing and succeeds.
    bool CloseKey();
    bool IsOpen() const { return file_.has_value(); }

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

    const std::filesystem::path& RootDirectory() const { return root_; }
    // The file that holds the key at path; nothing for an invalid path.
    std::optional<std::filesystem::path> KeyFilePath(std::string_view path) const;

private:
    bool Write(RegValue value);

    std::filesystem::path root_;
    std::filesystem::path openPath_;
    std::optional<RegistryFile> file_;
    bool modified_ = false;
};

}  // namespace telv
