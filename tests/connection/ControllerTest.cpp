// The connection controller against a scripted server on loopback and against the simulator.
#include "ConnectionController.h"
#include "HeldResolver.h"
#include "MonitorTables.h"
#include "RowTexts.h"
#include "ScriptedServer.h"
#include "ServerSide.h"
#include "TestApplication.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace telv {
namespace {

using namespace std::chrono_literals;
using test::PumpFor;
using test::PumpUntil;

struct FakeView : ConnectionView {
    std::string address = "127.0.0.1", port = "5100";
    bool editsEnabled = true, autoRequest = true, events = true;
    std::string caption = "Подключить";
    std::vector<std::string> log;
    std::vector<std::pair<std::string, int>> connected;
    std::vector<ConnectionEnd> ends;
    std::vector<std::string> versions;
    std::vector<std::pair<int, std::string>> failedAttempts;
    std::size_t endsBeforeFailure = 0;  // ends reported when the last failure was
    int running = 0;

    std::string AddressText() const override { return address; }
    std::string PortText() const override { return port; }
    void SetServerEditsEnabled(bool e) override { editsEnabled = e; }
    void SetConnectCaption(const std::string& c) override { caption = c; }
    bool AutoRequestChecked() const override { return autoRequest; }
    bool EventsChecked() const override { return events; }
    void LogEvent(const std::string& text) override { log.push_back(text); }
    void ServerConnected(const std::string& a, const std::string&, std::uint16_t p) override {
        connected.emplace_back(a, p);
    }
    void ConnectionEnded(ConnectionEnd how) override { ends.push_back(how); }
    void ConnectionRunning() override { ++running; }
    void ServerVersionReceived(const std::string& version) override { versions.push_back(version); }
    void ConnectAttemptFailed(int error, const std::string& text) override {
        endsBeforeFailure = ends.size();
        failedAttempts.emplace_back(error, text);
    }
    int Count(const std::string& line) const { return static_cast<int>(std::count(log.begin(), log.end(), line)); }
};

struct Panels : StatusPanels {
    std::string text[2];
    void SetPanelText(int panel, const std::string& t) override { text[panel] = t; }
};

using test::ScriptedServer;

class ControllerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::EnsureApplication("controller_tests");
        TAsyncSocket::SockInit();
    }
    FakeView view;
    Panels panels;
    TListView chanels{kChanelColumns, RenderCell};
    TListView clients{kClientColumns, RenderCell};
    MonitorTables tables{chanels, clients, panels};
    ConnectionController controller{view, tables};

    void SetUp() override {
        controller.ClientVersion[0] = 1;
        controller.ClientVersion[1] = 3;
        controller.ClientVersion[2] = 8;
        controller.ClientVersion[3] = 17;
    }
    bool ReceivedAtLeast(ScriptedServer& server, std::size_t n) {
        return PumpUntil([&] { return server.Received().size() >= n; });
    }
    void ConnectTo(ScriptedServer& server) {
        view.port = std::to_string(server.Port());
        controller.ConnectDisconectActionExecute();
        ASSERT_TRUE(PumpUntil([&] { return server.Accept() && controller.State == WaitingHello; }));
    }
    // Connects and completes the handshake; returns what the console sent after the ack.
    Bytes Handshake(ScriptedServer& server) {
        ConnectTo(server);
        EXPECT_TRUE(ReceivedAtLeast(server, 1));
        EXPECT_TRUE(server.Send(server::EncodeServerVersion(2, 4, 0, 31)));
        EXPECT_TRUE(ReceivedAtLeast(server, 12));
        EXPECT_TRUE(server.Send(server::EncodeAck()));
        EXPECT_TRUE(ReceivedAtLeast(server, 12 + 19));
        EXPECT_TRUE(PumpUntil([&] { return controller.State == Running; }));
        return Bytes(server.Received().begin() + 12, server.Received().end());
    }
};

