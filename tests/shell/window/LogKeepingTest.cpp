// Keeping the log: "Сохранить журнал..." writes the log's lines whole or not at all, and the log
// file option appends every line to the day's file beside the settings, keeps its state across
// a restart, loses nothing at close and reports a folder it cannot write once.
#include "ConsoleApplication.h"
#include "ConsoleOptions.h"
#include "LogKeeper.h"
#include "MainForm.h"
#include "SignalRelay.h"
#include "TestApplication.h"
#include "TestSupport.h"
#include "WholeFile.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace telv {
namespace {

using namespace std::chrono_literals;
using test::PumpUntil;

constexpr const char* kLogFileFailure = "не удалось записать журнал в файл: ";

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

class LogKeepingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::EnsureApplication<QApplication>("log_keeping_tests"); }
    void SetUp() override {
        ASSERT_TRUE(temp_.isValid());
        window_ = MakeWindow();
    }
    void TearDown() override { ClearWholeFileFault(); }

    std::unique_ptr<TMainFrame> MakeWindow() const {
        return std::make_unique<TMainFrame>(std::make_unique<TRegistry>(Root().toStdString()));
    }
    QString Root() const { return temp_.filePath("settings"); }
    QString LogFolder() const { return Root() + "/logs"; }
    // Every day's file of the folder, oldest first, as one text.
    QByteArray LogFiles() const {
        QByteArray all;
        const QDir dir(LogFolder());
        for (const QString& name : dir.entryList({"telv-console-*.log"}, QDir::Files, QDir::Name))
            all += ReadAll(dir.filePath(name));
        return all;
    }
    QStringList PaneLines() const {
        window_->ConsoleMemo->Flush();
        return window_->ConsoleMemo->Lines();
    }
    int Count(const QString& text) const {
        int count = 0;
        for (const QString& line : PaneLines()) count += line.contains(text) ? 1 : 0;
        return count;
    }
    static QByteArray AsFile(const QStringList& lines) { return lines.isEmpty() ? QByteArray() : (lines.join('\n') + '\n').toUtf8(); }

    QTemporaryDir temp_;
    std::unique_ptr<TMainFrame> window_;
};

TEST_F(LogKeepingTest, TheSavedLogHoldsEveryLineWhole) {
    TMainFrame& w = *window_;
    EXPECT_TRUE(w.ConsoleMemo->actions().contains(w.SaveLogAction));  // in the log's popup menu too
    w.ConsoleMemo->Clear();
    const QString path = temp_.filePath("журнал.txt");
    ASSERT_TRUE(w.SaveLog(path));
    EXPECT_EQ(ReadAll(path), "");  // an empty log

    const std::string longText = "Сообщение " + std::string(6000, 'x') + " конец";
    w.LogEvent("Соединение установлено");
    w.LogEvent(longText);
    w.LogEvent("Версия TELV сервера 2.4.0.31");
    ASSERT_TRUE(w.SaveLog(path));
    const QString saved = QString::fromUtf8(ReadAll(path));
    const QStringList lines = saved.split('\n');
    ASSERT_EQ(lines.size(), 4) << saved.left(200).toStdString();
    EXPECT_TRUE(lines[0].endsWith(" - Соединение установлено"));
    EXPECT_TRUE(lines[1].endsWith(" - " + QString::fromStdString(longText)));  // not cut as shown
    EXPECT_TRUE(lines[2].endsWith(" - Версия TELV сервера 2.4.0.31"));
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(saved.toUtf8(), AsFile(PaneLines()));
    EXPECT_TRUE(w.ConsoleMemo->Kept().Shown(1).contains("байт)"));  // the pane shows it cut
}

// A failure leaves the old file as it was and says why in the log.
TEST_F(LogKeepingTest, AFailedSaveKeepsTheOldFileAndIsLogged) {
    TMainFrame& w = *window_;
    const QString path = temp_.filePath("журнал.txt");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the old log\n");
    }
    w.LogEvent(std::string(20000, 'y'));
    InjectWholeFileFault(WholeFileStep::Write, ENOSPC, 100);
    EXPECT_FALSE(w.SaveLog(path));
    ClearWholeFileFault();
    EXPECT_EQ(ReadAll(path), "the old log\n");
    EXPECT_EQ(Count("Не удалось записать файл " + path + ": " + QString::fromLocal8Bit(std::strerror(ENOSPC))), 1)
        << PaneLines().join('\n').right(300).toStdString();

    const QString inAFile = path + "/журнал.txt";  // a folder that cannot be
    EXPECT_FALSE(w.SaveLog(inAFile));
    EXPECT_EQ(ReadAll(path), "the old log\n");
    EXPECT_EQ(Count("Не удалось записать файл " + inAFile + ": "), 1);
}

