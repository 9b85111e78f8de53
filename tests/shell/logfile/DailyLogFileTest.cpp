// The daily log files on a fake clock: a file a day, lines whole in UTF-8, files older than 30
// days removed, and a folder or disk that cannot be written reported without stopping anything.
#include "DailyLogFile.h"
#include "TinyFileSystem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace telv {
namespace {

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void Touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write("old\n");
}

class DailyLogFileTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    QDateTime now{QDate(2026, 3, 31), QTime(23, 59, 58)};
    QString dir = temp.filePath("logs/telv");
    DailyLogFile log{dir, [this] { return now; }};
    QString error;
};

TEST_F(DailyLogFileTest, ANewFileEachDayWithWholeLines) {
    ASSERT_TRUE(log.Append("23:59:58 - Соединение установлено", error)) << error.toStdString();
    ASSERT_TRUE(log.Append("23:59:59 - Версия TELV сервера 2.4.0.31", error));
    now = now.addSecs(2);  // past midnight
    ASSERT_TRUE(log.Append("00:00:00 - Соединение завершено", error));

    EXPECT_EQ(QString::fromUtf8(ReadAll(dir + "/telv-console-2026-03-31.log")),
              "23:59:58 - Соединение установлено\n23:59:59 - Версия TELV сервера 2.4.0.31\n");
    EXPECT_EQ(QString::fromUtf8(ReadAll(dir + "/telv-console-2026-04-01.log")), "00:00:00 - Соединение завершено\n");
    EXPECT_EQ(log.PathOf(QDate(2026, 4, 1)), dir + "/telv-console-2026-04-01.log");
}

TEST_F(DailyLogFileTest, ADayFileIsAppendedToAcrossRuns) {
    ASSERT_TRUE(log.Append("first run", error));
    DailyLogFile again{dir, [this] { return now; }};
    ASSERT_TRUE(again.Append("second run", error));
    EXPECT_EQ(ReadAll(log.PathOf(now.date())), "first run\nsecond run\n");
}

TEST_F(DailyLogFileTest, FilesOlderThanThirtyDaysGoWhenADayStarts) {
    ASSERT_TRUE(QDir().mkpath(dir));
    const QDate today = now.date();
    for (int age : {1, 29, 30, 31, 45, 400}) Touch(log.PathOf(today.addDays(-age)));
    for (const char* other : {"/notes.log", "/telv-console-garbage.log", "/telv-console-2025-13-40.log"})
        Touch(dir + other);

    ASSERT_TRUE(log.Append("line", error));
    for (int age : {1, 29, 30}) EXPECT_TRUE(QFile::exists(log.PathOf(today.addDays(-age)))) << age;
    for (int age : {31, 45, 400}) EXPECT_FALSE(QFile::exists(log.PathOf(today.addDays(-age)))) << age;
    for (const char* other : {"/notes.log", "/telv-console-garbage.log", "/telv-console-2025-13-40.log"})
        EXPECT_TRUE(QFile::exists(dir + other)) << other;

    // Thirty days on, the first day of this run goes too when the new day's file starts.
    now = now.addDays(31);
    ASSERT_TRUE(log.Append("a month later", error));
    EXPECT_FALSE(QFile::exists(log.PathOf(today)));
    EXPECT_FALSE(QFile::exists(log.PathOf(today.addDays(-1))));
}

TEST_F(DailyLogFileTest, AFolderThatCannotBeMadeIsAnErrorEveryTimeNotAStop) {
    Touch(temp.filePath("file"));
    DailyLogFile blocked{temp.filePath("file/logs"), [this] { return now; }};
    EXPECT_FALSE(blocked.Append("line", error));
    EXPECT_TRUE(error.contains(temp.filePath("file/logs"))) << error.toStdString();
    error.clear();
    EXPECT_FALSE(blocked.Append("next line", error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(DailyLogFileTest, AFullDiskIsAnError) {
    ASSERT_TRUE(QDir().mkpath(dir));
    ASSERT_TRUE(QFile::link("/dev/full", log.PathOf(now.date())));
    EXPECT_FALSE(log.Append("line", error));
    EXPECT_TRUE(error.contains("No space left")) << error.toStdString();
}

TEST_F(DailyLogFileTest, LinesGoToTheFileOfTheDayGiven) {
    const QDate yesterday = now.date().addDays(-1);
    ASSERT_TRUE(log.AppendLines(yesterday, "23:59:59 - a\n23:59:59 - b\n", error)) << error.toStdString();
    ASSERT_TRUE(log.AppendLines(now.date(), "00:00:00 - c\n", error));
    ASSERT_TRUE(log.AppendLines(now.date(), "", error));
    EXPECT_EQ(ReadAll(log.PathOf(yesterday)), "23:59:59 - a\n23:59:59 - b\n");
    EXPECT_EQ(ReadAll(log.PathOf(now.date())), "00:00:00 - c\n");
}

TEST_F(DailyLogFileTest, ALineWithABreakInsideStaysOneLine) {
    ASSERT_TRUE(log.Append("12:00:00 - text\n12:00:01 - forged", error));
    EXPECT_EQ(QString::fromUtf8(ReadAll(log.PathOf(now.date()))), "12:00:00 - text\u242412:00:01 - forged\n");
}

TEST_F(DailyLogFileTest, OpeningADayMakesTheFolderAndTheFile) {
    ASSERT_TRUE(log.OpenDay(now.date(), error)) << error.toStdString();
    EXPECT_EQ(ReadAll(log.PathOf(now.date())), "");
    log.Close();
    ASSERT_TRUE(log.Append("after closing", error));
    EXPECT_EQ(ReadAll(log.PathOf(now.date())), "after closing\n");
}

// A real full disk in the middle of a batch: the lines that went out whole stay, the piece of
// the line the disk cut is undone, and the file ends with a whole line.
TEST(DailyLogFileTinyFileSystem, AFullDiskKeepsTheWholeLinesOfABatch) {
    if (const auto folder = test::TinyFileSystemFolder()) {
        const QDateTime now(QDate(2026, 5, 1), QTime(12, 0));
        DailyLogFile log(QString::fromStdString(*folder) + "/logs", [&] { return now; });
        QByteArray batch;
        for (int i = 0; batch.size() < 256 * 1024; ++i)
            batch += QString("12:00:00 - строка %1 %2\n").arg(i).arg(QString(60, 'x')).toUtf8();
        QString error;
        EXPECT_FALSE(log.AppendLines(now.date(), batch, error));
        EXPECT_TRUE(error.contains("No space left")) << error.toStdString();
        const QByteArray kept = ReadAll(log.PathOf(now.date()));
        EXPECT_GT(kept.size(), 0);
        EXPECT_TRUE(kept.endsWith('\n'));
        EXPECT_TRUE(batch.startsWith(kept));
        return;
    }
    const test::TinyFileSystemRun run = test::RunInTinyFileSystem(64 * 1024);
    if (!run.Available) GTEST_SKIP() << run.Output;
    EXPECT_TRUE(run.Passed) << run.Output;
}

}  // namespace
}  // namespace telv
