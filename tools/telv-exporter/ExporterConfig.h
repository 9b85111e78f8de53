// The exporter's configuration: the servers to watch and where to serve the metrics, from a YAML
// file and the command line. Every error names its place (file line or option) and the reason.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace telv::exporter {

inline constexpr int kMinRefreshSeconds = 1;
inline constexpr int kMaxRefreshSeconds = 100;
inline constexpr int kDefaultRefreshSeconds = 5;
inline constexpr std::uint16_t kDefaultServerPort = 5100;
inline constexpr std::size_t kDefaultPerChannelLimit = 10000;
inline constexpr const char* kDefaultListen = "127.0.0.1:9510";

struct ServerConfig {
    std::string name;  // the `server` label of its metrics and the prefix of its log lines
    std::string address;
    std::uint16_t port = kDefaultServerPort;
    int refreshSeconds = kDefaultRefreshSeconds;
    bool events = true;  // ask the server to translate its events (notices reach the log)

    bool operator==(const ServerConfig&) const = default;
};

struct ExporterConfig {
    std::vector<ServerConfig> servers;
    std::string listen = kDefaultListen;
    bool perChannel = false;
    std::size_t perChannelLimit = kDefaultPerChannelLimit;
};

// The result of reading a configuration: the configuration, or one error text.
struct ConfigResult {
    ExporterConfig config;
    std::string error;  // empty when the configuration is usable
    bool ok() const { return error.empty(); }
};

// Reads the YAML text of a configuration file into `base` (its listen address and per-channel
// settings are kept unless the file sets them). `source` names the file in errors:
// "FILE:LINE: why".
ConfigResult ParseConfigText(const std::string& text, const std::string& source, ExporterConfig base = {});

// "NAME=HOST:PORT" of --server; nullopt with `error` set when malformed.
std::optional<ServerConfig> ParseServerOption(std::string_view text, std::string& error);

// "ADDRESS:PORT" of --listen; false when malformed.
bool ValidListen(std::string_view text);

struct CommandLine {
    ExporterConfig config;
    std::string error;  // non-empty: the reason the command line or the file is refused
    bool help = false;
    bool version = false;
};

// Parses the arguments (without the program name); a --config file is read through readFile
// (nullopt when it cannot be read). Options override the file, servers from both are watched.
CommandLine ParseCommandLine(std::span<const std::string_view> args,
                             std::optional<std::string> (*readFile)(const std::string& path));

// The text of --help.
std::string UsageText();

}  // namespace telv::exporter
