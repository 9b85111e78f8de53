// The telv-sim program itself: its refusal of bad options, and a clean exit on a signal.
#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <poll.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace telv::sim::test {
namespace {

// A child telv-sim whose standard error the test reads.
class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args) {
        int fds[2];
        if (::pipe(fds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        args.insert(args.begin(), TELV_SIM_PROGRAM);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, TELV_SIM_PROGRAM, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        stderr_ = fds[0];
    }
    ~SimProcess() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (stderr_ >= 0) ::close(stderr_);
    }

    bool Started() const { return pid_ > 0; }
    void Signal(int sig) { ::kill(pid_, sig); }

    // Reads standard error until the text appears; the text read so far is kept in Output().
    bool WaitForOutput(const std::string& text, Millis timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (output_.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<Millis>(deadline - std::chrono::steady_clock::now()).count();
            if (left <= 0) return false;
            pollfd p{stderr_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
            char chunk[4096];
            const ssize_t n = ::read(stderr_, chunk, sizeof chunk);
            if (n <= 0) return false;
            output_.append(chunk, static_cast<std::size_t>(n));
        }
        return true;
    }
    const std::string& Output() const { return output_; }

    // The exit status, or -1 if the process did not end in time.
    int WaitForExit(Millis timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                WaitForOutput(std::string(1, '\0'), 1s);  // what it wrote before ending, up to the end of the pipe
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            WaitForOutput("\x01", 20ms);  // keep its standard error drained meanwhile
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
    int stderr_ = -1;
    bool exited_ = false;
    std::string output_;
};

std::uint16_t ListeningPort(const SimProcess& p) {
    const std::string marker = "listening on 127.0.0.1:";
    const auto at = p.Output().find(marker);
    return at == std::string::npos ? 0 : static_cast<std::uint16_t>(std::stoi(p.Output().substr(at + marker.size())));
}

TEST(SimProgram, RejectsTooManyDevices) {
    SimProcess p({"--devices", "1048561"});
    ASSERT_TRUE(p.Started());
    EXPECT_EQ(p.WaitForExit(5s), 2);
    EXPECT_NE(p.Output().find("--devices must be an integer from 0 to 1048560"), std::string::npos) << p.Output();
}

TEST(SimProgram, UnknownOptionGivesTheUsageAndExit2) {
    SimProcess p({"--bogus"});
    ASSERT_TRUE(p.Started());
    EXPECT_EQ(p.WaitForExit(5s), 2);
    EXPECT_NE(p.Output().find("telv-sim: unknown option --bogus"), std::string::npos) << p.Output();
    EXPECT_NE(p.Output().find("usage: telv-sim"), std::string::npos) << p.Output();
}

class SimProgramSignalTest : public ::testing::TestWithParam<int> {};

TEST_P(SimProgramSignalTest, ServesThenExitsCleanly) {
    SimProcess p({"--listen", "127.0.0.1:0", "--devices", "50", "--clients", "5"});
    ASSERT_TRUE(p.Started());
    ASSERT_TRUE(p.WaitForOutput("listening on", 5s)) << p.Output();
    ASSERT_TRUE(p.WaitForOutput("\n", 1s));
    const std::uint16_t port = ListeningPort(p);
    ASSERT_NE(port, 0);
    {
        TestConsole console(port);
        ASSERT_TRUE(console.Start(true));
        const auto list = FetchList(console, code::ChannelList);
        ASSERT_TRUE(list);
        EXPECT_EQ(ChanelsOf(*list).size(), 50u);
    }
    ASSERT_TRUE(p.WaitForOutput("channel list request: 50 records", 2s)) << p.Output();
    p.Signal(GetParam());
    EXPECT_EQ(p.WaitForExit(5s), 0) << p.Output();
}

INSTANTIATE_TEST_SUITE_P(Signals, SimProgramSignalTest, ::testing::Values(SIGINT, SIGTERM));

TEST(SimProgram, StopsAfterItsRunTime) {
    SimProcess p({"--listen", "127.0.0.1:0", "--devices", "5", "--seconds", "0.5"});
    ASSERT_TRUE(p.Started());
    EXPECT_EQ(p.WaitForExit(5s), 0) << p.Output();
    EXPECT_NE(p.Output().find("run time of 0.5 s is over"), std::string::npos) << p.Output();
}

}  // namespace
}  // namespace telv::sim::test
