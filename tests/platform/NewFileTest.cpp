// Tests of creating and replacing files: no replace, no leftovers after kills or full disks.
#include "platform/NewFile.h"
#include "platform/NumberedError.h"
#include "support/Files.h"
#include "support/JpegCodec.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
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
        EXPECT_TRUE(e.description().contains("No such file or directory")) << e.description().toStdString();
    }

    QDir(dir.path()).mkdir("folder");
    EXPECT_FALSE(platform::fileExists(dir.filePath("folder")));
    try {
        platform::writeNewFile(dir.filePath("folder"), kBytes, sizeof kBytes);
        FAIL() << "no error for a folder";
    } catch (const platform::NumberedError& e) {
        EXPECT_TRUE(e.description().contains("Is a directory")) << e.description().toStdString();
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

namespace {

// Runs `work` in a child process and returns its exit status.
template <class Work>
int inChild(Work&& work)
{
    const pid_t child = ::fork();
    if (child == 0) {
        work();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool replaceWith(const QString& path, const QByteArray& text, QString* error = nullptr)
{
    return platform::replaceFile(
        path, [&text](const platform::FileSink& write) { write(text.constData(), text.size()); }, error);
}

} // namespace

TEST(ReplaceFile, ReplacesWholeKeepsModeAndLinksAndLeavesNothingBeside)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("settings.conf");
    ASSERT_TRUE(replaceWith(path, "first"));
    EXPECT_EQ(contents(path), "first");
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    ASSERT_TRUE(replaceWith(path, "second, longer"));
    EXPECT_EQ(contents(path), "second, longer");
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(entries(dir), QStringList{"settings.conf"});

    // A link is kept and the file it names replaced.
    ASSERT_TRUE(QFile::link(path, dir.filePath("link.conf")));
    ASSERT_TRUE(replaceWith(dir.filePath("link.conf"), "through the link"));
    EXPECT_TRUE(QFileInfo(dir.filePath("link.conf")).isSymLink());
    EXPECT_EQ(contents(path), "through the link");
    EXPECT_EQ(entries(dir), (QStringList{"link.conf", "settings.conf"}));

    // A folder in the way is an error that names why.
    QString error;
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    EXPECT_FALSE(replaceWith(dir.filePath("folder"), "x", &error));
    EXPECT_FALSE(error.isEmpty());
    ASSERT_TRUE(QDir(dir.path()).rmdir("folder"));

    // The longest name a folder holds.
    const QString longest = dir.filePath(QString(250, 'n') + ".conf");
    EXPECT_TRUE(replaceWith(longest, "a"));
    EXPECT_TRUE(replaceWith(longest, "b"));
    EXPECT_EQ(contents(longest), "b");
}

TEST(ReplaceFile, AKillOrAFullDiskLeavesTheOldFileAndNoTemporary)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("picture.bmp");
    ASSERT_TRUE(replaceWith(path, "old"));
    const QByteArray big(200000, 'n');

    // Killed half-way through the writing.
    EXPECT_EQ(inChild([&] {
                  platform::replaceFile(
                      path,
                      [&](const platform::FileSink& write) {
                          write(big.constData(), big.size() / 2);
                          ::_exit(9);
                      },
                      nullptr);
              }),
              9);
    EXPECT_EQ(contents(path), "old");
    EXPECT_EQ(entries(dir), QStringList{"picture.bmp"});

    // A file-size limit makes a write fail: reported, old file kept.
    EXPECT_EQ(inChild([&] {
                  ::signal(SIGXFSZ, SIG_IGN);
                  const rlimit limit{1000, 1000};
                  ::setrlimit(RLIMIT_FSIZE, &limit);
                  QString error;
                  const bool written = replaceWith(path, big, &error);
                  ::_exit(!written && error.contains("too large") ? 3 : 4);
              }),
              3);
    EXPECT_EQ(contents(path), "old");
    EXPECT_EQ(entries(dir), QStringList{"picture.bmp"});

    // A staging name left by a save killed between naming and moving is
    // removed by the next save.
    writeFile(dir.filePath(".picture.bmp.ostrel-new"), "stale");
    ASSERT_TRUE(replaceWith(path, "new"));
    EXPECT_EQ(contents(path), "new");
    EXPECT_EQ(entries(dir), QStringList{"picture.bmp"});
}
