// Tests of the settings store: format, locking, kept changes, files an editor made.
#include "platform/SettingsStore.h"

#include "support/Files.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <QTest>
#include <csignal>
#include <gtest/gtest.h>

using platform::SettingsStore;

namespace {

// Each test keeps its settings in a folder of its own.
class Settings : public ::testing::Test {
protected:
    void SetUp() override { qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path())); }
    void TearDown() override { qunsetenv("XDG_CONFIG_HOME"); }

    std::vector<QString> keys(const SettingsStore& store, const QString& section)
    {
        std::vector<QString> result;
        if (const auto pairs = store.section(section))
            for (const auto& [key, value] : *pairs)
                result.push_back(key);
        return result;
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(Settings, AnyTextComesBackUnchanged)
{
    SettingsStore store("Ostrel");
    EXPECT_TRUE(store.path().startsWith(dir.path() + "/Ostrel/"));
    const QString texts[] = {"plain",       "with ] bracket", "[section]",    "a=b=c",         "line\nbreak\r\n",
                             "back\\slash", "#hash",          "ünïcødé 東京", "path/to\\file", "",
                             " spaced  ",   "\\n literally",  "x\\"};
    for (const QString& a : texts)
        for (const QString& b : {QString("k"), QString("=")})
            ASSERT_TRUE(store.save(a, b + a, a + "=" + b));
    SettingsStore again("Ostrel");
    for (const QString& a : texts) {
        EXPECT_EQ(again.get(a, "k" + a), a + "=k") << a.toStdString();
        EXPECT_EQ(again.get(a, "=" + a), a + "==") << a.toStdString();
    }
    for (const QString& a : texts)
        EXPECT_EQ(SettingsStore::unescape(SettingsStore::escape(a, true)), a);
}

TEST_F(Settings, KeysKeepTheirWriteOrder)
{
    SettingsStore store("Ostrel");
    EXPECT_FALSE(store.section("name"));
    EXPECT_EQ(store.get("name", "none", "fallback"), "fallback");
    for (const char* name : {"garden", "door", "street"})
        store.save("name", name, name);
    EXPECT_EQ(keys(store, "name"), (std::vector<QString>{"garden", "door", "street"}));
    store.save("name", "garden", "garden"); // rewritten in place
    EXPECT_EQ(keys(store, "name"), (std::vector<QString>{"garden", "door", "street"}));
    store.deleteKey("name", "garden");
    store.save("name", "garden", "garden"); // deleted and written again: last
    EXPECT_EQ(keys(store, "name"), (std::vector<QString>{"door", "street", "garden"}));

    store.save("door", "host", "cam1");
    store.save("door", "port", "80");
    store.deleteSection("door");
    EXPECT_FALSE(store.section("door"));
    EXPECT_EQ(store.get("door", "host", "-"), "-");
    store.deleteKey("name", "nothing-such");
    store.deleteSection("nothing-such");
    EXPECT_EQ(keys(store, "name").size(), 3u);
    store.deleteKey("name", "door");
    store.deleteKey("name", "street");
    store.deleteKey("name", "garden");
    ASSERT_TRUE(store.section("name")); // an emptied section still exists
    EXPECT_TRUE(store.section("name")->empty());
}

TEST_F(Settings, AnUnreadableFileIsKeptAsideByTheNextChange)
{
    SettingsStore store("Ostrel");
    ASSERT_TRUE(store.save("size", "index", "3"));
    const auto asideCount = [&] {
        return QDir(QFileInfo(store.path()).absolutePath()).entryList({"settings.conf.unreadable-*"}).size();
    };
    testsupport::writeFile(store.path(), "[size]\nindex=3\nthis line has no equals sign\n");
    EXPECT_EQ(store.get("size", "index", "2"), "2");
    EXPECT_EQ(asideCount(), 0) << "a reader without the lock moved the file";
    EXPECT_TRUE(store.save("size", "index", "4"));
    EXPECT_EQ(asideCount(), 1);
    EXPECT_EQ(store.get("size", "index"), "4");
    // Bad escapes and files over 1 MiB count as unreadable too.
    testsupport::writeFile(store.path(), "[size]\nindex=\\q\n");
    EXPECT_EQ(store.get("size", "index", "y"), "y");
    EXPECT_TRUE(store.save("size", "index", "5"));
    testsupport::writeFile(store.path(), "[size]\nindex=6\n# " + QByteArray(1024 * 1024, 'x') + "\n");
    EXPECT_EQ(store.get("size", "index", "z"), "z");
    EXPECT_TRUE(store.save("size", "index", "7"));
    EXPECT_EQ(asideCount(), 3);
    EXPECT_EQ(store.get("size", "index"), "7");
}

TEST_F(Settings, FilesAnEditorMadeReadAsWritten)
{
    SettingsStore store("Ostrel");
    QDir().mkpath(QFileInfo(store.path()).absolutePath());
    testsupport::writeFile(store.path(), "\xEF\xBB\xBF# edited\r\n[size]\r\nindex=5\r\n\r\n[cam]\r\nhost=porch\r\n");
    EXPECT_EQ(store.get("size", "index"), "5");
    EXPECT_EQ(store.get("cam", "host"), "porch");
    testsupport::writeFile(store.path(), "[cam]\nhost=caf\xe9\n"); // Latin-1
    EXPECT_EQ(store.get("cam", "host"), QString::fromUtf8("caf\xc3\xa9"));
    EXPECT_TRUE(store.save("cam", "port", "81"));
    EXPECT_EQ(store.get("cam", "host"), QString::fromUtf8("caf\xc3\xa9")) << "a save lost the edited text";
    EXPECT_TRUE(QDir(QFileInfo(store.path()).absolutePath()).entryList({"settings.conf.unreadable-*"}).isEmpty());
}

TEST_F(Settings, AHeldLockKeepsChangesUntilItIsFree)
{
    SettingsStore store("Ostrel");
    ASSERT_TRUE(store.save("size", "index", "1"));
    QStringList told;
    SettingsStore::setNotifier([&](const QString& text) { told << text; });

    // Another program holds the lock and is stopped: it holds it still.
    QProcess holder;
    holder.start("flock", {"--close", store.path() + ".lock", "sleep", "60"}); // only flock holds it
    ASSERT_TRUE(holder.waitForStarted());
    QTest::qWait(300);
    ::kill(static_cast<pid_t>(holder.processId()), SIGSTOP);
    EXPECT_FALSE(store.save("size", "index", "2"));
    EXPECT_FALSE(store.save("position", "left", "100"));
    EXPECT_TRUE(store.hasUnsavedChanges());
    ASSERT_EQ(told.size(), 1) << "told once, not at every change";
    EXPECT_TRUE(told[0].contains("locked by another program")) << qPrintable(told[0]);
    // Reads see the changes waiting, as a program reads back what it saved.
    EXPECT_FALSE(store.deleteKey("size", "index"));
    EXPECT_EQ(store.get("size", "index", "none"), "none");
    EXPECT_FALSE(store.save("size", "index", "2"));
    EXPECT_EQ(store.get("size", "index"), "2");
    EXPECT_EQ(store.section("position"), SettingsStore::Pairs({{"left", "100"}}));
    ::kill(static_cast<pid_t>(holder.processId()), SIGKILL); // its lock ends with it
    holder.waitForFinished();
    EXPECT_TRUE(store.save("position", "top", "50"));
    EXPECT_FALSE(store.hasUnsavedChanges());
    EXPECT_EQ(store.get("size", "index"), "2");
    EXPECT_EQ(store.get("position", "left"), "100");
    EXPECT_EQ(store.get("position", "top"), "50");

    // A lock path that is a folder is an error the user hears of.
    QDir().mkpath(store.path() + ".lock.d");
    QFile::remove(store.path() + ".lock");
    ASSERT_TRUE(QDir().rename(store.path() + ".lock.d", store.path() + ".lock"));
    EXPECT_FALSE(store.save("size", "index", "3"));
    ASSERT_EQ(told.size(), 2);
    EXPECT_TRUE(told[1].contains("is not a file")) << qPrintable(told[1]);
    QDir().rmdir(store.path() + ".lock");
    EXPECT_TRUE(store.save("size", "other", "x"));
    EXPECT_EQ(store.get("size", "index"), "3");
    SettingsStore::setNotifier({});
}

TEST_F(Settings, SettingAsideReportsBothFilesOnce)
{
    SettingsStore store("Ostrel");
    EXPECT_EQ(store.setAsideIfUnreadable(), "") << "no file yet";
    QDir().mkpath(QFileInfo(store.path()).absolutePath());
    testsupport::writeFile(store.path(), "[size\n");
    const QString notice = store.setAsideIfUnreadable();
    const QStringList aside = QDir(QFileInfo(store.path()).absolutePath()).entryList({"settings.conf.unreadable-*"});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_TRUE(notice.contains(store.path())) << qPrintable(notice);
    EXPECT_TRUE(notice.contains(aside[0])) << qPrintable(notice);
    EXPECT_EQ(store.setAsideIfUnreadable(), "") << "told once";
}

TEST_F(Settings, TwoProgramsSavingAtOnceLoseNothing)
{
    QProcess first, second;
    first.start(OSTREL_SETTINGS_WRITER, {"Ostrel", "a", "200"});
    second.start(OSTREL_SETTINGS_WRITER, {"Ostrel", "b", "200"});
    ASSERT_TRUE(first.waitForFinished(120000));
    ASSERT_TRUE(second.waitForFinished(120000));
    EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    SettingsStore store("Ostrel");
    const auto names = store.section("name");
    ASSERT_TRUE(names);
    EXPECT_EQ(names->size(), 400u);
    for (int i = 0; i < 200; ++i)
        for (const char* prefix : {"a", "b"}) {
            const QString name = prefix + QString::number(i);
            ASSERT_EQ(store.get(name, "port"), QString::number(8000 + i)) << name.toStdString();
        }
}
