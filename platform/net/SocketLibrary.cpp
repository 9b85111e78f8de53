#include "SocketLibrary.h"

#include "WinsockErrors.h"

#include <atomic>

namespace telv {
namespace {

constinit std::atomic<int> users{0};

}  // namespace

int WSAStartup(std::uint16_t requestedVersion) {
    if ((requestedVersion & 0xFF) < 1) return WSAVERNOTSUPPORTED;
    ++users;
    return 0;
}

int WSACleanup() {
    int current = users.load();
    while (current > 0) {
        if (users.compare_exchange_weak(current, current - 1)) return 0;
    }
    WSASetLastError(WSANOTINITIALISED);
    return -1;
}

int SocketLibraryUsers() { return users.load(); }

}  // namespace telv
