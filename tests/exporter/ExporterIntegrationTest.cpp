// The exporter as operators run it: three simulators and one address where nothing listens,
// scraped every second by a real Prometheus that also loads the example alert rules. Everything
// is checked through Prometheus's query API, with deadlines, never with fixed waits.
#include "ProcessSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <memory>
#include <thread>

namespace telv::exporter::test {
namespace {

using namespace std::chrono_literals;

const char* PrometheusProgram() {
    const char* configured = std::getenv("TELV_PROMETHEUS");
    return configured && *configured ? configured : "/usr/bin/prometheus";
}

struct Sim {
    Sim(std::string n, std::uint32_t d, std::uint32_t c, std::vector<std::string> e = {})
        : name(std::move(n)), devices(d), clients(c), extra(std::move(e)) {}
    std::string name;
    std::uint32_t devices;
    std::uint32_t clients;
    std::vector<std::string> extra;
    std::uint16_t port = 0;
    std::unique_ptr<ChildProcess> process;
};

class ExporterWithPrometheus : public testing::Test {
protected:
    void StartSim(Sim& sim) {
        std::vector<std::string> args = {"--listen", "127.0.0.1:" + std::to_string(sim.port), "--devices",
                                         std::to_string(sim.devices), "--clients", std::to_string(sim.clients),
                                         "--notice-interval", "0", "--seed", std::to_string(sim.port)};
        args.insert(args.end(), sim.extra.begin(), sim.extra.end());
        sim.process = std::make_unique<ChildProcess>(TELV_SIM_PROGRAM, args, dir_.Path() + "/" + sim.name + ".log");
        ASSERT_TRUE(sim.process->Started());
    }

    // The value of each series of an instant query, by its `server` label.
    std::optional<std::map<std::string, double>> Query(const std::string& expr) {
        const auto body = HttpGet(prometheusPort_, "/api/v1/query?query=" + UrlEncode(expr), 5s);
        if (!body) return std::nullopt;
        const QJsonObject root = QJsonDocument::fromJson(QByteArray::fromStdString(*body)).object();
        if (root["status"].toString() != "success") return std::nullopt;
        std::map<std::string, double> values;
        for (const QJsonValue& series : root["data"].toObject()["result"].toArray()) {
            const QJsonObject s = series.toObject();
            values[s["metric"].toObject()["server"].toString().toStdString()] =
                s["value"].toArray().at(1).toString().toDouble();
        }
        return values;
    }

    // Polls the query until `expected` holds for it; the last answer goes into the failure text.
    void ExpectEventually(const std::string& expr, const std::map<std::string, double>& expected,
                          std::chrono::seconds limit = 60s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        std::string last = "(no answer)";
        while (std::chrono::steady_clock::now() < deadline) {
            if (const auto values = Query(expr)) {
                if (*values == expected) return;
                last.clear();
                for (const auto& [k, v] : *values) last += k + "=" + std::to_string(v) + " ";
            }
            std::this_thread::sleep_for(250ms);
        }
        std::string want;
        for (const auto& [k, v] : expected) want += k + "=" + std::to_string(v) + " ";
        ADD_FAILURE() << expr << "\n  expected: " << want << "\n  last seen: " << last << "\n--- exporter log:\n"
                      << (exporter_ ? exporter_->Log().substr(0, 4000) : "") << "\n--- prometheus log (tail):\n"
                      << (prometheus_ ? Tail(prometheus_->Log()) : "");
    }

    static std::string Tail(const std::string& text) { return text.size() > 3000 ? text.substr(text.size() - 3000) : text; }

    void SetUp() override {
        ASSERT_FALSE(dir_.Path().empty());
        ASSERT_EQ(::access(PrometheusProgram(), X_OK), 0)
            << "the Prometheus server is needed for this test: " << PrometheusProgram()
            << " is missing (scripts/install-deps.sh installs Debian's prometheus package; TELV_PROMETHEUS names "
               "another binary)";

        for (Sim& sim : sims_) {
            sim.port = FreePort();
            StartSim(sim);
        }
        const std::uint16_t nowhere = FreePort();
        exporterPort_ = FreePort();
        std::string config = "listen: 127.0.0.1:" + std::to_string(exporterPort_) + "\nservers:\n";
        for (const Sim& sim : sims_)
            config += "  - name: " + sim.name + "\n    address: 127.0.0.1\n    port: " + std::to_string(sim.port) +
                      "\n    refresh: 1\n";
        config += "  - name: nowhere\n    address: 127.0.0.1\n    port: " + std::to_string(nowhere) + "\n";
        exporter_ = std::make_unique<ChildProcess>(
            TELV_EXPORTER_PROGRAM, std::vector<std::string>{"--config", dir_.Write("exporter.yaml", config)},
            dir_.Path() + "/exporter.log");
        ASSERT_TRUE(exporter_->Started());

        prometheusPort_ = FreePort();
        const std::string prometheusConfig = "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                                             "rule_files:\n  - " TELV_ALERT_RULES "\n"
                                             "scrape_configs:\n  - job_name: telv\n    static_configs:\n"
                                             "      - targets: ['127.0.0.1:" +
                                             std::to_string(exporterPort_) + "']\n";
        prometheus_ = std::make_unique<ChildProcess>(
            PrometheusProgram(),
            std::vector<std::string>{"--config.file=" + dir_.Write("prometheus.yml", prometheusConfig),
                                     "--storage.tsdb.path=" + dir_.Path() + "/data",
                                     "--web.listen-address=127.0.0.1:" + std::to_string(prometheusPort_)},
            dir_.Path() + "/prometheus.log");
        ASSERT_TRUE(prometheus_->Started());
    }

