#include "ClientSettings.h"

#include "AsciiText.h"
#include "Registry.h"
#include "Sysutil.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace telv {
namespace {

constexpr std::string_view kDefaultAddress = "127.0.0.1";
constexpr std::string_view kDefaultPort = "5100";
constexpr bool kDefaultAutoRequest = true;
constexpr std::int32_t kDefaultRequestInterval = 3;
constexpr bool kDefaultEventTranslate = true;

// A history value: which of the pair, and the index in its name.
struct HistoryName {
    bool IsServer = false;
    int Index = 0;
};

// The history value that a name designates (Server%03d or Port%03d, letter case aside, as the
// store compares names); nothing for any other name.
// Asked of every line of a large key, so an ASCII name, which folds to its ASCII lower case, is
// looked at as it is; only another name is folded first.
std::optional<HistoryName> ParseHistoryName(std::string_view name) {
    std::string folded;
    std::string_view rest = name;
    if (!IsAscii(name)) {
        folded = FoldRegistryName(name);
        rest = folded;
    }
    // Takes a prefix given in lower case off rest, ASCII letter case aside.
    const auto take = [&rest](std::string_view prefix) {
        if (!StartsWithNoCase(rest, prefix)) return false;
        rest.remove_prefix(prefix.size());
        return true;
    };
    HistoryName result;
    if (take("server")) {
        result.IsServer = true;
    } else if (!take("port")) {
        return std::nullopt;
    }
    if (rest.empty() || rest.size() > 10) return std::nullopt;
    std::int64_t index = 0;
    for (const char c : rest) {
        if (c < '0' || c > '9') return std::nullopt;
        index = index * 10 + (c - '0');
    }
    if (index > std::numeric_limits<int>::max()) return std::nullopt;
    // Only the form "%03d" writes: three digits, or more without a leading zero ("Server01" and
    // "Server0005" are other names).
    if (rest.size() < 3 || (rest.size() > 3 && rest.front() == '0')) return std::nullopt;
    result.Index = static_cast<int>(index);
    return result;
}

// How many history entries to read for a stored count (see kTrustedHistoryCount), given the
// indexes that have a stored value.
int HistoryReadCount(std::int32_t storedCount, const std::vector<int>& storedIndexes) {
    if (storedCount <= 0) return 0;
    if (storedCount <= kTrustedHistoryCount) return storedCount;
    const int highest = storedIndexes.empty() ? -1 : *std::max_element(storedIndexes.begin(), storedIndexes.end());
    std::int64_t distinct = 0;
    if (highest < (1 << 24)) {
        std::vector<bool> seen(static_cast<std::size_t>(highest + 1), false);
        for (const int index : storedIndexes) {
            if (!seen[static_cast<std::size_t>(index)]) ++distinct;
            seen[static_cast<std::size_t>(index)] = true;
        }
    } else {
        std::vector<int> sorted = storedIndexes;
        std::sort(sorted.begin(), sorted.end());
        distinct = std::unique(sorted.begin(), sorted.end()) - sorted.begin();
    }
    const std::int64_t limit =
        std::min<std::int64_t>({storedCount, std::int64_t{highest} + 1, distinct + kTrustedHistoryCount});
    return static_cast<int>(limit);
}

// The history in one pass over the key's values (a long history is read value by value, not
// looked up name by name).
ServerList ReadHistory(const TRegistry& registry) {
    struct Stored {
        HistoryName Name;
        const RegValue* Value;
    };
    std::vector<Stored> stored;
    std::vector<int> indexes;
    registry.ForEachValue([&](const RegValue& value) {
        if (const std::optional<HistoryName> name = ParseHistoryName(value.Name)) {
            stored.push_back({*name, &value});
            indexes.push_back(name->Index);
        }
    });
    const int count = HistoryReadCount(registry.ReadInteger(setting::ServerListCount).value_or(0), indexes);
    ServerList history(static_cast<std::size_t>(count));
    for (const Stored& entry : stored) {
        if (entry.Name.Index >= count) continue;
        ServerInfo& info = history[static_cast<std::size_t>(entry.Name.Index)];
        if (entry.Name.IsServer && entry.Value->Type == RegDataType::String) {
            info.Address = entry.Value->Text;
        } else if (!entry.Name.IsServer && entry.Value->Type == RegDataType::Integer) {
            info.Port = static_cast<std::uint16_t>(entry.Value->Number & 0xFFFFu);
        }
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

bool IsHistoryValueName(std::string_view name) { return ParseHistoryName(name).has_value(); }

ClientSettings ReadClientSettings(TRegistry& registry, bool withHistory) {
    ClientSettings settings;
    if (!registry.OpenKey(kSettingsKeyPath, true)) return settings;
    settings.ServerAddress = registry.ReadString(setting::ServerAddress).value_or(std::string(kDefaultAddress));
    settings.ServerPort = registry.ReadString(setting::ServerPort).value_or(std::string(kDefaultPort));
    settings.AutoRequest = ReadFlag(registry, setting::AutoRequest, kDefaultAutoRequest);
    settings.AutoRequestInterval =
        std::clamp(registry.ReadInteger(setting::AutoRequestInterval).value_or(kDefaultRequestInterval),
                   kMinRequestInterval, kMaxRequestInterval);
    settings.EnableEventTranslate = ReadFlag(registry, setting::EnableEventTranslate, kDefaultEventTranslate);
    if (withHistory) settings.History = ReadHistory(registry);
    registry.CloseKey();
    return settings;
}

ServerList ReadServerHistory(TRegistry& registry) {
    if (!registry.OpenKey(kSettingsKeyPath, true)) return {};
    ServerList history = ReadHistory(registry);
    registry.CloseKey();
    return history;
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
