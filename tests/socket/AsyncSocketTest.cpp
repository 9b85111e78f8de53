#include "HeldResolver.h"
#include "SocketLibrary.h"
#include "SocketProbe.h"

#include <QTimer>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace telv {
namespace {

using test::PumpFor;
using test::PumpUntil;
using test::TEvent;
using test::TEventLog;
using test::TFd;
using test::TListener;
using test::TStopwatch;

// Drains everything waiting, as the controller's read handler does.
std::string Drain(TAsyncSocket& socket) {
    std::string bytes;
    char buffer[4096];
    for (int n; (n = socket.Receive(buffer, sizeof buffer, 0)) > 0;) bytes.append(buffer, static_cast<std::size_t>(n));
    return bytes;
}

// --- Connecting ---

class ConnectByHost : public ::testing::TestWithParam<const char*> {};

TEST_P(ConnectByHost, ReportsConnectThenWrite) {
    TListener listener;
    TAsyncSocket socket;
    TEventLog log;
    ASSERT_TRUE(socket.Open(0, "0", SOCK_STREAM, IPPROTO_TCP));
    log.Attach(socket);
    ASSERT_TRUE(socket.ConnectByName(GetParam(), listener.Port()));
    ASSERT_TRUE(PumpUntil([&] { return log.events.size() >= 2; }));
    PumpFor(50);  // and nothing more
    EXPECT_EQ(log.events, (std::vector<TEvent>{{FD_CONNECT, 0}, {FD_WRITE, 0}}));
    EXPECT_TRUE(listener.Accept().Valid());
}

INSTANTIATE_TEST_SUITE_P(Hosts, ConnectByHost, ::testing::Values("127.0.0.1", "localhost", "127.1"));

TEST(AsyncConnect, ToAClosedPortReportsRefusedOnce) {
    TAsyncSocket socket;
    TEventLog log;
    ASSERT_TRUE(socket.Open(0, "0", SOCK_STREAM, IPPROTO_TCP));
    log.Attach(socket);
    ASSERT_TRUE(socket.ConnectByName("127.0.0.1", test::ClosedPort()));
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);  // under way
    ASSERT_TRUE(PumpUntil([&] { return !log.events.empty(); }));
    PumpFor(50);
    EXPECT_EQ(log.events, (std::vector<TEvent>{{FD_CONNECT, WSAECONNREFUSED}}));
}

struct NameCase {
    const char* host;
    bool open;
    int error;
};

void PrintTo(const NameCase& c, std::ostream* out) { *out << (c.host ? c.host : "null") << (c.open ? " open" : " closed"); }

class ConnectByNameFailure : public ::testing::TestWithParam<NameCase> {};

TEST_P(ConnectByNameFailure, FailsWithTheErrorAndStartsNothing) {
    TAsyncSocket socket;
    TEventLog log;
    if (GetParam().open) {
        ASSERT_TRUE(socket.Open(0, "0", SOCK_STREAM, IPPROTO_TCP));
    }
    log.Attach(socket);
    WSASetLastError(0);
    EXPECT_FALSE(socket.ConnectByName(GetParam().host, 5100));
    EXPECT_EQ(WSAGetLastError(), GetParam().error);
    PumpFor(30);
    EXPECT_TRUE(log.events.empty());
    EXPECT_EQ(socket.IsOpen(), GetParam().open);
}

INSTANTIATE_TEST_SUITE_P(Hosts, ConnectByNameFailure,
                         ::testing::Values(NameCase{"", true, WSAEINVAL}, NameCase{nullptr, true, WSAEINVAL},
                                           NameCase{"127.0.0.1", false, WSAENOTSOCK}));

// --- Connecting by a name looked up without blocking ---

using test::HeldResolver;
using test::ResolverScope;

TEST(ConnectByLookup, NameThatDoesNotResolveReportsTheResolversOwnErrorThroughOnConnect) {
    TAsyncSocket socket;
    TEventLog log;
    ASSERT_TRUE(socket.Open(0, "0", SOCK_STREAM, IPPROTO_TCP));
    log.Attach(socket);
    ASSERT_TRUE(socket.ConnectByName("nonexistent.invalid", 5100));
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);  // under way
    ASSERT_TRUE(PumpUntil([&] { return !log.events.empty(); }, 30000));
    PumpFor(50);
    ASSERT_EQ(log.events.size(), 1u);
    EXPECT_EQ(log.events[0].event, FD_CONNECT);
    // Without a name server at hand the resolver may only say it could not ask.
    const int error = log.events[0].error;
    EXPECT_TRUE(error == WSAHOST_NOT_FOUND || error == WSATRY_AGAIN || error == WSANO_DATA) << error;
    EXPECT_EQ(TAsyncSocket::ErrorText(error), "Ошибка - " + std::to_string(error) + " \"" + SystemErrorText(error) + "\"");
    EXPECT_NE(SystemErrorText(error), SystemErrorText(WSAEINVAL));
}

