#include "ClientSettings.h"

#include "Registry.h"
#include "Sysutil.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>
#include <optional>
#include <unordered_set>

namespace telv {
namespace {

constexpr std::string_view kDefaultAddress = "127.0.0.1";
constexpr std::string_view kDefaultPort = "5100";
constexpr bool kDefaultAutoRequest = true;
constexpr std::int32_t kDefaultRequestInterval = 3;
constexpr bool kDefaultEventTranslate = true;

constexpr std::string_view kServerPrefix = "Server";
constexpr std::string_view kPortPrefix = "Port";

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

// The index of a history value name (Server%03d or Port%03d, letter case aside); nothing for
// any other name.
std::optional<int> HistoryIndexOf(std::string_view name) {
    std::string_view digits;
    if (StartsWithNoCase(name, kServerPrefix)) {
        digits = name.substr(kServerPrefix.size());
    } else if (StartsWithNoCase(name, kPortPrefix)) {
        digits = name.substr(kPortPrefix.size());
    } else {
        return std::nullopt;
    }
    if (digits.empty() || digits.size() > 10) return std::nullopt;
    std::int64_t index = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        index = index * 10 + (c - '0');
    }
    if (index > std::numeric_limits<int>::max()) return std::nullopt;
    const int result = static_cast<int>(index);
    if (Format("%03d", result) != digits) return std::nullopt;  // "Server01", "Server0005"
    return result;
}

// How many history entries to read for a stored count (see kTrustedHistoryCount).
int HistoryReadCount(const TRegistry& registry, std::int32_t storedCount) {
    if (storedCount <= 0) return 0;
    if (storedCount <= kTrustedHistoryCount) return storedCount;
    std::unordered_set<int> storedIndexes;
    int highest = -1;
    for (const std::string& name : registry.GetValueNames()) {
        if (const std::optional<int> index = HistoryIndexOf(name)) {
            storedIndexes.insert(*index);
            highest = std::max(highest, *index);
        }
    }
    const std::int64_t limit = std::min<std::int64_t>(
        {storedCount, std::int64_t{highest} + 1, static_cast<std::int64_t>(storedIndexes.size()) + kTrustedHistoryCount});
    return static_cast<int>(limit);
}

ServerList ReadHistory(const TRegistry& registry) {
    const int count = HistoryReadCount(registry, registry.ReadInteger(setting::ServerListCount).value_or(0));
    ServerList history;
    history.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        ServerInfo entry;
        if (std::optional<std::string> address = registry.ReadString(HistoryServerName(i))) {
            entry.Address = std::move(*address);
        }
        if (const std::optional<std::int32_t> port = registry.ReadInteger(HistoryPortName(i))) {
            entry.Port = static_cast<std::uint16_t>(static_cast<std::uint32_t>(*port) & 0xFFFFu);
        }
        history.push_back(std::move(entry));
    }
    return history;
}

bool ReadFlag(const TRegistry& registry, std::string_view name, bool fallback) {
    const std::optional<std::int32_t> value = registry.ReadInteger(name);
    return value ? *value != 0 : fallback;
}

}  // namespace

std::string HistoryServerName(int index) { return Format("Server%03d", index); }
std::string HistoryPortName(int index) { return Format("Port%03d", index); }

ClientSettings ReadClientSettings(TRegistry& registry) {
    ClientSettings settings;
    if (!registry.OpenKey(kSettingsKeyPath, true)) return settings;
    settings.ServerAddress = registry.ReadString(setting::ServerAddress).value_or(std::string(kDefaultAddress));
    settings.ServerPort = registry.ReadString(setting::ServerPort).value_or(std::string(kDefaultPort));
    settings.AutoRequest = ReadFlag(registry, setting::AutoRequest, kDefaultAutoRequest);
    settings.AutoRequestInterval =
        std::clamp(registry.ReadInteger(setting::AutoRequestInterval).value_or(kDefaultRequestInterval),
                   kMinRequestInterval, kMaxRequestInterval);
    settings.EnableEventTranslate = ReadFlag(registry, setting::EnableEventTranslate, kDefaultEventTranslate);
    settings.History = ReadHistory(registry);
    registry.CloseKey();
    return settings;
}

bool SaveServerSettings(TRegistry& registry, std::string_view addressText, std::string_view portText,
                        const ServerList& history) {
    if (!registry.OpenKey(kSettingsKeyPath, true)) return false;
    // The count never claims more entries than are written.
    const std::size_t count = std::min<std::size_t>(history.size(), std::numeric_limits<std::int32_t>::max());
    registry.WriteString(setting::ServerAddress, addressText);
    registry.WriteString(setting::ServerPort, portText);
    registry.WriteInteger(setting::ServerListCount, static_cast<std::int32_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
        const int index = static_cast<int>(i);
        registry.WriteString(HistoryServerName(index), history[i].Address);
        registry.WriteInteger(HistoryPortName(index), history[i].Port);
    }
    return registry.CloseKey();
}

bool SaveClientOptions(TRegistry& registry, bool autoRequest, std::int32_t autoRequestInterval,
                       bool enableEventTranslate) {
    if (!registry.OpenKey(kSettingsKeyPath, true)) return false;
    registry.WriteInteger(setting::AutoRequest, autoRequest ? 1 : 0);
    registry.WriteInteger(setting::AutoRequestInterval, autoRequestInterval);
    registry.WriteInteger(setting::EnableEventTranslate, enableEventTranslate ? 1 : 0);
    return registry.CloseKey();
}

}  // namespace telv
