// The console's command line: what each argument list asks for, and the settings folder.
#include "CommandLine.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <vector>

namespace telv {
namespace {

using Action = ConsoleCommandLine::Action;

struct CommandLineCase {
    const char* name;
    QStringList args;  // after the program name
    Action action;
    std::optional<ConnectTarget> connect;
    QString settingsDir;
    const char* errorMentions = "";
};

class CommandLineTest : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLineTest, ParsesOrRejects) {
    const CommandLineCase& c = GetParam();
    const ConsoleCommandLine parsed = ParseConsoleCommandLine(QStringList{"telv-console"} + c.args);
    ASSERT_EQ(parsed.Do, c.action) << parsed.Error.toStdString();
    if (c.action == Action::Error) {
        EXPECT_TRUE(parsed.Error.contains(QString::fromUtf8(c.errorMentions))) << parsed.Error.toStdString();
        return;
    }
    EXPECT_EQ(parsed.Connect, c.connect);
    EXPECT_EQ(parsed.SettingsDir, c.settingsDir);
}

const CommandLineCase kCases[] = {
    {"Nothing", {}, Action::Run, std::nullopt, {}},
    {"Help", {"--help"}, Action::ShowHelp, std::nullopt, {}},
    {"ShortHelp", {"-h"}, Action::ShowHelp, std::nullopt, {}},
    {"HelpBeforeAMistake", {"--help", "--bogus"}, Action::ShowHelp, std::nullopt, {}},
    {"Version", {"--version"}, Action::ShowVersion, std::nullopt, {}},
    {"ShortVersion", {"-v"}, Action::ShowVersion, std::nullopt, {}},
    {"VersionWithAMistake", {"--version", "--bogus"}, Action::Error, std::nullopt, {}, "unknown option --bogus"},
    {"Unknown", {"--bogus"}, Action::Error, std::nullopt, {}, "unknown option --bogus"},
    {"UnknownShort", {"-x"}, Action::Error, std::nullopt, {}, "unknown option -x"},
    {"NotAnOption", {"server"}, Action::Error, std::nullopt, {}, "unexpected argument \"server\""},
    {"ConnectWithoutValue", {"--connect"}, Action::Error, std::nullopt, {}, "--connect"},
    {"ConnectHostPort", {"--connect", "gw.example:5200"}, Action::Run, ConnectTarget{"gw.example", "5200"}, {}},
    {"ConnectInline", {"--connect=10.1.2.3:5100"}, Action::Run, ConnectTarget{"10.1.2.3", "5100"}, {}},
    {"ConnectHostOnly", {"--connect", "gw.example"}, Action::Run, ConnectTarget{"gw.example", std::nullopt}, {}},
    {"ConnectEmptyHost", {"--connect", ":5100"}, Action::Run, ConnectTarget{"", "5100"}, {}},
    {"ConnectEmptyPort", {"--connect", "gw:"}, Action::Run, ConnectTarget{"gw", ""}, {}},
    {"ConnectPortOutOfRange", {"--connect", "gw:65536"}, Action::Run, ConnectTarget{"gw", "65536"}, {}},
    {"ConnectLastWins", {"--connect", "a:1", "--connect", "b:2"}, Action::Run, ConnectTarget{"b", "2"}, {}},
    {"SettingsDir", {"--settings-dir", "/tmp/консоль 2"}, Action::Run, std::nullopt, "/tmp/консоль 2"},
    {"SettingsDirEmpty", {"--settings-dir="}, Action::Error, std::nullopt, {}, "--settings-dir"},
    {"Both", {"--settings-dir=/tmp/a", "--connect=h:1"}, Action::Run, ConnectTarget{"h", "1"}, "/tmp/a"},
    {"QtOptionsPass", {"-platform", "offscreen", "-style", "fusion", "-reverse"}, Action::Run, std::nullopt, {}},
};

INSTANTIATE_TEST_SUITE_P(Cases, CommandLineTest, ::testing::ValuesIn(kCases),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(CommandLineUsage, NamesEveryOptionAndTheVersion) {
    for (const char* option : {"--connect HOST[:PORT]", "--settings-dir DIR", "--help", "--version"})
        EXPECT_TRUE(ConsoleUsage().contains(option)) << option;
    EXPECT_EQ(ConsoleVersionText(), "telv-console 1.3.8.17");
}

TEST(SettingsDir, IsMadeWhenMissing) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString dir = temp.filePath("a/b/настройки");
    QString error;
    EXPECT_TRUE(PrepareSettingsDir(dir, error)) << error.toStdString();
    EXPECT_TRUE(QDir(dir).exists());
    EXPECT_TRUE(PrepareSettingsDir(dir, error)) << "an existing folder is fine";
}

TEST(SettingsDir, CannotBeMadeUnderOrOverAFile) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString file = temp.filePath("file");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    for (const QString& dir : {file, file + "/sub"}) {
        QString error;
        EXPECT_FALSE(PrepareSettingsDir(dir, error)) << dir.toStdString();
        EXPECT_TRUE(error.contains(dir)) << error.toStdString();
    }
}

}  // namespace
}  // namespace telv