struct LookupFailureCase {
    int resolverError;
    int error;
    const char* shown;
};

void PrintTo(const LookupFailureCase& c, std::ostream* out) { *out << c.shown; }

class LookupFailure : public ::testing::TestWithParam<LookupFailureCase> {};

TEST_P(LookupFailure, IsLoggedWithTheResolversText) {
    const ResolverScope scope([error = GetParam().resolverError](const std::string&, in_addr_t&) { return error; });
    TAsyncSocket socket;
    TEventLog log;
    ASSERT_TRUE(socket.Open(0, "0", SOCK_STREAM, IPPROTO_TCP));
    log.Attach(socket);
    ASSERT_TRUE(socket.ConnectByName("server.example", 5100));
    ASSERT_TRUE(PumpUntil([&] { return !log.events.empty(); }));
    PumpFor(50);
    EXPECT_EQ(log.events, (std::vector<TEvent>{{FD_CONNECT, GetParam().error}}));
    EXPECT_EQ(TAsyncSocket::ErrorText(GetParam().error), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, LookupFailure,
    ::testing::Values(LookupFailureCase{EAI_NONAME, WSAHOST_NOT_FOUND, "Ошибка - 11001 \"Name or service not known\""},
                      LookupFailureCase{EAI_AGAIN, WSATRY_AGAIN,
                                        "Ошибка - 11002 \"Temporary failure in name resolution\""},
                      LookupFailureCase{EAI_FAIL, WSANO_RECOVERY,
                                        "Ошибка - 11003 \"Non-recoverable failure in name resolution\""},
                      LookupFailureCase{EAI_NODATA, WSANO_DATA,
                                        "Ошибка - 11004 \"No address associated with hostname\""}));

struct LookupConnectCase {
    const char* name;
    bool listening;
    std::vector<TEvent> events;
};

void PrintTo(const LookupConnectCase& c, std::ostream* out) { *out << c.name; }

class LookupThenConnect : public ::testing::TestWithParam<LookupConnectCase> {};

// The address found is connected to as a dotted one would be, and reported the same way.
TEST_P(LookupThenConnect, ReportsTheConnectionsOutcome) {
    TListener listener;
    const int port = GetParam().listening ? listener.Port() : test::ClosedPort();
    const ResolverScope scope([](const std::string&, in_addr_t& address) {
        address = htonl(INADDR_LOOPBACK);
        return 0;
    });
    TSyncSocket socket(3000, 0);
    TEventLog log;
    ASSERT_TRUE(socket.Open(0, "0", SOCK_STREAM, IPPROTO_TCP));
    log.Attach(socket);
    ASSERT_TRUE(socket.ConnectByName("server.example", port));
    ASSERT_TRUE(PumpUntil([&] { return log.events.size() >= GetParam().events.size(); }));
    PumpFor(50);
    EXPECT_EQ(log.events, GetParam().events);
}

INSTANTIATE_TEST_SUITE_P(Outcomes, LookupThenConnect,
                         ::testing::Values(LookupConnectCase{"listening", true, {{FD_CONNECT, 0}, {FD_WRITE, 0}}},
                                           LookupConnectCase{"refused", false, {{FD_CONNECT, WSAECONNREFUSED}}}),
                         [](const ::testing::TestParamInfo<LookupConnectCase>& p) { return std::string(p.param.name); });

enum class Meanwhile { Close, Delete, ConnectElsewhere };

void PrintTo(Meanwhile m, std::ostream* out) {
    *out << (m == Meanwhile::Close ? "Close" : m == Meanwhile::Delete ? "Delete" : "ConnectElsewhere");
}

class SlowLookup : public ::testing::TestWithParam<Meanwhile> {};

// A slow name holds nothing: the event loop runs while it is looked up, and a close, a delete
// or another attempt meanwhile wins: the late result reaches nobody and connects nothing.
TEST_P(SlowLookup, LeavesTheEventLoopRunningAndLosesToWhatHappensMeanwhile) {
    TListener late(16);
    TListener other(16);
    HeldResolver resolver(htonl(INADDR_LOOPBACK), 0);
    const ResolverScope scope(resolver.Function());
    auto socket = std::make_unique<TAsyncSocket>();
    TEventLog log;
    ASSERT_TRUE(socket->Open(0, "0", SOCK_STREAM, IPPROTO_TCP));
    log.Attach(*socket);
    const TStopwatch watch;
    ASSERT_TRUE(socket->ConnectByName("slow.example", late.Port()));
    EXPECT_LT(watch.ElapsedMs(), 1000);

    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(5);
    ASSERT_TRUE(PumpUntil([&] { return ticks >= 5 && resolver.Hosts().size() == 1; }));
    EXPECT_EQ(resolver.Hosts(), std::vector<std::string>{"slow.example"});
    EXPECT_TRUE(log.events.empty());

    switch (GetParam()) {
    case Meanwhile::Close: socket->Close(); break;
    case Meanwhile::Delete: socket.reset(); break;
    case Meanwhile::ConnectElsewhere: ASSERT_TRUE(socket->ConnectByName("127.0.0.1", other.Port())); break;
    }
    resolver.Release();
    ASSERT_TRUE(test::LookupsEnded());
    PumpFor(100);
    EXPECT_FALSE(late.Accept(0).Valid()) << "the late result connected";
    if (GetParam() == Meanwhile::ConnectElsewhere) {
        EXPECT_EQ(log.events, (std::vector<TEvent>{{FD_CONNECT, 0}, {FD_WRITE, 0}}));
        EXPECT_TRUE(other.Accept().Valid());
    } else {
        EXPECT_TRUE(log.events.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Meanwhile, SlowLookup,
                         ::testing::Values(Meanwhile::Close, Meanwhile::Delete, Meanwhile::ConnectElsewhere));

// --- Opening ---

struct OpenCase {
    const char* address;
    bool opens;
    in_addr_t bound;  // network order, when it opens
};

void PrintTo(const OpenCase& c, std::ostream* out) { *out << '"' << (c.address ? c.address : "null") << '"'; }

class OpenAddress : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenAddress, BindsOrFailsClosed) {
    TAsyncSocket socket;
    socket.OnRead = [](TAsyncSocket*, int) {};
    const bool opened = socket.Open(0, GetParam().address, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_EQ(opened, GetParam().opens);
    if (opened) {
        EXPECT_EQ(test::LocalAddress(socket.Handle()), GetParam().bound);
        EXPECT_NE(test::LocalPort(socket.Handle()), 0);
        EXPECT_TRUE(socket.OnRead);
    } else {
        EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
        EXPECT_FALSE(socket.IsOpen());
        EXPECT_FALSE(socket.OnRead);
    }
}

INSTANTIATE_TEST_SUITE_P(Addresses, OpenAddress,
                         ::testing::Values(OpenCase{"0", true, htonl(INADDR_ANY)},
                                           OpenCase{"", true, htonl(INADDR_ANY)},
                                           OpenCase{nullptr, true, htonl(INADDR_ANY)},
                                           OpenCase{"127.0.0.1", true, htonl(INADDR_LOOPBACK)},
                                           OpenCase{"localhost", false, 0}, OpenCase{"1.2.3.4.5", false, 0}));

TEST(AsyncOpen, TwiceFailsAndLeavesTheSocketClosedWithoutHandlers) {
    TAsyncSocket socket;
    ASSERT_TRUE(socket.Open(0, "0", SOCK_STREAM, IPPROTO_TCP));
    socket.OnClose = [](TAsyncSocket*, int) {};
    EXPECT_FALSE(socket.Open(0, "0", SOCK_STREAM, IPPROTO_TCP));
    EXPECT_FALSE(socket.IsOpen());
    EXPECT_FALSE(socket.OnClose);
    EXPECT_TRUE(socket.Open(0, "0", SOCK_STREAM, IPPROTO_TCP));  // and can be opened again
}

TEST(AsyncOpen, ToAPortInUseFailsWithAddressInUse) {
    TListener listener;
    TAsyncSocket socket;
    EXPECT_FALSE(socket.Open(listener.Port(), "127.0.0.1", SOCK_STREAM, IPPROTO_TCP));
    EXPECT_EQ(WSAGetLastError(), WSAEADDRINUSE);
    EXPECT_FALSE(socket.IsOpen());
}

TEST(AsyncOpen, FailsWhileTheLibraryIsStopped) {
    TAsyncSocket::SockDone();
    const int users = SocketLibraryUsers();
    for (int i = 0; i < users; ++i) WSACleanup();
    TAsyncSocket socket;
    EXPECT_FALSE(socket.Open(0, "0", SOCK_STREAM, IPPROTO_TCP));
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    for (int i = 0; i < users; ++i) WSAStartup(MakeSocketVersion(2, 0));
    EXPECT_TRUE(TAsyncSocket::SockInit());
    EXPECT_TRUE(socket.Open(0, "0", SOCK_STREAM, IPPROTO_TCP));
}

TEST(AsyncOpen, ClosedSocketRefusesDataCalls) {
    TAsyncSocket socket;
    char buffer[4] = {};
    sockaddr_in address = test::LoopbackAddress(5100);
    socklen_t length = sizeof address;
    TAsyncSocket other;
    EXPECT_EQ(socket.Receive(buffer, 4, 0), -1);
    EXPECT_EQ(socket.Send(buffer, 4, 0), -1);
    EXPECT_EQ(socket.ReceiveFrom(buffer, 4, reinterpret_cast<sockaddr*>(&address), &length, 0), -1);
    EXPECT_EQ(socket.SendTo(buffer, 4, reinterpret_cast<sockaddr*>(&address), length, 0), -1);
    EXPECT_FALSE(socket.Connect(reinterpret_cast<sockaddr*>(&address), length));
    EXPECT_FALSE(socket.Accept(other, nullptr, nullptr));
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    EXPECT_EQ(socket.Available(), 0);
}

// --- Reading ---

class ConnectedTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::OpenAndConnect(socket, listener.Port()));
        peer = listener.Accept();
        ASSERT_TRUE(peer.Valid());
    }

    TListener listener;
    test::TProbe<TAsyncSocket> socket;
    TFd peer;
    TEventLog log;
};

