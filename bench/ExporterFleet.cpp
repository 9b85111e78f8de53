// One telv-exporter watching a fleet of telv-sim processes (50 servers of 20,000 channels and
// 2,000 clients, 5 s refresh by default): its CPU share and resident memory over a measured
// span, and the time to serve /metrics, written as JSON for bench/ratios.py.
//   telv_bench_fleet TELV-SIM TELV-EXPORTER OUT.json [SECONDS] [SERVERS]
#include "ProcessSupport.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace telv::exporter::test;
using namespace std::chrono_literals;

namespace {

// User and system CPU seconds of a process so far.
double CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double utime = 0, stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14) utime = std::stod(field);
        if (i == 15) {
            stime = std::stod(field);
            break;
        }
    }
    return (utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// A value of /proc/PID/status in MB.
double StatusMb(pid_t pid, const std::string& key) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key + ":", 0) == 0) return std::stod(line.substr(key.size() + 1)) / 1024.0;
    return 0;
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Servers whose telv_up is 1 in a scrape.
std::size_t UpCount(const std::string& text) {
    std::size_t ups = 0;
    for (std::size_t at = text.find("\ntelv_up{"); at != std::string::npos; at = text.find("\ntelv_up{", at + 1)) {
        const std::size_t close = text.find('}', at);
        if (close != std::string::npos && text.compare(close, 3, "} 1") == 0) ++ups;
    }
    return ups;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(at, values.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s TELV-SIM TELV-EXPORTER OUT.json [SECONDS] [SERVERS]\n", argv[0]);
        return 2;
    }
    const std::string sim = argv[1], exporterProgram = argv[2], out = argv[3];
    const int seconds = argc > 4 ? std::stoi(argv[4]) : 60;
    const int servers = argc > 5 ? std::stoi(argv[5]) : 50;
    TempDir dir;

    std::vector<std::unique_ptr<ChildProcess>> sims;
    std::vector<std::string> args;
    for (int i = 0; i < servers; ++i) {
        const std::uint16_t port = FreePort();
        sims.push_back(std::make_unique<ChildProcess>(
            sim,
            std::vector<std::string>{"--listen", "127.0.0.1:" + std::to_string(port), "--devices", "20000",
                                     "--clients", "2000", "--seed", std::to_string(i + 1)},
            dir.Path() + "/sim-" + std::to_string(i) + ".log"));
        args.push_back("--server");
        args.push_back("gateway-" + std::to_string(i) + "=127.0.0.1:" + std::to_string(port));
    }
    const std::uint16_t metricsPort = FreePort();
    args.push_back("--listen");
    args.push_back("127.0.0.1:" + std::to_string(metricsPort));
    std::this_thread::sleep_for(1s);  // the simulators build their populations
    ChildProcess exporter(exporterProgram, args, dir.Path() + "/exporter.log");

    // Every server up and refreshed at least once.
    const auto ready = std::chrono::steady_clock::now() + 180s;
    std::string text;
    while (std::chrono::steady_clock::now() < ready) {
        if (const auto body = HttpGet(metricsPort, "/metrics", 10s)) {
            text = *body;
            if (Count(text, "\ntelv_last_refresh_timestamp_seconds{") == static_cast<std::size_t>(servers) &&
                UpCount(text) == static_cast<std::size_t>(servers))
                break;
        }
        std::this_thread::sleep_for(500ms);
    }
    std::this_thread::sleep_for(10s);  // past the first full lists

    const pid_t pid = exporter.Pid();
    const double cpu0 = CpuSeconds(pid);
    const auto t0 = std::chrono::steady_clock::now();
    std::vector<double> scrapeMs;
    double rssMax = 0;
    std::size_t upSeen = 0, failedScrapes = 0;
    while (std::chrono::steady_clock::now() - t0 < std::chrono::seconds(seconds)) {
        const auto s0 = std::chrono::steady_clock::now();
        const auto body = HttpGet(metricsPort, "/metrics", 10s);
        const auto s1 = std::chrono::steady_clock::now();
        if (body) {
            scrapeMs.push_back(std::chrono::duration<double, std::milli>(s1 - s0).count());
            upSeen = UpCount(*body);
        } else {
            ++failedScrapes;
        }
        rssMax = std::max(rssMax, StatusMb(pid, "VmRSS"));
        std::this_thread::sleep_for(500ms);
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpuPercent = 100.0 * (CpuSeconds(pid) - cpu0) / wall;
    const double peak = StatusMb(pid, "VmHWM");

    // A figure is no figure if the exporter crashed, served nothing or does not stop cleanly.
    exporter.Signal(SIGTERM);
    const std::optional<int> status = exporter.WaitForExit(20s);
    if (scrapeMs.empty() || status != 0) {
        const std::string log = exporter.Log();
        std::fprintf(stderr, "fleet: ERROR: %s; the end of the exporter's log:\n%s\n",
                     scrapeMs.empty() ? "/metrics never answered" : "the exporter did not end with status 0 on SIGTERM",
                     log.substr(log.size() > 4000 ? log.size() - 4000 : 0).c_str());
        return 1;
    }
    std::ofstream json(out);
    json << "{\"servers\": " << servers << ", \"servers_up\": " << upSeen << ", \"seconds\": " << wall
         << ", \"cpu_percent\": " << cpuPercent << ", \"rss_mb\": " << rssMax << ", \"peak_rss_mb\": " << peak
         << ", \"scrapes\": " << scrapeMs.size() << ", \"failed_scrapes\": " << failedScrapes
         << ", \"metrics_p50_ms\": " << Percentile(scrapeMs, 0.5) << ", \"metrics_p95_ms\": " << Percentile(scrapeMs, 0.95)
         << "}\n";
    std::printf("fleet: %d servers (%zu up), %.0f s: CPU %.1f %% of a core, RSS %.0f MB (peak %.0f MB), /metrics p50 %.1f ms p95 %.1f ms over %zu scrapes\n",
                servers, upSeen, wall, cpuPercent, rssMax, peak, Percentile(scrapeMs, 0.5), Percentile(scrapeMs, 0.95),
                scrapeMs.size());
    return 0;
}
