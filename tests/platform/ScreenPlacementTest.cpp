// Tests of keeping stored window positions on the screens there are.
#include "platform/ScreenPlacement.h"

#include <gtest/gtest.h>

using platform::reachablePosition;

TEST(ScreenPlacement, AWindowMostlyOnAScreenStaysWhereItIs)
{
    const QList<QRect> screens = {QRect(0, 0, 1280, 1024)};
    EXPECT_EQ(reachablePosition(QRect(100, 100, 300, 200), screens), QPoint(100, 100));
    // Half off the right edge, and a third off the bottom: still reachable.
    EXPECT_EQ(reachablePosition(QRect(1130, 100, 300, 200), screens), QPoint(1130, 100));
    EXPECT_EQ(reachablePosition(QRect(-10, -10, 300, 200), screens), QPoint(-10, -10));
}

TEST(ScreenPlacement, AWindowOffEveryScreenComesToTheNearestOne)
{
    const QList<QRect> one = {QRect(0, 0, 1280, 1024)};
    // Far right and below: into the bottom-right corner.
    EXPECT_EQ(reachablePosition(QRect(2000, 1333, 338, 298), one), QPoint(1280 - 338, 1024 - 298));
    // A sliver left on screen is not enough.
    EXPECT_EQ(reachablePosition(QRect(1250, 500, 300, 200), one), QPoint(980, 500));
    EXPECT_EQ(reachablePosition(QRect(-5000, -40, 300, 200), one), QPoint(0, 0));

    // Two screens side by side: the one to the right is nearer.
    const QList<QRect> two = {QRect(0, 0, 1280, 1024), QRect(1280, 0, 1920, 1080)};
    EXPECT_EQ(reachablePosition(QRect(4000, 100, 300, 200), two), QPoint(1280 + 1920 - 300, 100));
    // A gap between the screens' areas counts as off-screen.
    EXPECT_EQ(reachablePosition(QRect(1000, 1050, 300, 200), two), QPoint(1280 - 300, 1024 - 200));
}

TEST(ScreenPlacement, AWindowLargerThanTheScreenKeepsItsCornerOnIt)
{
    const QList<QRect> screens = {QRect(0, 0, 800, 600)};
    EXPECT_EQ(reachablePosition(QRect(3000, 3000, 1100, 900), screens), QPoint(0, 0));
}