TEST_F(ConnectedTest, ReadNotificationsFollowDataArrivingInPieces) {
    std::string received;
    int reads = 0;
    socket.OnRead = [&](TAsyncSocket* sender, int error) {
        EXPECT_EQ(error, 0);
        EXPECT_GT(sender->Available(), 0);  // never called with nothing to read
        ++reads;
        received += Drain(*sender);
    };
    std::string sent;
    for (const std::string& piece : std::vector<std::string>{"abc", "defgh", std::string(5000, 'x'), "z"}) {
        test::SendAll(peer.Get(), piece);
        sent += piece;
        ASSERT_TRUE(PumpUntil([&] { return received.size() == sent.size(); }));
    }
    EXPECT_EQ(received, sent);
    EXPECT_GE(reads, 4);
}

TEST_F(ConnectedTest, ReadNotificationComesAgainWhileBytesRemain) {
    std::string received;
    socket.OnRead = [&](TAsyncSocket* sender, int) {
        char byte = 0;
        if (sender->Receive(&byte, 1, 0) == 1) received += byte;  // one byte per notification
    };
    test::SendAll(peer.Get(), "12345");
    ASSERT_TRUE(PumpUntil([&] { return received.size() == 5; }));
    EXPECT_EQ(received, "12345");
}

TEST_F(ConnectedTest, AvailableCountsTheWaitingBytes) {
    EXPECT_EQ(socket.Available(), 0);
    test::SendAll(peer.Get(), std::string(123, 'a'));
    ASSERT_TRUE(PumpUntil([&] { return socket.Available() == 123; }));
    char buffer[23];
    ASSERT_EQ(socket.Receive(buffer, sizeof buffer, 0), 23);
    EXPECT_EQ(socket.Available(), 100);
    socket.Close();
    EXPECT_EQ(socket.Available(), 0);
}

