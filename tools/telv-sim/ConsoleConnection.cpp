#include "ConsoleConnection.h"

#include "Sysutil.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace telv::sim {

ConsoleConnection::ConsoleConnection(int fd, std::uint32_t id, const Ipv4Address& peerAddress,
                                     std::uint16_t peerPort, std::size_t pieceSize)
    : fd_(fd),
      id_(id),
      peerAddress_(peerAddress),
      peerPort_(peerPort),
      name_(Format("#%u %u.%u.%u.%u:%u", id, peerAddress[0], peerAddress[1], peerAddress[2], peerAddress[3],
                   peerPort)),
      output_(pieceSize) {}

ConsoleConnection::~ConsoleConnection() {
    if (fd_ >= 0) ::close(fd_);
}

ConsoleConnection::ReadResult ConsoleConnection::Read() {
    const std::size_t old = input_.size();
    input_.resize(old + kReadChunk);
    ssize_t got = 0;
    do {
        got = ::recv(fd_, input_.data() + old, kReadChunk, MSG_DONTWAIT);
    } while (got < 0 && errno == EINTR);
    if (got > 0) {
        input_.resize(old + static_cast<std::size_t>(got));
        receivedBytes_ += static_cast<std::uint64_t>(got);
        return ReadResult::Data;
    }
    input_.resize(old);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return ReadResult::Nothing;
    return ReadResult::Closed;  // end of stream or a socket error
}

void ConsoleConnection::ConsumeInput(std::size_t n) {
    input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(std::min(n, input_.size())));
}

}  // namespace telv::sim
