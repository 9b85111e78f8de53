// The receive path at the protocol's limit: a full channel list (1,048,560 records, 55,573,685
// bytes) sent over loopback by the simulator's output queue and drained as the connection
// controller drains its socket (blocks of the readable count up to 256 KiB, messages cut after
// each block, at most 4 MiB per notification), appended to StackBuffer and cut by DecodeNext. The baseline receives the same
// stream the same way into one preallocated block. In memory, appends of 64 KiB pieces at
// 1/4, 1/2 and all of the list show that the cost per byte does not grow with the message.
#include "BenchData.h"
#include "BenchTiming.h"
#include "ConnectionController.h"
#include "OutputQueue.h"
#include "StackBuffer.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

namespace telv::bench {
namespace {

constexpr std::size_t kPiece = 64 * 1024;
constexpr std::size_t kMaxDrainBytes = ConnectionController::kMaxDrainBytes;
constexpr int kReadBlockBytes = ConnectionController::kReadBlockBytes;

const Bytes& FullList() { return Messages(kFullChanels, kFullClients).chanelList; }

// A connected pair of TCP sockets on 127.0.0.1.
struct LoopbackPair {
    int sender = -1;
    int receiver = -1;

    LoopbackPair() {
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listener, 1) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("loopback listener");
        receiver = ::socket(AF_INET, SOCK_STREAM, 0);
        if (::connect(receiver, reinterpret_cast<sockaddr*>(&address), length) != 0)
            throw std::runtime_error("loopback connect");
        sender = ::accept(listener, nullptr, nullptr);
        ::close(listener);
        if (sender < 0) throw std::runtime_error("loopback accept");
    }
    ~LoopbackPair() {
        ::close(sender);
        ::close(receiver);
    }
    LoopbackPair(const LoopbackPair&) = delete;
    LoopbackPair& operator=(const LoopbackPair&) = delete;
};

// Sends one message through the simulator's output queue (pieceSize 0: as much as the socket
// takes per write, up to 4 MB; else one piece of that size per write), waiting for writability.
void SendThroughQueue(int fd, const Bytes& message, std::size_t pieceSize) {
    sim::OutputQueue queue(pieceSize);
    queue.Push(std::make_shared<const Bytes>(message), sim::Millis{0});
    std::uint64_t sent = 0;
    while (!queue.Empty()) {
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 1000);
        if (queue.Flush(fd, sim::Millis{0}, sent) == sim::OutputQueue::FlushResult::Failed) return;
    }
}

void WaitReadable(int fd) {
    pollfd p{fd, POLLIN, 0};
    ::poll(&p, 1, 5000);
}

// What one receive takes: the readable count, at most a block.
int Readable(int fd) {
    int count = 0;
    return ::ioctl(fd, FIONREAD, &count) == 0 ? std::min(count, kReadBlockBytes) : 0;
}

// Baseline: each notification drains what the socket holds into one preallocated block.
std::size_t ReceivePreallocated(int fd, std::vector<std::uint8_t>& block, std::size_t expected) {
    std::size_t got = 0;
    while (got < expected) {
        WaitReadable(fd);
        std::size_t drained = 0;
        for (int n = Readable(fd); n > 0 && drained < kMaxDrainBytes && got < expected; n = Readable(fd)) {
            const std::size_t want = std::min(static_cast<std::size_t>(n), expected - got);
            const ssize_t r = ::recv(fd, block.data() + got, want, 0);
            if (r <= 0) return got;
            got += static_cast<std::size_t>(r);
            drained += static_cast<std::size_t>(r);
        }
    }
    return got;
}

// The console's path: receive a block, append it, cut the messages, and again.
std::size_t ReceiveIntoStackBuffer(int fd, StackBuffer& buffer) {
    std::vector<std::uint8_t> block;
    for (;;) {
        WaitReadable(fd);
        std::size_t drained = 0;
        for (int n = Readable(fd); n > 0 && drained < kMaxDrainBytes; n = Readable(fd)) {
            block.resize(static_cast<std::size_t>(n));
            const ssize_t r = ::recv(fd, block.data(), block.size(), 0);
            if (r <= 0) return 0;
            buffer.Append(block.data(), static_cast<std::size_t>(r));
            drained += static_cast<std::size_t>(r);
            while (buffer.Remaining() > 0) {
                const DecodedMessage m = DecodeNext(Running, buffer.Front(), buffer.Remaining());
                if (m.outcome == DecodeOutcome::Incomplete) break;
                buffer.Consume(m.length);
                if (m.outcome == DecodeOutcome::Message && m.kind == MessageKind::ChannelList) return m.length;
            }
        }
    }
}

