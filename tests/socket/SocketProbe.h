// Test helpers around the sockets: a log of the notifications that reach the handlers, and
// sockets that let a test queue notifications of its own.
#pragma once

#include "Loopback.h"
#include "SocketCore.h"

#include <ostream>
#include <vector>

namespace telv::test {

struct TEvent {
    int event;
    int error;
    bool operator==(const TEvent&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const TEvent& e) {
    return out << "{event " << e.event << ", error " << e.error << "}";
}

// Records every notification the six handlers receive, in order.
class TEventLog {
public:
    void Attach(TAsyncSocket& socket) {
        socket.OnAccept = Recorder(FD_ACCEPT);
        socket.OnClose = Recorder(FD_CLOSE);
        socket.OnConnect = Recorder(FD_CONNECT);
        socket.OnOOB = Recorder(FD_OOB);
        socket.OnRead = Recorder(FD_READ);
        socket.OnWrite = Recorder(FD_WRITE);
    }
    int Count(int event) const {
        int n = 0;
        for (const TEvent& e : events)
            if (e.event == event) ++n;
        return n;
    }
    std::vector<TEvent> events;

private:
    TAsyncSocket::THandler Recorder(int event) {
        return [this, event](TAsyncSocket*, int error) { events.push_back({event, error}); };
    }
};

// A socket whose test can queue notifications as if the system had reported them.
template <class Base>
class TProbe : public Base {
public:
    using Base::Base;
    void Post(int event, int error) { this->Notifications().Post({this->Handle(), event, error}); }
    std::size_t Queued() { return this->Notifications().Queued(); }
};

// Opens socket as the connection controller does and connects it to 127.0.0.1:port; true once
// FD_CONNECT has come without error (the handlers are left as they were).
inline bool OpenAndConnect(TAsyncSocket& socket, int port) {
    if (!socket.Open(0, "0", SOCK_STREAM, IPPROTO_TCP)) return false;
    bool connected = false;
    TAsyncSocket::THandler previous = socket.OnConnect;
    socket.OnConnect = [&](TAsyncSocket* sender, int error) {
        connected = error == 0;
        if (previous) previous(sender, error);
    };
    const bool started = socket.ConnectByName("127.0.0.1", port);
    const bool done = started && PumpUntil([&] { return connected; });
    socket.OnConnect = previous;
    return done;
}

}  // namespace telv::test
