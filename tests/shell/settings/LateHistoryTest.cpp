// The history of a large settings file read after the start: connections made before it came
// are saved onto it at once and applied to it when it comes, in order, nothing of it lost.
#include "LateHistory.h"

#include "ClientSettings.h"
#include "Registry.h"
#include "SettingsWriter.h"
#include "TestApplication.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace telv {
namespace {

namespace fs = std::filesystem;

constexpr int kEntries = 6;

// Options, and a history of gw-0 .. gw-5 with ports 6000 .. 6005.
std::string StoredText() {
    std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Велартон\\TELV Клиент]\n"
                       "\"ServerAddress\"=\"gw-0\"\n\"ServerPort\"=\"6000\"\n\"AutoRequestInterval\"=dword:00000007\n"
                       "\"ServerListCount\"=dword:00000006\n";
    for (int i = 0; i < kEntries; ++i) {
        text += "\"" + HistoryServerName(i) + "\"=\"gw-" + std::to_string(i) + "\"\n";
        text += "\"" + HistoryPortName(i) + "\"=dword:0000" + std::to_string(1770 + i) + "\n";  // 0x1770 = 6000
    }
    return text;
}

ServerList StoredHistory() {
    ServerList history;
    for (int i = 0; i < kEntries; ++i)
        history.push_back({"gw-" + std::to_string(i), static_cast<std::uint16_t>(6000 + i)});
    return history;
}

// Holds the writer's thread in a job until released (at the latest when the hold goes).
class Hold {
public:
    explicit Hold(SettingsWriter& writer) : reached_(state_->Reached.get_future()) {
        writer.Post(SettingsWriter::Kind::Reconnect, [state = state_](TRegistry&) {
            state->Reached.set_value();
            state->Released.wait();
            return true;
        });
    }
    ~Hold() { Release(); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    void WaitReached() { reached_.wait(); }
    void Release() {
        if (!std::exchange(released_, true)) release_.set_value();
    }

private:
    struct State {
        std::promise<void> Reached;
        std::shared_future<void> Released;
    };
    std::promise<void> release_;
    std::shared_ptr<State> state_ = std::make_shared<State>(State{{}, release_.get_future().share()});
    std::future<void> reached_;
    bool released_ = false;
};

class LateHistoryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::EnsureApplication("shell_settings_tests"); }
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        fs::create_directories(KeyFile().parent_path());
        std::ofstream(KeyFile(), std::ios::binary) << StoredText();
        writer_ = std::make_unique<SettingsWriter>(std::make_unique<TRegistry>(Root()),
                                                   [this](const SettingsWriter::Result& result) {
                                                       if (!result.Saved) failures_.push_back(result.Reason);
                                                   });
    }

    fs::path Root() const { return fs::path(dir_.path().toStdString()); }
    fs::path KeyFile() const { return *TRegistry(Root()).KeyFilePath(kSettingsKeyPath); }
    std::string Stored() const {
        std::ifstream in(KeyFile(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    ClientSettings ReadBack() const {
        TRegistry registry(Root());
        return ReadClientSettings(registry);
    }
    std::unique_ptr<LateHistory> Start() {
        return std::make_unique<LateHistory>(*writer_, [this](ServerList history) { arrived_ = std::move(history); });
    }

    QTemporaryDir dir_;
    std::unique_ptr<SettingsWriter> writer_;
    std::optional<ServerList> arrived_;
    std::vector<std::string> failures_;
};

TEST_F(LateHistoryTest, ArrivesAsStoredAndLeavesTheFileAlone) {
    const std::unique_ptr<LateHistory> late = Start();
    EXPECT_TRUE(late->Pending());
    writer_->Flush();
    EXPECT_FALSE(late->Pending());
    EXPECT_EQ(arrived_, StoredHistory());
    EXPECT_EQ(Stored(), StoredText());
}

TEST_F(LateHistoryTest, ConnectionsBeforeItArriveGoInFrontInOrder) {
    Hold hold(*writer_);
    const std::unique_ptr<LateHistory> late = Start();
    late->Connected("new", "7000", 7000);
    late->Connected("gw-3", "6103", 6103);
    hold.Release();
    writer_->Flush();

    ServerList expected = StoredHistory();
    AddServer(expected, "new", 7000);
    AddServer(expected, "gw-3", 6103);
    EXPECT_EQ(arrived_, expected);
    const ClientSettings stored = ReadBack();
    EXPECT_EQ(stored.History, expected);
    EXPECT_EQ(stored.ServerAddress, "gw-3");
    EXPECT_EQ(stored.ServerPort, "6103");
    EXPECT_EQ(stored.AutoRequestInterval, 7);
    EXPECT_TRUE(failures_.empty());
}

// The first connection's save has run when the second is made: the second save applies both
// again to a history that holds the first, with the same result.
TEST_F(LateHistoryTest, ASecondConnectionAfterTheFirstWasSavedKeepsBoth) {
    const std::unique_ptr<LateHistory> late = Start();
    late->Connected("gw-5", "6105", 6105);
    Hold afterFirst(*writer_);
    afterFirst.WaitReached();
    ServerList expected = StoredHistory();
    AddServer(expected, "gw-5", 6105);
    EXPECT_EQ(ReadBack().History, expected);
    ASSERT_TRUE(late->Pending());  // not handed over while the loop has not run

    late->Connected("new", "7000", 7000);
    afterFirst.Release();
    writer_->Flush();
    AddServer(expected, "new", 7000);
    EXPECT_EQ(arrived_, expected);
    EXPECT_EQ(ReadBack().History, expected);
    EXPECT_TRUE(failures_.empty());
}

TEST(ApplyConnections, PutsEachInFrontOnceOldestFirst) {
    ServerList history = {{"a", 1}, {"b", 2}, {"c", 3}};
    ApplyConnections(history, {{"c", 30}, {"x", 40}, {"a", 10}, {"c", 31}});
    EXPECT_EQ(history, (ServerList{{"c", 31}, {"a", 10}, {"x", 40}, {"b", 2}}));
}

}  // namespace
}  // namespace telv
