// Tests of the saved profiles without the panel: names in use order, the save rule, defaults, delete.
#include "profiles/ProfileStore.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using profiles::ProfileStore;

namespace {

class ProfileFile : public ::testing::Test {
protected:
    void SetUp() override { qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path())); }
    void TearDown() override { qunsetenv("XDG_CONFIG_HOME"); }

    QByteArray file() const
    {
        QFile f(dir.filePath("Ostrel/settings.conf"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(ProfileFile, SavingMovesTheNameLastAndKeepsOneEntryPerName)
{
    ProfileStore store{platform::SettingsStore("Ostrel")};
    EXPECT_TRUE(store.names().isEmpty());
    EXPECT_TRUE(store.save({"Garden", "cam1", "8081"}));
    EXPECT_TRUE(store.save({"Porch", "cam2", "80"}));
    EXPECT_EQ(store.names(), QStringList({"Garden", "Porch"}));
    // Used again with a new port: one entry, now the most recent.
    EXPECT_TRUE(store.save({"Garden", "cam1", "9000"}));
    EXPECT_EQ(store.names(), QStringList({"Porch", "Garden"}));
    EXPECT_EQ(store.load("Garden").port, "9000");
    EXPECT_TRUE(file().contains("[name]\nPorch=Porch\nGarden=Garden\n")) << file().toStdString();
    // A second store over the same file sees the same profiles.
    const ProfileStore other{platform::SettingsStore("Ostrel")};
    EXPECT_EQ(other.names(), store.names());
    EXPECT_EQ(other.load("Porch").host, "cam2");
}

TEST_F(ProfileFile, MissingValuesReadAsDefaultsAndDeleteForgetsAll)
{
    platform::SettingsStore settings("Ostrel");
    ASSERT_TRUE(settings.save("name", "Bare", "Bare")); // a profile an editor left without host or port
    ProfileStore store{settings};
    EXPECT_TRUE(store.contains("Bare"));
    EXPECT_FALSE(store.contains("Other"));
    const profiles::Connection bare = store.load("Bare");
    EXPECT_EQ(bare.name, "Bare");
    EXPECT_EQ(bare.host, "");
    EXPECT_EQ(bare.port, ProfileStore::defaultPort());
    EXPECT_EQ(ProfileStore::defaultPort(), "8081");

    ASSERT_TRUE(store.save({"Garden", "cam1", "80"}));
    EXPECT_TRUE(store.remove("Garden"));
    EXPECT_EQ(store.names(), QStringList{"Bare"});
    EXPECT_FALSE(store.settings().section("Garden"));
    EXPECT_EQ(store.load("Garden").host, "");
}
