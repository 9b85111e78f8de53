// The console's settings in the per-user store: the last server, the server history and three
// options, under the key "\Software\Велартон\TELV Клиент".
//
// Reading never fails: each value that is absent, of another type or unreadable falls back to its
// own default by itself. A key that cannot be opened leaves every value at the window's
// design-time state (the defaults of ClientSettings). Writing opens and closes the key within the
// call; nothing is kept open in between.
#pragma once

#include "ServerHistory.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace telv {

class TRegistry;

inline constexpr std::string_view kSettingsKeyPath = "\\Software\\Велартон\\TELV Клиент";

namespace setting {
inline constexpr std::string_view ServerAddress = "ServerAddress";
inline constexpr std::string_view ServerPort = "ServerPort";
inline constexpr std::string_view AutoRequest = "AutoRequest";
inline constexpr std::string_view AutoRequestInterval = "AutoRequestInterval";
inline constexpr std::string_view EnableEventTranslate = "EnableEventTranslate";
inline constexpr std::string_view ServerListCount = "ServerListCount";
}  // namespace setting

// The history value names: Server000, Port000, ..., Server1000 from index 1000 on.
std::string HistoryServerName(int index);
std::string HistoryPortName(int index);

// The automatic-request interval in seconds that the window can show.
inline constexpr std::int32_t kMinRequestInterval = 1;
inline constexpr std::int32_t kMaxRequestInterval = 100;

// A stored "ServerListCount" up to this is believed as it is: entries without stored values read
// as empty ones. A larger count reads only as far as the highest index with a stored history
// value, and never more than this many entries beyond the stored ones.
inline constexpr int kTrustedHistoryCount = 1000;

// The values that the reading puts into the window. The member defaults are the window's
// design-time state, kept when the key cannot be opened.
struct ClientSettings {
    std::string ServerAddress;               // text of the address box (stored default "127.0.0.1")
    std::string ServerPort;                  // text of the port box (stored default "5100")
    bool AutoRequest = true;                 // stored default on; any non-zero number is on
    std::int32_t AutoRequestInterval = 1;    // seconds, stored default 3, held to 1..100
    bool EnableEventTranslate = true;        // stored default on
    ServerList History;                      // from ServerListCount, Server%03d, Port%03d
    bool operator==(const ClientSettings&) const = default;
};

// Opens the key (creating it when missing), reads every value, closes the key. Without
// withHistory the history is not read (History stays empty), for a key read without it.
ClientSettings ReadClientSettings(TRegistry& registry, bool withHistory = true);
// Opens the key (creating it when missing), reads the history alone, closes the key.
ServerList ReadServerHistory(TRegistry& registry);
// True for the name of a history value ("Server%03d" or "Port%03d", letter case aside).
bool IsHistoryValueName(std::string_view name);

// After a successful connection: "ServerAddress" and "ServerPort" as typed, "ServerListCount",
// then "Server%03d" and "Port%03d" of each entry from the front. Entries beyond the count that
// remain in the store stay there. False when the key cannot be opened or written.
bool SaveServerSettings(TRegistry& registry, std::string_view addressText, std::string_view portText,
                        const ServerList& history);

// When the window closes: "AutoRequest" (1 or 0), "AutoRequestInterval", "EnableEventTranslate"
// (1 or 0), in this order. False when the key cannot be opened or written.
bool SaveClientOptions(TRegistry& registry, bool autoRequest, std::int32_t autoRequestInterval,
                       bool enableEventTranslate);

}  // namespace telv
