#include "Registry.h"

#include "TinyFileSystem.h"
#include "WholeFile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <sys/mount.h>

namespace telv {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kKeyPath = "\\Software\\Велартон\\TELV Клиент";

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    fs::path Root() const { return fs::path(dir_.path().toStdString()); }
    fs::path KeyFile() const { return Root() / "HKEY_CURRENT_USER" / "Software" / "Велартон" / "TELV Клиент.reg"; }

    void Store(const std::string& text) const {
        fs::create_directories(KeyFile().parent_path());
        std::ofstream(KeyFile(), std::ios::binary) << text;
    }
    std::string Stored() const {
        std::ifstream in(KeyFile(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<std::string> FilesBesideKey() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(KeyFile().parent_path())) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    QTemporaryDir dir_;
};

TEST_F(RegistryTest, KeyPathMapsToOneFileUnderTheRoot) {
    TRegistry registry(Root());
    EXPECT_EQ(registry.KeyFilePath(kKeyPath), KeyFile());
    EXPECT_EQ(registry.KeyFilePath("Software\\Велартон\\TELV Клиент"), KeyFile());
}

TEST_F(RegistryTest, InvalidKeyPathsAreRefused) {
    TRegistry registry(Root());
    for (const char* path : {"", "\\", "\\Software\\\\X", "\\Software\\X\\", "\\Software\\..\\X", "\\Software\\.",
                             "\\Software\\a/b"}) {
        EXPECT_FALSE(registry.OpenKey(path, true)) << path;
        EXPECT_FALSE(registry.IsOpen()) << path;
    }
    EXPECT_TRUE(fs::is_empty(Root()));
}

TEST_F(RegistryTest, MissingKeyIsCreatedOnlyWhenAsked) {
    TRegistry registry(Root());
    EXPECT_FALSE(registry.OpenKey(kKeyPath, false));
    EXPECT_FALSE(fs::exists(KeyFile()));
    ASSERT_TRUE(registry.OpenKey(kKeyPath, true));
    EXPECT_TRUE(fs::exists(KeyFile()));
    EXPECT_EQ(registry.GetDataType("ServerAddress"), RegDataType::Absent);
    EXPECT_TRUE(registry.CloseKey());
    EXPECT_EQ(Stored(), "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Велартон\\TELV Клиент]\n");
    EXPECT_TRUE(registry.OpenKey(kKeyPath, false));
}

TEST_F(RegistryTest, ValuesKeepTheirTypesAcrossASave) {
    {
        TRegistry registry(Root());
        ASSERT_TRUE(registry.OpenKey(kKeyPath, true));
        EXPECT_TRUE(registry.WriteString("ServerPort", "5100"));
        EXPECT_TRUE(registry.WriteInteger("AutoRequestInterval", 3));
        EXPECT_TRUE(registry.WriteInteger("Negative", -2));
        EXPECT_TRUE(registry.CloseKey());
    }
    TRegistry registry(Root());
    ASSERT_TRUE(registry.OpenKey(kKeyPath, false));
    EXPECT_EQ(registry.GetDataType("ServerPort"), RegDataType::String);
    EXPECT_EQ(registry.ReadString("ServerPort"), "5100");
    EXPECT_EQ(registry.ReadInteger("ServerPort"), std::nullopt);
    EXPECT_EQ(registry.GetDataType("AutoRequestInterval"), RegDataType::Integer);
    EXPECT_EQ(registry.ReadInteger("AutoRequestInterval"), 3);
    EXPECT_EQ(registry.ReadString("AutoRequestInterval"), std::nullopt);
    EXPECT_EQ(registry.ReadInteger("Negative"), -2);
    EXPECT_EQ(registry.ReadInteger("negative"), -2);  // names compare as in the registry
}

TEST_F(RegistryTest, OtherTypesCountAsOtherAndReadAsNothing) {
    Store("[HKEY_CURRENT_USER\\Software\\Велартон\\TELV Клиент]\n\"Server000\"=hex(2):31,00,00,00\n");
    TRegistry registry(Root());
    ASSERT_TRUE(registry.OpenKey(kKeyPath, false));
    EXPECT_EQ(registry.GetDataType("Server000"), RegDataType::Other);
    EXPECT_EQ(registry.ReadString("Server000"), std::nullopt);
    EXPECT_EQ(registry.ReadInteger("Server000"), std::nullopt);
}

TEST_F(RegistryTest, UnknownValuesAndDamagedLinesSurviveASave) {
    const std::string original =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Велартон\\TELV Клиент]\r\n"
        "\"WindowLayout\"=hex:01,02,03\r\n"
        "\"Comment\"=\"kept\"\r\n"
        "\"Broken\"=dword:xyz\r\n";
    Store(original);
    {
        TRegistry registry(Root());
        ASSERT_TRUE(registry.OpenKey(kKeyPath, false));
        EXPECT_TRUE(registry.CloseKey());
    }
    EXPECT_EQ(Stored(), original) << "a key closed without writes is not rewritten";
    {
        TRegistry registry(Root());
        ASSERT_TRUE(registry.OpenKey(kKeyPath, false));
        registry.WriteString("ServerAddress", "10.0.0.1");
        EXPECT_TRUE(registry.CloseKey());
    }
    EXPECT_EQ(Stored(),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\Software\\Велартон\\TELV Клиент]\n"
              "\"WindowLayout\"=hex:01,02,03\n"
              "\"Comment\"=\"kept\"\n"
              "\"Broken\"=dword:xyz\n"
              "\"ServerAddress\"=\"10.0.0.1\"\n");
}

