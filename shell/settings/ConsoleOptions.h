// The console's own on/off options beyond the three of the server conversation, kept in the
// settings key beside them: each a 32-bit number, on when not 0, written when it is switched.
#pragma once

#include <string_view>

namespace telv {

class TRegistry;

namespace setting {
inline constexpr std::string_view Reconnect = "Reconnect";  // "Переподключаться", off by default
inline constexpr std::string_view LogToFile = "LogToFile";  // the log kept in daily files, off by default
}  // namespace setting

// Opens the settings key, reads the option, closes the key; the fallback when it is absent, of
// another type, or the key cannot be opened.
bool ReadOptionFlag(TRegistry& registry, std::string_view name, bool fallback);
// Writes the option as 1 or 0; false when the key cannot be opened or written.
bool SaveOptionFlag(TRegistry& registry, std::string_view name, bool on);

}  // namespace telv
