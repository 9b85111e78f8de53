#include "Loopback.h"

#include <QCoreApplication>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

namespace telv::test {
namespace {

// One application object for the whole test program: the sockets' notifiers need its loop.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override { app_ = new QCoreApplication(argc_, argv_); }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

private:
    int argc_ = 1;
    char name_[16] = "socket-tests";
    char* argv_[2] = {name_, nullptr};
    QCoreApplication* app_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const qtEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

void Check(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(what);
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    const TStopwatch watch;
    for (;;) {
        QCoreApplication::processEvents();
        if (done()) return true;
        if (watch.ElapsedMs() >= timeoutMs) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

void TFd::Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

sockaddr_in LoopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int LocalPort(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    Check(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0, "getsockname");
    return ntohs(address.sin_port);
}

in_addr_t LocalAddress(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    Check(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0, "getsockname");
    return address.sin_addr.s_addr;
}

TListener::TListener(int backlog) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    Check(fd_.Valid(), "socket");
    const sockaddr_in address = LoopbackAddress(0);
    Check(::bind(fd_.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0, "bind");
    Check(::listen(fd_.Get(), backlog) == 0, "listen");
    port_ = LocalPort(fd_.Get());
}

TFd TListener::Accept(int timeoutMs) {
    pollfd entry{fd_.Get(), POLLIN, 0};
    if (::poll(&entry, 1, timeoutMs) != 1) return TFd{};
    return TFd{::accept4(fd_.Get(), nullptr, nullptr, SOCK_CLOEXEC)};
}

int ClosedPort() {
    TListener listener;
    return listener.Port();
}

TFd ConnectTo(int port) {
    TFd fd{::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    Check(fd.Valid(), "socket");
    const sockaddr_in address = LoopbackAddress(port);
    Check(::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0, "connect");
    return fd;
}

TFd UdpSocket() {
    TFd fd{::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
    Check(fd.Valid(), "socket");
    const sockaddr_in address = LoopbackAddress(0);
    Check(::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0, "bind");
    return fd;
}

void SendAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const auto sent = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        Check(sent > 0, "send");
        done += static_cast<std::size_t>(sent);
    }
}

void ResetAndClose(TFd& fd) {
    const linger abort{1, 0};
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    fd.Reset();
}

std::string ReadUntilClosed(int fd, int timeoutMs) {
    std::string bytes;
    const TStopwatch watch;
    char buffer[65536];
    while (watch.ElapsedMs() < timeoutMs) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, 50) != 1) continue;
        const auto received = ::recv(fd, buffer, sizeof buffer, 0);
        if (received <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(received));
    }
    return bytes;
}

}  // namespace telv::test