TEST_F(ControllerTest, HandshakeBytesAndTheOrderOfTheFirstRequests) {
    ScriptedServer server;
    ConnectTo(server);
    EXPECT_EQ(view.caption, "Отключить");
    EXPECT_FALSE(view.editsEnabled);
    EXPECT_EQ(view.connected, (std::vector<std::pair<std::string, int>>{{"127.0.0.1", server.Port()}}));
    ASSERT_TRUE(ReceivedAtLeast(server, 1));
    EXPECT_EQ(server.Received(), Bytes{0});
    // The version reply in two pieces of 5 and 7 bytes.
    const Bytes hello = server::EncodeServerVersion(2, 4, 0, 31);
    EXPECT_TRUE(server.Send(Bytes(hello.begin(), hello.begin() + 5)));
    PumpFor(50ms);
    EXPECT_EQ(controller.State, WaitingHello);
    EXPECT_TRUE(server.Send(Bytes(hello.begin() + 5, hello.end())));
    ASSERT_TRUE(ReceivedAtLeast(server, 12));
    EXPECT_EQ(Bytes(server.Received().begin() + 1, server.Received().end()),
              (Bytes{16, 'T', 'E', 'L', 'V', 'C', 'L', 1, 3, 8, 17}));
    EXPECT_EQ(controller.State, WaitingAck);
    EXPECT_TRUE(server.Send(server::EncodeAck()));
    ASSERT_TRUE(ReceivedAtLeast(server, 12 + 19));
    Bytes expected = EncodeEventMode(true);
    expected.push_back(32);
    expected.push_back(48);
    EXPECT_EQ(Bytes(server.Received().begin() + 12, server.Received().end()), expected);
    EXPECT_TRUE(tables.FullListNeeded);
    EXPECT_EQ(view.log, (std::vector<std::string>{"Соединение установлено", "Версия TELV сервера 2.4.0.31"}));
    EXPECT_EQ(view.versions, std::vector<std::string>{"2.4.0.31"});
    EXPECT_TRUE(view.failedAttempts.empty());
}

TEST_F(ControllerTest, FollowUpsAndPeriodicRequests) {
    ScriptedServer server;
    Handshake(server);
    server.ClearReceived();
    controller.ReqTimerTimer();  // lists not applied yet: the full list again
    ASSERT_TRUE(ReceivedAtLeast(server, 1));
    EXPECT_EQ(server.Received(), Bytes{32});
    server.ClearReceived();

    TELV_UDP_FULL_CHANEL_DATA c;
    c.SetChanelHandle(7);
    c.SetDeviceId("860001", 6);
    TELV_FULL_CLIENT_DATA k;
    k.SetClientHandle(3);
    EXPECT_TRUE(server.Send(server::EncodeChanelList(std::vector{c})));
    ASSERT_TRUE(ReceivedAtLeast(server, 1));
    EXPECT_EQ(server.Received(), Bytes{48});
    EXPECT_TRUE(server.Send(server::EncodeClientList(std::vector{k})));
    ASSERT_TRUE(PumpUntil([&] { return chanels.Count() == 1 && clients.Count() == 1; }));
    EXPECT_FALSE(tables.FullListNeeded);
    EXPECT_EQ(panels.text[0], "Приборы (Количество - 1 RX : 0 б TX : 0 б)");

    server.ClearReceived();
    controller.ReqTimerTimer();
    ASSERT_TRUE(ReceivedAtLeast(server, 1));
    EXPECT_EQ(server.Received(), Bytes{33});
    TELV_STATISTICS_DATA s;
    s.SetOwnHandle(7);
    s.SetSecondsOnLine(3725);
    EXPECT_TRUE(server.Send(server::EncodeStatistics(33, std::vector{s})));
    ASSERT_TRUE(ReceivedAtLeast(server, 2));
    EXPECT_EQ(server.Received(), (Bytes{33, 49}));
    EXPECT_EQ(chanels.Text(0, 4), "01:02:05");

    // Automatic requests off: the timer sends nothing; a text message brings 32 and 48.
    server.ClearReceived();
    view.autoRequest = false;
    controller.ReqTimerTimer();
    EXPECT_TRUE(server.Send(server::EncodeTextMessage("\xCF\xF0\xE8\xE2\xE5\xF2")));
    ASSERT_TRUE(ReceivedAtLeast(server, 2));
    EXPECT_EQ(server.Received(), (Bytes{32, 48}));
    EXPECT_EQ(view.log.back(), "Привет");
}

