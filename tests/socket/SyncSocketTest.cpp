#include "SocketProbe.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace telv {
namespace {

using test::PumpFor;
using test::PumpUntil;
using test::TFd;
using test::TListener;
using test::TStopwatch;

// A TSyncSocket connected to a plain loopback peer.
struct TSyncPair {
    TSyncPair(int firstWaitMs, int laterWaitMs) : socket(std::make_unique<TSyncSocket>(firstWaitMs, laterWaitMs)) {
        connected = test::OpenAndConnect(*socket, listener.Port());
        peer = listener.Accept();
    }
    bool Ready() const { return connected && peer.Valid(); }
    // Waits until the socket holds count bytes from the peer.
    bool Holds(int count) const {
        return PumpUntil([&] { return socket->Available() == count; });
    }

    TListener listener;
    std::unique_ptr<TSyncSocket> socket;
    TFd peer;
    bool connected = false;
};

// True when a non-blocking connect has not ended within 100 ms.
bool StaysPending(int fd) {
    pollfd entry{fd, POLLOUT, 0};
    return ::poll(&entry, 1, 100) == 0;
}

void SetBufferSize(int fd, int option, int bytes) { ::setsockopt(fd, SOL_SOCKET, option, &bytes, sizeof bytes); }

// --- Receive ---

TEST(SyncReceive, WithLaterWaitZeroReturnsWhatOneReceiveGives) {
    TSyncPair pair(3000, 0);
    ASSERT_TRUE(pair.Ready());
    test::SendAll(pair.peer.Get(), std::string(40, 'r'));
    ASSERT_TRUE(pair.Holds(40));
    char buffer[100];
    const TStopwatch watch;
    EXPECT_EQ(pair.socket->Receive(buffer, 100, 0), 40);
    EXPECT_LT(watch.ElapsedMs(), 500);
}

TEST(SyncReceive, WithLaterWaitReturnsAfterAQuietPause) {
    TSyncPair pair(3000, 10);
    ASSERT_TRUE(pair.Ready());
    test::SendAll(pair.peer.Get(), std::string(40, 'r'));
    ASSERT_TRUE(pair.Holds(40));
    char buffer[100];
    const TStopwatch watch;
    EXPECT_EQ(pair.socket->Receive(buffer, 100, 0), 40);
    EXPECT_GE(watch.ElapsedMs(), 9);
    EXPECT_LT(watch.ElapsedMs(), 1000);
}

TEST(SyncReceive, WithLaterWaitCollectsBytesThatFollow) {
    // A later wait far above the peer's pause, so the test does not depend on the scheduler;
    // the call ends as soon as all 100 bytes are in, not at the end of a quiet pause.
    TSyncPair pair(3000, 2000);
    ASSERT_TRUE(pair.Ready());
    test::SendAll(pair.peer.Get(), std::string(40, 'a'));
    ASSERT_TRUE(pair.Holds(40));
    std::thread later([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        test::SendAll(pair.peer.Get(), std::string(60, 'b'));
    });
    char buffer[100];
    const TStopwatch watch;
    const int received = pair.socket->Receive(buffer, 100, 0);
    const auto elapsed = watch.ElapsedMs();
    later.join();
    EXPECT_EQ(received, 100);
    EXPECT_EQ(std::string(buffer, 100), std::string(40, 'a') + std::string(60, 'b'));
    EXPECT_LT(elapsed, 1500);
}

struct SilentCase {
    int firstWaitMs;
    long long atLeastMs;
};

void PrintTo(const SilentCase& c, std::ostream* out) { *out << c.firstWaitMs << " ms"; }

class SyncReceiveSilent : public ::testing::TestWithParam<SilentCase> {};

TEST_P(SyncReceiveSilent, FailsWithWouldBlockAfterTheFirstWait) {
    TSyncPair pair(GetParam().firstWaitMs, 0);
    ASSERT_TRUE(pair.Ready());
    char buffer[10];
    const TStopwatch watch;
    EXPECT_EQ(pair.socket->Receive(buffer, sizeof buffer, 0), -1);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    EXPECT_GE(watch.ElapsedMs(), GetParam().atLeastMs);
    EXPECT_LT(watch.ElapsedMs(), GetParam().firstWaitMs + 1000);
}

INSTANTIATE_TEST_SUITE_P(Waits, SyncReceiveSilent,
                         ::testing::Values(SilentCase{0, 0}, SilentCase{150, 140}));

TEST(SyncReceive, AtTheEndOfTheStreamReturnsZeroAtOnce) {
    TSyncPair pair(3000, 50);
    ASSERT_TRUE(pair.Ready());
    test::SendAll(pair.peer.Get(), "tail");
    pair.peer.Reset();
    char buffer[100];
    const TStopwatch watch;
    EXPECT_EQ(pair.socket->Receive(buffer, sizeof buffer, 0), 4);  // what came before the end
    EXPECT_EQ(pair.socket->Receive(buffer, sizeof buffer, 0), 0);
    EXPECT_EQ(pair.socket->Receive(buffer, sizeof buffer, 0), 0);
    EXPECT_LT(watch.ElapsedMs(), 1000);  // never waits the first-wait time-out for more
}

TEST(SyncReceive, ClosedSocketFailsAtOnce) {
    TSyncSocket socket(3000, 0);
    char buffer[4];
    const TStopwatch watch;
    EXPECT_EQ(socket.Receive(buffer, sizeof buffer, 0), -1);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    EXPECT_LT(watch.ElapsedMs(), 100);
}

// --- Send ---

class SyncSendNothing : public ::testing::TestWithParam<int> {};

TEST_P(SyncSendNothing, ReturnsZeroAndSendsNothing) {
    TSyncPair pair(3000, 0);
    ASSERT_TRUE(pair.Ready());
    EXPECT_EQ(pair.socket->Send("x", GetParam(), 0), 0);
    pair.socket->Close();
    EXPECT_EQ(test::ReadUntilClosed(pair.peer.Get()), "");
}

INSTANTIATE_TEST_SUITE_P(Lengths, SyncSendNothing, ::testing::Values(0, -1));

TEST(SyncSend, ToAPeerThatNeverReadsFailsWithinItsBound) {
    TSyncPair pair(300, 0);
    ASSERT_TRUE(pair.Ready());
    const std::vector<char> big(64u << 20, 'z');
    const TStopwatch watch;
    EXPECT_EQ(pair.socket->Send(big.data(), static_cast<int>(big.size()), 0), -1);
    EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
    EXPECT_GE(watch.ElapsedMs(), 290);
    EXPECT_LT(watch.ElapsedMs(), 2000);
}

TEST(SyncSend, ToASlowReaderCompletes) {
    TSyncPair pair(3000, 0);
    ASSERT_TRUE(pair.Ready());
    SetBufferSize(pair.socket->Handle(), SO_SNDBUF, 16 * 1024);
    SetBufferSize(pair.peer.Get(), SO_RCVBUF, 16 * 1024);
    std::string data(1u << 20, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 26);
    std::string received;
    std::thread reader([&] {
        char buffer[8192];
        for (;;) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            const auto n = ::recv(pair.peer.Get(), buffer, sizeof buffer, 0);
            if (n <= 0) break;
            received.append(buffer, static_cast<std::size_t>(n));
        }
    });
    const int sent = pair.socket->Send(data.data(), static_cast<int>(data.size()), 0);
    pair.socket->Close();
    reader.join();
    EXPECT_EQ(sent, static_cast<int>(data.size()));
    EXPECT_TRUE(received == data);
}

