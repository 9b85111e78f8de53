// The console (controller and tables, no window) against servers that misbehave: the
// simulator's fault modes, and a scripted server that sends exactly the bytes of each case.
// Whatever the server does, the console neither crashes nor hangs, its tables stay consistent,
// every text it shows is plain, and its receive buffer stays bounded.
#include "ConnectionController.h"
#include "ControllerFuzz.h"
#include "MonitorTables.h"
#include "RowTexts.h"
#include "ScriptedServer.h"
#include "ServerSide.h"
#include "TestApplication.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace telv {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kBoundedCapacity = std::size_t{1} << 20;  // far above any reply of these servers

struct RecordingView : ConnectionView {
    std::string port = "5100";
    bool autoRequest = true;
    bool events = true;
    std::vector<std::string> log;

    std::string AddressText() const override { return "127.0.0.1"; }
    std::string PortText() const override { return port; }
    void SetServerEditsEnabled(bool) override {}
    void SetConnectCaption(const std::string&) override {}
    bool AutoRequestChecked() const override { return autoRequest; }
    bool EventsChecked() const override { return events; }
    void LogEvent(const std::string& text) override { log.push_back(text); }
    void ServerConnected(const std::string&, const std::string&, std::uint16_t) override {}

    int Count(const std::string& line) const { return static_cast<int>(std::count(log.begin(), log.end(), line)); }
};

struct RecordingPanels : StatusPanels {
    std::string text[2];
    void SetPanelText(int panel, const std::string& t) override { text[panel] = t; }
};

// The console with its tables, driven as the window drives it.
class Console {
public:
    RecordingView view;
    RecordingPanels panels;
    TListView chanels{kChanelColumns, RenderCell};
    TListView clients{kClientColumns, RenderCell};
    MonitorTables tables{chanels, clients, panels};
    ConnectionController controller{view, tables};

    void Connect(int port) {
        view.port = std::to_string(port);
        controller.ConnectDisconectActionExecute();
    }
    // Runs the event loop with the handshake timer every 100 ms and the request timer every
    // refresh, until done() holds or the limit has passed.
    bool Run(const std::function<bool()>& done, std::chrono::milliseconds limit,
             std::chrono::milliseconds refresh = 200ms) {
        const auto end = Clock::now() + limit;
        auto nextTick = Clock::now() + 100ms;
        auto nextRequest = Clock::now() + refresh;
        return test::PumpUntil(
            [&] {
                const auto now = Clock::now();
                if (now >= nextTick) {
                    controller.TimerTimer();
                    nextTick += 100ms;
                }
                if (now >= nextRequest) {
                    controller.ReqTimerTimer();
                    nextRequest = now + refresh;
                }
                return done() || now >= end;
            },
            limit + 1s) &&
               done();
    }
    void Expire() {
        for (int i = 0; i < ConnectionController::kHandshakeTicks; ++i) controller.TimerTimer();
    }
};

// Rows agree with their handle index and every cell is plain text.
void ExpectRowsIntact(const TListView& view, const RowItems& index) {
    EXPECT_EQ(static_cast<std::size_t>(view.Count()), index.size());
    for (int i = 0; i < view.Count(); ++i) {
        ASSERT_EQ(index.Find(static_cast<Handle>(view.Item(i)->Data)), view.Item(i)) << "row " << i;
        for (int column = 0; column < view.ColumnCount(); ++column)
            ASSERT_EQ(fuzz::ShownTextProblem(view.Text(i, column)), "") << "row " << i << " column " << column;
    }
}

// The tables are consistent, every log line and panel is plain text, and the receive buffer has
// not grown beyond what the stream needed.
void ExpectIntact(const Console& c) {
    ExpectRowsIntact(c.chanels, c.tables.ChanelItems);
    ExpectRowsIntact(c.clients, c.tables.ClientItems);
    for (const std::string& line : c.view.log) ASSERT_EQ(fuzz::ShownTextProblem(line), "") << line;
    for (const std::string& panel : c.panels.text) EXPECT_EQ(fuzz::ShownTextProblem(panel), "");
    EXPECT_LE(c.controller.RecvBuffer.Capacity(), kBoundedCapacity);
}

class HostileServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::EnsureApplication("hostile_server_tests");
        TAsyncSocket::SockInit();
    }
};

// --- The simulator's fault modes ------------------------------------------------------------

constexpr std::uint32_t kDevices = 40;
constexpr std::uint32_t kClients = 4;
constexpr int kAllClients = kClients + 1;  // the simulated clients and this console

struct SimCase {
    const char* name;
    void (*configure)(sim::SimOptions&);
    int expireIn;  // the handshake limit is run out once this state is reached; -1: never
    int state;
    int chanelRows;
    int clientRows;  // -1: not checked
    std::size_t minLogLines;  // the case has settled once this many lines are logged
    const char* logged;       // a line that must be in the log, or null
    int disconnects;          // how often "Соединение завершено" is logged
};

const SimCase kSimCases[] = {
    {"garbage", [](sim::SimOptions& o) { o.garbage = true; o.noticeIntervalSeconds = 0.25; }, -1, Running,
     kDevices, kAllClients, 2, "Версия TELV сервера 2.4.0.31", 0},
    // The client list may come in the same reception as an over-limit header and go with it.
    {"over_limit_count", [](sim::SimOptions& o) { o.overLimit = true; }, -1, Running, 0, -1, 2, nullptr, 0},
    {"orphan_statistics", [](sim::SimOptions& o) { o.orphanStats = true; }, -1, Running, kDevices, kAllClients, 2,
     nullptr, 0},
    {"close_mid_message", [](sim::SimOptions& o) { o.closeMidMessage = true; }, -1, Disconnected, 0, 0, 3,
     "Соединение завершено", 1},
    {"slow_replies", [](sim::SimOptions& o) { o.slowMs = 250; }, -1, Running, kDevices, kAllClients, 2, nullptr, 0},
    {"no_hello", [](sim::SimOptions& o) { o.noHello = true; }, WaitingHello, Disconnected, 0, 0, 3,
     "Ошибка при запросе версии сервера", 1},
    {"no_ack", [](sim::SimOptions& o) { o.noAck = true; }, WaitingAck, Disconnected, 0, 0, 4,
     "Ошибка при отсылки версии клиента", 1},
    {"hostile_texts", [](sim::SimOptions& o) { o.hostileTexts = true; o.noticeIntervalSeconds = 0.02; }, -1, Running,
     kDevices, kAllClients, 40, nullptr, 0},
    {"flood", [](sim::SimOptions& o) { o.flood = true; }, -1, Running, kDevices, kAllClients, 20000, nullptr, 0},
    {"flood_of_hostile_texts", [](sim::SimOptions& o) { o.flood = true; o.hostileTexts = true; }, -1, Running,
     kDevices, kAllClients, 20000, nullptr, 0},
    {"split_into_three_byte_pieces_with_hostile_texts",
     [](sim::SimOptions& o) { o.splitBytes = 3; o.hostileTexts = true; o.noticeIntervalSeconds = 0.1; }, -1, Running,
     kDevices, kAllClients, 4, nullptr, 0},
};

class SimulatorFaults : public HostileServerTest, public ::testing::WithParamInterface<SimCase> {};

