// Tests of the main window's remembered size and place, without the window.
#include "viewer/WindowSettings.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using viewer::WindowSettings;

namespace {

class RememberedWindow : public ::testing::Test {
protected:
    void SetUp() override { qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path())); }
    void TearDown() override { qunsetenv("XDG_CONFIG_HOME"); }

    QTemporaryDir dir;
};

} // namespace

TEST_F(RememberedWindow, FirstRunGivesTheDefaultsAndASaveComesBack)
{
    platform::SettingsStore store("Ostrel");
    const WindowSettings first = WindowSettings::load(store, 6);
    EXPECT_EQ(first.sizeIndex, 2);
    EXPECT_EQ(first.left, 0.0F);
    EXPECT_EQ(first.top, 0.0F);

    WindowSettings place;
    place.sizeIndex = 5;
    place.left = 1500.5F;
    place.top = -30.0F;
    EXPECT_TRUE(place.save(store));
    EXPECT_EQ(store.get("size", "index"), "5");
    EXPECT_EQ(store.get("position", "left"), "1500.5");
    EXPECT_EQ(store.get("position", "top"), "-30");
    const WindowSettings again = WindowSettings::load(platform::SettingsStore("Ostrel"), 6);
    EXPECT_EQ(again.sizeIndex, 5);
    EXPECT_EQ(again.left, 1500.5F);
    EXPECT_EQ(again.top, -30.0F);
}

TEST_F(RememberedWindow, ASizeIndexNoMenuHasReadsAsTheDefault)
{
    platform::SettingsStore store("Ostrel");
    for (const char* stored : {"6", "-1", "two", "", "2.5", "99999999999"}) {
        SCOPED_TRACE(stored);
        ASSERT_TRUE(store.save("size", "index", stored));
        EXPECT_EQ(WindowSettings::load(store, 6).sizeIndex, WindowSettings::kDefaultSizeIndex);
    }
    ASSERT_TRUE(store.save("size", "index", "0"));
    EXPECT_EQ(WindowSettings::load(store, 6).sizeIndex, 0);
    EXPECT_EQ(WindowSettings::load(store, 1).sizeIndex, 0);
    ASSERT_TRUE(store.save("size", "index", "3"));
    EXPECT_EQ(WindowSettings::load(store, 3).sizeIndex, WindowSettings::kDefaultSizeIndex);
}