TEST(SyncSend, ToAResetPeerFails) {
    TSyncPair pair(300, 0);
    ASSERT_TRUE(pair.Ready());
    test::ResetAndClose(pair.peer);
    ASSERT_TRUE(PumpUntil([&] { return pair.socket->Available() == 0; }));
    const std::vector<char> data(4u << 20, 'q');
    EXPECT_EQ(pair.socket->Send(data.data(), static_cast<int>(data.size()), 0), -1);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
}

// --- Connect ---

TEST(SyncConnect, ReturnsOnceConnectedAndReportsThroughOnConnect) {
    TListener listener;
    TSyncSocket socket(3000, 0);
    test::TEventLog log;
    ASSERT_TRUE(socket.Open(0, "0", SOCK_STREAM, IPPROTO_TCP));
    log.Attach(socket);
    EXPECT_TRUE(socket.ConnectByName("localhost", listener.Port()));
    EXPECT_TRUE(log.events.empty());  // reported through the event loop, later
    ASSERT_TRUE(PumpUntil([&] { return log.events.size() >= 2; }));
    EXPECT_EQ(log.events[0], (test::TEvent{FD_CONNECT, 0}));
    EXPECT_EQ(log.events[1], (test::TEvent{FD_WRITE, 0}));
}

TEST(SyncConnect, ToAClosedPortReturnsAndReportsRefused) {
    TSyncSocket socket(3000, 0);
    test::TEventLog log;
    ASSERT_TRUE(socket.Open(0, "0", SOCK_STREAM, IPPROTO_TCP));
    log.Attach(socket);
    const TStopwatch watch;
    EXPECT_TRUE(socket.ConnectByName("127.0.0.1", test::ClosedPort()));
    EXPECT_LT(watch.ElapsedMs(), 1000);
    ASSERT_TRUE(PumpUntil([&] { return !log.events.empty(); }));
    EXPECT_EQ(log.events, (std::vector<test::TEvent>{{FD_CONNECT, WSAECONNREFUSED}}));
}

