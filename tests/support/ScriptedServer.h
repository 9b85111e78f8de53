// A server played by a test on 127.0.0.1: accepts one console, sends it exactly the bytes the
// test chooses, in the pieces it chooses, records what it sends back, and closes or resets the
// connection.
#pragma once

#include "Protocol.h"

#include <cstddef>
#include <cstdint>

namespace telv::test {

class ScriptedServer {
public:
    ScriptedServer();
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int Port() const { return port_; }
    // Accepts the console if it has connected; true once there is one.
    bool Accept();
    bool Connected() const { return peer_ >= 0; }
    // Sends all bytes (blocking); false when the console is gone.
    [[nodiscard]] bool Send(const Bytes& bytes);
    // What the console has sent so far (since the last ClearReceived).
    const Bytes& Received();
    void ClearReceived() { received_.clear(); }
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
