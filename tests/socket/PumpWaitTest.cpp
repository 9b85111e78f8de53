// Accept, receive-from and send-to of TSyncSocket wait for the socket's own notification. The
// wait's idle hook stands in for what happens while the caller is held: a peer sending, the
// owner closing or deleting the socket.
#include "SocketProbe.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace telv {
namespace {

using test::PumpFor;
using test::PumpUntil;
using test::TFd;
using test::TStopwatch;

// Installs an idle hook for one test that acts once, on the given run of the hook.
class TIdleHook {
public:
    explicit TIdleHook(std::function<void()> once, int onRun = 1) {
        SetWaitIdleHook([this, onRun, action = std::move(once)] {
            ++runs_;
            if (runs_ == onRun) action();
        });
    }
    ~TIdleHook() { SetWaitIdleHook({}); }
    TIdleHook(const TIdleHook&) = delete;
    TIdleHook& operator=(const TIdleHook&) = delete;
    int Runs() const { return runs_; }

private:
    int runs_ = 0;
};

class DatagramWait : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(socket->Open(0, "127.0.0.1", SOCK_DGRAM, IPPROTO_UDP));
        log.Attach(*socket);
        to = test::LoopbackAddress(test::LocalPort(socket->Handle()));
    }
    void SendDatagram(const std::string& bytes) {
        ::sendto(peer.Get(), bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
    int ReceiveFrom(char* buffer, int length) {
        fromLength = sizeof from;
        return socket->ReceiveFrom(buffer, length, reinterpret_cast<sockaddr*>(&from), &fromLength, 0);
    }

    std::unique_ptr<TSyncSocket> socket = std::make_unique<TSyncSocket>(300, 0);
    test::TEventLog log;
    TFd peer = test::UdpSocket();
    sockaddr_in to{};
    sockaddr_in from{};
    socklen_t fromLength = 0;
};

TEST_F(DatagramWait, EndsWithTheAwaitedNotification) {
    // The FD_WRITE queued on opening is taken by the wait and lost, as nothing is dispatched.
    TIdleHook hook([&] { SendDatagram("ping"); });
    char buffer[16] = {};
    EXPECT_EQ(ReceiveFrom(buffer, sizeof buffer), 4);
    EXPECT_STREQ(buffer, "ping");
    EXPECT_EQ(ntohs(from.sin_port), test::LocalPort(peer.Get()));
    EXPECT_GE(hook.Runs(), 1);
    PumpFor(30);
    EXPECT_EQ(log.Count(FD_WRITE), 0);
}

TEST_F(DatagramWait, WithoutAnyDatagramTimesOut) {
    char buffer[16];
    const TStopwatch watch;
    EXPECT_EQ(ReceiveFrom(buffer, sizeof buffer), -1);
    EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
    EXPECT_GE(watch.ElapsedMs(), 290);
    EXPECT_LT(watch.ElapsedMs(), 1500);
    // The socket is usable afterwards.
    SendDatagram("late");
    ASSERT_TRUE(PumpUntil([&] { return log.Count(FD_READ) == 1; }));
    EXPECT_EQ(ReceiveFrom(buffer, sizeof buffer), 4);
}

TEST_F(DatagramWait, WithFirstWaitZeroHasNoLimit) {
    socket->Close();
    socket = std::make_unique<TSyncSocket>(0, 0);
    SetUp();
    TIdleHook hook([&] { SendDatagram("slow"); }, 8);  // well past any short limit
    char buffer[16];
    EXPECT_EQ(ReceiveFrom(buffer, sizeof buffer), 4);
    EXPECT_GE(hook.Runs(), 8);
}

TEST_F(DatagramWait, WithADatagramWaitingReturnsAtOnce) {
    SendDatagram("here");
    ASSERT_TRUE(PumpUntil([&] { return socket->Available() == 4; }));
    TIdleHook hook([] {});
    char buffer[16];
    EXPECT_EQ(ReceiveFrom(buffer, sizeof buffer), 4);
    EXPECT_EQ(hook.Runs(), 0);
}

TEST_F(DatagramWait, CloseMeanwhileCancelsItWithInterrupted) {
    TIdleHook hook([&] { socket->Close(); });
    char buffer[16];
    const TStopwatch watch;
    EXPECT_EQ(ReceiveFrom(buffer, sizeof buffer), -1);
    EXPECT_EQ(WSAGetLastError(), WSAEINTR);
    EXPECT_LT(watch.ElapsedMs(), 250);  // ended by the close, not by the time-out
    EXPECT_FALSE(socket->IsOpen());
}

TEST_F(DatagramWait, DeletingTheSocketMeanwhileCancelsIt) {
    TSyncSocket* waiting = socket.get();
    TIdleHook hook([&] { socket.reset(); });
    char buffer[16];
    fromLength = sizeof from;
    EXPECT_EQ(waiting->ReceiveFrom(buffer, sizeof buffer, reinterpret_cast<sockaddr*>(&from), &fromLength, 0), -1);
    EXPECT_EQ(WSAGetLastError(), WSAEINTR);
    EXPECT_EQ(socket, nullptr);
}

TEST_F(DatagramWait, SendToWithRoomSendsAtOnce) {
    const sockaddr_in back = test::LoopbackAddress(test::LocalPort(peer.Get()));
    EXPECT_EQ(socket->SendTo("pong", 4, reinterpret_cast<const sockaddr*>(&back), sizeof back, 0), 4);
    char buffer[8] = {};
    EXPECT_EQ(::recv(peer.Get(), buffer, sizeof buffer, 0), 4);
}

// Every other call made while a wait is pending fails at once with WSAEINPROGRESS.
using BlockingCall = std::function<bool(TSyncSocket&)>;  // true when the call failed

struct RefusedCase {
    const char* name;
    BlockingCall call;
};

void PrintTo(const RefusedCase& c, std::ostream* out) { *out << c.name; }

class RefusedWhileWaiting : public DatagramWait, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedWhileWaiting, FailsWithInProgress) {
    bool failed = false;
    int error = 0;
    TIdleHook hook([&] {
        failed = GetParam().call(*socket);
        error = WSAGetLastError();
        SendDatagram("end");  // lets the wait end
    });
    char buffer[16];
    EXPECT_EQ(ReceiveFrom(buffer, sizeof buffer), 3);
    EXPECT_TRUE(failed);
    EXPECT_EQ(error, WSAEINPROGRESS);
}

