// Child processes, free loopback ports and a tiny blocking HTTP GET for the exporter's
// integration tests. Every wait has a deadline.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace telv::exporter::test {

using Millis = std::chrono::milliseconds;

// A program started with its standard output and error appended to a log file; killed (SIGKILL)
// with the object unless it has been waited for.
class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& args, const std::string& logPath);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    void Signal(int sig) const;
    // The exit status (128 + signal when killed), or nullopt when it did not end in time.
    std::optional<int> WaitForExit(Millis timeout);
    std::string Log() const;

private:
    pid_t pid_ = -1;
    bool exited_ = false;
    std::string logPath_;
};

// A loopback port that was free a moment ago.
std::uint16_t FreePort();

// GET http://127.0.0.1:port/path; the body of a 200 answer, nullopt otherwise.
std::optional<std::string> HttpGet(std::uint16_t port, const std::string& path, Millis timeout);

// Percent-encodes a query parameter.
std::string UrlEncode(const std::string& text);

// A temporary directory removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string Write(const std::string& name, const std::string& text) const;

private:
    std::string path_;
};

}  // namespace telv::exporter::test