struct ReadCase {
    const char* name;
    bool drainFirst;
    int error;
    bool handlerCalled;
};

void PrintTo(const ReadCase& c, std::ostream* out) { *out << c.name; }

class ReadDispatch : public ConnectedTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadDispatch, CallsTheHandlerOnlyWithBytesAndNoError) {
    test::SendAll(peer.Get(), "0123456789");
    // The system's own FD_READ comes and goes without a handler.
    ASSERT_TRUE(PumpUntil([&] { return socket.Available() == 10 && socket.Queued() == 0; }));
    if (GetParam().drainFirst) {
        ASSERT_EQ(Drain(socket), "0123456789");
    }
    int calls = 0;
    socket.OnRead = [&](TAsyncSocket*, int) { ++calls; };
    socket.Post(FD_READ, GetParam().error);
    PumpFor(30);
    EXPECT_EQ(calls, GetParam().handlerCalled ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReadDispatch,
                         ::testing::Values(ReadCase{"bytes waiting", false, 0, true},
                                           ReadCase{"all bytes already read", true, 0, false},
                                           ReadCase{"error code", false, WSAECONNABORTED, false}));

TEST_F(ConnectedTest, UrgentDataIsReported) {
    log.Attach(socket);
    ASSERT_EQ(::send(peer.Get(), "!", 1, MSG_OOB), 1);
    ASSERT_TRUE(PumpUntil([&] { return log.Count(FD_OOB) > 0; }));
    EXPECT_EQ(log.events.front(), (TEvent{FD_OOB, 0}));
}

// --- Writing ---

TEST_F(ConnectedTest, WriteComesAgainOnlyAfterASendThatWouldBlock) {
    log.Attach(socket);
    const std::string chunk(64 * 1024, 'w');
    ASSERT_GT(socket.Send(chunk.data(), static_cast<int>(chunk.size()), 0), 0);
    PumpFor(30);
    EXPECT_EQ(log.Count(FD_WRITE), 0);  // room left: nothing to report

    while (socket.Send(chunk.data(), static_cast<int>(chunk.size()), 0) > 0) {
    }
    ASSERT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    PumpFor(30);
    EXPECT_EQ(log.Count(FD_WRITE), 0);  // still full
    std::thread drain([&] { test::ReadUntilClosed(peer.Get(), 1500); });
    const bool written = PumpUntil([&] { return log.Count(FD_WRITE) > 0; });
    PumpFor(30);
    socket.Close();
    drain.join();
    EXPECT_TRUE(written);
    EXPECT_EQ(log.events, (std::vector<TEvent>{{FD_WRITE, 0}}));
}

// --- Closing ---

enum class PeerEnd { Close, Reset, SendThenClose };

struct CloseCase {
    const char* name;
    PeerEnd end;
    int error;
};

void PrintTo(const CloseCase& c, std::ostream* out) { *out << c.name; }

class PeerClose : public ConnectedTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(PeerClose, IsReportedExactlyOnce) {
    std::string received;
    log.Attach(socket);
    socket.OnRead = [&](TAsyncSocket* sender, int) { received += Drain(*sender); };
    switch (GetParam().end) {
    case PeerEnd::Close:
        peer.Reset();
        break;
    case PeerEnd::Reset:
        test::ResetAndClose(peer);
        break;
    case PeerEnd::SendThenClose:
        test::SendAll(peer.Get(), "last words");
        peer.Reset();
        break;
    }
    ASSERT_TRUE(PumpUntil([&] { return log.Count(FD_CLOSE) > 0; }));
    PumpFor(100);
    EXPECT_EQ(log.events, (std::vector<TEvent>{{FD_CLOSE, GetParam().error}}));
    EXPECT_EQ(received, GetParam().end == PeerEnd::SendThenClose ? "last words" : "");
}

INSTANTIATE_TEST_SUITE_P(Ends, PeerClose,
                         ::testing::Values(CloseCase{"orderly", PeerEnd::Close, 0},
                                           CloseCase{"reset", PeerEnd::Reset, WSAECONNRESET},
                                           CloseCase{"after data", PeerEnd::SendThenClose, 0}));

TEST_F(ConnectedTest, CloseRemovesTheHandlersSoAQueuedCloseCallsNothing) {
    log.Attach(socket);
    socket.Post(FD_CLOSE, 0);
    socket.Close();
    EXPECT_FALSE(socket.OnClose);
    EXPECT_FALSE(socket.OnRead);
    PumpFor(30);
    EXPECT_TRUE(log.events.empty());
}

TEST_F(ConnectedTest, QueuedNotificationsDoNotReachAReopenedSocket) {
    socket.Post(FD_CLOSE, 0);
    socket.Close();
    ASSERT_TRUE(socket.Open(0, "0", SOCK_STREAM, IPPROTO_TCP));
    log.Attach(socket);
    PumpFor(30);
    EXPECT_TRUE(log.events.empty());
}

TEST_F(ConnectedTest, SendToAClosedPeerFailsWithoutASignal) {
    test::ResetAndClose(peer);
    ASSERT_TRUE(PumpUntil([&] { return socket.Available() == 0; }));
    const std::string data(1000, 'd');
    int result = 0;
    for (int i = 0; i < 100 && result >= 0; ++i) {  // the first may still be accepted
        result = socket.Send(data.data(), static_cast<int>(data.size()), 0);
        PumpFor(1);
    }
    EXPECT_EQ(result, -1);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
}

// --- Deleting ---

TEST(AsyncDelete, WithNotificationsQueuedDeliversNone) {
    TListener listener;
    auto socket = std::make_unique<test::TProbe<TAsyncSocket>>();
    ASSERT_TRUE(test::OpenAndConnect(*socket, listener.Port()));
    int calls = 0;
    const auto count = [&](TAsyncSocket*, int) { ++calls; };
    socket->OnClose = count;
    socket->OnWrite = count;
    socket->OnConnect = count;
    socket->Post(FD_WRITE, 0);
    socket->Post(FD_CONNECT, 0);
    socket->Post(FD_CLOSE, 0);
    socket.reset();
    PumpFor(50);
    EXPECT_EQ(calls, 0);
}

enum class Reaction { Delete, Close };

struct OwnHandlerCase {
    const char* name;
    int event;
    Reaction reaction;
};

void PrintTo(const OwnHandlerCase& c, std::ostream* out) { *out << c.name; }

class OwnHandler : public ::testing::TestWithParam<OwnHandlerCase> {};

// The sender deleted or closed inside its own handler: nothing more reaches it, nothing breaks.
TEST_P(OwnHandler, MayDeleteOrCloseTheSender) {
    TListener listener;
    auto* socket = new test::TProbe<TAsyncSocket>();
    ASSERT_TRUE(test::OpenAndConnect(*socket, listener.Port()));
    std::vector<int> seen;
    bool gone = false;
    const auto react = [&, event = GetParam().event](int got) {
        return [&, event, got](TAsyncSocket* sender, int) {
            seen.push_back(got);
            if (got != event) return;
            if (GetParam().reaction == Reaction::Delete) {
                delete sender;
                gone = true;
            } else {
                sender->Close();
            }
        };
    };
    socket->OnRead = react(FD_READ);
    socket->OnClose = react(FD_CLOSE);
    socket->OnWrite = react(FD_WRITE);
    // A second handler set after the reaction must not run.
    TFd peer = listener.Accept();
    ASSERT_TRUE(peer.Valid());
    if (GetParam().event == FD_READ) test::SendAll(peer.Get(), "data");
    if (GetParam().event == FD_CLOSE) peer.Reset();
    if (GetParam().event == FD_WRITE) socket->Post(FD_WRITE, 0);
    socket->Post(FD_WRITE, 0);  // queued behind: never delivered once the reaction happened
    ASSERT_TRUE(PumpUntil([&] {
        return std::find(seen.begin(), seen.end(), GetParam().event) != seen.end();
    }));
    PumpFor(50);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), GetParam().event), 1);
    EXPECT_EQ(seen.back(), GetParam().event);
    if (!gone) delete socket;
}

