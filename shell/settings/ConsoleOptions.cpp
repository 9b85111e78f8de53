#include "ConsoleOptions.h"

#include "ClientSettings.h"
#include "Registry.h"

namespace telv {

bool ReadOptionFlag(TRegistry& registry, std::string_view name, bool fallback) {
    if (!registry.OpenKey(kSettingsKeyPath, true)) return fallback;
    const auto value = registry.ReadInteger(name);
    registry.CloseKey();
    return value ? *value != 0 : fallback;
}

bool SaveOptionFlag(TRegistry& registry, std::string_view name, bool on) {
    if (!registry.OpenKey(kSettingsKeyPath, true)) return false;
    registry.WriteInteger(name, on ? 1 : 0);
    return registry.CloseKey();
}

}  // namespace telv
