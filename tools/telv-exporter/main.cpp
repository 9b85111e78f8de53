// telv-exporter: keeps a TELV connection to each configured server and serves their state as
// Prometheus metrics.
#include "ExporterApp.h"
#include "ExporterConfig.h"
#include "SignalExit.h"
#include "SocketCore.h"

#include <QCoreApplication>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

// One line to standard error in one write, so lines of different servers never interleave.
void LogLine(const std::string& text) {
    std::string line = text;
    line += '\n';
    const char* p = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n <= 0) return;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return text.str();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace telv::exporter;
    std::vector<std::string_view> args(argv + 1, argv + argc);
    const CommandLine command = ParseCommandLine(args, ReadFile);
    if (command.help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    if (command.version) {
        std::printf("telv-exporter %s\n", TELV_VERSION_TEXT);
        return 0;
    }
    if (!command.error.empty()) {
        LogLine("telv-exporter: " + command.error);
        return 2;
    }

    QCoreApplication app(argc, argv);
    telv::TAsyncSocket::SockInit();
    int exitCode = 0;
    {
        ExporterApp exporter(command.config, LogLine);
        SignalExit signalExit([](int sig) {
            LogLine(std::string("telv-exporter: ") + (sig == SIGTERM ? "SIGTERM" : "SIGINT") + ", stopping");
            QCoreApplication::quit();
        });
        std::string error;
        if (!exporter.Start(error)) {
            LogLine("telv-exporter: " + error);
            return 1;
        }
        LogLine("telv-exporter: serving /metrics on " + command.config.listen + " for " +
                std::to_string(command.config.servers.size()) + " server(s)");
        exitCode = QCoreApplication::exec();
    }
    telv::TAsyncSocket::SockDone();
    return exitCode;
}
