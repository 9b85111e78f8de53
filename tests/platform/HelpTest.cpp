#include "ChmViewer.h"
#include "Help.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <string>
#include <vector>

namespace telv {
namespace {

namespace fs = std::filesystem;

struct AddressCase {
    const char* keyword;
    const char* address;
};

void PrintTo(const AddressCase& c, std::ostream* os) {
    *os << (c.keyword ? c.keyword : "(null)");
}

class HelpTopicAddressTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(HelpTopicAddressTest, NamesTheTopicInTheHelpFile) {
    EXPECT_EQ(HelpTopicAddress(GetParam().keyword), GetParam().address);
}

INSTANTIATE_TEST_SUITE_P(Keywords, HelpTopicAddressTest,
                         ::testing::Values(AddressCase{"telv_client_overview", "TelvServer.chm::/telv_client_overview.htm"},
                                           AddressCase{"", "TelvServer.chm::/introduction.htm"},
                                           AddressCase{nullptr, "TelvServer.chm::/introduction.htm"},
                                           AddressCase{"a b", "TelvServer.chm::/a b.htm"}));

struct FormHelpCase {
    const char* label;
    bool viewer;
    std::uint16_t command;
    const char* keyword;
    bool handled;
    const char* shown;  // nullptr: nothing shown
};

void PrintTo(const FormHelpCase& c, std::ostream* os) {
    *os << c.label;
}

class FormHelpTest : public ::testing::TestWithParam<FormHelpCase> {};

TEST_P(FormHelpTest, HandlesKeywordRequestsOnly) {
    const FormHelpCase& c = GetParam();
    std::vector<std::string> shown;
    HtmlHelpFunc viewer;
    if (c.viewer) viewer = [&shown](const std::string& address) { shown.push_back(address); };
    bool callHelp = true;
    EXPECT_EQ(FormHelp(viewer, c.command, c.keyword, callHelp), c.handled);
    EXPECT_FALSE(callHelp);
    if (c.shown) {
        EXPECT_EQ(shown, std::vector<std::string>{c.shown});
    } else {
        EXPECT_TRUE(shown.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, FormHelpTest,
    ::testing::Values(
        FormHelpCase{"Keyword", true, 258, "telv_client_overview", true, "TelvServer.chm::/telv_client_overview.htm"},
        FormHelpCase{"EmptyKeyword", true, 258, "", true, "TelvServer.chm::/introduction.htm"},
        FormHelpCase{"NullKeyword", true, 258, nullptr, true, "TelvServer.chm::/introduction.htm"},
        FormHelpCase{"ContextNumber", true, 1, "telv_client_overview", false, nullptr},
        FormHelpCase{"Contents", true, 3, nullptr, false, nullptr},
        FormHelpCase{"HighByteDiffers", true, 0x0202, "x", false, nullptr},
        FormHelpCase{"NoViewer", false, 258, "telv_client_overview", false, nullptr}),
    [](const ::testing::TestParamInfo<FormHelpCase>& param) { return std::string(param.param.label); });

// A viewer environment with the given programs on PATH and help folders in a temporary folder.
class ChmViewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        fs::create_directories(ExeDir());
        fs::create_directories(DataDir());
    }

    fs::path ExeDir() const { return fs::path(dir_.path().toStdString()) / "bin"; }
    fs::path DataDir() const { return fs::path(dir_.path().toStdString()) / "share" / "telv-console"; }
    static void PutHelpFile(const fs::path& folder) { std::ofstream(folder / "TelvServer.chm") << "ITSF"; }

    ChmViewer::Environment Environment(std::map<std::string, std::string> programs) {
        ChmViewer::Environment environment;
        environment.HelpDirectories = {ExeDir(), DataDir()};
        environment.FindExecutable = [programs](const std::string& name) {
            const auto it = programs.find(name);
            return it == programs.end() ? std::string() : it->second;
        };
        environment.Start = [this](const HelpCommand& command) {
            started_.push_back(command);
            return true;
        };
        return environment;
    }

    QTemporaryDir dir_;
    std::vector<HelpCommand> started_;
};

TEST_F(ChmViewerTest, EachViewerIsToldTheTopicItsOwnWay) {
    PutHelpFile(ExeDir());
    const std::string file = (ExeDir() / "TelvServer.chm").string();
    const std::string address = "TelvServer.chm::/telv_client_overview.htm";
    const std::map<std::string, std::vector<std::string>> expected = {
        {"xchm", {"file:" + file + "#xchm:/telv_client_overview.htm"}},
        {"chmsee", {file + "::/telv_client_overview.htm"}},
        {"kchmviewer", {file}},
        {"uchmviewer", {file}},
    };
    for (const auto& [name, arguments] : expected) {
        const ChmViewer viewer(Environment({{name, "/usr/bin/" + name}}));
        EXPECT_EQ(viewer.CommandFor(address), (HelpCommand{"/usr/bin/" + name, arguments})) << name;
    }
}

TEST_F(ChmViewerTest, PrefersViewersThatShowTheTopic) {
    const ChmViewer viewer(Environment({{"kchmviewer", "/k"}, {"xchm", "/x"}, {"uchmviewer", "/u"}}));
    EXPECT_EQ(viewer.ViewerProgram(), "/x");
}

TEST_F(ChmViewerTest, FindsTheHelpFileInTheDataFolder) {
    PutHelpFile(DataDir());
    const ChmViewer viewer(Environment({{"kchmviewer", "/k"}}));
    const auto command = viewer.CommandFor("TelvServer.chm::/introduction.htm");
    ASSERT_TRUE(command);
    EXPECT_EQ(command->Arguments, std::vector<std::string>{(DataDir() / "TelvServer.chm").string()});
}

TEST_F(ChmViewerTest, ShowStartsTheViewerDetached) {
    PutHelpFile(ExeDir());
    const ChmViewer viewer(Environment({{"xchm", "/x"}}));
    EXPECT_TRUE(viewer.Show("TelvServer.chm::/introduction.htm"));
    ASSERT_EQ(started_.size(), 1u);
    EXPECT_EQ(started_[0].Program, "/x");
}

TEST_F(ChmViewerTest, WithoutTheHelpFileNothingIsStarted) {
    const ChmViewer viewer(Environment({{"xchm", "/x"}}));
    EXPECT_EQ(viewer.CommandFor("TelvServer.chm::/introduction.htm"), std::nullopt);
    EXPECT_FALSE(viewer.Show("TelvServer.chm::/introduction.htm"));
    EXPECT_TRUE(started_.empty());
}

TEST_F(ChmViewerTest, AddressesThatNameNoFileInAHelpFolderAreRefused) {
    PutHelpFile(ExeDir());
    const ChmViewer viewer(Environment({{"xchm", "/x"}}));
    for (const char* address : {"TelvServer.chm", "::/introduction.htm", "../bin/TelvServer.chm::/x.htm",
                                "Other.chm::/x.htm"}) {
        EXPECT_EQ(viewer.CommandFor(address), std::nullopt) << address;
    }
}

TEST_F(ChmViewerTest, WithoutAViewerHelpIsNotSetUp) {
    PutHelpFile(ExeDir());
    const ChmViewer viewer(Environment({}));
    EXPECT_TRUE(viewer.ViewerProgram().empty());
    EXPECT_EQ(viewer.CommandFor("TelvServer.chm::/introduction.htm"), std::nullopt);

    const HtmlHelpFunc htmlHelp = LoadHtmlHelp(Environment({}));
    EXPECT_FALSE(htmlHelp);
    bool callHelp = true;
    EXPECT_FALSE(FormHelp(htmlHelp, kKeywordHelpCommand, "telv_client_overview", callHelp));
    EXPECT_TRUE(started_.empty());
}

TEST_F(ChmViewerTest, F1ReachesTheViewerThroughTheHelpHandler) {
    PutHelpFile(ExeDir());
    const HtmlHelpFunc htmlHelp = LoadHtmlHelp(Environment({{"chmsee", "/c"}}));
    ASSERT_TRUE(htmlHelp);
    bool callHelp = true;
    EXPECT_TRUE(FormHelp(htmlHelp, kKeywordHelpCommand, kWindowHelpKeyword.data(), callHelp));
    ASSERT_EQ(started_.size(), 1u);
    EXPECT_EQ(started_[0].Arguments,
              std::vector<std::string>{(ExeDir() / "TelvServer.chm").string() + "::/telv_client_overview.htm"});
}

TEST(ChmViewerSystem, EnvironmentLooksBesideTheProgramAndInDataFolders) {
    const ChmViewer::Environment environment = ChmViewer::SystemEnvironment();
    EXPECT_TRUE(environment.FindExecutable);
    EXPECT_TRUE(environment.Start);
    ASSERT_FALSE(environment.HelpDirectories.empty());
    EXPECT_EQ(environment.HelpDirectories.back().filename(), "telv-console");
}

}  // namespace
}  // namespace telv
