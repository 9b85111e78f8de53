// The window's settings on disk: a save that fails (a full disk, a folder that cannot be
// written) keeps the old file and is reported once in the log while the console goes on; the
// signals that end a program close the window as Ctrl+Q does, so the settings are saved.
#include "ConsoleApplication.h"
#include "MainForm.h"
#include "SignalRelay.h"
#include "TestApplication.h"
#include "TestSupport.h"
#include "TinyFileSystem.h"
#include "WholeFile.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace telv {
namespace {

namespace fs = std::filesystem;
using test::PumpUntil;

constexpr const char* kFailureLine = "could not save the settings: ";

std::string Contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A key file with the options and a short history.
std::string StoredSettings(int historyEntries) {
    std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Велартон\\TELV Клиент]\n"
                       "\"ServerAddress\"=\"127.0.0.1\"\n\"ServerPort\"=\"5100\"\n\"AutoRequest\"=dword:00000001\n"
                       "\"AutoRequestInterval\"=dword:00000005\n\"EnableEventTranslate\"=dword:00000001\n";
    char line[96];
    std::snprintf(line, sizeof line, "\"ServerListCount\"=dword:%08x\n", historyEntries);
    text += line;
    for (int i = 0; i < historyEntries; ++i) {
        std::snprintf(line, sizeof line, "\"Server%03d\"=\"gateway-%d.example.net\"\n\"Port%03d\"=dword:000013ec\n", i,
                      i, i);
        text += line;
    }
    return text;
}

int FailureLines(TMainFrame& window) {
    window.ConsoleMemo->Flush();
    return static_cast<int>(window.ConsoleMemo->Text().count(kFailureLine));
}

class SettingsSaveTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::EnsureApplication<QApplication>("window_settings_tests"); }
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    void TearDown() override { ClearWholeFileFault(); }

    fs::path Root() const { return fs::path(dir_.path().toStdString()) / "registry"; }
    fs::path KeyFile() const { return *TRegistry(Root()).KeyFilePath(kSettingsKeyPath); }
    void Store(const std::string& text) const {
        fs::create_directories(KeyFile().parent_path());
        std::ofstream(KeyFile(), std::ios::binary) << text;
    }
    std::unique_ptr<TMainFrame> MakeWindow() const { return std::make_unique<TMainFrame>(std::make_unique<TRegistry>(Root())); }

    // Connects to the simulator and waits for its rows, then disconnects.
    static void ConnectOnce(TMainFrame& w, std::uint16_t port) {
        w.AddrEdit->setEditText("127.0.0.1");
        w.PortEdit->setText(QString::number(port));
        w.ConnectDisconectAction->trigger();
        ASSERT_TRUE(PumpUntil([&] { return w.Controller().State == Running && w.ChanelRows().Count() == 2; }));
        w.FlushSettings();
        QApplication::processEvents();
        w.ConnectDisconectAction->trigger();
        ASSERT_TRUE(PumpUntil([&] { return w.Controller().State == Disconnected; }));
    }

    QTemporaryDir dir_;
};

// A full disk at every save: the file stays as it was, one line says so, the console goes on;
// after a save that succeeds, the next failure is reported again.
TEST_F(SettingsSaveTest, AFailedSaveIsReportedOnceAndTheOldFileStays) {
    test::RunningSimulator simulator(test::QuietOptions(2, 0));
    ASSERT_TRUE(simulator.Started()) << simulator.Error();
    Store(StoredSettings(3));
    const std::string original = Contents(KeyFile());
    std::unique_ptr<TMainFrame> window = MakeWindow();
    TMainFrame& w = *window;

    InjectWholeFileFault(WholeFileStep::Write, ENOSPC, 100);
    ConnectOnce(w, simulator.Port());
    EXPECT_EQ(FailureLines(w), 1);
    EXPECT_TRUE(w.ConsoleMemo->Text().contains(kFailureLine + QString::fromLocal8Bit(std::strerror(ENOSPC))));
    ConnectOnce(w, simulator.Port());  // the same failure again: no second line
    EXPECT_EQ(FailureLines(w), 1);
    EXPECT_EQ(Contents(KeyFile()), original);
    EXPECT_EQ(w.Servers.size(), 4u);  // the history in the window goes on

    ClearWholeFileFault();
    ConnectOnce(w, simulator.Port());
    EXPECT_EQ(FailureLines(w), 1);
    const std::string saved = Contents(KeyFile());
    EXPECT_NE(saved, original);
    EXPECT_NE(saved.find("\"Server000\"=\"127.0.0.1\""), std::string::npos);

    InjectWholeFileFault(WholeFileStep::Sync, EIO, 0);
    w.UpDown->setValue(9);
    w.close();
    EXPECT_EQ(FailureLines(w), 2);
    EXPECT_EQ(Contents(KeyFile()), saved);
}

// The settings folder cannot be made (a file stands where it should be): the window starts with
// its design-time values, and closing it says why nothing was saved.
TEST_F(SettingsSaveTest, AFolderThatCannotBeWrittenIsReported) {
    std::ofstream(Root()) << "a file where the settings folder should be";
    std::unique_ptr<TMainFrame> window = MakeWindow();
    EXPECT_EQ(window->AddrEdit->currentText(), "");
    window->UpDown->setValue(9);
    window->close();
    window->ConsoleMemo->Flush();
    EXPECT_TRUE(window->ConsoleMemo->Text().contains(kFailureLine + QString::fromLocal8Bit(std::strerror(ENOTDIR))))
        << window->ConsoleMemo->Text().toStdString();
    EXPECT_EQ(FailureLines(*window), 1);
    EXPECT_EQ(Contents(Root()), "a file where the settings folder should be");
}