sockaddr_in somewhere = test::LoopbackAddress(9);

INSTANTIATE_TEST_SUITE_P(
    Calls, RefusedWhileWaiting,
    ::testing::Values(
        RefusedCase{"Receive", [](TSyncSocket& s) { char b[4]; return s.Receive(b, 4, 0) == -1; }},
        RefusedCase{"Send", [](TSyncSocket& s) { return s.Send("abc", 3, 0) == -1; }},
        RefusedCase{"Connect",
                    [](TSyncSocket& s) {
                        return !s.Connect(reinterpret_cast<const sockaddr*>(&somewhere), sizeof somewhere);
                    }},
        RefusedCase{"ReceiveFrom",
                    [](TSyncSocket& s) { char b[4]; return s.ReceiveFrom(b, 4, nullptr, nullptr, 0) == -1; }},
        RefusedCase{"SendTo",
                    [](TSyncSocket& s) {
                        return s.SendTo("abc", 3, reinterpret_cast<const sockaddr*>(&somewhere), sizeof somewhere,
                                        0) == -1;
                    }},
        RefusedCase{"Accept", [](TSyncSocket& s) {
                        TAsyncSocket other;
                        return !s.Accept(other, nullptr, nullptr);
                    }}));

// --- Accept ---

class AcceptWait : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Open(0, "127.0.0.1", SOCK_STREAM, IPPROTO_TCP));
        ASSERT_EQ(::listen(server.Handle(), 4), 0);
        port = test::LocalPort(server.Handle());
    }
    TSyncSocket server{300, 0};
    int port = 0;
};

TEST_F(AcceptWait, EndsWhenAConnectionComes) {
    TFd client;
    TIdleHook hook([&] { client = test::ConnectTo(port); });
    TAsyncSocket accepted;
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    EXPECT_TRUE(server.Accept(accepted, reinterpret_cast<sockaddr*>(&from), &fromLength));
    EXPECT_TRUE(accepted.IsOpen());
    EXPECT_EQ(from.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
    test::SendAll(client.Get(), "hi");
    ASSERT_TRUE(PumpUntil([&] { return accepted.Available() == 2; }));
}

TEST_F(AcceptWait, WithoutAConnectionTimesOut) {
    TAsyncSocket accepted;
    const TStopwatch watch;
    EXPECT_FALSE(server.Accept(accepted, nullptr, nullptr));
    EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
    EXPECT_GE(watch.ElapsedMs(), 290);
    EXPECT_FALSE(accepted.IsOpen());
}

// --- The connection closing during a wait ---

TEST(CloseDuringWait, FailsWithNetworkDownAndOnCloseStillComes) {
    test::TListener listener;
    TSyncSocket socket(1000, 0);
    ASSERT_TRUE(test::OpenAndConnect(socket, listener.Port()));
    TFd peer = listener.Accept();
    ASSERT_TRUE(peer.Valid());
    PumpFor(20);  // FD_WRITE delivered
    test::TEventLog log;
    log.Attach(socket);
    TIdleHook hook([&] { peer.Reset(); });
    char buffer[16];
    const TStopwatch watch;
    EXPECT_EQ(socket.ReceiveFrom(buffer, sizeof buffer, nullptr, nullptr, 0), -1);
    EXPECT_EQ(WSAGetLastError(), WSAENETDOWN);
    EXPECT_LT(watch.ElapsedMs(), 900);
    EXPECT_TRUE(log.events.empty());  // nothing dispatched during the wait
    ASSERT_TRUE(PumpUntil([&] { return log.Count(FD_CLOSE) == 1; }));
    PumpFor(50);
    EXPECT_EQ(log.events, (std::vector<test::TEvent>{{FD_CLOSE, WSAENETDOWN}}));
}

}  // namespace
}  // namespace telv