TEST_F(RegistryTest, TwoSavesInARowLeaveOneValidFile) {
    TRegistry registry(Root());
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(registry.OpenKey(kKeyPath, true));
        registry.WriteInteger("Round", round);
        registry.WriteString("Text", "value " + std::to_string(round));
        EXPECT_TRUE(registry.CloseKey());
    }
    EXPECT_EQ(FilesBesideKey(), std::vector<std::string>{"TELV Клиент.reg"});
    ASSERT_TRUE(registry.OpenKey(kKeyPath, false));
    EXPECT_EQ(registry.ReadInteger("Round"), 1);
    EXPECT_EQ(registry.ReadString("Text"), "value 1");
    EXPECT_EQ(registry.GetValueNames(), (std::vector<std::string>{"Round", "Text"}));
}

TEST_F(RegistryTest, DestructorWritesAnOpenKey) {
    {
        TRegistry registry(Root());
        ASSERT_TRUE(registry.OpenKey(kKeyPath, true));
        registry.WriteInteger("AutoRequest", 1);
    }
    TRegistry registry(Root());
    ASSERT_TRUE(registry.OpenKey(kKeyPath, false));
    EXPECT_EQ(registry.ReadInteger("AutoRequest"), 1);
}

TEST_F(RegistryTest, OpeningAnotherKeyClosesTheFirst) {
    TRegistry registry(Root());
    ASSERT_TRUE(registry.OpenKey(kKeyPath, true));
    registry.WriteInteger("A", 1);
    ASSERT_TRUE(registry.OpenKey("\\Software\\Other", true));
    EXPECT_EQ(registry.GetDataType("A"), RegDataType::Absent);
    ASSERT_TRUE(registry.OpenKey(kKeyPath, false));
    EXPECT_EQ(registry.ReadInteger("A"), 1);
}

TEST_F(RegistryTest, NoKeyOpenMeansNothingToReadOrWrite) {
    TRegistry registry(Root());
    EXPECT_EQ(registry.GetDataType("A"), RegDataType::Absent);
    EXPECT_EQ(registry.ReadString("A"), std::nullopt);
    EXPECT_FALSE(registry.WriteString("A", "x"));
    EXPECT_FALSE(registry.WriteInteger("A", 1));
    EXPECT_TRUE(registry.GetValueNames().empty());
    EXPECT_TRUE(registry.CloseKey());
}

TEST_F(RegistryTest, UnreadableKeyDoesNotOpenAndIsLeftAlone) {
    fs::create_directories(KeyFile());  // a folder where the key's file should be
    TRegistry registry(Root());
    EXPECT_FALSE(registry.OpenKey(kKeyPath, true));
    EXPECT_TRUE(fs::is_directory(KeyFile()));
}

