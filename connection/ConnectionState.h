// The states of the connection to the server.
#pragma once

namespace telv {

enum State : int {
    Disconnected = 0,  // no connection; received bytes are discarded
    Connecting = 1,    // socket created, TCP connection being set up
    WaitingHello = 2,  // connected, version request sent, waiting for the server's version
    WaitingAck = 3,    // client version sent, waiting for the acknowledgement
    Running = 4,       // handshake complete: lists, statistics, notices and commands flow
};

}  // namespace telv
