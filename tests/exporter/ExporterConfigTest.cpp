// The exporter's configuration: the file's keys and defaults, each error with its line and
// reason, and the command line over the file.
#include "ExporterConfig.h"

#include <gtest/gtest.h>

#include <map>

namespace telv::exporter {
namespace {

TEST(ExporterConfigFile, ReadsServersWithDefaults) {
    const ConfigResult r = ParseConfigText("listen: 0.0.0.0:9600\n"
                                           "per_channel: true\n"
                                           "per_channel_limit: 25\n"
                                           "servers:\n"
                                           "  - name: a\n"
                                           "    address: 10.0.0.1\n"
                                           "  - name: b\n"
                                           "    address: gw.example\n"
                                           "    port: 6000\n"
                                           "    refresh: 100\n"
                                           "    events: off\n",
                                           "f.yaml");
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(r.config.listen, "0.0.0.0:9600");
    EXPECT_TRUE(r.config.perChannel);
    EXPECT_EQ(r.config.perChannelLimit, 25u);
    ASSERT_EQ(r.config.servers.size(), 2u);
    EXPECT_EQ(r.config.servers[0], (ServerConfig{"a", "10.0.0.1", 5100, 5, true}));
    EXPECT_EQ(r.config.servers[1], (ServerConfig{"b", "gw.example", 6000, 100, false}));
}

struct BadFile {
    const char* text;
    const char* error;  // the whole error text
};

void PrintTo(const BadFile& f, std::ostream* os) { *os << '"' << f.text << '"'; }

class ExporterConfigErrors : public testing::TestWithParam<BadFile> {};

TEST_P(ExporterConfigErrors, NameTheLineAndWhy) {
    const ConfigResult r = ParseConfigText(GetParam().text, "f.yaml");
    EXPECT_EQ(r.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExporterConfigErrors,
    testing::Values(
        BadFile{"", "f.yaml: the file lists no servers"},
        BadFile{"- a\n", "f.yaml:1: the file must be a mapping with a \"servers\" list"},
        BadFile{"listen: 127.0.0.1:9510\n", "f.yaml:1: the file has no \"servers\" list"},
        BadFile{"servers:\n  - name: a\n    address: x\n    port: 0\n",
                "f.yaml:4: port must be an integer from 1 to 65535, not \"0\""},
        BadFile{"servers:\n  - name: a\n    address: x\n    port: 5100x\n",
                "f.yaml:4: port must be an integer from 1 to 65535, not \"5100x\""},
        BadFile{"servers:\n  - name: a\n    address: x\n    refresh: 0\n",
                "f.yaml:4: refresh (seconds) must be an integer from 1 to 100, not \"0\""},
        BadFile{"servers:\n  - name: a\n    address: x\n    refresh: 101\n",
                "f.yaml:4: refresh (seconds) must be an integer from 1 to 100, not \"101\""},
        BadFile{"servers:\n  - name: a\n    address: x\n    events: maybe\n",
                "f.yaml:4: events must be true or false, not \"maybe\""},
        BadFile{"servers:\n  - name: a\n    adress: x\n",
                "f.yaml:3: unknown key \"adress\" in a server (known: address, events, name, port, refresh)"},
        BadFile{"servers:\n  - address: x\n", "f.yaml:2: a server needs a \"name\""},
        BadFile{"servers:\n  - name: a\n", "f.yaml:2: server \"a\" needs an \"address\""},
        BadFile{"servers:\n  - name: a\n    address: x\n  - name: a\n    address: y\n",
                "f.yaml:4: server name \"a\" is used twice"},
        BadFile{"servers: 3\n", "f.yaml:1: \"servers\" must be a list"},
        BadFile{"servers:\n  - just-a-text\n",
                "f.yaml:2: each entry of \"servers\" must be a mapping with name, address and port"},
        BadFile{"listen: nowhere\nservers: []\n", "f.yaml:1: listen must be ADDRESS:PORT, not \"nowhere\""},
        BadFile{"servers:\n  - name: [a\n", "f.yaml:3: end of sequence flow not found"},
        BadFile{"servers:\n  - name: a\n    address: x\n    port: [1]\n",
                "f.yaml:4: port must be an integer from 1 to 65535"}),
    [](const testing::TestParamInfo<BadFile>& param) { return "Case" + std::to_string(param.index); });

std::optional<std::string> NoFile(const std::string&) { return std::nullopt; }

std::map<std::string, std::string>& Files() {
    static std::map<std::string, std::string> files;
    return files;
}
std::optional<std::string> FakeFile(const std::string& path) {
    const auto it = Files().find(path);
    if (it == Files().end()) return std::nullopt;
    return it->second;
}

CommandLine Parse(std::vector<std::string_view> args, std::optional<std::string> (*read)(const std::string&) = NoFile) {
    return ParseCommandLine(args, read);
}

TEST(ExporterCommandLine, ServersFromOptionsAndDefaults) {
    const CommandLine c = Parse({"--server", "a=127.0.0.1:5101", "--server=b=gw:5102", "--per-channel"});
    ASSERT_EQ(c.error, "");
    EXPECT_EQ(c.config.listen, "127.0.0.1:9510");
    EXPECT_TRUE(c.config.perChannel);
    EXPECT_EQ(c.config.perChannelLimit, 10000u);
    ASSERT_EQ(c.config.servers.size(), 2u);
    EXPECT_EQ(c.config.servers[0], (ServerConfig{"a", "127.0.0.1", 5101, 5, true}));
    EXPECT_EQ(c.config.servers[1], (ServerConfig{"b", "gw", 5102, 5, true}));
}

TEST(ExporterCommandLine, OptionsOverTheFileAndServersFromBoth) {
    Files()["x.yaml"] = "listen: 127.0.0.1:1\nper_channel_limit: 3\nservers:\n  - name: f\n    address: h\n";
    const CommandLine c = Parse({"-c", "x.yaml", "--listen", "127.0.0.1:2", "--server", "o=h:1"}, FakeFile);
    ASSERT_EQ(c.error, "");
    EXPECT_EQ(c.config.listen, "127.0.0.1:2");
    EXPECT_EQ(c.config.perChannelLimit, 3u);
    ASSERT_EQ(c.config.servers.size(), 2u);
    EXPECT_EQ(c.config.servers[0].name, "f");
    EXPECT_EQ(c.config.servers[1].name, "o");
}

TEST(ExporterCommandLine, Errors) {
    const std::vector<std::pair<std::vector<std::string_view>, std::string>> cases = {
        {{}, "no servers to watch: give --config FILE or --server NAME=HOST:PORT"},
        {{"--server", "a"}, "--server needs NAME=HOST:PORT with a port from 1 to 65535, not \"a\""},
        {{"--server", "=h:1"}, "--server needs NAME=HOST:PORT with a port from 1 to 65535, not \"=h:1\""},
        {{"--server", "a=h:70000"}, "--server needs NAME=HOST:PORT with a port from 1 to 65535, not \"a=h:70000\""},
        {{"--server", "a=h:1", "--server", "a=h:2"}, "server name \"a\" is used twice"},
        {{"--server"}, "--server needs a value"},
        {{"--listen", "9510"}, "--listen needs ADDRESS:PORT, not \"9510\""},
        {{"--per-channel-limit", "-1"}, "--per-channel-limit needs an integer from 0 to 16777216, not \"-1\""},
        {{"--config", "missing.yaml"}, "missing.yaml: cannot be read"},
        {{"--bogus"}, "unknown argument \"--bogus\" (see --help)"},
    };
    for (const auto& [args, error] : cases) EXPECT_EQ(Parse(args).error, error) << error;
}

TEST(ExporterCommandLine, FileErrorsKeepTheirLine) {
    Files()["bad.yaml"] = "servers:\n  - name: a\n    address: h\n    port: x\n";
    EXPECT_EQ(Parse({"--config", "bad.yaml"}, FakeFile).error,
              "bad.yaml:4: port must be an integer from 1 to 65535, not \"x\"");
}

TEST(ExporterCommandLine, HelpAndVersion) {
    EXPECT_TRUE(Parse({"--server", "a=h:1", "--help"}).help);
    EXPECT_TRUE(Parse({"--version"}).version);
    EXPECT_NE(UsageText().find("--per-channel-limit"), std::string::npos);
}

}  // namespace
}  // namespace telv::exporter