template <class Receive>
void LoopbackBenchmark(benchmark::State& state, Receive receive) {
    const Bytes& message = FullList();
    const auto pieceSize = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        LoopbackPair pair;
        std::atomic<bool> go{false};
        std::thread sender([&] {
            while (!go.load()) std::this_thread::yield();
            SendThroughQueue(pair.sender, message, pieceSize);
        });
        std::size_t received = 0;
        TimeIteration(state, [&] {
            go = true;
            received = receive(pair.receiver, message.size());
        });
        sender.join();
        if (received != message.size()) state.SkipWithError("the list did not arrive whole");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(message.size()));
}

void BM_RecvIntoPreallocated(benchmark::State& state) {
    std::vector<std::uint8_t> block(FullList().size(), 1);  // touched: no page faults in the timing
    LoopbackBenchmark(state, [&](int fd, std::size_t expected) { return ReceivePreallocated(fd, block, expected); });
}

void BM_RecvIntoStackBuffer(benchmark::State& state) {
    LoopbackBenchmark(state, [](int fd, std::size_t) {
        StackBuffer buffer;  // a new connection's buffer: grows from empty
        return ReceiveIntoStackBuffer(fd, buffer);
    });
}

// Arg: the sender's piece size, 0 for the simulator's default (whatever the socket takes).
BENCHMARK(BM_RecvIntoPreallocated)->Arg(0)->Arg(kPiece)->UseManualTime()->Unit(benchmark::kMillisecond)
    ->Iterations(1)->Repetitions(7);
BENCHMARK(BM_RecvIntoStackBuffer)->Arg(0)->Arg(kPiece)->UseManualTime()->Unit(benchmark::kMillisecond)
    ->Iterations(1)->Repetitions(7);

// In memory: the first n records of the list appended in 64 KiB pieces, DecodeNext after each.
void BM_AppendPieces(benchmark::State& state) {
    const Bytes message = Prefix(FullList(), static_cast<std::uint32_t>(state.range(0)));
    for (auto _ : state) {
        StackBuffer buffer;
        std::size_t cut = 0;
        TimeIteration(state, [&] {
            for (std::size_t at = 0; at < message.size(); at += kPiece) {
                buffer.Append(message.data() + at, std::min(kPiece, message.size() - at));
                const DecodedMessage m = DecodeNext(Running, buffer.Front(), buffer.Remaining());
                if (m.outcome == DecodeOutcome::Message) {
                    buffer.Consume(m.length);
                    cut = m.length;
                }
            }
        });
        if (cut != message.size()) state.SkipWithError("the list was not cut");
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(message.size()));
    state.counters["bytes"] = static_cast<double>(message.size());
}

// Baseline in memory: the same pieces copied into a preallocated block.
void BM_CopyPieces(benchmark::State& state) {
    const Bytes message = Prefix(FullList(), static_cast<std::uint32_t>(state.range(0)));
    std::vector<std::uint8_t> block(message.size(), 1);
    for (auto _ : state) {
        TimeIteration(state, [&] {
            for (std::size_t at = 0; at < message.size(); at += kPiece)
                std::memcpy(block.data() + at, message.data() + at, std::min(kPiece, message.size() - at));
        });
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(message.size()));
    state.counters["bytes"] = static_cast<double>(message.size());
}

BENCHMARK(BM_AppendPieces)->Arg(kQuarterChanels)->Arg(kHalfChanels)->Arg(kFullChanels)->UseManualTime()
    ->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(7);
BENCHMARK(BM_CopyPieces)->Arg(kQuarterChanels)->Arg(kHalfChanels)->Arg(kFullChanels)->UseManualTime()
    ->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(7);

}  // namespace
}  // namespace telv::bench

int main(int argc, char** argv) {
    // Fixed allocator thresholds: every block above 128 KiB is fresh memory from the kernel, as
    // in a new process. Left adaptive, the allocator keeps blocks up to 32 MB after the first
    // benchmarks free them, and the sizes measured later would look cheaper than the first.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
