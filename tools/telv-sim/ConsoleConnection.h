// One console connected to the simulator: its socket, the bytes it sent that are not yet
// handled, its output queue, and where its conversation stands.
#pragma once

#include "OutputQueue.h"
#include "Records.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace telv::sim {

class ConsoleConnection {
public:
    // Takes ownership of a connected non-blocking socket.
    ConsoleConnection(int fd, std::uint32_t id, const Ipv4Address& peerAddress, std::uint16_t peerPort,
                      std::size_t pieceSize);
    ~ConsoleConnection();
    ConsoleConnection(const ConsoleConnection&) = delete;
    ConsoleConnection& operator=(const ConsoleConnection&) = delete;

    int Fd() const { return fd_; }
    std::uint32_t Id() const { return id_; }
    const Ipv4Address& PeerAddress() const { return peerAddress_; }
    std::uint16_t PeerPort() const { return peerPort_; }
    // "#3 127.0.0.1:40312", the prefix of this connection's log lines.
    const std::string& Name() const { return name_; }

    enum class ReadResult { Data, Nothing, Closed };
    // Reads what the socket holds, at most one buffer's worth.
    ReadResult Read();
    const std::vector<std::uint8_t>& Input() const { return input_; }
    void ConsumeInput(std::size_t n);
    std::uint64_t ReceivedBytes() const { return receivedBytes_; }

    OutputQueue& Output() { return output_; }
    const OutputQueue& Output() const { return output_; }
    OutputQueue::FlushResult Flush(Millis now) { return output_.Flush(fd_, now, sentBytes_); }
    std::uint64_t SentBytes() const { return sentBytes_; }

    // The conversation.
    std::optional<Handle> clientHandle;  // its row in the client table, once it said its version
    bool acknowledged = false;           // the acknowledgement went out: the console is running
    bool eventsEnabled = false;          // it asked for event translation
    bool cutSent = false;                // --close-mid-message has been applied

    // Ending: once the output is flushed the write side is shut, input is read and dropped until
    // the console closes or the linger time ends.
    bool closeRequested = false;
    std::optional<Millis> lingerUntil;
    std::string closeReason;
    bool finished = false;  // gone: removed from the simulator at the end of the loop pass

private:
    static constexpr std::size_t kReadChunk = 64 * 1024;

    int fd_;
    std::uint32_t id_;
    Ipv4Address peerAddress_;
    std::uint16_t peerPort_;
    std::string name_;
    std::vector<std::uint8_t> input_;
    std::uint64_t receivedBytes_ = 0;
    std::uint64_t sentBytes_ = 0;
    OutputQueue output_;
};

}  // namespace telv::sim