TEST_F(ControllerTest, NoticesAreLoggedAsTheyCome) {
    ScriptedServer server;
    Handshake(server);
    std::uint8_t id[16] = {'8', '6', '0', '0', '1'};
    EXPECT_TRUE(server.Send(server::EncodeEventMode(false)));
    EXPECT_TRUE(server.Send(server::EncodeChannelNotice(0, TextField(id, 16))));
    EXPECT_TRUE(server.Send(server::EncodeChannelNotice(2, TextField(id, 16))));
    EXPECT_TRUE(server.Send(server::EncodeChannelNotice(3, TextField(id, 16))));
    EXPECT_TRUE(server.Send(server::EncodeClientClosed({192, 168, 0, 5}, 5100)));
    EXPECT_TRUE(server.Send(server::EncodeEmpty()));
    ASSERT_TRUE(PumpUntil([&] { return view.log.size() >= 7; }));
    EXPECT_EQ(std::vector<std::string>(view.log.begin() + 2, view.log.end()),
              (std::vector<std::string>{"Трансляция событий сервера отключена", "Соединение с прибором ID - 86001 сброшено",
                                        "Прибор c ID - 86001 отключен с завершением интервала опроса",
                                        "Прибор c ID - 86001 отключен", "Отключен клиент. Адрес - 192.168.0.5:5100"}));
}

// A refresh of very many rows goes in pieces: the messages behind it wait, in order, until its
// last piece is done; then the socket is read again. A connection that ends meanwhile still
// shows what came before its end.
TEST_F(ControllerTest, MessagesBehindARefreshInPiecesWaitForItsLastPiece) {
    for (const bool serverCloses : {false, true}) {
        std::vector<std::function<void()>> pieces;
        tables.PassPieceRecords = 1000;
        tables.Later = [&](std::function<void()> piece) { pieces.push_back(std::move(piece)); };
        tables.PassDone = [&] { controller.ResumeDispatch(); };
        ScriptedServer server;
        view.log.clear();
        Handshake(server);
        const std::uint32_t rows = tables.PassPieceRecords * 2 + 10;
        const Handle first = serverCloses ? 1000000 : 1;  // rows of their own in each round
        std::vector<TELV_UDP_FULL_CHANEL_DATA> list(rows);
        std::vector<TELV_STATISTICS_DATA> statistics(rows);
        for (std::uint32_t i = 0; i < rows; ++i) {
            list[i].SetChanelHandle(first + i);
            statistics[i].SetOwnHandle(first + i);
            statistics[i].SetSecondsOnLine(61);
        }
        // Sent from a thread of their own, while this one runs the console's events until the
        // thread has sent everything.
        std::atomic<bool> sent = false;
        const auto sendInBackground = [&server, &sent](Bytes bytes) {
            sent = false;
            return std::thread([&server, &sent, bytes = std::move(bytes)] {
                EXPECT_TRUE(server.Send(bytes));
                sent = true;
            });
        };
        Bytes lists = server::EncodeChanelList(list);
        const Bytes clientList = server::EncodeClientList(std::vector<TELV_FULL_CLIENT_DATA>{});
        lists.insert(lists.end(), clientList.begin(), clientList.end());
        std::thread sender = sendInBackground(std::move(lists));
        const bool listed = PumpUntil([&] { return sent && tables.ChanelItems.Find(first + rows - 1) != nullptr; });
        EXPECT_TRUE(PumpUntil([&] { return sent.load(); }));
        sender.join();
        ASSERT_TRUE(listed);
        static_cast<void>(server.Received());  // the console's request for the client list
        server.ClearReceived();

        Bytes burst = server::EncodeStatistics(33, statistics);
        for (const Bytes& next : {server::EncodeTextMessage("one"), server::EncodeTextMessage("two")})
            burst.insert(burst.end(), next.begin(), next.end());
        sender = sendInBackground(std::move(burst));
        const bool pending = PumpUntil([&] { return sent && tables.Pending(); });
        EXPECT_TRUE(PumpUntil([&] { return sent.load(); }));  // the rest fits in the sockets' buffers
        sender.join();
        ASSERT_TRUE(pending);
        PumpFor(100ms);
        EXPECT_EQ(view.Count("one"), 0);  // held behind the pass
        EXPECT_EQ(chanels.Text(chanels.Count() - 1, 4), "00:00:00");  // not reached yet
        EXPECT_TRUE(ReceivedAtLeast(server, 1));
        EXPECT_EQ(server.Received(), Bytes{49});  // the follow-up request went out at once
        if (serverCloses) server.Close();

        while (!pieces.empty()) {
            auto piece = std::move(pieces.front());
            pieces.erase(pieces.begin());
            piece();
        }
        ASSERT_TRUE(PumpUntil([&] { return view.Count("two") == 1; }));
        EXPECT_EQ(chanels.Count(), static_cast<int>(rows));
        EXPECT_EQ(chanels.Text(0, 4), "00:01:01");
        EXPECT_EQ(chanels.Text(chanels.Count() - 1, 4), "00:01:01");
        const auto one = std::find(view.log.begin(), view.log.end(), "one");
        ASSERT_NE(one, view.log.end());
        EXPECT_EQ(one[1], "two");
        if (serverCloses) {
            ASSERT_TRUE(PumpUntil([&] { return controller.State == Disconnected; }));
            EXPECT_EQ(view.log.back(), "Соединение завершено");
        } else {
            controller.ConnectDisconectActionExecute();
        }
        EXPECT_FALSE(tables.Pending());
    }
}