TEST_F(LogKeepingTest, EveryLineLandsInTheDaysFileBesideTheSettings) {
    TMainFrame& w = *window_;
    EXPECT_FALSE(w.LogToFileAction->isChecked());  // off by default
    EXPECT_FALSE(w.LogFile().Enabled());
    w.ConsoleMemo->Clear();
    w.LogToFileAction->setChecked(true);
    EXPECT_EQ(w.LogFile().Directory(), LogFolder());
    EXPECT_EQ(Count("Журнал пишется в файл " + w.LogFile().PathOf(QDate::currentDate())), 1);

    test::RunningSimulator simulator(test::QuietOptions(20, 3));
    ASSERT_TRUE(simulator.Started()) << simulator.Error();
    w.PortEdit->setText(QString::number(simulator.Port()));
    w.ConnectDisconectAction->trigger();
    ASSERT_TRUE(PumpUntil([&] { return w.ChanelRows().Count() == 20; }));
    w.LogEvent("Сообщение\nс переносом");
    ASSERT_TRUE(PumpUntil([&] { return w.LogFile().WaitingBytes() == 0; }));

    QStringList expected = PaneLines();
    expected.last() = expected.last().replace('\n', QChar(0x2424));  // one line in the file
    EXPECT_EQ(LogFiles(), AsFile(expected));
    EXPECT_TRUE(LogFiles().contains(" - Соединение установлено\n"));

    // Off: the file is closed and no more lines go to it.
    w.LogToFileAction->setChecked(false);
    w.LogEvent("not kept");
    PumpUntil([] { return false; }, 300ms);
    EXPECT_FALSE(LogFiles().contains("not kept"));
}

TEST_F(LogKeepingTest, TheOptionIsKeptBesideTheOthers) {
    window_->LogToFileAction->setChecked(true);
    window_->FlushSettings();
    TRegistry stored(Root().toStdString());
    EXPECT_TRUE(ReadOptionFlag(stored, setting::LogToFile, false));
    EXPECT_FALSE(ReadOptionFlag(stored, setting::Reconnect, false));  // each option its own value

    window_ = MakeWindow();
    EXPECT_TRUE(window_->LogToFileAction->isChecked());
    EXPECT_TRUE(window_->LogFile().Enabled());
    window_->LogToFileAction->setChecked(false);
    window_->FlushSettings();
    window_ = MakeWindow();
    EXPECT_FALSE(window_->LogToFileAction->isChecked());
    EXPECT_FALSE(window_->LogFile().Enabled());
}

// Lines that wait are written when the window is closed by a signal, and when it goes.
TEST_F(LogKeepingTest, NoLineIsLostAtClose) {
    TMainFrame& w = *window_;
    w.LogToFileAction->setChecked(true);
    w.LogFile().SetFlushInterval(1h);  // only the close writes
    SignalRelay relay;
    ASSERT_TRUE(relay.Installed());
    QObject::connect(&relay, &SignalRelay::Received, &w, [&w] { CloseOnSignal(w); });
    w.show();
    for (int i = 0; i < 100; ++i) w.LogEvent("Прибор c ID - " + std::to_string(i) + " отключен");
    EXPECT_GT(w.LogFile().WaitingBytes(), 0);
    std::raise(SIGTERM);
    ASSERT_TRUE(PumpUntil([&] { return !w.isVisible(); }));
    EXPECT_EQ(w.LogFile().WaitingBytes(), 0);
    EXPECT_EQ(LogFiles(), AsFile(PaneLines()));

    w.LogEvent("after the close");
    window_.reset();
    EXPECT_TRUE(LogFiles().endsWith(" - after the close\n"));
}

// The log folder cannot be made: one line says so, the console goes on with its session.
TEST_F(LogKeepingTest, AFolderThatCannotBeWrittenIsReportedOnce) {
    ASSERT_TRUE(QDir().mkpath(Root()));
    {
        QFile blocker(LogFolder());
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    TMainFrame& w = *window_;
    w.LogToFileAction->setChecked(true);
    EXPECT_EQ(Count(kLogFileFailure + LogFolder()), 1);
    EXPECT_EQ(Count("Журнал пишется в файл"), 0);

    sim::SimOptions options = test::QuietOptions(30, 3);
    options.churnPerSecond = 40;  // a steady stream of lines
    test::RunningSimulator simulator(options);
    ASSERT_TRUE(simulator.Started()) << simulator.Error();
    w.PortEdit->setText(QString::number(simulator.Port()));
    w.ConnectDisconectAction->trigger();
    ASSERT_TRUE(PumpUntil([&] { return w.Controller().State == Running && PaneLines().size() > 20; }));
    PumpUntil([] { return false; }, 500ms);  // more lines, more attempts to write them
    EXPECT_EQ(Count(kLogFileFailure), 1);
    EXPECT_EQ(w.Controller().State, Running);
    EXPECT_TRUE(QFileInfo(LogFolder()).isFile());
}

}  // namespace
}  // namespace telv
