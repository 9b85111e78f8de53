// Test support for the simulator: an in-process simulator on a free loopback port with a clock
// moved by hand, and a minimal console that speaks through the project's codec and receive buffer.
#pragma once

#include "Protocol.h"
#include "Simulator.h"
#include "StackBuffer.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace telv::sim::test {

using namespace std::chrono_literals;

// A simulator serving in its own thread on 127.0.0.1, port chosen by the system.
class SimHarness {
public:
    explicit SimHarness(SimOptions options);
    ~SimHarness();

    std::uint16_t Port() const { return simulator_->Port(); }
    // Moves the simulator's clock forward (ticks, notices and delays follow on its next pass).
    void Advance(Millis by) { now_->fetch_add(by.count()); }
    // Whether some log line so far contains the text.
    bool Logged(const std::string& text) const;
    // Waits (real time) for the simulator's thread to end by itself.
    bool WaitForExit(Millis timeout);

private:
    std::shared_ptr<std::atomic<std::int64_t>> now_;
    mutable std::mutex logMutex_;
    std::vector<std::string> log_;
    std::unique_ptr<Simulator> simulator_;
    std::atomic<bool> exited_{false};
};

// One decoder outcome other than Incomplete; a message keeps its own copy of its bytes.
struct Received {
    DecodeOutcome outcome = DecodeOutcome::Incomplete;
    std::size_t length = 0;
    MessageKind kind = MessageKind::Empty;
    Bytes bytes;     // the message (Message outcomes only)
    int state = 0;   // the decoder state it was cut in

    DecodedMessage View() const { return DecodeNext(state, bytes.data(), bytes.size()); }
    bool Is(MessageKind k) const { return outcome == DecodeOutcome::Message && kind == k; }
};

// A console reduced to the conversation: connect, send, and cut the server's bytes into
// messages with DecodeNext by the state the test sets.
class TestConsole {
public:
    explicit TestConsole(std::uint16_t port);
    ~TestConsole();
    TestConsole(const TestConsole&) = delete;
    TestConsole& operator=(const TestConsole&) = delete;

    bool Connected() const { return fd_ >= 0; }
    std::uint16_t LocalPort() const { return localPort_; }
    static Ipv4Address LocalAddress() { return {127, 0, 0, 1}; }

    void Send(const Bytes& bytes);
    void Request(std::uint8_t requestCode) { Send(EncodeRequest(requestCode)); }
    void SetState(int s) { state_ = s; }
    int State() const { return state_; }
    // Decode from a copy of exactly the buffered bytes, so that a read past them is caught by
    // the address sanitizer (slower: for small streams only).
    void DecodeFromExactCopies(bool on) { exactCopies_ = on; }

    // The next outcome, reading as needed; none when nothing complete came in time or the
    // stream ended (PeerClosed tells which).
    std::optional<Received> Next(Millis timeout);
    // The next message of this kind; notices, text and empty messages before it are passed over
    // (and counted in Skipped()).
    std::optional<Received> NextOfKind(MessageKind kind, Millis timeout);
    // Nothing at all arrives (no byte) within the time.
    bool Silent(Millis timeout);
    // The server ends the stream within the time; whatever comes first is read and kept.
    bool WaitForClose(Millis timeout);

    bool PeerClosed() const { return peerClosed_; }
    std::size_t Buffered() const { return buffer_.Remaining(); }
    const StackBuffer& Buffer() const { return buffer_; }
    std::size_t PassedOver() const { return passedOver_; }

    // Version request, reply, client version, acknowledgement: Running afterwards.
    bool Handshake(Millis timeout = 3s);
    // Handshake and event mode with its echo.
    bool Start(bool events, Millis timeout = 3s);

private:
    // Reads what arrives within the time; false on timeout or end of stream.
    bool ReadSome(Millis timeout);

    int fd_ = -1;
    std::uint16_t localPort_ = 0;
    int state_ = WaitingHello;
    bool exactCopies_ = false;
    bool peerClosed_ = false;
    std::size_t passedOver_ = 0;
    StackBuffer buffer_;
};

// The decoded records of one list or statistics message.
std::vector<TELV_UDP_FULL_CHANEL_DATA> ChanelsOf(const Received& list);
std::vector<TELV_FULL_CLIENT_DATA> ClientsOf(const Received& list);
std::vector<TELV_STATISTICS_DATA> StatisticsOf(const Received& stats);

// Requests a list and waits for it.
std::optional<Received> FetchList(TestConsole& console, std::uint8_t requestCode, Millis timeout = 5s);

std::set<Handle> HandlesOf(const std::vector<TELV_UDP_FULL_CHANEL_DATA>& chanels);
std::set<Handle> HandlesOf(const std::vector<TELV_FULL_CLIENT_DATA>& clients);
DeviceIdField IdOf(const TELV_UDP_FULL_CHANEL_DATA& chanel);

// Options for a small quiet population: no periodic notices, no churn.
SimOptions QuietOptions(std::uint32_t devices = 50, std::uint32_t clients = 10);

}  // namespace telv::sim::test
