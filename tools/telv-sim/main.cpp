// telv-sim: a TELV server simulator for running and testing the console on one machine.
#include "SimOptions.h"
#include "Simulator.h"
#include "VersionRecord.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace {

telv::sim::Simulator* gRunning = nullptr;

extern "C" void OnStopSignal(int) {
    if (gRunning) gRunning->Stop();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    const telv::sim::ParsedOptions parsed = telv::sim::ParseSimOptions(args);
    if (!parsed.ok) {
        std::fprintf(stderr, "telv-sim: %s\n\n%s", parsed.error.c_str(), telv::sim::SimUsage().c_str());
        return 2;
    }
    if (parsed.helpRequested) {
        std::fputs(telv::sim::SimUsage().c_str(), stdout);
        return 0;
    }
    if (parsed.versionRequested) {
        std::printf("telv-sim %.*s\n", static_cast<int>(telv::version_record::kFileVersion.size()),
                    telv::version_record::kFileVersion.data());
        return 0;
    }
    telv::sim::Simulator simulator(parsed.options);
    std::string error;
    if (!simulator.Start(error)) {
        std::fprintf(stderr, "telv-sim: %s\n", error.c_str());
        return 1;
    }
    gRunning = &simulator;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);  // writes use MSG_NOSIGNAL; this covers everything else
    simulator.Run();
    gRunning = nullptr;
    return 0;
}
