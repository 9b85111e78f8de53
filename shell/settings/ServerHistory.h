// The history of servers the console has connected to, most recent first.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace telv {

// One entry of the history.
struct ServerInfo {
    std::string Address;      // as the operator typed it: a host name or a dotted IPv4 address
    std::uint16_t Port = 0;   // the TCP port used for that address
    bool operator==(const ServerInfo&) const = default;
};

// Most recent first, no length limit. Entries read from the store are kept as they are, including
// repeated or empty addresses.
using ServerList = std::vector<ServerInfo>;

// After a successful connection: removes every entry whose Address equals address exactly (byte
// by byte, so letter case counts), then puts (address, port) at the front.
void AddServer(ServerList& list, std::string_view address, std::uint16_t port);

// The port that a change of the address text brings into the port box: that of the last entry
// whose Address equals the text exactly; nothing when none does (the port box stays as it is).
std::optional<std::uint16_t> LookUpServerPort(const ServerList& list, std::string_view address);

}  // namespace telv