    void TearDown() override {
        if (exporter_) {
            exporter_->Signal(SIGTERM);
            EXPECT_EQ(exporter_->WaitForExit(20s), 0) << exporter_->Log();
        }
        if (prometheus_) {
            prometheus_->Signal(SIGTERM);
            prometheus_->WaitForExit(20s);
        }
    }

    TempDir dir_;
    std::vector<Sim> sims_ = [] {
        std::vector<Sim> sims;
        sims.emplace_back("alpha", 120, 7);
        sims.emplace_back("beta", 250, 12);
        sims.emplace_back("gamma", 400, 5, std::vector<std::string>{"--churn", "20"});
        return sims;
    }();
    std::uint16_t exporterPort_ = 0;
    std::uint16_t prometheusPort_ = 0;
    std::unique_ptr<ChildProcess> exporter_;
    std::unique_ptr<ChildProcess> prometheus_;
};

TEST_F(ExporterWithPrometheus, ServesTheFleetThroughPrometheus) {
    ExpectEventually("telv_up", {{"alpha", 1}, {"beta", 1}, {"gamma", 1}, {"nowhere", 0}});
    // Every device is a channel row; the clients are the simulated ones and the exporter itself.
    ExpectEventually("sum by (server) (telv_channels{server!=\"gamma\"})", {{"alpha", 120}, {"beta", 250}});
    ExpectEventually("sum by (server) (telv_clients)", {{"alpha", 8}, {"beta", 13}, {"gamma", 6}});
    ExpectEventually("sum by (server) (telv_connection_failures_total{server=\"nowhere\",reason=\"refused\"}) > bool 0",
                     {{"nowhere", 1}});
    ExpectEventually("count by (server) (telv_server_info)", {{"alpha", 1}, {"beta", 1}, {"gamma", 1}});

    // The churning server loses devices between full lists and regains them: changing counts.
    ExpectEventually("sum by (server) (changes(telv_channels{server=\"gamma\"}[1m])) > bool 0", {{"gamma", 1}});

    // The alert rules are loaded and sound.
    const auto rules = HttpGet(prometheusPort_, "/api/v1/rules", 5s);
    ASSERT_TRUE(rules);
    EXPECT_NE(rules->find("\"TelvServerDown\""), std::string::npos) << *rules;
    EXPECT_NE(rules->find("\"TelvDeviceCountHalved\""), std::string::npos) << *rules;
    EXPECT_EQ(rules->find("\"health\":\"err\""), std::string::npos) << *rules;
    ExpectEventually("count by (server) (ALERTS{alertname=\"TelvServerDown\"})", {{"nowhere", 1}});

    // A server that goes away is down at once; back, it is up again (after the backoff).
    Sim& beta = sims_[1];
    beta.process->Signal(SIGKILL);
    ASSERT_TRUE(beta.process->WaitForExit(10s));
    ExpectEventually("telv_up", {{"alpha", 1}, {"beta", 0}, {"gamma", 1}, {"nowhere", 0}});
    StartSim(beta);
    ExpectEventually("telv_up", {{"alpha", 1}, {"beta", 1}, {"gamma", 1}, {"nowhere", 0}}, 90s);
    ExpectEventually("sum by (server) (telv_channels{server=\"beta\"})", {{"beta", 250}});
    ExpectEventually("telv_connects_total{server=\"beta\"}", {{"beta", 2}});
}

TEST(ExporterProgram, AConfigurationErrorExitsWithTwoAndNamesTheLine) {
    TempDir dir;
    const std::string config = dir.Write("bad.yaml", "servers:\n  - name: a\n    address: 127.0.0.1\n    refresh: 0\n");
    ChildProcess p(TELV_EXPORTER_PROGRAM, {"--config", config}, dir.Path() + "/log");
    ASSERT_TRUE(p.Started());
    EXPECT_EQ(p.WaitForExit(20s), 2);
    EXPECT_NE(p.Log().find("bad.yaml:4: refresh (seconds) must be an integer from 1 to 100"), std::string::npos)
        << p.Log();
    EXPECT_EQ(p.Log().find("serving /metrics"), std::string::npos) << p.Log();
}

class ExporterProgramSignals : public testing::TestWithParam<int> {};

TEST_P(ExporterProgramSignals, EndCleanly) {
    TempDir dir;
    const std::uint16_t port = FreePort();
    ChildProcess p(TELV_EXPORTER_PROGRAM,
                   {"--server", "a=127.0.0.1:" + std::to_string(FreePort()), "--listen",
                    "127.0.0.1:" + std::to_string(port)},
                   dir.Path() + "/log");
    ASSERT_TRUE(p.Started());
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    std::optional<std::string> metrics;
    while (!metrics && std::chrono::steady_clock::now() < deadline) {
        metrics = HttpGet(port, "/metrics", 5s);
        if (!metrics) std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(metrics) << p.Log();
    EXPECT_NE(metrics->find("telv_up{server=\"a\"} 0"), std::string::npos) << *metrics;
    p.Signal(GetParam());
    EXPECT_EQ(p.WaitForExit(20s), 0) << p.Log();
}

INSTANTIATE_TEST_SUITE_P(TermAndInt, ExporterProgramSignals, testing::Values(SIGTERM, SIGINT));

}  // namespace
}  // namespace telv::exporter::test