INSTANTIATE_TEST_SUITE_P(Reactions, OwnHandler,
                         ::testing::Values(OwnHandlerCase{"DeleteOnRead", FD_READ, Reaction::Delete},
                                           OwnHandlerCase{"DeleteOnClose", FD_CLOSE, Reaction::Delete},
                                           OwnHandlerCase{"DeleteOnWrite", FD_WRITE, Reaction::Delete},
                                           OwnHandlerCase{"CloseOnRead", FD_READ, Reaction::Close},
                                           OwnHandlerCase{"CloseOnClose", FD_CLOSE, Reaction::Close}));

TEST(AsyncDelete, HandlerMayDeleteAnotherSocketWithQueuedNotifications) {
    TListener listener;
    auto* first = new test::TProbe<TAsyncSocket>();
    auto* second = new test::TProbe<TAsyncSocket>();
    ASSERT_TRUE(test::OpenAndConnect(*first, listener.Port()));
    ASSERT_TRUE(test::OpenAndConnect(*second, listener.Port()));
    int secondCalls = 0;
    second->OnWrite = [&](TAsyncSocket*, int) { ++secondCalls; };
    first->OnWrite = [&](TAsyncSocket*, int) { delete second; second = nullptr; };
    first->Post(FD_WRITE, 0);
    second->Post(FD_WRITE, 0);
    PumpFor(50);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(secondCalls, 0);
    delete first;
}

