// The stored window layout: its value texts, damaged values, and that it leaves the console's
// other settings alone.
#include "WindowLayout.h"

#include "ClientSettings.h"
#include "Registry.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace telv {
namespace {

namespace fs = std::filesystem;

constexpr WindowShape kShape{7, 5, 2, 2};

TEST(WindowLayout, ColumnTexts) {
    using Columns = std::vector<ColumnLayout>;
    const struct {
        const char* text;
        std::optional<Columns> columns;
    } cases[] = {
        {"0:100,1:80,2:120", Columns{{0, 100}, {1, 80}, {2, 120}}},
        {"2:5,0:1,1:10000", Columns{{2, 5}, {0, 1}, {1, 10000}}},  // moved columns
        {"", std::nullopt},
        {"0:100,1:80", std::nullopt},             // a column missing
        {"0:100,1:80,2:120,3:9", std::nullopt},  // one too many
        {"0:100,0:80,2:120", std::nullopt},       // a column twice
        {"0:100,1:80,3:120", std::nullopt},       // no such column
        {"0:0,1:80,2:120", std::nullopt},         // zero width
        {"0:100,1:10001,2:120", std::nullopt},
        {"0:-5,1:80,2:120", std::nullopt},
        {"0:100,1:80,2:", std::nullopt},
        {"0:100,1:80,,2:120", std::nullopt},
        {"0 :100,1:80,2:120", std::nullopt},
        {"0:100;1:80;2:120", std::nullopt},
        {"0:99999999999,1:80,2:120", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseColumns(c.text, 3), c.columns) << c.text;
        if (c.columns) {
            EXPECT_EQ(FormatColumns(*c.columns), c.text);
        }
    }
}

TEST(WindowLayout, SplitTexts) {
    EXPECT_EQ(ParseSizes("338,86", 2), (std::vector<int>{338, 86}));
    EXPECT_EQ(ParseSizes("0,86", 2), (std::vector<int>{0, 86}));  // a collapsed part
    for (const char* damaged : {"", "0,0", "338", "338,86,1", "338,-86", "a,b", "338,100001", "338,"})
        EXPECT_EQ(ParseSizes(damaged, 2), std::nullopt) << damaged;
    EXPECT_EQ(FormatSizes({338, 86}), "338,86");
}

TEST(WindowLayout, PlaceTexts) {
    const struct {
        const char* text;
        std::optional<WindowPlace> place;
    } cases[] = {
        {"120,80,785,489,0", WindowPlace{120, 80, 785, 489, false}},
        {"-1920,-30,1024,768,1", WindowPlace{-1920, -30, 1024, 768, true}},  // a screen left of the primary
        {"0,0,1,1,0", WindowPlace{0, 0, 1, 1, false}},
        {"100000,-100000,100000,100000,0", WindowPlace{100000, -100000, 100000, 100000, false}},
        {"", std::nullopt},
        {"120,80,785,489", std::nullopt},
        {"120,80,785,489,0,0", std::nullopt},
        {"120,80,785,489,2", std::nullopt},
        {"120,80,0,489,0", std::nullopt},
        {"120,80,785,-489,0", std::nullopt},
        {"100001,80,785,489,0", std::nullopt},
        {"120,80,785,100001,0", std::nullopt},
        {"120,--80,785,489,0", std::nullopt},
        {"120,-,785,489,0", std::nullopt},
        {"120, 80,785,489,0", std::nullopt},
        {"AdnQywADAAAAAAAA", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParsePlace(c.text), c.place) << c.text;
        if (c.place) {
            EXPECT_EQ(FormatPlace(*c.place), c.text);
        }
    }
}

class WindowLayoutStore : public ::testing::Test {
protected:
    fs::path KeyFile() const { return *registry.KeyFilePath(kSettingsKeyPath); }
    void Store(const std::string& values) const {
        fs::create_directories(KeyFile().parent_path());
        std::ofstream(KeyFile(), std::ios::binary)
            << "[HKEY_CURRENT_USER\\Software\\Велартон\\TELV Клиент]\n" + values;
    }
    QTemporaryDir dir;
    TRegistry registry{fs::path(dir.path().toStdString())};
};

TEST_F(WindowLayoutStore, RoundTripBesideTheOtherSettings) {
    Store("\"ServerAddress\"=\"10.1.1.1\"\n\"AutoRequestInterval\"=dword:00000007\n");
    WindowLayout layout;
    layout.ChanelColumns = {{1, 90}, {0, 110}, {2, 120}, {3, 100}, {4, 100}, {5, 100}, {6, 150}};
    layout.ClientColumns = {{0, 180}, {1, 120}, {2, 100}, {3, 150}, {4, 220}};
    layout.SplitterSizes = {300, 120};
    layout.ActiveTab = 1;
    layout.WindowGeometry = "AdnQywADAAAAAAAA";
    ASSERT_TRUE(SaveWindowLayout(registry, layout));
    EXPECT_EQ(ReadWindowLayout(registry, kShape), layout);
    const ClientSettings settings = ReadClientSettings(registry);
    EXPECT_EQ(settings.ServerAddress, "10.1.1.1");
    EXPECT_EQ(settings.AutoRequestInterval, 7);
}

TEST_F(WindowLayoutStore, AbsentAndDamagedValuesReadAsNotStoredEachByItself) {
    EXPECT_EQ(ReadWindowLayout(registry, kShape), WindowLayout{});
    Store("\"ChanelColumns\"=\"0:100,1:100\"\n"
          "\"ClientColumns\"=\"4:220,3:150,2:100,1:120,0:180\"\n"
          "\"SplitterSizes\"=dword:00000010\n"
          "\"ActiveTab\"=dword:00000002\n"
          "\"WindowGeometry\"=\"not base64!\"\n");
    WindowLayout expected;
    expected.ClientColumns = {{4, 220}, {3, 150}, {2, 100}, {1, 120}, {0, 180}};
    EXPECT_EQ(ReadWindowLayout(registry, kShape), expected);
    Store("\"ActiveTab\"=\"1\"\n\"SplitterSizes\"=\"338,86\"\n");  // a number stored as text
    expected = {};
    expected.SplitterSizes = {338, 86};
    EXPECT_EQ(ReadWindowLayout(registry, kShape), expected);
}

// The place supersedes the geometry record of earlier versions.
TEST_F(WindowLayoutStore, PlaceIsReadBeforeTheEarlierGeometryRecord) {
    Store("\"WindowGeometry\"=\"AdnQywADAAAAAAAA\"\n");
    EXPECT_EQ(ReadWindowLayout(registry, kShape).WindowGeometry, "AdnQywADAAAAAAAA");
    WindowLayout layout;
    layout.Place = WindowPlace{-5, 0, 900, 560, true};
    ASSERT_TRUE(SaveWindowLayout(registry, layout));
    const WindowLayout read = ReadWindowLayout(registry, kShape);
    EXPECT_EQ(read.Place, layout.Place);
    EXPECT_TRUE(read.WindowGeometry.empty());
}

TEST_F(WindowLayoutStore, UnsetMembersAreNotWritten) {
    Store("\"ActiveTab\"=dword:00000001\n");
    ASSERT_TRUE(SaveWindowLayout(registry, WindowLayout{}));
    EXPECT_EQ(ReadWindowLayout(registry, kShape).ActiveTab, 1);
}

// A layout stored before the rate column existed keeps its columns; the new one comes last with
// its built-in width. The hidden columns are kept beside, and an empty set is stored too.
TEST_F(WindowLayoutStore, LayoutOfFewerColumnsAndHiddenColumns) {
    const WindowShape shape{8, 6, 2, 3, 1, 1};
    Store("\"ChanelColumns\"=\"1:90,0:110,2:120,3:100,4:100,5:100,6:150\"\n"
          "\"ClientColumns\"=\"0:180,1:120\"\n"
          "\"ChanelHiddenColumns\"=\"7,3\"\n"
          "\"ClientHiddenColumns\"=\"6\"\n");
    const WindowLayout read = ReadWindowLayout(registry, shape);
    EXPECT_EQ(read.ChanelColumns,
              (std::vector<ColumnLayout>{{1, 90}, {0, 110}, {2, 120}, {3, 100}, {4, 100}, {5, 100}, {6, 150}, {7, 0}}));
    EXPECT_TRUE(read.ClientColumns.empty());  // neither all six nor the five of before
    EXPECT_EQ(read.ChanelHidden, (std::vector<int>{7, 3}));
    EXPECT_EQ(read.ClientHidden, std::nullopt);  // no such column: not stored

    WindowLayout layout;
    layout.ChanelHidden = std::vector<int>{};
    layout.ClientHidden = std::vector<int>{5};
    ASSERT_TRUE(SaveWindowLayout(registry, layout));
    EXPECT_EQ(ReadWindowLayout(registry, shape).ChanelHidden, std::vector<int>{});
    EXPECT_EQ(ReadWindowLayout(registry, shape).ClientHidden, std::vector<int>{5});
    for (const char* damaged : {"7,7", "8", "a", "7,", "-1"})
        EXPECT_EQ(ParseColumnSet(damaged, 8), std::nullopt) << damaged;
}

}  // namespace
}  // namespace telv
