#include "SocketCore.h"

#include "SocketWait.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <optional>

namespace telv {
namespace {

using Clock = std::chrono::steady_clock;

// How long a message-pump wait without a limit polls before it looks round again.
constexpr int kPumpSliceMs = 50;

}  // namespace

// A point in time a call must end by, or none.
class TSyncSocket::TDeadline {
public:
    // timeoutMs ≤ 0 with unlimited = true: no deadline; otherwise timeoutMs (≥ 0) from now.
    TDeadline(int timeoutMs, bool zeroIsUnlimited) {
        if (!(zeroIsUnlimited && timeoutMs <= 0))
            end_ = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    }
    bool Limited() const { return end_.has_value(); }
    // Milliseconds left, rounded up, never below 0; only for a limited deadline.
    int RemainingMs() const {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*end_ - Clock::now()).count();
        return static_cast<int>(std::max<decltype(left)>(left, 0));
    }
    bool Passed() const { return Limited() && Clock::now() >= *end_; }

private:
    std::optional<Clock::time_point> end_;
};

TSyncSocket::TSyncSocket(int firstWaitMs, int laterWaitMs)
    : firstWaitMs_(firstWaitMs), laterWaitMs_(laterWaitMs) {}

TSyncSocket::~TSyncSocket() {
    if (IsOpen()) Close();
}

bool TSyncSocket::RefusedWhileWaiting() const {
    if (pendingWait_ == nullptr) return false;
    WSASetLastError(WSAEINPROGRESS);
    return true;
}

bool TSyncSocket::Accept(TAsyncSocket& newSocket, sockaddr* address, socklen_t* length) {
    if (RefusedWhileWaiting()) return false;
    const TDeadline deadline(firstWaitMs_, true);
    for (;;) {
        if (TAsyncSocket::Accept(newSocket, address, length)) return true;
        if (WSAGetLastError() != WSAEWOULDBLOCK || !PumpWait(FD_ACCEPT, deadline)) return false;
    }
}

void TSyncSocket::Close() {
    if (IsOpen()) {
        Notifications().Select(-1, 0);
        if (pendingWait_ != nullptr) {
            *pendingWait_ = false;
            pendingWait_ = nullptr;
        }
    }
    TAsyncSocket::Close();
}

int TSyncSocket::Receive(void* buffer, int length, int flags) {
    if (RefusedWhileWaiting()) return -1;
    if (!IsOpen()) {
        WSASetLastError(WSAENOTSOCK);
        return -1;
    }
    auto* bytes = static_cast<char*>(buffer);
    int total = 0;
    int waitMs = firstWaitMs_;
    while (total < length) {
        // A wait that times out still tries once: the receive then says WSAEWOULDBLOCK.
        if (WaitForSocket(Handle(), POLLIN, waitMs) < 0) return total > 0 ? total : -1;
        const int received = TAsyncSocket::Receive(bytes + total, length - total, flags);
        if (received < 0) return total > 0 ? total : -1;
        if (received == 0) return total;  // end of stream: 0 tells the caller it is closed
        total += received;
        if (laterWaitMs_ <= 0) return total;
        waitMs = laterWaitMs_;
    }
    return total;
}

int TSyncSocket::Send(const void* data, int length, int flags) {
    if (RefusedWhileWaiting()) return -1;
    if (length <= 0) return 0;
    if (!IsOpen()) {
        WSASetLastError(WSAENOTSOCK);
        return -1;
    }
    // One deadline for the whole call: a peer that stops reading cannot hold the caller longer.
    const TDeadline deadline(firstWaitMs_, false);
    const auto* bytes = static_cast<const char*>(data);
    int remaining = length;
    while (remaining > 0) {
        const int ready = WaitForSocket(Handle(), POLLOUT, deadline.RemainingMs());
        if (ready < 0) return -1;
        if (ready == 0) {
            WSASetLastError(WSAETIMEDOUT);
            return -1;
        }
        const int sent = TAsyncSocket::Send(bytes + (length - remaining), remaining, flags);
        if (sent < 0) {
            if (WSAGetLastError() == WSAEWOULDBLOCK) continue;
            return -1;
        }
        remaining -= sent;
    }
    return length;
}

bool TSyncSocket::Connect(const sockaddr* address, socklen_t length) {
    if (RefusedWhileWaiting()) return false;
    if (!TAsyncSocket::Connect(address, length)) return false;
    if (WSAGetLastError() != WSAEWOULDBLOCK) return true;
    // Writable, or failed (poll reports the error condition): either way the attempt has ended.
    const int ready = WaitForSocket(Handle(), POLLOUT, firstWaitMs_);
    if (ready < 0) return false;
    if (ready == 0) {
        WSASetLastError(WSAETIMEDOUT);
        return false;
    }
    return true;
}

int TSyncSocket::ReceiveFrom(void* buffer, int length, sockaddr* address, socklen_t* addressLength, int flags) {
    if (RefusedWhileWaiting()) return -1;
    const TDeadline deadline(firstWaitMs_, true);
    for (;;) {
        const int received = TAsyncSocket::ReceiveFrom(buffer, length, address, addressLength, flags);
        if (received >= 0) return received;
        if (WSAGetLastError() != WSAEWOULDBLOCK || !PumpWait(FD_READ, deadline)) return -1;
    }
}

int TSyncSocket::SendTo(const void* data, int length, const sockaddr* address, socklen_t addressLength, int flags) {
    if (RefusedWhileWaiting()) return -1;
    const TDeadline deadline(firstWaitMs_, true);
    for (;;) {
        const int sent = TAsyncSocket::SendTo(data, length, address, addressLength, flags);
        if (sent >= 0) return sent;
        if (WSAGetLastError() != WSAEWOULDBLOCK || !PumpWait(FD_WRITE, deadline)) return -1;
    }
}

// Takes this socket's notifications past the event loop until the awaited one, FD_CLOSE, the
// deadline or a Close; everything else it takes is dropped, nothing is dispatched.
bool TSyncSocket::PumpWait(int event, const TDeadline& deadline) {
    enum class Outcome { Awaited, Closed, TimedOut };
    bool active = true;
    pendingWait_ = &active;
    const int handle = Handle();
    Outcome outcome = Outcome::TimedOut;
    for (;;) {
        if (const auto notification = Notifications().Take()) {
            if (notification->handle != handle) continue;
            if (notification->event == FD_CLOSE) {
                outcome = Outcome::Closed;
                break;
            }
            if (notification->event == event) {
                outcome = Outcome::Awaited;
                break;
            }
            continue;
        }
        if (deadline.Passed()) {
            outcome = Outcome::TimedOut;
            break;
        }
        Notifications().PollOnce(deadline.Limited() ? std::min(deadline.RemainingMs(), kPumpSliceMs) : kPumpSliceMs);
        RunWaitIdleHook();
        if (!active) {
            // Closed meanwhile, perhaps deleted: touch nothing of this socket.
            WSASetLastError(WSAEINTR);
            return false;
        }
    }
    pendingWait_ = nullptr;
    switch (outcome) {
    case Outcome::Awaited:
        return true;
    case Outcome::TimedOut:
        WSASetLastError(WSAETIMEDOUT);
        return false;
    case Outcome::Closed:
        // Given back to the event loop so that OnClose still comes.
        WSASetLastError(WSAENETDOWN);
        Notifications().Post({handle, FD_CLOSE, WSAENETDOWN});
        return false;
    }
    return false;
}

}  // namespace telv
