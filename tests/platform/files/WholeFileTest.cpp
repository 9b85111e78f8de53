#include "WholeFile.h"

#include "TinyFileSystem.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace telv {
namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

QString Q(const fs::path& path) { return QString::fromStdString(path.string()); }

class WholeFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    void TearDown() override { ClearWholeFileFault(); }

    fs::path Folder() const { return fs::path(dir_.path().toStdString()); }
    fs::path Target() const { return Folder() / "settings.reg"; }
    void Store(const std::string& text) const { std::ofstream(Target(), std::ios::binary) << text; }

    QTemporaryDir dir_;
};

TEST_F(WholeFileTest, WritesANewFileAndReplacesAnOldOne) {
    QString error = "untouched";
    ASSERT_TRUE(WriteWholeFile(Q(Target()), "first", &error));
    EXPECT_EQ(Contents(Target()), "first");
    EXPECT_EQ(error, "untouched");
    ASSERT_TRUE(WriteWholeFile(Q(Target()), QByteArray("sec\0nd", 6), nullptr));
    EXPECT_EQ(Contents(Target()), std::string("sec\0nd", 6));
    ASSERT_TRUE(WriteWholeFile(Q(Target()), QByteArray(), nullptr));
    EXPECT_EQ(Contents(Target()), "");
    EXPECT_EQ(Names(Folder()), std::vector<std::string>{"settings.reg"});  // no temporary file left
}

TEST_F(WholeFileTest, ALargeFileIsWrittenWhole) {
    QByteArray bytes(3 << 20, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    ASSERT_TRUE(WriteWholeFile(Q(Target()), bytes, nullptr));
    EXPECT_EQ(Contents(Target()), bytes.toStdString());
}

// Each step of the write failing as the system would report it: the old file stays as it was,
// nothing else is left in the folder, and the reason is the system's text.
TEST_F(WholeFileTest, AFailureAtAnyStepKeepsTheOldFile) {
    struct Case {
        WholeFileStep Step;
        int ErrorNumber;
        std::size_t BytesBefore;
    };
    for (const Case& c : {Case{WholeFileStep::Open, EACCES, 0}, Case{WholeFileStep::Open, EROFS, 0},
                          Case{WholeFileStep::Write, ENOSPC, 0}, Case{WholeFileStep::Write, ENOSPC, 5},
                          Case{WholeFileStep::Write, EDQUOT, 4096}, Case{WholeFileStep::Sync, EIO, 0},
                          Case{WholeFileStep::Sync, ENOSPC, 0}, Case{WholeFileStep::Rename, EXDEV, 0}}) {
        SCOPED_TRACE(std::strerror(c.ErrorNumber));
        Store("old contents");
        InjectWholeFileFault(c.Step, c.ErrorNumber, c.BytesBefore);
        QString error;
        EXPECT_FALSE(WriteWholeFile(Q(Target()), QByteArray(10000, 'n'), &error));
        EXPECT_EQ(error.toStdString(), std::strerror(c.ErrorNumber));
        EXPECT_EQ(Contents(Target()), "old contents");
        EXPECT_EQ(Names(Folder()), std::vector<std::string>{"settings.reg"});
        ClearWholeFileFault();
    }
    ASSERT_TRUE(WriteWholeFile(Q(Target()), "new", nullptr));
    EXPECT_EQ(Contents(Target()), "new");
}

TEST_F(WholeFileTest, AMissingFolderOrAFileInItsPlaceIsReported) {
    QString error;
    EXPECT_FALSE(WriteWholeFile(Q(Folder() / "missing" / "x.reg"), "x", &error));
    EXPECT_EQ(error.toStdString(), std::strerror(ENOENT));
    std::ofstream(Folder() / "in-the-way") << "a file where the folder should be";
    EXPECT_FALSE(WriteWholeFile(Q(Folder() / "in-the-way" / "x.reg"), "x", &error));
    EXPECT_EQ(error.toStdString(), std::strerror(ENOTDIR));
    EXPECT_EQ(Contents(Folder() / "in-the-way"), "a file where the folder should be");
}

TEST_F(WholeFileTest, AFolderInPlaceOfTheFileIsNotReplaced) {
    fs::create_directories(Target() / "inside");
    QString error;
    EXPECT_FALSE(WriteWholeFile(Q(Target()), "x", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(fs::is_directory(Target() / "inside"));
    EXPECT_EQ(Names(Folder()), std::vector<std::string>{"settings.reg"});
}

TEST_F(WholeFileTest, ASymbolicLinkStaysALinkAndItsTargetIsReplaced) {
    fs::create_directories(Folder() / "real");
    std::ofstream(Folder() / "real" / "file") << "old";
    fs::create_symlink(Folder() / "real" / "file", Target());
    ASSERT_TRUE(WriteWholeFile(Q(Target()), "new", nullptr));
    EXPECT_TRUE(fs::is_symlink(Target()));
    EXPECT_EQ(Contents(Folder() / "real" / "file"), "new");
}

TEST_F(WholeFileTest, TheReplacementKeepsThePermissions) {
    Store("old");
    fs::permissions(Target(), fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(WriteWholeFile(Q(Target()), "new", nullptr));
    EXPECT_EQ(fs::status(Target()).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

// A real full file system: 64 KiB of tmpfs, the old file fills part of it.
TEST(WholeFileTinyFileSystem, AFullDiskKeepsTheOldFile) {
    if (const auto folder = test::TinyFileSystemFolder()) {
        const fs::path target = fs::path(*folder) / "settings.reg";
        const std::string old(20000, 'o');
        ASSERT_TRUE(WriteWholeFile(Q(target), QByteArray::fromStdString(old), nullptr));
        QString error;
        EXPECT_FALSE(WriteWholeFile(Q(target), QByteArray(200000, 'n'), &error));
        EXPECT_EQ(error.toStdString(), std::strerror(ENOSPC));
        EXPECT_EQ(Contents(target), old);
        EXPECT_EQ(Names(*folder), std::vector<std::string>{"settings.reg"});
        // What fits is still written.
        ASSERT_TRUE(WriteWholeFile(Q(target), QByteArray(30000, 'm'), &error)) << error.toStdString();
        EXPECT_EQ(Contents(target), std::string(30000, 'm'));
        return;
    }
    const test::TinyFileSystemRun run = test::RunInTinyFileSystem(64 * 1024);
    if (!run.Available) GTEST_SKIP() << run.Output;
    EXPECT_TRUE(run.Passed) << run.Output;
}

// A folder that cannot be written even by root: a read-only mount.
TEST(WholeFileTinyFileSystem, AReadOnlyFolderIsReported) {
    if (const auto folder = test::TinyFileSystemFolder()) {
        QString error;
        EXPECT_FALSE(WriteWholeFile(Q(fs::path(*folder) / "settings.reg"), "x", &error));
        EXPECT_EQ(error.toStdString(), std::strerror(EROFS));
        EXPECT_TRUE(fs::is_empty(*folder));
        return;
    }
    const test::TinyFileSystemRun run = test::RunInTinyFileSystem(64 * 1024, true);
    if (!run.Available) GTEST_SKIP() << run.Output;
    EXPECT_TRUE(run.Passed) << run.Output;
}

}  // namespace
}  // namespace telv
