#include "ServerHistory.h"

#include <algorithm>

namespace telv {

void AddServer(ServerList& list, std::string_view address, std::uint16_t port) {
    std::erase_if(list, [address](const ServerInfo& entry) { return entry.Address == address; });
    list.insert(list.begin(), ServerInfo{std::string(address), port});
}

std::optional<std::uint16_t> LookUpServerPort(const ServerList& list, std::string_view address) {
    const auto match = std::find_if(list.rbegin(), list.rend(),
                                    [address](const ServerInfo& entry) { return entry.Address == address; });
    if (match == list.rend()) return std::nullopt;
    return match->Port;
}

}  // namespace telv