TEST(SyncConnect, ThatDoesNotEndWithinTheFirstWaitTimesOut) {
    // A listener whose queue is full drops further connection requests.
    TListener listener(0);
    std::vector<TFd> fillers;
    bool full = false;
    for (int i = 0; i < 16 && !full; ++i) {
        TFd filler{::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)};
        const sockaddr_in address = test::LoopbackAddress(listener.Port());
        ::connect(filler.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
        full = StaysPending(filler.Get());
        fillers.push_back(std::move(filler));
    }
    if (!full) GTEST_SKIP() << "the listener's queue never filled";
    TSyncSocket socket(200, 0);
    ASSERT_TRUE(socket.Open(0, "0", SOCK_STREAM, IPPROTO_TCP));
    const TStopwatch watch;
    EXPECT_FALSE(socket.ConnectByName("127.0.0.1", listener.Port()));
    EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
    EXPECT_GE(watch.ElapsedMs(), 190);
    EXPECT_LT(watch.ElapsedMs(), 1500);
}

// --- Many descriptors ---

TEST(SyncSocket, WorksWithDescriptorsAbove1023) {
    std::vector<TFd> filler;
    while (filler.size() < 1100) {
        TFd fd{::open("/dev/null", O_RDONLY | O_CLOEXEC)};
        if (!fd.Valid()) GTEST_SKIP() << "cannot open enough descriptors";
        filler.push_back(std::move(fd));
    }
    TSyncPair pair(1000, 0);
    ASSERT_TRUE(pair.Ready());
    ASSERT_GE(pair.socket->Handle(), 1024);
    std::string received;
    pair.socket->OnRead = [&](TAsyncSocket* sender, int) {
        char buffer[16];
        const int n = sender->Receive(buffer, sizeof buffer, 0);
        if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
    };
    test::SendAll(pair.peer.Get(), "high");
    ASSERT_TRUE(PumpUntil([&] { return received == "high"; }));
    EXPECT_EQ(pair.socket->Send("back", 4, 0), 4);
    char buffer[4];
    EXPECT_EQ(::recv(pair.peer.Get(), buffer, 4, MSG_WAITALL), 4);
}

}  // namespace
}  // namespace telv