TEST_F(RegistryTest, FailedWriteReportsAndKeepsTheOldFile) {
    Store("[HKEY_CURRENT_USER\\Software\\Велартон\\TELV Клиент]\n\"A\"=\"old\"\n");
    TRegistry registry(Root());
    ASSERT_TRUE(registry.OpenKey(kKeyPath, false));
    registry.WriteString("A", "new");
    // The key's folder turns into a file: the new file cannot be written beside the old one.
    const fs::path folder = KeyFile().parent_path();
    const fs::path moved = Root() / "moved";
    fs::rename(folder, moved);
    std::ofstream(folder) << "in the way";
    EXPECT_FALSE(registry.CloseKey());
    EXPECT_FALSE(registry.IsOpen());
    std::ifstream in(moved / "TELV Клиент.reg");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
              "[HKEY_CURRENT_USER\\Software\\Велартон\\TELV Клиент]\n\"A\"=\"old\"\n");
}

// A write that fails at any step (a full disk, an error at flush) leaves the old file as it
// was, and the store says why.
TEST_F(RegistryTest, AFailedWriteKeepsTheOldFileAndSaysWhy) {
    const std::string original = "[HKEY_CURRENT_USER\\Software\\Велартон\\TELV Клиент]\n\"A\"=\"old\"\n";
    const struct {
        WholeFileStep step;
        int error;
        std::size_t bytesBefore;
    } cases[] = {{WholeFileStep::Write, ENOSPC, 40}, {WholeFileStep::Write, EDQUOT, 0},
                 {WholeFileStep::Sync, EIO, 0},      {WholeFileStep::Open, EACCES, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::strerror(c.error));
        Store(original);
        TRegistry registry(Root());
        ASSERT_TRUE(registry.OpenKey(kKeyPath, false));
        registry.WriteString("A", std::string(1000, 'n'));
        InjectWholeFileFault(c.step, c.error, c.bytesBefore);
        EXPECT_FALSE(registry.CloseKey());
        ClearWholeFileFault();
        EXPECT_EQ(registry.LastError(), std::strerror(c.error));
        EXPECT_EQ(Stored(), original);
        EXPECT_EQ(FilesBesideKey(), std::vector<std::string>{"TELV Клиент.reg"});
        // The store reads the file as it is, not what failed to be written.
        ASSERT_TRUE(registry.OpenKey(kKeyPath, false));
        EXPECT_EQ(registry.ReadString("A"), "old");
        EXPECT_TRUE(registry.LastError().empty());
    }
}

TEST_F(RegistryTest, AKeyThatCannotBeCreatedSaysWhy) {
    std::ofstream(Root() / "HKEY_CURRENT_USER") << "a file where the folder should be";
    TRegistry registry(Root());
    EXPECT_FALSE(registry.OpenKey(kKeyPath, true));
    EXPECT_EQ(registry.LastError(), std::strerror(ENOTDIR));
}

// A file from another system (CP1251 names and values, UTF-16) is written back in UTF-8 with
// every value it held.
TEST_F(RegistryTest, AForeignFileIsWrittenBackInUtf8WithEveryValue) {
    Store("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\\xC2\xE5\xEB\xE0\xF0\xF2\xEE\xED\\TELV \xCA\xEB\xE8\xE5\xED\xF2]\r\n"
          "\"ServerAddress\"=\"\xF1\xE5\xF0\xE2\xE5\xF0\"\r\n"
          "\"\xC0\xE4\xF0\xE5\xF1\"=\"1\"\r\n\"\xCF\xEE\xF0\xF2\xFB\"=\"2\"\r\n");
    {
        TRegistry registry(Root());
        ASSERT_TRUE(registry.OpenKey(kKeyPath, false));
        EXPECT_EQ(registry.ReadString("ServerAddress"), "сервер");
        registry.WriteInteger("AutoRequest", 1);
        ASSERT_TRUE(registry.CloseKey());
    }
    EXPECT_EQ(Stored(),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\Software\\Велартон\\TELV Клиент]\n"
              "\"ServerAddress\"=\"сервер\"\n\"Адрес\"=\"1\"\n\"Порты\"=\"2\"\n\"AutoRequest\"=dword:00000001\n");
}

