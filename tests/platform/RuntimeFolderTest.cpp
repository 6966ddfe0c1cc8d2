// The private runtime folder against other users' tricks: a base folder
// anyone may write to, the user folder swapped for a link while in use, and
// folders left by killed processes.
#include "support/Files.h"
#include "support/JpegCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class RuntimeFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        base = dir.filePath("run");
        QDir().mkpath(base);
        ::chmod(QFile::encodeName(base).constData(), 0700);
        user = base + QString("/ostrel-%1").arg(::getuid());
    }
    // Starts the probe with `base` as its runtime folder; its output line.
    QString start(const QString& runtime, const QString& temp)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", runtime);
        environment.insert("TMPDIR", temp);
        probe.setProcessEnvironment(environment);
        probe.start(OSTREL_RUNTIME_FOLDER_PROBE, {});
        if (!probe.waitForReadyRead(10000))
            return "no answer: " + QString::fromLocal8Bit(probe.readAllStandardError());
        return QString::fromLocal8Bit(probe.readLine()).trimmed();
    }
    bool finish()
    {
        probe.write("go\n");
        probe.closeWriteChannel();
        return probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit;
    }

    QTemporaryDir dir;
    QString base;
    QString user;
    QProcess probe;
};

} // namespace

TEST_F(RuntimeFolder, ABaseOthersMayWriteWithoutTheStickyBitIsRefused)
{
    ::chmod(QFile::encodeName(base).constData(), 0777);
    const QString open = dir.filePath("open");
    QDir().mkpath(open);
    ::chmod(QFile::encodeName(open).constData(), 0777);
    EXPECT_EQ(start(base, open), QString("error %1 may be written by other users and is not sticky: it cannot hold "
                                         "private files.").arg(open));
    EXPECT_FALSE(QFileInfo::exists(user));
    probe.waitForFinished();

    // The same folder with the sticky bit, as /tmp has it: fine.
    ::chmod(QFile::encodeName(base).constData(), 01777);
    const QString answer = start(base, open);
    EXPECT_EQ(answer, QString("ready %1/%2").arg(user).arg(probe.processId()));
    EXPECT_TRUE(finish());
}

TEST_F(RuntimeFolder, SwappingTheFolderForALinkRedirectsNothing)
{
    const QString answer = start(base, base);
    ASSERT_TRUE(answer.startsWith("ready ")) << qPrintable(answer);
    const QString pid = QString::number(probe.processId());
    // Another folder with the same layout and files of its own.
    const QString victim = dir.filePath("victim");
    QDir().mkpath(victim + "/" + pid);
    testsupport::writeFile(victim + "/" + pid + "/page.htm", "victim's page");
    testsupport::writeFile(victim + "/" + pid + "/keep.txt", "keep me");
    ASSERT_TRUE(QFile::rename(user, base + "/moved"));
    ASSERT_TRUE(QFile::link(victim, user));

    ASSERT_TRUE(finish());
    EXPECT_EQ(testsupport::readFile(victim + "/" + pid + "/page.htm"), "victim's page");
    EXPECT_TRUE(QFileInfo::exists(victim + "/" + pid + "/keep.txt")) << "the clean-up deleted another folder's file";
    EXPECT_FALSE(QFileInfo::exists(base + "/moved/" + pid)) << "the probe's own folder was not removed";
}

TEST_F(RuntimeFolder, FoldersOfProcessesThatAreGoneAreRemovedAtTheNextStart)
{
    QDir().mkpath(user);
    ::chmod(QFile::encodeName(user).constData(), 0700);
    // A process number beyond the largest the kernel hands out.
    QDir().mkpath(user + "/4194305");
    testsupport::writeFile(user + "/4194305/_tmp.bmp", "left by a kill");
    QDir().mkpath(user + QString("/%1").arg(::getpid())); // a live process's
    const QString victim = dir.filePath("victim");
    QDir().mkpath(victim);
    testsupport::writeFile(victim + "/keep.txt", "keep me");
    ASSERT_TRUE(QFile::link(victim, user + "/4194306")); // a link dressed as a stale folder

    const QString answer = start(base, base);
    ASSERT_TRUE(answer.startsWith("ready ")) << qPrintable(answer);
    EXPECT_FALSE(QFileInfo::exists(user + "/4194305"));
    EXPECT_TRUE(QFileInfo::exists(user + QString("/%1").arg(::getpid())));
    EXPECT_TRUE(QFileInfo::exists(victim + "/keep.txt"));
    ASSERT_TRUE(finish());
    EXPECT_FALSE(QFileInfo::exists(user + QString("/%1").arg(probe.processId())));
}