// --- Listening and datagrams ---

TEST(AsyncAccept, ListeningSocketReportsAcceptAndHandsOverTheConnection) {
    TAsyncSocket server;
    ASSERT_TRUE(server.Open(0, "127.0.0.1", SOCK_STREAM, IPPROTO_TCP));
    ASSERT_EQ(::listen(server.Handle(), 4), 0);
    TAsyncSocket accepted;
    TEventLog acceptedLog;
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    int accepts = 0;
    server.OnAccept = [&](TAsyncSocket* sender, int error) {
        EXPECT_EQ(error, 0);
        ++accepts;
        EXPECT_TRUE(sender->Accept(accepted, reinterpret_cast<sockaddr*>(&from), &fromLength));
        acceptedLog.Attach(accepted);
    };
    TFd client = test::ConnectTo(test::LocalPort(server.Handle()));
    ASSERT_TRUE(PumpUntil([&] { return acceptedLog.Count(FD_WRITE) == 1; }));
    EXPECT_EQ(accepts, 1);
    EXPECT_EQ(from.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
    EXPECT_FALSE(server.Accept(accepted, nullptr, nullptr));  // the new object must be closed
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);

    test::SendAll(client.Get(), "hello");
    ASSERT_TRUE(PumpUntil([&] { return acceptedLog.Count(FD_READ) == 1; }));
    char buffer[8] = {};
    EXPECT_EQ(accepted.Receive(buffer, sizeof buffer, 0), 5);
    EXPECT_STREQ(buffer, "hello");
}