TEST_F(ControllerTest, HandshakeTimeLimitIsTwoHundredTicks) {
    for (bool answerHello : {false, true}) {
        ScriptedServer server;
        view.log.clear();
        ConnectTo(server);
        if (answerHello) {
            EXPECT_TRUE(server.Send(server::EncodeServerVersion(1, 0, 0, 0)));
            ASSERT_TRUE(PumpUntil([&] { return controller.State == WaitingAck; }));
        }
        for (int i = 0; i < 199; ++i) controller.TimerTimer();
        EXPECT_NE(controller.State, Disconnected);
        controller.TimerTimer();
        EXPECT_EQ(controller.State, Disconnected);
        const std::string error = answerHello ? "Ошибка при отсылки версии клиента" : "Ошибка при запросе версии сервера";
        EXPECT_EQ(view.log.end()[-2], error);
        EXPECT_EQ(view.log.back(), "Соединение завершено");
        EXPECT_EQ(view.caption, "Подключить");
        EXPECT_TRUE(view.editsEnabled);
        EXPECT_FALSE(controller.HasSocket());
    }
}

TEST_F(ControllerTest, ServerClosingMidMessageEndsTheConnectionOnce) {
    ScriptedServer server;
    Handshake(server);
    const Bytes list = server::EncodeListHeader(32, 10);
    EXPECT_TRUE(server.Send(Bytes(list.begin(), list.end())));
    server.Close();
    ASSERT_TRUE(PumpUntil([&] { return controller.State == Disconnected; }));
    PumpFor(100ms);
    EXPECT_EQ(view.Count("Соединение завершено"), 1);
    EXPECT_TRUE(controller.HasSocket());  // kept until the next connection
    // The next connection starts with an empty buffer.
    ScriptedServer next;
    ConnectTo(next);
    EXPECT_EQ(controller.RecvBuffer.Remaining(), 0u);
    EXPECT_TRUE(next.Send(server::EncodeServerVersion(3, 0, 0, 0)));
    EXPECT_TRUE(PumpUntil([&] { return controller.State == WaitingAck; }));
}

TEST_F(ControllerTest, RefusedConnectionIsLoggedWithItsCode) {
    int port;
    { ScriptedServer gone; port = gone.Port(); }
    view.port = std::to_string(port);
    controller.ConnectDisconectActionExecute();
    ASSERT_TRUE(PumpUntil([&] { return controller.State == Disconnected; }));
    ASSERT_FALSE(view.log.empty());
    EXPECT_EQ(view.log.back().rfind("Ошибка - 10061 \"", 0), 0u) << view.log.back();
    EXPECT_EQ(view.caption, "Подключить");
    EXPECT_EQ(view.failedAttempts, (std::vector<std::pair<int, std::string>>{{10061, view.log.back()}}));
    EXPECT_EQ(view.endsBeforeFailure, 0u);  // the failure, then the end of the attempt
    EXPECT_EQ(view.ends, std::vector<ConnectionEnd>{ConnectionEnd::AttemptFailed});
    EXPECT_TRUE(view.versions.empty());
}

