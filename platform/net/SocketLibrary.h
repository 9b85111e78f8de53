// Start and stop of the socket library. The library counts its users: every successful start
// needs one stop. Sockets can be created only while it is started.
#pragma once

#include <cstdint>

namespace telv {

// The version word: major version in the low byte, minor in the high byte.
constexpr std::uint16_t MakeSocketVersion(std::uint8_t major, std::uint8_t minor) {
    return static_cast<std::uint16_t>(major | (minor << 8));
}

// Starts the library for one more user; 0 on success, WSAVERNOTSUPPORTED for a version below 1.0.
int WSAStartup(std::uint16_t requestedVersion);
// Ends one user's start; 0, or −1 with WSANOTINITIALISED when nobody started it.
int WSACleanup();
// The number of starts not yet stopped.
int SocketLibraryUsers();
inline bool SocketLibraryStarted() { return SocketLibraryUsers() > 0; }

}  // namespace telv
