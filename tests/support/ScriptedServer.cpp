#include "ScriptedServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace telv::test {

ScriptedServer::ScriptedServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::listen(listener_, 4);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    ::fcntl(listener_, F_SETFL, O_NONBLOCK);
}

ScriptedServer::~ScriptedServer() {
    if (peer_ >= 0) ::close(peer_);
    ::close(listener_);
}

bool ScriptedServer::Accept() {
    if (peer_ < 0) peer_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    return peer_ >= 0;
}

bool ScriptedServer::Send(const Bytes& bytes) {
    std::size_t sent = 0;
    while (peer_ >= 0 && sent < bytes.size()) {
        const ssize_t n = ::send(peer_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return peer_ >= 0;
}

const Bytes& ScriptedServer::Received() {
    std::uint8_t buffer[4096];
    while (peer_ >= 0) {
        const ssize_t n = ::recv(peer_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0) break;
        received_.insert(received_.end(), buffer, buffer + n);
    }
    return received_;
}

void ScriptedServer::Close() {
    if (peer_ >= 0) ::close(peer_);
    peer_ = -1;
}

void ScriptedServer::Reset() {
    if (peer_ < 0) return;
    const linger abort{1, 0};
    ::setsockopt(peer_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    Close();
}

}  // namespace telv::test