TEST_F(ControllerTest, AttemptThatCannotStartReturnsToDisconnected) {
    view.address = "";
    controller.ConnectDisconectActionExecute();
    EXPECT_EQ(controller.State, Disconnected);
    ASSERT_EQ(view.log.size(), 1u);
    EXPECT_EQ(view.log[0].rfind("Ошибка - ", 0), 0u);
    EXPECT_FALSE(controller.HasSocket());
    ASSERT_EQ(view.failedAttempts.size(), 1u);
    EXPECT_EQ(view.failedAttempts[0].second, view.log[0]);
    EXPECT_EQ(view.log[0].rfind("Ошибка - " + std::to_string(view.failedAttempts[0].first) + " \"", 0), 0u);
    view.address = "127.0.0.1";
    view.port = "0";
    controller.ConnectDisconectActionExecute();
    EXPECT_EQ(controller.State, Disconnected);
    EXPECT_FALSE(controller.HasSocket());
    EXPECT_EQ(view.failedAttempts.size(), 1u) << "a bad port is no socket error";
}

// A name is looked up while the event loop goes on; a name that does not resolve ends the
// attempt with the resolver's own text, and the next attempt starts afresh.
TEST_F(ControllerTest, NameThatDoesNotResolveIsLoggedWithTheResolversText) {
    view.address = "nonexistent.invalid";
    controller.ConnectDisconectActionExecute();
    EXPECT_EQ(controller.State, Connecting);  // the outcome comes through the event loop
    ASSERT_TRUE(PumpUntil([&] { return controller.State == Disconnected; }, 30s));
    ASSERT_EQ(view.log.size(), 1u);
    // Without a name server at hand the resolver may only say that it could not ask.
    EXPECT_TRUE(view.log[0].starts_with("Ошибка - 11001 \"") || view.log[0].starts_with("Ошибка - 11002 \""))
        << view.log[0];
    EXPECT_EQ(view.log[0].find("Invalid argument"), std::string::npos) << view.log[0];
    EXPECT_EQ(view.caption, "Подключить");
    EXPECT_FALSE(controller.HasSocket());
    ASSERT_EQ(view.failedAttempts.size(), 1u);
    EXPECT_EQ(view.log[0], view.failedAttempts[0].second);
    EXPECT_TRUE(view.failedAttempts[0].first == 11001 || view.failedAttempts[0].first == 11002);

    const test::ResolverScope scope([](const std::string&, in_addr_t&) { return EAI_NONAME; });
    view.log.clear();
    controller.ConnectDisconectActionExecute();
    ASSERT_TRUE(PumpUntil([&] { return controller.State == Disconnected; }));
    EXPECT_EQ(view.log, std::vector<std::string>{"Ошибка - 11001 \"Name or service not known\""});
    EXPECT_EQ(view.failedAttempts.back(), (std::pair<int, std::string>{11001, view.log[0]}));

    ScriptedServer server;
    view.address = "127.0.0.1";
    ConnectTo(server);
}

// The operator disconnects while a slow name is looked up: that wins, and the late result
// connects nothing; the next attempt connects afresh.
TEST_F(ControllerTest, DisconnectWhileANameIsLookedUpWins) {
    ScriptedServer late;
    test::HeldResolver resolver(htonl(INADDR_LOOPBACK), 0);
    const test::ResolverScope scope(resolver.Function());
    view.address = "slow.example";
    view.port = std::to_string(late.Port());
    controller.ConnectDisconectActionExecute();
    EXPECT_EQ(controller.State, Connecting);
    // The event loop runs meanwhile: a timer keeps firing.
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(5);
    ASSERT_TRUE(PumpUntil([&] { return ticks >= 5 && resolver.Hosts().size() == 1; }));
    EXPECT_EQ(controller.State, Connecting);
    EXPECT_TRUE(view.log.empty());

    controller.ConnectDisconectActionExecute();
    EXPECT_EQ(controller.State, Disconnected);
    EXPECT_EQ(view.log, std::vector<std::string>{"Соединение завершено"});
    resolver.Release();
    ASSERT_TRUE(test::LookupsEnded());
    PumpFor(200ms);
    EXPECT_EQ(controller.State, Disconnected);
    EXPECT_EQ(view.log, std::vector<std::string>{"Соединение завершено"});
    EXPECT_FALSE(late.Accept()) << "the late result connected";

    ScriptedServer server;
    view.address = "127.0.0.1";
    ConnectTo(server);
    EXPECT_EQ(view.Count("Соединение установлено"), 1);
}