// The key is kept between uses while its file is unchanged; a file changed by someone else (a
// second copy of the program) is read again.
TEST_F(RegistryTest, AKeyChangedOnDiskIsReadAgain) {
    Store("[HKEY_CURRENT_USER\\Software\\Велартон\\TELV Клиент]\n\"A\"=\"first\"\n");
    fs::last_write_time(KeyFile(), fs::last_write_time(KeyFile()) - std::chrono::hours(1));
    TRegistry registry(Root());
    ASSERT_TRUE(registry.OpenKey(kKeyPath, false));
    EXPECT_EQ(registry.ReadString("A"), "first");
    ASSERT_TRUE(registry.CloseKey());
    {
        TRegistry other(Root());
        ASSERT_TRUE(other.OpenKey(kKeyPath, false));
        other.WriteString("A", "second");
        ASSERT_TRUE(other.CloseKey());
    }
    ASSERT_TRUE(registry.OpenKey(kKeyPath, false));
    EXPECT_EQ(registry.ReadString("A"), "second");
    ASSERT_TRUE(registry.CloseKey());
    // Changed in place (same file), with another size.
    Store("[HKEY_CURRENT_USER\\Software\\Велартон\\TELV Клиент]\n\"A\"=\"third\"\n");
    ASSERT_TRUE(registry.OpenKey(kKeyPath, false));
    EXPECT_EQ(registry.ReadString("A"), "third");
}

// A key read without some of its values is for reading only: nothing of it is written, so the
// values left out stay in the file; it never stands in for the whole key afterwards.
TEST_F(RegistryTest, AKeyReadWithoutSomeValuesIsNeverWritten) {
    const std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Велартон\\TELV Клиент]\n"
                             "\"A\"=\"1\"\n\"Big\"=\"left out\"\n";
    Store(text);
    fs::last_write_time(KeyFile(), fs::last_write_time(KeyFile()) - std::chrono::hours(1));  // kept between uses
    TRegistry registry(Root());
    registry.SetSkippedValues([](std::string_view name) { return name == "Big"; });
    for (int pass = 0; pass < 2; ++pass) {  // read from the file, then from the key kept
        ASSERT_TRUE(registry.OpenKey(kKeyPath, true));
        EXPECT_TRUE(registry.IsPartlyRead());
        EXPECT_EQ(registry.ReadString("A"), "1");
        EXPECT_EQ(registry.GetDataType("Big"), RegDataType::Absent);
        EXPECT_FALSE(registry.WriteString("A", "2"));
        EXPECT_FALSE(registry.WriteString("New", "3"));
        EXPECT_TRUE(registry.CloseKey());
        EXPECT_EQ(Stored(), text);
    }
    registry.SetSkippedValues(nullptr);
    ASSERT_TRUE(registry.OpenKey(kKeyPath, false));
    EXPECT_FALSE(registry.IsPartlyRead());
    EXPECT_EQ(registry.ReadString("Big"), "left out");
    ASSERT_TRUE(registry.CloseKey());
    // The key kept whole serves a reading that leaves values out, still for reading only.
    registry.SetSkippedValues([](std::string_view name) { return name == "Big"; });
    ASSERT_TRUE(registry.OpenKey(kKeyPath, false));
    EXPECT_FALSE(registry.IsPartlyRead());
    EXPECT_EQ(registry.ReadString("Big"), "left out");
    EXPECT_FALSE(registry.WriteString("A", "3"));
    ASSERT_TRUE(registry.CloseKey());
    EXPECT_EQ(Stored(), text);
    registry.SetSkippedValues(nullptr);
    ASSERT_TRUE(registry.OpenKey(kKeyPath, false));
    EXPECT_TRUE(registry.WriteString("A", "2"));
    ASSERT_TRUE(registry.CloseKey());
    EXPECT_NE(Stored().find("\"Big\"=\"left out\""), std::string::npos);
    EXPECT_NE(Stored().find("\"A\"=\"2\""), std::string::npos);
}

