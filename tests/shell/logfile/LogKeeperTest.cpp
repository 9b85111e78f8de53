// The log file option's writer on a fake clock: lines wait and go out together, to the file of
// the day they were logged in; a failure is reported once until a write succeeds; nothing
// waiting is lost when the writer is switched off or goes.
#include "LogKeeper.h"

#include "TestApplication.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace telv {
namespace {

using namespace std::chrono_literals;

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

class LogKeeperTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::EnsureApplication("logfile_tests"); }

    QTemporaryDir temp;
    QString dir = temp.filePath("logs");
    QDateTime now{QDate(2026, 7, 14), QTime(12, 0, 0)};
    QStringList reports;
    // As in the window, a report is a line of the log too.
    std::unique_ptr<LogKeeper> keeper = std::make_unique<LogKeeper>(
        dir,
        [this](const QString& line) {
            reports.append(line);
            keeper->Add(line.toUtf8());
        },
        [this] { return now.toMSecsSinceEpoch(); });
    QString Today() const { return DailyLogFile(dir).PathOf(now.date()); }
};

TEST_F(LogKeeperTest, OffByDefaultAndLinesWhileOffAreNotKept) {
    EXPECT_FALSE(keeper->Enabled());
    keeper->Add("12:00:00 - line");
    keeper->Flush();
    EXPECT_FALSE(QDir(dir).exists());
    EXPECT_EQ(keeper->WaitingBytes(), 0);
}

TEST_F(LogKeeperTest, LinesWaitAndGoOutTogether) {
    keeper->SetEnabled(true);
    EXPECT_EQ(ReadAll(Today()), "");  // opened at once
    QByteArray expected;
    for (int i = 0; i < 1000; ++i) {
        const QByteArray line = "12:00:00 - Прибор c ID - " + QByteArray::number(i) + " отключен";
        keeper->Add(line);
        expected += line + '\n';
    }
    EXPECT_EQ(ReadAll(Today()), "");  // nothing written a line at a time
    EXPECT_EQ(keeper->WaitingBytes(), expected.size());
    ASSERT_TRUE(test::PumpUntil([&] { return keeper->WaitingBytes() == 0; }));
    EXPECT_EQ(ReadAll(Today()), expected);
    EXPECT_TRUE(reports.isEmpty());
}

TEST_F(LogKeeperTest, AFloodIsWrittenOnceAMegabyteHasGathered) {
    keeper->SetEnabled(true);
    const QByteArray line(999, 'x');
    for (int i = 0; i < 1100; ++i) keeper->Add(line);
    // Written before the event loop ran; the rest waits.
    EXPECT_GE(ReadAll(Today()).size(), LogKeeper::kMaxWaitingBytes);
    EXPECT_LT(keeper->WaitingBytes(), LogKeeper::kMaxWaitingBytes);
    keeper->Flush();
    EXPECT_EQ(ReadAll(Today()).size(), 1100 * 1000);
}

TEST_F(LogKeeperTest, LinesWaitingAtMidnightGoToTheirOwnDay) {
    keeper->SetEnabled(true);
    keeper->SetFlushInterval(1h);  // only the day's end and Flush write
    now = QDateTime(now.date(), QTime(23, 59, 59, 900));
    keeper->Add("23:59:59 - last of the day");
    const QDate first = now.date();
    now = now.addMSecs(200);
    keeper->Add("00:00:00 - first of the next");
    EXPECT_EQ(ReadAll(keeper->PathOf(first)), "23:59:59 - last of the day\n");
    keeper->Flush();
    EXPECT_EQ(ReadAll(keeper->PathOf(first.addDays(1))), "00:00:00 - first of the next\n");
}

TEST_F(LogKeeperTest, NothingWaitingIsLostWhenSwitchedOffOrGone) {
    keeper->SetEnabled(true);
    keeper->SetFlushInterval(1h);
    keeper->Add("before off");
    keeper->SetEnabled(false);
    EXPECT_FALSE(keeper->Enabled());
    keeper->Add("while off");
    keeper->SetEnabled(true);
    keeper->SetFlushInterval(1h);
    keeper->Add("on again");
    keeper.reset();
    EXPECT_EQ(ReadAll(Today()), "before off\non again\n");
}

// The folder cannot be made (a file stands in its place): one report at once, none for the
// lines that follow; a write that succeeds ends the failure, and the next one is reported.
TEST_F(LogKeeperTest, AFailureIsReportedOnceUntilAWriteSucceeds) {
    {
        QFile blocker(dir);
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    keeper->SetEnabled(true);
    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports[0].startsWith("не удалось записать журнал в файл: " + dir)) << reports[0].toStdString();
    EXPECT_TRUE(keeper->Failing());
    for (int i = 0; i < 3; ++i) {
        keeper->Add("line");
        keeper->Flush();
    }
    EXPECT_EQ(reports.size(), 1);

    // The folder can be made again; the next day's file will be a full disk.
    ASSERT_TRUE(QFile::remove(dir));
    ASSERT_TRUE(QDir().mkpath(dir));
    ASSERT_TRUE(QFile::link("/dev/full", keeper->PathOf(now.date().addDays(1))));
    keeper->Add("written");
    keeper->Flush();
    EXPECT_FALSE(keeper->Failing());
    EXPECT_EQ(ReadAll(Today()), "written\n");

    now = now.addDays(1);
    keeper->Add("to a full disk");
    keeper->Flush();
    ASSERT_EQ(reports.size(), 2);
    EXPECT_TRUE(reports[1].contains("No space left")) << reports[1].toStdString();
    keeper->Add("again");
    keeper->Flush();
    EXPECT_EQ(reports.size(), 2);
}

}  // namespace
}  // namespace telv
