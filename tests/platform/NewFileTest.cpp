#include "platform/NewFile.h"
#include "platform/NumberedError.h"
#include "support/Files.h"
#include "support/JpegCodec.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <unistd.h>

namespace {

const std::uint8_t kBytes[] = {1, 2, 3, 4, 5};

using testsupport::writeFile;

QByteArray contents(const QString& path) { return testsupport::readFile(path); }

// Only the named files, no temporaries left behind.
QStringList entries(const QTemporaryDir& dir)
{
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

TEST(NewFile, WritesTheBytesAndNothingElse)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("new.jpg");
    EXPECT_FALSE(platform::fileExists(path));
    EXPECT_EQ(platform::writeNewFile(path, kBytes, sizeof kBytes), platform::NewFileResult::Written);
    EXPECT_EQ(contents(path), QByteArray("\1\2\3\4\5"));
    EXPECT_TRUE(platform::fileExists(path));
    EXPECT_EQ(entries(dir), QStringList{"new.jpg"});
    EXPECT_TRUE(QFileInfo(path).permissions() & QFileDevice::ReadOther); // not left private like a temporary
}

TEST(NewFile, NeverReplacesAnExistingName)
{
    QTemporaryDir dir;
    const QString hidden = dir.filePath(".hidden");
    writeFile(hidden, "keep");
    QFile::setPermissions(hidden, QFileDevice::ReadOwner);
    EXPECT_EQ(platform::writeNewFile(hidden, kBytes, sizeof kBytes), platform::NewFileResult::AlreadyExists);
    EXPECT_EQ(contents(hidden), QByteArray("keep"));

    const QString dangling = dir.filePath("link");
    ASSERT_EQ(::symlink("nowhere", QFile::encodeName(dangling).constData()), 0);
    EXPECT_TRUE(platform::fileExists(dangling));
    EXPECT_EQ(platform::writeNewFile(dangling, kBytes, sizeof kBytes), platform::NewFileResult::AlreadyExists);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("nowhere")));
    EXPECT_EQ(entries(dir).size(), 2);
}

TEST(NewFile, FileAppearingDuringTheWriteWins)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("race.jpg");
    const auto rival = [&] { writeFile(path, "rival"); };
    EXPECT_EQ(platform::writeNewFile(path, kBytes, sizeof kBytes, rival), platform::NewFileResult::AlreadyExists);
    EXPECT_EQ(contents(path), QByteArray("rival"));
    EXPECT_EQ(entries(dir), QStringList{"race.jpg"});
}

TEST(NewFile, FailuresAreFileErrorsAndLeaveNothing)
{
    QTemporaryDir dir;
    try {
        platform::writeNewFile(dir.filePath("missing/x.jpg"), kBytes, sizeof kBytes);
        FAIL() << "no error for a missing folder";
    } catch (const platform::NumberedError& e) {
        EXPECT_EQ(e.number(), 76);
        EXPECT_NE(e.description().find("No such file or directory"), std::string::npos) << e.description();
    }

    QDir(dir.path()).mkdir("folder");
    EXPECT_FALSE(platform::fileExists(dir.filePath("folder")));
    try {
        platform::writeNewFile(dir.filePath("folder"), kBytes, sizeof kBytes);
        FAIL() << "no error for a folder";
    } catch (const platform::NumberedError& e) {
        EXPECT_NE(e.description().find("Is a directory"), std::string::npos) << e.description();
    }
    EXPECT_EQ(entries(dir), QStringList{"folder"});
}

TEST(NewFile, AKillBeforeTheFileIsWholeLeavesNothingAndLongNamesWork)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("snapshot.jpg");
    const std::vector<std::uint8_t> bytes(100000, 7);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) { // written, not yet named: the process dies here
        platform::writeNewFile(path, bytes.data(), bytes.size(), [] { ::_exit(9); });
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 9);
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty())
        << qPrintable(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).join(' '));

    // The longest name a folder holds: no temporary name has to fit beside it.
    const QString longest = dir.filePath(QString(251, 'n') + ".jpg");
    EXPECT_EQ(platform::writeNewFile(longest, bytes.data(), bytes.size()), platform::NewFileResult::Written);
    EXPECT_EQ(QFileInfo(longest).size(), 100000);
}
