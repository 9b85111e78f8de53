// The exporter's monitors against simulators in their fault modes, in one event loop: a server
// that cuts its messages, sends garbage, hostile texts or floods is retried or survived, and
// never affects a sound server beside it.
#include "ControllerFuzz.h"
#include "ExporterApp.h"
#include "ScriptedServer.h"
#include "TestApplication.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <map>

namespace telv::exporter {
namespace {

using namespace std::chrono_literals;
using telv::test::RunningSimulator;

// The value of one series of the collector's current families, or -1.
double Value(const MetricsCollector& collector, const std::string& family, const std::string& server,
             const std::map<std::string, std::string>& labels = {}) {
    for (const auto& f : collector.Collect()) {
        if (f.name != family) continue;
        for (const auto& m : f.metric) {
            bool match = true;
            std::size_t matched = 0;
            for (const auto& l : m.label) {
                if (l.name == "server") {
                    match = match && l.value == server;
                } else if (const auto it = labels.find(l.name); it != labels.end()) {
                    match = match && l.value == it->second;
                    ++matched;
                }
            }
            if (match && matched == labels.size()) return m.counter.value + m.gauge.value;
        }
    }
    return -1;
}

double Channels(const MetricsCollector& c, const std::string& server) {
    double sum = 0;
    for (const char* state : {"free", "linked", "other"}) {
        const double v = Value(c, "telv_channels", server, {{"state", state}});
        if (v < 0) return -1;
        sum += v;
    }
    return sum;
}

sim::SimOptions Options(std::uint32_t devices, void (*fault)(sim::SimOptions&)) {
    sim::SimOptions o = telv::test::QuietOptions(devices, 4);
    if (fault) fault(o);
    return o;
}

TEST(ExporterFaults, FaultyServersAreRetriedAndNeverAffectASoundOne) {
    telv::test::EnsureApplication("exporter_fault_tests");
    RunningSimulator sound(Options(150, nullptr));
    RunningSimulator cut(Options(80, [](sim::SimOptions& o) { o.closeMidMessage = true; }));
    RunningSimulator garbage(Options(60, [](sim::SimOptions& o) { o.garbage = true; }));
    RunningSimulator hostile(Options(70, [](sim::SimOptions& o) {
        o.hostileTexts = true;
        o.noticeIntervalSeconds = 0.2;
    }));
    RunningSimulator flood(Options(90, [](sim::SimOptions& o) { o.flood = true; }));
    RunningSimulator overLimit(Options(50, [](sim::SimOptions& o) { o.overLimit = true; }));
    for (const RunningSimulator* s : {&sound, &cut, &garbage, &hostile, &flood, &overLimit})
        ASSERT_TRUE(s->Started()) << s->Error();

    ExporterConfig config;
    config.listen = "127.0.0.1:0";
    const auto add = [&](const char* name, const RunningSimulator& s) {
        config.servers.push_back({name, "127.0.0.1", s.Port(), 1, true});
    };
    add("sound", sound);
    add("cut", cut);
    add("garbage", garbage);
    add("hostile", hostile);
    add("flood", flood);
    add("over-limit", overLimit);
    std::uint16_t closedPort = 0;
    { telv::test::ScriptedServer gone; closedPort = static_cast<std::uint16_t>(gone.Port()); }
    config.servers.push_back({"nowhere", "127.0.0.1", closedPort, 1, true});
    std::size_t lines = 0;
    std::string badLine;  // the first line that is not one clean line of text
    ExporterApp app(config, [&](const std::string& line) {
        ++lines;
        if (badLine.empty() && !fuzz::ShownTextProblem(line).empty()) badLine = line;
    });
    std::string error;
    ASSERT_TRUE(app.Start(error)) << error;
    ASSERT_NE(app.ListeningPort(), 0);
    const MetricsCollector& c = *app.Collector();

    // The sound server is up with all its devices; the cut one fails, and is retried.
    EXPECT_TRUE(telv::test::PumpUntil([&] { return Channels(c, "sound") == 150; }, 30s));
    EXPECT_TRUE(telv::test::PumpUntil(
        [&] { return Value(c, "telv_connection_failures_total", "cut", {{"reason", "closed"}}) >= 2; }, 30s));
    EXPECT_GE(Value(c, "telv_connects_total", "cut"), 2);
    // Hostile texts and floods are survived; their servers stay up with all their devices.
    EXPECT_TRUE(telv::test::PumpUntil([&] { return Channels(c, "hostile") == 70; }, 30s));
    EXPECT_TRUE(telv::test::PumpUntil([&] { return Channels(c, "flood") == 90; }, 30s));
    // A list over the protocol's limit is dropped: up, but no tables to serve.
    EXPECT_EQ(Value(c, "telv_up", "over-limit"), 1);
    EXPECT_EQ(Channels(c, "over-limit"), -1);
    // The garbage server may or may not get through its handshake, but the exporter goes on.
    EXPECT_GE(Value(c, "telv_up", "garbage"), 0);

    EXPECT_EQ(Value(c, "telv_up", "sound"), 1);
    EXPECT_EQ(Channels(c, "sound"), 150);
    EXPECT_EQ(Value(c, "telv_connects_total", "sound"), 1);
    EXPECT_EQ(Value(c, "telv_server_info", "sound", {{"version", "2.4.0.31"}}), 1);
    // A port where nothing listens: refused, as often as it is tried, and never up.
    EXPECT_TRUE(telv::test::PumpUntil(
        [&] { return Value(c, "telv_connection_failures_total", "nowhere", {{"reason", "refused"}}) >= 1; }, 30s));
    EXPECT_EQ(Value(c, "telv_connection_failures_total", "nowhere", {{"reason", "connect"}}), 0);
    EXPECT_EQ(Value(c, "telv_up", "nowhere"), 0);
    for (const auto& f : c.Collect())
        for (const auto& m : f.metric)
            for (const auto& l : m.label) EXPECT_EQ(fuzz::ShownTextProblem(l.value), "") << f.name << " " << l.name;
    EXPECT_EQ(badLine, "");
    EXPECT_GT(lines, 0u);
}

TEST(ExporterFaults, ReasonsOfConnectErrors) {
    EXPECT_STREQ(ServerMonitor::ReasonOfError(10061), "refused");
    EXPECT_STREQ(ServerMonitor::ReasonOfError(10060), "timeout");
    EXPECT_STREQ(ServerMonitor::ReasonOfError(10065), "unreachable");
    EXPECT_STREQ(ServerMonitor::ReasonOfError(10022), "resolve");
    EXPECT_STREQ(ServerMonitor::ReasonOfError(11001), "resolve");  // the name is unknown
    EXPECT_STREQ(ServerMonitor::ReasonOfError(11002), "resolve");  // no name server answered
    EXPECT_STREQ(ServerMonitor::ReasonOfError(11004), "resolve");  // a name without an address
    EXPECT_STREQ(ServerMonitor::ReasonOfError(10013), "connect");
}

}  // namespace
}  // namespace telv::exporter
