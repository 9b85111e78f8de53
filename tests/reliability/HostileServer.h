// A server played by a reliability test on 127.0.0.1: accepts one console and sends it exactly
// the bytes the test chooses, in the pieces it chooses, then closes or resets the connection.
#pragma once

#include "Protocol.h"

#include <cstddef>
#include <cstdint>

namespace telv::test {

class HostileServer {
public:
    HostileServer();
    ~HostileServer();
    HostileServer(const HostileServer&) = delete;
    HostileServer& operator=(const HostileServer&) = delete;

    int Port() const { return port_; }
    // Accepts the console if it has connected; true once there is one.
    bool Accept();
    bool Connected() const { return peer_ >= 0; }
    // Sends all bytes (blocking); false when the console is gone.
    bool Send(const Bytes& bytes);
    // What the console has sent so far.
    const Bytes& Received();
    // An orderly close (the console reads the end of the stream), or a reset.
    void Close();
    void Reset();

private:
    int listener_ = -1;
    int peer_ = -1;
    int port_ = 0;
    Bytes received_;
};

}  // namespace telv::test
