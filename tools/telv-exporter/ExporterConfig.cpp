#include "ExporterConfig.h"

#include <yaml-cpp/yaml.h>

#include <arpa/inet.h>

#include <charconv>
#include <set>

namespace telv::exporter {
namespace {

template <class Int>
std::optional<Int> ParseInteger(std::string_view text, Int low, Int high) {
    Int value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value < low || value > high) return std::nullopt;
    return value;
}

// Splits "HOST:PORT" at the last colon; a bracketed IPv6 host keeps its brackets.
bool SplitHostPort(std::string_view text, std::string& host, std::uint16_t& port) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    const auto parsed = ParseInteger<std::uint16_t>(text.substr(colon + 1), 1, 65535);
    if (!parsed) return false;
    host = std::string(text.substr(0, colon));
    port = *parsed;
    return true;
}

// A configuration error at a place of the file.
struct ConfigError {
    std::string text;
};

class FileReader {
public:
    explicit FileReader(const std::string& source) : source_(source) {}

    [[noreturn]] void Fail(const YAML::Node& at, const std::string& why) const {
        Fail(at.IsDefined() ? at.Mark().line + 1 : 0, why);
    }
    [[noreturn]] void Fail(int line, const std::string& why) const {
        throw ConfigError{line > 0 ? source_ + ":" + std::to_string(line) + ": " + why : source_ + ": " + why};
    }

    std::string Text(const YAML::Node& node, const std::string& what) const {
        if (!node.IsScalar()) Fail(node, what + " must be a text");
        return node.Scalar();
    }

    template <class Int>
    Int Integer(const YAML::Node& node, const std::string& what, Int low, Int high) const {
        const auto value = node.IsScalar() ? ParseInteger<Int>(node.Scalar(), low, high) : std::nullopt;
        if (!value)
            Fail(node, what + " must be an integer from " + std::to_string(low) + " to " + std::to_string(high) +
                           (node.IsScalar() ? ", not \"" + node.Scalar() + "\"" : ""));
        return *value;
    }

    bool Boolean(const YAML::Node& node, const std::string& what) const {
        if (node.IsScalar()) {
            const std::string& s = node.Scalar();
            if (s == "true" || s == "on" || s == "yes") return true;
            if (s == "false" || s == "off" || s == "no") return false;
        }
        Fail(node, what + " must be true or false" + (node.IsScalar() ? ", not \"" + node.Scalar() + "\"" : ""));
    }

    // Every key of the mapping is one of `known`.
    void OnlyKeys(const YAML::Node& map, const std::set<std::string>& known, const std::string& where) const {
        for (const auto& entry : map) {
            const std::string key = entry.first.IsScalar() ? entry.first.Scalar() : std::string();
            if (!known.count(key)) {
                std::string list;
                for (const auto& k : known) list += (list.empty() ? "" : ", ") + k;
                Fail(entry.first, "unknown key \"" + key + "\" in " + where + " (known: " + list + ")");
            }
        }
    }

    ServerConfig Server(const YAML::Node& node) const {
        if (!node.IsMap()) Fail(node, "each entry of \"servers\" must be a mapping with name, address and port");
        OnlyKeys(node, {"name", "address", "port", "refresh", "events"}, "a server");
        ServerConfig server;
        if (!node["name"]) Fail(node, "a server needs a \"name\"");
        server.name = Text(node["name"], "name");
        if (server.name.empty()) Fail(node["name"], "name must not be empty");
        if (!node["address"]) Fail(node, "server \"" + server.name + "\" needs an \"address\"");
        server.address = Text(node["address"], "address");
        if (server.address.empty()) Fail(node["address"], "address must not be empty");
        if (node["port"]) server.port = Integer<std::uint16_t>(node["port"], "port", 1, 65535);
        if (node["refresh"])
            server.refreshSeconds = Integer<int>(node["refresh"], "refresh (seconds)", kMinRefreshSeconds,
                                                 kMaxRefreshSeconds);
        if (node["events"]) server.events = Boolean(node["events"], "events");
        return server;
    }

    void Read(const std::string& text, ExporterConfig& config) const {
        YAML::Node root;
        try {
            root = YAML::Load(text);
        } catch (const YAML::ParserException& e) {
            Fail(e.mark.line + 1, e.msg);
        }
        if (root.IsNull()) Fail(0, "the file lists no servers");
        if (!root.IsMap()) Fail(root, "the file must be a mapping with a \"servers\" list");
        OnlyKeys(root, {"listen", "per_channel", "per_channel_limit", "servers"}, "the file");
        if (const YAML::Node listen = root["listen"]) {
            config.listen = Text(listen, "listen");
            if (!ValidListen(config.listen)) Fail(listen, "listen must be ADDRESS:PORT, not \"" + config.listen + "\"");
        }
        if (const YAML::Node perChannel = root["per_channel"]) config.perChannel = Boolean(perChannel, "per_channel");
        if (const YAML::Node limit = root["per_channel_limit"])
            config.perChannelLimit = Integer<std::size_t>(limit, "per_channel_limit", 0, std::size_t{1} << 24);
        const YAML::Node servers = root["servers"];
        if (!servers) Fail(root, "the file has no \"servers\" list");
        if (!servers.IsSequence()) Fail(servers, "\"servers\" must be a list");
        for (const auto& node : servers) {
            config.servers.push_back(Server(node));
            for (std::size_t i = 0; i + 1 < config.servers.size(); ++i)
                if (config.servers[i].name == config.servers.back().name)
                    Fail(node["name"], "server name \"" + config.servers.back().name + "\" is used twice");
        }
    }

private:
    std::string source_;
};

}  // namespace