// A listener whose accept queue is full: the console's connect times out after its wait. That
// attempt must stay over even when the queue frees and the system would complete it.
TEST_F(ControllerTest, ConnectThatTimedOutNeverComesBack) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::vector<int> fillers;
    const auto pending = [](int fd) {
        pollfd entry{fd, POLLOUT, 0};
        return ::poll(&entry, 1, 100) == 0;
    };
    bool full = false;
    for (int i = 0; i < 16 && !full; ++i) {
        const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ::connect(filler, reinterpret_cast<const sockaddr*>(&address), sizeof address);
        full = pending(filler);
        fillers.push_back(filler);
    }
    const auto closeAll = [&] {
        for (const int fd : fillers) ::close(fd);
        ::close(listener);
    };
    if (!full) {
        closeAll();
        GTEST_SKIP() << "the listener's queue never filled";
    }
    // Takes every connection that reaches the listener; true when one came.
    const auto acceptAll = [&] {
        bool any = false;
        for (int fd; (fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
            fillers.push_back(fd);
            any = true;
        }
        return any;
    };

    view.port = std::to_string(ntohs(address.sin_port));
    controller.ConnectDisconectActionExecute();
    EXPECT_EQ(controller.State, Disconnected);
    EXPECT_EQ(view.log, std::vector<std::string>{"Ошибка - 10060 \"Connection timed out\""});
    EXPECT_EQ(view.caption, "Подключить");

    // The queue frees; the system retries a dropped connection request within seconds.
    const auto quiet = std::chrono::steady_clock::now() + 6s;
    while (std::chrono::steady_clock::now() < quiet) {
        acceptAll();
        PumpFor(50ms);
    }
    EXPECT_EQ(controller.State, Disconnected);
    EXPECT_EQ(view.log, std::vector<std::string>{"Ошибка - 10060 \"Connection timed out\""});

    // The next click connects afresh.
    controller.ConnectDisconectActionExecute();
    EXPECT_TRUE(PumpUntil([&] { return acceptAll() || controller.State == WaitingHello; }));
    EXPECT_TRUE(PumpUntil([&] { return controller.State == WaitingHello; }));
    EXPECT_EQ(view.Count("Соединение установлено"), 1);
    closeAll();
}

TEST_F(ControllerTest, CancelWhileConnectingAndOperatorDisconnect) {
    ScriptedServer server;
    Handshake(server);
    controller.ConnectDisconectActionExecute();
    EXPECT_EQ(controller.State, Disconnected);
    EXPECT_EQ(view.log.back(), "Соединение завершено");
    EXPECT_FALSE(controller.HasSocket());
}

// Whoever keeps the connection up learns how each connection or attempt ended, after its log
// lines, and when a handshake completed.
TEST_F(ControllerTest, EndsAreReportedWithWhetherTheOperatorAsked) {
    using End = ConnectionEnd;
    {  // the operator's disconnect
        ScriptedServer server;
        Handshake(server);
        EXPECT_EQ(view.running, 1);
        controller.ConnectDisconectActionExecute();
        EXPECT_EQ(view.ends, std::vector<End>{End::OperatorAsked});
    }
    view.ends.clear();
    {  // the server closes
        ScriptedServer server;
        Handshake(server);
        server.Close();
        ASSERT_TRUE(PumpUntil([&] { return controller.State == Disconnected; }));
        EXPECT_EQ(view.ends, std::vector<End>{End::Lost});
        EXPECT_EQ(view.log.back(), "Соединение завершено");
    }
    view.ends.clear();
    {  // the handshake time limit
        ScriptedServer server;
        ConnectTo(server);
        for (int i = 0; i < ConnectionController::kHandshakeTicks; ++i) controller.TimerTimer();
        EXPECT_EQ(view.ends, std::vector<End>{End::Lost});
    }
    view.ends.clear();
    {  // refused
        int port;
        { ScriptedServer gone; port = gone.Port(); }
        view.port = std::to_string(port);
        controller.ConnectDisconectActionExecute();
        ASSERT_TRUE(PumpUntil([&] { return controller.State == Disconnected; }));
        EXPECT_EQ(view.ends, std::vector<End>{End::AttemptFailed});
    }
    view.ends.clear();
    for (const auto& [address, port] : {std::pair{"", "5100"}, {"127.0.0.1", "0"}}) {  // cannot start
        view.address = address;
        view.port = port;
        controller.ConnectDisconectActionExecute();
        EXPECT_EQ(view.ends, std::vector<End>{End::AttemptFailed}) << address << ":" << port;
        view.ends.clear();
    }
    EXPECT_EQ(view.running, 2);
}

