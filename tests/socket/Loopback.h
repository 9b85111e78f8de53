// Test helpers: the Qt event loop the sockets need, and plain blocking loopback peers.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace telv::test {

// Runs the event loop until done() holds or timeoutMs have passed; done() on return.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 3000);
// Runs the event loop for ms milliseconds.
void PumpFor(int ms);

// An owned descriptor.
class TFd {
public:
    TFd() = default;
    explicit TFd(int fd) : fd_(fd) {}
    ~TFd() { Reset(); }
    TFd(TFd&& other) noexcept : fd_(other.Release()) {}
    TFd& operator=(TFd&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = other.Release();
        }
        return *this;
    }
    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Reset();

private:
    int fd_ = -1;
};

sockaddr_in LoopbackAddress(int port);
// The port a socket is bound to, and its local address in network order.
int LocalPort(int fd);
in_addr_t LocalAddress(int fd);

// A blocking TCP listener on 127.0.0.1 with a port of the system's choice.
class TListener {
public:
    explicit TListener(int backlog = 16);
    int Port() const { return port_; }
    int Handle() const { return fd_.Get(); }
    // The next connection, waiting at most timeoutMs; invalid on time-out.
    TFd Accept(int timeoutMs = 3000);

private:
    TFd fd_;
    int port_ = 0;
};

// A port on 127.0.0.1 where nothing listens (bound once, then released).
int ClosedPort();
// A blocking TCP connection to 127.0.0.1:port.
TFd ConnectTo(int port);
// A blocking UDP socket bound to 127.0.0.1.
TFd UdpSocket();

void SendAll(int fd, const std::string& bytes);
// Closes with a reset instead of an orderly shutdown.
void ResetAndClose(TFd& fd);
// Everything the peer sends until it closes, waiting at most timeoutMs in all.
std::string ReadUntilClosed(int fd, int timeoutMs = 3000);

// Elapsed time of a scope, in milliseconds.
class TStopwatch {
public:
    long long ElapsedMs() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_)
            .count();
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace telv::test