// A partial reading of a key larger than the pieces it is read in: values between and after
// the lines left out, some of them split across pieces, read as a whole reading reads them.
TEST_F(RegistryTest, APartialReadingOfALargeKeyReadsTheOtherValuesWhole) {
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Велартон\\TELV Клиент]\r\n";
    for (int i = 0; i < 40000; ++i) {
        text += "\"Big" + std::to_string(i) + "\"=\"" + std::string(static_cast<std::size_t>(i % 13), 'x') + "\"\r\n";
        if (i % 997 == 0) text += "\"Value" + std::to_string(i) + "\"=dword:" + std::to_string(i % 10) + "\r\n";
    }
    text += "\"Last\"=\"\xE2\xE5\xEB\"";  // CP1251, without a line end
    Store(text);
    TRegistry registry(Root());
    ASSERT_TRUE(registry.OpenKey(kKeyPath, false));
    const std::vector<std::string> all = registry.GetValueNames();
    ASSERT_GT(fs::file_size(KeyFile()), std::uintmax_t{512} << 10);
    registry.SetSkippedValues([](std::string_view name) { return name.starts_with("Big"); });
    fs::last_write_time(KeyFile(), fs::last_write_time(KeyFile()) - std::chrono::hours(1));  // not the key kept
    ASSERT_TRUE(registry.OpenKey(kKeyPath, false));
    ASSERT_TRUE(registry.IsPartlyRead());
    std::vector<std::string> expected;
    std::copy_if(all.begin(), all.end(), std::back_inserter(expected), [](const std::string& name) { return !name.starts_with("Big"); });
    EXPECT_EQ(registry.GetValueNames(), expected);
    EXPECT_EQ(expected.size(), 42u);
    EXPECT_EQ(registry.ReadInteger("Value38883"), 3);
    EXPECT_EQ(registry.ReadString("Last"), "вел");
}

// A real full disk: the key's folder on a 64 KiB file system that the rest of the data fills.
TEST(RegistryTinyFileSystem, AFullDiskKeepsTheKeyFile) {
    if (const auto folder = test::TinyFileSystemFolder()) {
        const fs::path root = fs::path(*folder) / "registry";
        TRegistry registry(root);
        ASSERT_TRUE(registry.OpenKey(kKeyPath, true));
        for (int i = 0; i < 100; ++i) registry.WriteString("Server" + std::to_string(i), "gateway.example.net");
        ASSERT_TRUE(registry.CloseKey());
        const fs::path keyFile = *registry.KeyFilePath(kKeyPath);
        std::ifstream in(keyFile, std::ios::binary);
        const std::string original(std::istreambuf_iterator<char>(in), {});
        {
            std::ofstream filler(fs::path(*folder) / "filler", std::ios::binary);
            const std::string block(4096, 'f');
            while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {
            }
        }
        ASSERT_TRUE(registry.OpenKey(kKeyPath, false));
        registry.WriteString("AutoRequestInterval", "changed");
        EXPECT_FALSE(registry.CloseKey());
        EXPECT_EQ(registry.LastError(), std::strerror(ENOSPC));
        std::ifstream again(keyFile, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(again), {}), original);
        return;
    }
    const test::TinyFileSystemRun run = test::RunInTinyFileSystem(64 * 1024);
    if (!run.Available) GTEST_SKIP() << run.Output;
    EXPECT_TRUE(run.Passed) << run.Output;
}

// A folder that cannot be written, even by root: the file system is mounted read-only after the
// key was stored.
TEST(RegistryTinyFileSystem, AReadOnlyFolderKeepsTheKeyFile) {
    if (const auto folder = test::TinyFileSystemFolder()) {
        const fs::path root = fs::path(*folder) / "registry";
        TRegistry registry(root);
        ASSERT_TRUE(registry.OpenKey(kKeyPath, true));
        registry.WriteString("A", "stored");
        ASSERT_TRUE(registry.CloseKey());
        ASSERT_EQ(::mount(nullptr, folder->c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0) << std::strerror(errno);
        ASSERT_TRUE(registry.OpenKey(kKeyPath, false));
        EXPECT_EQ(registry.ReadString("A"), "stored");
        registry.WriteString("A", "changed");
        EXPECT_FALSE(registry.CloseKey());
        EXPECT_EQ(registry.LastError(), std::strerror(EROFS));
        EXPECT_FALSE(registry.OpenKey("\\Software\\Other", true));
        EXPECT_EQ(registry.LastError(), std::strerror(EROFS));
        ASSERT_TRUE(registry.OpenKey(kKeyPath, false));
        EXPECT_EQ(registry.ReadString("A"), "stored");
        return;
    }
    const test::TinyFileSystemRun run = test::RunInTinyFileSystem(64 * 1024);
    if (!run.Available) GTEST_SKIP() << run.Output;
    EXPECT_TRUE(run.Passed) << run.Output;
}

TEST(RegistryDefaultRoot, LiesInTheProgramsOwnConfigFolder) {
    const fs::path root = TRegistry::DefaultRootDirectory();
    EXPECT_EQ(root.filename(), "registry");
    EXPECT_EQ(root.parent_path().filename(), "telv-console");
}

}  // namespace
}  // namespace telv