// A real full disk: the settings on a 64 KiB file system that other data fill up.
TEST(SettingsSaveTinyFileSystem, AFullDiskKeepsTheSettingsFile) {
    if (const auto folder = test::TinyFileSystemFolder()) {
        test::EnsureApplication<QApplication>("window_settings_tests");
        const fs::path root = fs::path(*folder) / "registry";
        const fs::path keyFile = *TRegistry(root).KeyFilePath(kSettingsKeyPath);
        fs::create_directories(keyFile.parent_path());
        const std::string original = StoredSettings(200);
        std::ofstream(keyFile, std::ios::binary) << original;
        {
            std::ofstream filler(fs::path(*folder) / "filler", std::ios::binary);
            const std::string block(4096, 'f');
            while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {
            }
        }
        {
            TMainFrame window(std::make_unique<TRegistry>(root));
            EXPECT_EQ(window.Servers.size(), 200u);
            window.UpDown->setValue(9);
            window.close();
            EXPECT_EQ(FailureLines(window), 1);
            EXPECT_TRUE(window.ConsoleMemo->Text().contains(kFailureLine +
                                                                   QString::fromLocal8Bit(std::strerror(ENOSPC))));
        }
        EXPECT_EQ(Contents(keyFile), original);
        return;
    }
    const test::TinyFileSystemRun run = test::RunInTinyFileSystem(64 * 1024);
    if (!run.Available) GTEST_SKIP() << run.Output;
    EXPECT_TRUE(run.Passed) << run.Output;
}

// TERM, INT and HUP reach the event loop and close the window as Ctrl+Q does.
class SignalCloseTest : public SettingsSaveTest, public ::testing::WithParamInterface<int> {};

TEST_P(SignalCloseTest, TheWindowClosesAndSavesTheOptions) {
    std::unique_ptr<TMainFrame> window = MakeWindow();
    SignalRelay relay;
    ASSERT_TRUE(relay.Installed());
    QObject::connect(&relay, &SignalRelay::Received, window.get(), [&window] { CloseOnSignal(*window); });
    window->show();
    window->UpDown->setValue(9);
    window->EventCheckBox->setChecked(false);
    std::raise(GetParam());
    ASSERT_TRUE(PumpUntil([&] { return !window->isVisible(); }));
    TRegistry registry(Root());
    ASSERT_TRUE(registry.OpenKey(kSettingsKeyPath, false));
    EXPECT_EQ(registry.ReadInteger(setting::AutoRequestInterval), 9);
    EXPECT_EQ(registry.ReadInteger(setting::EnableEventTranslate), 0);
}

// A dialog in front of the window (here a message box) is closed first.
TEST_P(SignalCloseTest, ADialogInFrontIsClosedToo) {
    std::unique_ptr<TMainFrame> window = MakeWindow();
    SignalRelay relay;
    QObject::connect(&relay, &SignalRelay::Received, window.get(), [&window] { CloseOnSignal(*window); });
    window->show();
    window->UpDown->setValue(8);
    const int signalNumber = GetParam();
    QTimer::singleShot(0, [signalNumber] { std::raise(signalNumber); });
    QMessageBox::information(window.get(), "TELV клиент", "in front");  // returns when closed
    ASSERT_TRUE(PumpUntil([&] { return !window->isVisible(); }));
    TRegistry registry(Root());
    ASSERT_TRUE(registry.OpenKey(kSettingsKeyPath, false));
    EXPECT_EQ(registry.ReadInteger(setting::AutoRequestInterval), 8);
}

// The console program itself, ended by the signal: it exits normally with the settings saved.
// Stored "AutoRequest" 7 is written back as 1 when the window closes, and the layout joins it.
TEST_P(SignalCloseTest, TheConsoleProgramExitsNormallyWithTheSettingsSaved) {
    const fs::path config = fs::path(dir_.path().toStdString()) / "config";
    const fs::path keyFile = *TRegistry(config / "telv-console" / "registry").KeyFilePath(kSettingsKeyPath);
    fs::create_directories(keyFile.parent_path());
    std::ofstream(keyFile, std::ios::binary)
        << "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Велартон\\TELV Клиент]\n"
           "\"AutoRequest\"=dword:00000007\n\"AutoRequestInterval\"=dword:00000009\n";

    QProcess console;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString(config.string()));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    console.setProcessEnvironment(environment);
    console.start(TELV_CONSOLE_PATH, {});
    ASSERT_TRUE(console.waitForStarted());
    // The signal is sent once the program catches it.
    const std::string status = "/proc/" + std::to_string(console.processId()) + "/status";
    const unsigned long long bit = 1ull << (GetParam() - 1);
    const bool catching = PumpUntil([&] {
        std::ifstream in(status);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("SigCgt:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) & bit) != 0;
        }
        return false;
    });
    ASSERT_TRUE(catching);
    ::kill(static_cast<pid_t>(console.processId()), GetParam());
    ASSERT_TRUE(console.waitForFinished(30000));
    EXPECT_EQ(console.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(console.exitCode(), 0) << console.readAllStandardError().toStdString();
    const std::string saved = Contents(keyFile);
    EXPECT_NE(saved.find("\"AutoRequest\"=dword:00000001"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\"AutoRequestInterval\"=dword:00000009"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\"ChanelColumns\"="), std::string::npos) << saved;
}

INSTANTIATE_TEST_SUITE_P(Signals, SignalCloseTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& param) {
                             return std::string(param.param == SIGTERM ? "Term" : param.param == SIGINT ? "Int" : "Hup");
                         });

}  // namespace
}  // namespace telv
