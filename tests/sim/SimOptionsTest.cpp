#include "SimOptions.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace telv::sim {
namespace {

struct OptionCase {
    const char* name;
    std::vector<std::string_view> args;
    bool ok;
    std::function<bool(const SimOptions&)> check;  // when ok
    const char* errorMentions;                      // when !ok
};

class SimOptionsTest : public ::testing::TestWithParam<OptionCase> {};

TEST_P(SimOptionsTest, ParsesOrRejects) {
    const OptionCase& c = GetParam();
    const ParsedOptions parsed = ParseSimOptions(c.args);
    ASSERT_EQ(parsed.ok, c.ok) << parsed.error;
    if (c.ok) {
        EXPECT_TRUE(c.check(parsed.options));
    } else {
        EXPECT_NE(parsed.error.find(c.errorMentions), std::string::npos) << parsed.error;
    }
}

const OptionCase kCases[] = {
    {"Defaults", {}, true,
     [](const SimOptions& o) {
         return o.listenAddress == "127.0.0.1" && o.listenPort == 5100 && o.devices == 100 && !o.flood && o.splitBytes == 0;
     },
     ""},
    {"DevicesAtLimit", {"--devices", "1048560"}, true, [](const SimOptions& o) { return o.devices == 1'048'560; }, ""},
    {"DevicesAboveLimit", {"--devices", "1048561"}, false, nullptr, "--devices must be an integer from 0 to 1048560"},
    {"DevicesNegative", {"--devices=-1"}, false, nullptr, "--devices"},
    {"DevicesNotANumber", {"--devices", "12k"}, false, nullptr, "--devices"},
    {"ClientsAboveRoom", {"--clients", "1048560"}, false, nullptr, "--clients"},
    {"InlineValue", {"--clients=40", "--churn=2.5"}, true,
     [](const SimOptions& o) { return o.clients == 40 && o.churnPerSecond == 2.5; }, ""},
    {"Listen", {"--listen", "127.0.0.2:6000"}, true,
     [](const SimOptions& o) { return o.listenAddress == "127.0.0.2" && o.listenPort == 6000; }, ""},
    {"ListenHostName", {"--listen", "localhost:6000"}, false, nullptr, "--listen"},
    {"ListenPortTooBig", {"--listen", "127.0.0.1:70000"}, false, nullptr, "--listen"},
    {"ListenNoPort", {"--listen", "127.0.0.1"}, false, nullptr, "--listen"},
    {"SplitZero", {"--split", "0"}, false, nullptr, "--split"},
    {"FaultFlags",
     {"--no-hello", "--no-ack", "--garbage", "--over-limit", "--close-mid-message", "--orphan-stats", "--flood",
      "--hostile-texts", "--split", "1", "--slow", "250"},
     true,
     [](const SimOptions& o) {
         return o.noHello && o.noAck && o.garbage && o.overLimit && o.closeMidMessage && o.orphanStats && o.flood &&
                o.hostileTexts && o.splitBytes == 1 && o.slowMs == 250;
     },
     ""},
    {"FlagWithValue", {"--flood=1"}, false, nullptr, "takes no value"},
    {"MissingValue", {"--seconds"}, false, nullptr, "needs a value"},
    {"Unknown", {"--bogus"}, false, nullptr, "unknown option --bogus"},
    {"NotAnOption", {"devices"}, false, nullptr, "unexpected argument"},
    {"NoticeIntervalOff", {"--notice-interval", "0", "--seed", "18446744073709551615"}, true,
     [](const SimOptions& o) { return o.noticeIntervalSeconds == 0 && o.seed == 18446744073709551615ULL; }, ""},
    {"ChurnNotFinite", {"--churn", "inf"}, false, nullptr, "--churn"},
    {"LastValueCounts", {"--devices", "5", "--devices", "7"}, true, [](const SimOptions& o) { return o.devices == 7; },
     ""},
    {"EveryValueChecked", {"--devices", "x", "--devices", "7"}, false, nullptr, "--devices"},
    {"SingleDash", {"-devices", "9", "-flood"}, true, [](const SimOptions& o) { return o.devices == 9 && o.flood; },
     ""},
    {"UnknownSingleDash", {"-x"}, false, nullptr, "unknown option -x"},
};

INSTANTIATE_TEST_SUITE_P(Cases, SimOptionsTest, ::testing::ValuesIn(kCases),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(SimOptionsHelp, HelpStopsParsing) {
    const std::vector<std::string_view> args = {"--help", "--bogus"};
    const ParsedOptions parsed = ParseSimOptions(args);
    EXPECT_TRUE(parsed.ok);
    EXPECT_TRUE(parsed.helpRequested);
    EXPECT_NE(SimUsage().find("--hostile-texts"), std::string::npos);
}

TEST(SimOptionsHelp, VersionIsAskedFor) {
    for (const std::string_view arg : {"--version", "-v"}) {
        const std::vector<std::string_view> args = {arg};
        const ParsedOptions parsed = ParseSimOptions(args);
        EXPECT_TRUE(parsed.ok);
        EXPECT_TRUE(parsed.versionRequested);
        EXPECT_FALSE(parsed.helpRequested);
    }
    EXPECT_NE(SimUsage().find("--version"), std::string::npos);
}

}  // namespace
}  // namespace telv::sim
