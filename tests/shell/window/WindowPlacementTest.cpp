// Where the window first appears, for screens side by side: the stored place while enough of
// it lies on a screen, otherwise centred.
#include "WindowPlacement.h"

#include <gtest/gtest.h>

namespace telv {
namespace {

// A 1280 × 1024 primary screen with a 30-pixel panel at the top, and a 1920 × 1080 screen to
// its right.
const ScreenAreas kScreens{QRect(0, 30, 1280, 994), QRect(0, 30, 1280, 994),
                           {QRect(0, 0, 1280, 1024), QRect(1280, 0, 1920, 1080)}};

TEST(WindowPlacement, StoredPlaceIsKeptWhileItsTopLiesOnAScreen) {
    const struct {
        QRect stored;
        bool kept;
    } cases[] = {
        {QRect(100, 80, 785, 489), true},
        {QRect(0, 0, 785, 489), true},           // the very corner
        {QRect(2000, 300, 900, 600), true},      // on the second screen
        {QRect(1000, 500, 785, 489), true},      // across both
        {QRect(-685, 100, 785, 489), true},      // 100 pixels of it on the screen
        {QRect(-686, 100, 785, 489), false},     // 99
        {QRect(3100, 100, 785, 489), true},      // 100 pixels on the second screen
        {QRect(100, 974, 785, 489), true},       // its top 50 pixels above the bottom edge
        {QRect(100, 975, 785, 489), false},      // 49
        {QRect(100, -1, 785, 489), false},       // its top above the screen
        {QRect(100, 1040, 785, 489), false},     // below the primary screen
        {QRect(5000, 5000, 785, 489), false},
        {QRect(1250, 1040, 40, 30), false},      // a small window mostly beside the second screen
        {QRect(1200, 500, 40, 30), true},        // a small window wholly on a screen
    };
    for (const auto& c : cases) {
        const QRect placed = InitialInterior(c.stored, QSize(785, 489), kScreens);
        if (c.kept) {
            EXPECT_EQ(placed, c.stored) << c.stored.x() << "," << c.stored.y();
        } else {
            EXPECT_EQ(placed.size(), c.stored.size()) << c.stored.x() << "," << c.stored.y();
            EXPECT_EQ(placed.center(), kScreens.Primary.center()) << c.stored.x() << "," << c.stored.y();
        }
    }
}

TEST(WindowPlacement, CentredOnTheHomeScreenWhenNothingIsStored) {
    EXPECT_EQ(InitialInterior(std::nullopt, QSize(785, 489), kScreens), QRect(247, 282, 785, 489));
    ScreenAreas second = kScreens;
    second.Home = QRect(1280, 0, 1920, 1040);
    EXPECT_EQ(InitialInterior(std::nullopt, QSize(785, 489), second), QRect(1847, 275, 785, 489));
    // No bigger than the screen.
    EXPECT_EQ(InitialInterior(std::nullopt, QSize(2000, 2000), kScreens), kScreens.Home);
    EXPECT_EQ(InitialInterior(QRect(9000, 0, 3000, 3000), QSize(785, 489), kScreens), kScreens.Primary);
}

}  // namespace
}  // namespace telv
