// What one console still has to receive: whole messages in order, each not before its time,
// written without blocking; optionally in pieces of a fixed size, one piece per call, and
// optionally cut short (the connection then ends).
#pragma once

#include "Protocol.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>

namespace telv::sim {

using Millis = std::chrono::milliseconds;
using SharedBytes = std::shared_ptr<const Bytes>;

class OutputQueue {
public:
    // pieceSize 0: write as much as the socket takes; else one piece of that size per Flush.
    explicit OutputQueue(std::size_t pieceSize) : pieceSize_(pieceSize) {}

    void Push(SharedBytes bytes, Millis notBefore);
    // Only the first cutAt bytes of this message are ever sent; nothing after it.
    void PushCut(SharedBytes bytes, std::size_t cutAt, Millis notBefore);

    bool Empty() const { return items_.empty(); }
    std::size_t QueuedBytes() const { return queuedBytes_; }
    // When the front message may go; nothing when the queue is empty.
    std::optional<Millis> DueTime() const;
    bool CutReached() const { return cutReached_; }

    enum class FlushResult {
        Done,        // wrote what was due (or nothing was due)
        WouldBlock,  // the socket takes no more for now
        Failed,      // the peer is gone or the socket failed
        Cut,         // the cut message has been sent as far as its cut: end the connection
    };
    // Writes due bytes to a non-blocking socket; adds what was written to sentBytes.
    FlushResult Flush(int fd, Millis now, std::uint64_t& sentBytes);

private:
    struct Item {
        SharedBytes bytes;
        std::size_t end;     // bytes to send of this message
        std::size_t offset;  // bytes already sent
        Millis notBefore;
        bool cut;
    };
    static constexpr std::size_t kMaxBytesPerFlush = std::size_t{4} << 20;  // fairness between consoles

    std::size_t pieceSize_;
    std::deque<Item> items_;
    std::size_t queuedBytes_ = 0;
    bool cutReached_ = false;
};

}  // namespace telv::sim
