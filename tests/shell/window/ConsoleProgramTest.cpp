// The telv-console program itself: help, version and mistakes answered without a display, and a
// start that connects to a simulator and keeps its settings in the folder it was given.
#include "ClientSettings.h"
#include "Registry.h"
#include "TestApplication.h"
#include "TestSupport.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace telv {
namespace {

using namespace std::chrono_literals;

struct ProgramRun {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the console with no display at all: a window would abort the program.
ProgramRun RunConsole(const QStringList& args) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    process.setProcessEnvironment(env);
    process.start(TELV_CONSOLE_PROGRAM, args);
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    ProgramRun run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

class ConsoleProgramTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::EnsureApplication("console_program_tests"); }
};

TEST_F(ConsoleProgramTest, HelpAndVersionPrintAndExitWithoutAWindow) {
    const ProgramRun help = RunConsole({"--help"});
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.startsWith("usage: telv-console")) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains("--connect HOST[:PORT]"));
    EXPECT_TRUE(help.err.isEmpty()) << help.err.toStdString();

    const ProgramRun version = RunConsole({"--version"});
    EXPECT_EQ(version.exitCode, 0) << version.err.toStdString();
    EXPECT_EQ(version.out, "telv-console 1.3.8.17\n");
}

TEST_F(ConsoleProgramTest, UnknownOptionPrintsTheUsageOnStandardErrorAndExits2) {
    const ProgramRun run = RunConsole({"--bogus"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    EXPECT_TRUE(run.err.startsWith("telv-console: unknown option --bogus\n")) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("usage: telv-console"));
}

TEST_F(ConsoleProgramTest, SettingsDirThatCannotBeMadeExits2BeforeAnyWindow) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    QFile file(temp.filePath("file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const ProgramRun run = RunConsole({"--settings-dir", temp.filePath("file/settings")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains("cannot make the settings folder")) << run.err.toStdString();
}

TEST_F(ConsoleProgramTest, ConnectsAtStartAndKeepsTheSettingsInItsFolder) {
    test::RunningSimulator simulator(test::QuietOptions(10, 1));
    ASSERT_TRUE(simulator.Started()) << simulator.Error();
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString dir = temp.filePath("new/settings");
    const QString port = QString::number(simulator.Port());

    QProcess console;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    console.setProcessEnvironment(env);
    console.start(TELV_CONSOLE_PROGRAM, {"--settings-dir", dir, "--connect", "127.0.0.1:" + port});
    ASSERT_TRUE(console.waitForStarted());

    // A successful connection writes the server and the history into the given folder.
    ClientSettings stored;
    const bool saved = test::PumpUntil(
        [&] {
            TRegistry registry(dir.toStdString());
            stored = ReadClientSettings(registry);
            return stored.History.size() == 1;
        },
        20s);
    console.terminate();
    console.waitForFinished();
    ASSERT_TRUE(saved) << console.readAllStandardError().toStdString();
    EXPECT_EQ(stored.ServerAddress, "127.0.0.1");
    EXPECT_EQ(stored.ServerPort, port.toStdString());
    EXPECT_EQ(stored.History[0].Address, "127.0.0.1");
    EXPECT_EQ(stored.History[0].Port, simulator.Port());
}

}  // namespace
}  // namespace telv