TEST_P(SimulatorFaults, ConsoleStaysIntact) {
    const SimCase& c = GetParam();
    sim::SimOptions options = test::QuietOptions(kDevices, kClients);
    c.configure(options);
    test::RunningSimulator simulator(options);
    ASSERT_TRUE(simulator.Started()) << simulator.Error();

    Console console;
    console.Connect(simulator.Port());
    if (c.expireIn >= 0) {
        ASSERT_TRUE(console.Run([&] { return console.controller.State == c.expireIn; }, 5s));
        test::PumpFor(300ms);  // nothing more comes
        EXPECT_EQ(console.controller.State, c.expireIn);
        console.Expire();
    }
    const auto settled = [&] {
        return console.controller.State == c.state && console.chanels.Count() == c.chanelRows &&
               (c.clientRows < 0 || console.clients.Count() == c.clientRows) && console.view.log.size() >= c.minLogLines &&
               (!c.logged || console.view.Count(c.logged) > 0) &&
               console.view.Count("Соединение завершено") == c.disconnects;
    };
    EXPECT_TRUE(console.Run(settled, 10s)) << "state " << console.controller.State << ", " << console.chanels.Count()
                                           << " channel rows, " << console.clients.Count() << " client rows, "
                                           << console.view.log.size() << " log lines";
    console.Run([] { return false; }, 300ms);  // whatever else comes changes nothing of the above
    EXPECT_EQ(console.controller.State, c.state);
    EXPECT_EQ(console.view.Count("Соединение завершено"), c.disconnects);
    ExpectIntact(console);
    if (c.state == Disconnected) {
        // A socket the server closed stays until the next connection; one the console closed goes.
        EXPECT_EQ(console.controller.HasSocket(), c.expireIn < 0);
    }
    if (std::string(c.name) == "over_limit_count") {
        // Every over-limit header was dropped at once; nothing waits for the announced records.
        EXPECT_EQ(console.controller.RecvBuffer.Remaining(), 0u);
        EXPECT_EQ(console.tables.ChanelData.size(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Simulator, SimulatorFaults, ::testing::ValuesIn(kSimCases),
                         [](const ::testing::TestParamInfo<SimCase>& p) { return std::string(p.param.name); });

// --- A scripted server ----------------------------------------------------------------------

enum class Then { Nothing, Close, Reset, ExpireHandshake, OperatorDisconnects };

struct Step {
    Bytes bytes;
    Then then = Then::Nothing;
};

struct ScriptCase {
    const char* name;
    bool handshakeFirst;  // the script starts in Running (else right after connecting)
    std::vector<Step> steps;
    int state;
    std::vector<std::string> log;  // the lines logged after those of the connection and handshake
    std::size_t remaining = 0;     // bytes left waiting in the receive buffer
};

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes Text(std::string_view text) { return server::EncodeTextMessage(text); }

Bytes TruncatedChanelList() {
    Bytes list = server::EncodeListHeader(code::ChannelList, 10);
    list.resize(list.size() + 3 * TELV_UDP_FULL_CHANEL_DATA::kSize, 0x41);
    return list;
}

Bytes ChannelNotice(std::uint8_t mode, std::string_view id) {
    return server::EncodeChannelNotice(mode, TextField(reinterpret_cast<const std::uint8_t*>(id.data()), id.size()));
}

const std::string kLongText(65535, 'a');

// Texts a server should never send, and what the log shows of them.
constexpr std::string_view kHostileText = "\x01\n\r\t\x7F\x98\xFF<b>&amp;</b>\x1B[31m";
const std::string kHostileShown = "␁␊␍␉␡\uFFFDя<b>&amp;</b>␛[31m";

std::vector<ScriptCase> ScriptCases() {
    using namespace std::string_view_literals;
    const Bytes hello = server::EncodeServerVersion(2, 4, 0, 31);
    const Bytes longText = Text(kLongText);
    return {
        // The unfinished list stays in the buffer until the next connection starts afresh.
        {"truncated_list_then_close", true, {{TruncatedChanelList(), Then::Close}}, Disconnected,
         {"Соединение завершено"}, TruncatedChanelList().size()},
        {"truncated_list_then_reset", true, {{TruncatedChanelList(), Then::Reset}}, Disconnected,
         {"Соединение завершено"}, TruncatedChanelList().size()},
        {"text_waits_for_all_its_bytes", true,
         {{Bytes(longText.begin(), longText.begin() + 1000)},
          {Cat({Bytes(longText.begin() + 1000, longText.end()), Text("next")})}},
         Running, {kLongText, "next"}},
        {"count_over_limit_drops_the_buffer", true,
         {{Cat({server::EncodeListHeader(code::ChannelList, kMaxRecordCount + 1), Text("in the same reception")})},
          {Text("later")}},
         Running, {"later"}},
        {"counts_of_four_billion", true,
         {{server::EncodeListHeader(code::ChannelList, 0xFFFFFFFF)},
          {server::EncodeListHeader(code::ChannelStatistics, 0xFFFFFFFF)},
          {server::EncodeListHeader(code::ClientList, 0xFFFFFFFF)},
          {server::EncodeListHeader(code::ClientStatistics, 0xFFFFFFFF)},
          {Text("alive")}},
         Running, {"alive"}},
        {"count_at_limit_waits_without_reserving", true,
         {{server::EncodeListHeader(code::ChannelList, kMaxRecordCount)}}, Running, {}, kListHeaderLength},
        {"handshake_reply_in_running_drops_the_buffer", true,
         {{Cat({hello, Text("behind it")})}, {Text("after")}}, Running, {"after"}},
        {"unknown_code_drops_the_buffer", true, {{Cat({Bytes{7}, Text("x")})}, {Text("y")}}, Running, {"y"}},
        {"hostile_texts_are_shown_as_plain_text", true,
         {{Cat({Text(kHostileText), Text(""), Text("zero\0inside"sv), ChannelNotice(1, "0123456789ABCDEF"),
                ChannelNotice(0, "\x01" "ab\n"), ChannelNotice(2, "86\0tail"sv)})}},
         Running,
         {kHostileShown, "", "zero␀inside", "Прибор c ID - 0123456789ABCDEF отключен",
          "Соединение с прибором ID - ␁ab␊ сброшено",
          "Прибор c ID - 86 отключен с завершением интервала опроса"}},
        // Blocks of 12 bytes from the start: the reply is never at the front of one.
        {"no_valid_hello_within_the_limit", false,
         {{Cat({Bytes(13, 0x55), hello})}, {{}, Then::ExpireHandshake}}, Disconnected,
         {"Ошибка при запросе версии сервера", "Соединение завершено"}, 1},
        {"hello_after_the_limit_is_ignored", false, {{{}, Then::ExpireHandshake}, {hello}}, Disconnected,
         {"Ошибка при запросе версии сервера", "Соединение завершено"}},
        {"bytes_after_the_operator_disconnected", true, {{{}, Then::OperatorDisconnects}, {Text("too late")}},
         Disconnected, {"Соединение завершено"}},
    };
}

class ScriptedServer : public HostileServerTest, public ::testing::WithParamInterface<ScriptCase> {};

TEST_P(ScriptedServer, ConsoleDoesWhatTheBytesSay) {
    const ScriptCase& c = GetParam();
    test::ScriptedServer server;
    Console console;
    console.Connect(server.Port());
    ASSERT_TRUE(test::PumpUntil([&] { return server.Accept() && console.controller.State == WaitingHello; }, 5s));
    std::size_t before = 1;  // "Соединение установлено"
    if (c.handshakeFirst) {
        ASSERT_TRUE(server.Send(Cat({server::EncodeServerVersion(2, 4, 0, 31), server::EncodeAck()})));
        ASSERT_TRUE(test::PumpUntil([&] { return console.controller.State == Running; }, 5s));
        before = 2;
    }
    for (const Step& step : c.steps) {
        if (!step.bytes.empty()) static_cast<void>(server.Send(step.bytes));  // fails once the console has gone
        test::PumpFor(100ms);
        switch (step.then) {
        case Then::Nothing: break;
        case Then::Close: server.Close(); break;
        case Then::Reset: server.Reset(); break;
        case Then::ExpireHandshake: console.Expire(); break;
        case Then::OperatorDisconnects: console.controller.ConnectDisconectActionExecute(); break;
        }
        test::PumpFor(100ms);
    }
    test::PumpUntil([&] { return console.view.log.size() >= before + c.log.size(); }, 2s);
    test::PumpFor(50ms);
    EXPECT_EQ(console.controller.State, c.state);
    ASSERT_GE(console.view.log.size(), before);
    EXPECT_EQ(std::vector<std::string>(console.view.log.begin() + static_cast<std::ptrdiff_t>(before),
                                       console.view.log.end()),
              c.log);
    EXPECT_EQ(console.controller.RecvBuffer.Remaining(), c.remaining);
    EXPECT_EQ(console.chanels.Count(), 0);
    ExpectIntact(console);
}

INSTANTIATE_TEST_SUITE_P(Scripted, ScriptedServer, ::testing::ValuesIn(ScriptCases()),
                         [](const ::testing::TestParamInfo<ScriptCase>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace telv