TEST(AsyncDatagram, ReportsWriteAtOnceAndReadPerDatagram) {
    TAsyncSocket socket;
    TEventLog log;
    ASSERT_TRUE(socket.Open(0, "127.0.0.1", SOCK_DGRAM, IPPROTO_UDP));
    log.Attach(socket);
    ASSERT_TRUE(PumpUntil([&] { return log.Count(FD_WRITE) == 1; }));
    TFd sender = test::UdpSocket();
    const sockaddr_in to = test::LoopbackAddress(test::LocalPort(socket.Handle()));
    ASSERT_EQ(::sendto(sender.Get(), "ping", 4, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to), 4);
    ASSERT_TRUE(PumpUntil([&] { return log.Count(FD_READ) == 1; }));
    char buffer[8] = {};
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    EXPECT_EQ(socket.ReceiveFrom(buffer, sizeof buffer, reinterpret_cast<sockaddr*>(&from), &fromLength, 0), 4);
    EXPECT_EQ(test::LocalPort(sender.Get()), ntohs(from.sin_port));
    const sockaddr_in back = test::LoopbackAddress(test::LocalPort(sender.Get()));
    EXPECT_EQ(socket.SendTo("pong", 4, reinterpret_cast<const sockaddr*>(&back), sizeof back, 0), 4);
}

// --- Error texts ---

std::string StrerrorText(int number) { return WithoutSentenceEnd(std::strerror(number)); }

TEST(ErrorText, NamesTheCodeAndTheSystemText) {
    EXPECT_EQ(TAsyncSocket::ErrorText(10061), "Ошибка - 10061 \"" + StrerrorText(ECONNREFUSED) + "\"");
    EXPECT_EQ(TAsyncSocket::ErrorText(WSAEINVAL), "Ошибка - 10022 \"" + StrerrorText(EINVAL) + "\"");
    EXPECT_EQ(TAsyncSocket::ErrorText(10999), "Ошибка - 10999 \"\"");
}

TEST(ErrorText, MinusOneStandsForTheLastError) {
    WSASetLastError(WSAETIMEDOUT);
    EXPECT_EQ(TAsyncSocket::ErrorText(-1), "Ошибка - 10060 \"" + StrerrorText(ETIMEDOUT) + "\"");
}

}  // namespace
}  // namespace telv