// With devices coming and going, every full refresh leaves exactly the server's channels on
// screen, each row showing its own record; statistics passes in between only update or remove.
TEST_F(ControllerTest, RowsFollowAChurningPopulation) {
    sim::SimOptions options = test::QuietOptions(400, 8);
    options.churnPerSecond = 300;
    test::RunningSimulator simulator(options);
    ASSERT_TRUE(simulator.Started()) << simulator.Error();
    view.port = std::to_string(simulator.Port());
    controller.ConnectDisconectActionExecute();
    ASSERT_TRUE(PumpUntil([&] { return chanels.Count() > 0; }, 10000ms));
    auto rowsMatchRecords = [&] {
        if (static_cast<std::size_t>(chanels.Count()) != tables.ChanelData.size()) return false;
        for (int i = 0; i < chanels.Count(); ++i) {
            const auto it = tables.ChanelData.find(static_cast<Handle>(chanels.Item(i)->Data));
            if (it == tables.ChanelData.end() || chanels.Text(i, 0) != DeviceIdText(it->second)) return false;
        }
        return true;
    };
    for (int round = 0; round < 4; ++round) {
        for (int tick = 0; tick < 3; ++tick) {
            controller.ReqTimerTimer();
            PumpFor(120ms);
            for (int i = 0; i < chanels.Count(); ++i)
                ASSERT_EQ(tables.ChanelItems.Find(static_cast<Handle>(chanels.Item(i)->Data)), chanels.Item(i));
        }
        controller.RequestActionExecute();
        PumpFor(400ms);  // both client lists applied, nothing else asked
        EXPECT_TRUE(rowsMatchRecords()) << "round " << round;
        EXPECT_EQ(clients.Count(), 9);
        EXPECT_NEAR(chanels.Count(), 400, 20);
    }
}

TEST(PortText, IntegerOrDefault) {
    struct {
        const char* text;
        int port;
    } cases[] = {{"5100", 5100}, {"70000", 70000}, {"", 5100}, {"abc", 5100}, {"12ab", 5100},
                 {" 5200 ", 5200}, {"-1", -1},   {"99999999999", 5100}};
    for (const auto& c : cases) EXPECT_EQ(ConnectionController::PortFromText(c.text), c.port) << c.text;
    EXPECT_EQ(ConnectionController::PortFromText("70000") & 0xFFFF, 4464);
}

TEST_F(ControllerTest, AgainstTheSimulatorSplitIntoSingleBytes) {
    sim::SimOptions options = test::QuietOptions(300, 5);
    options.splitBytes = 1;
    test::RunningSimulator simulator(options);
    ASSERT_TRUE(simulator.Started()) << simulator.Error();
    view.port = std::to_string(simulator.Port());
    controller.ConnectDisconectActionExecute();
    ASSERT_TRUE(PumpUntil([&] { return chanels.Count() == 300; }, 20000ms)) << chanels.Count();
    EXPECT_EQ(clients.Count(), 6);  // the simulated clients and this console
    controller.ConnectDisconectActionExecute();
    EXPECT_EQ(view.Count("Соединение установлено"), 1);
    EXPECT_EQ(view.Count("Соединение завершено"), 1);
}

}  // namespace
}  // namespace telv