bool ValidListen(std::string_view text) {
    std::string host;
    std::uint16_t port = 0;
    return SplitHostPort(text, host, port) && host.find_first_of(" \t,") == std::string::npos;
}

std::optional<ServerConfig> ParseServerOption(std::string_view text, std::string& error) {
    const std::size_t eq = text.find('=');
    ServerConfig server;
    if (eq == std::string_view::npos || eq == 0 || !SplitHostPort(text.substr(eq + 1), server.address, server.port)) {
        error = "--server needs NAME=HOST:PORT with a port from 1 to 65535, not \"" + std::string(text) + "\"";
        return std::nullopt;
    }
    server.name = std::string(text.substr(0, eq));
    return server;
}

ConfigResult ParseConfigText(const std::string& text, const std::string& source, ExporterConfig base) {
    ConfigResult result;
    result.config = std::move(base);
    try {
        FileReader(source).Read(text, result.config);
    } catch (const ConfigError& e) {
        result.error = e.text;
    } catch (const YAML::Exception& e) {
        result.error = source + ":" + std::to_string(e.mark.line + 1) + ": " + e.msg;
    }
    return result;
}

CommandLine ParseCommandLine(std::span<const std::string_view> args,
                             std::optional<std::string> (*readFile)(const std::string& path)) {
    CommandLine result;
    std::optional<std::string> configPath;
    std::optional<std::string> listen;
    std::optional<std::size_t> limit;
    bool perChannel = false;
    std::vector<ServerConfig> servers;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            result.help = true;
            return result;
        }
        if (arg == "--version") {
            result.version = true;
            return result;
        }
        std::optional<std::string_view> value;
        if (const std::size_t eq = arg.find('='); arg.substr(0, 2) == "--" && eq != std::string_view::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        const auto needValue = [&]() -> std::optional<std::string_view> {
            if (value) return value;
            if (i + 1 < args.size()) return args[++i];
            result.error = std::string(arg) + " needs a value";
            return std::nullopt;
        };
        if (arg == "--per-channel" && !value) {
            perChannel = true;
        } else if (arg == "--config" || arg == "-c") {
            const auto v = needValue();
            if (!v) return result;
            configPath = std::string(*v);
        } else if (arg == "--server") {
            const auto v = needValue();
            if (!v) return result;
            auto server = ParseServerOption(*v, result.error);
            if (!server) return result;
            servers.push_back(std::move(*server));
        } else if (arg == "--listen") {
            const auto v = needValue();
            if (!v) return result;
            if (!ValidListen(*v)) {
                result.error = "--listen needs ADDRESS:PORT, not \"" + std::string(*v) + "\"";
                return result;
            }
            listen = std::string(*v);
        } else if (arg == "--per-channel-limit") {
            const auto v = needValue();
            if (!v) return result;
            limit = ParseInteger<std::size_t>(*v, 0, std::size_t{1} << 24);
            if (!limit) {
                result.error = "--per-channel-limit needs an integer from 0 to 16777216, not \"" + std::string(*v) + "\"";
                return result;
            }
        } else {
            result.error = "unknown argument \"" + std::string(args[i]) + "\" (see --help)";
            return result;
        }
    }
    if (configPath) {
        const std::optional<std::string> text = readFile(*configPath);
        if (!text) {
            result.error = *configPath + ": cannot be read";
            return result;
        }
        ConfigResult file = ParseConfigText(*text, *configPath);
        if (!file.ok()) {
            result.error = file.error;
            return result;
        }
        result.config = std::move(file.config);
    }
    if (listen) result.config.listen = *listen;
    if (perChannel) result.config.perChannel = true;
    if (limit) result.config.perChannelLimit = *limit;
    for (ServerConfig& server : servers) {
        for (const ServerConfig& other : result.config.servers)
            if (other.name == server.name) {
                result.error = "server name \"" + server.name + "\" is used twice";
                return result;
            }
        result.config.servers.push_back(std::move(server));
    }
    if (result.config.servers.empty()) result.error = "no servers to watch: give --config FILE or --server NAME=HOST:PORT";
    return result;
}

std::string UsageText() {
    return "Usage: telv-exporter [--config FILE] [--server NAME=HOST:PORT]... [options]\n"
           "Keeps a connection to each TELV server and serves their state as Prometheus metrics.\n"
           "\n"
           "  -c, --config FILE          YAML file listing the servers (see the example config)\n"
           "  --server NAME=HOST:PORT    watch a server (repeatable; refresh 5 s, events on)\n"
           "  --listen ADDRESS:PORT      where /metrics is served (default 127.0.0.1:9510)\n"
           "  --per-channel              also serve per-channel series\n"
           "  --per-channel-limit N      at most N per-channel series per server (default 10000)\n"
           "  -h, --help                 this text\n"
           "  --version                  the program's version\n"
           "\n"
           "A configuration error exits with status 2; SIGTERM or SIGINT ends the program (status 0).\n";
}

}  // namespace telv::exporter
