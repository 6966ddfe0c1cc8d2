// The OS sandbox around the applet host, alone: a probe with no security
// manager, started inside the same bubblewrap fence, tries to reach the
// user's files, the network and Ostrel itself.
#include "browser/AppletHost.h"
#include "browser/AppletSandbox.h"
#include "support/Files.h"
#include "support/JpegCodec.h"

#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

// The probe in the fence, started by this user and, when that is root, by
// an ordinary user too: root's namespaces must hold as well as a user's.
TEST(AppletSandbox, CodeInsideReachesNoUserFileNoNetworkAndNotOstrel)
{
    const QString bwrap = AppletHost::sandboxProgram();
    if (bwrap.isEmpty())
        GTEST_SKIP() << "bubblewrap is not installed";
    QTemporaryDir dir;
    const QString secret = dir.filePath("secret.txt");
    testsupport::writeFile(secret, "the user's own words\n");
    QTcpServer listener; // a service of this machine the applet must not reach
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));

    const QString java = QFileInfo(AppletHost::javaProgram()).canonicalFilePath();
    ASSERT_FALSE(java.isEmpty());
    AppletSandbox sandbox;
    sandbox.javaHome = QFileInfo(QFileInfo(java).absolutePath() + "/..").canonicalFilePath();
    sandbox.hostFolder = QFileInfo(OSTREL_TEST_APPLETS_JAR).absolutePath();
    QStringList users = {""};
    if (::geteuid() == 0)
        users << "65534"; // nobody
    for (const QString& user : users) {
        SCOPED_TRACE(user.isEmpty() ? "as this user" : "as user " + user.toStdString());
        QStringList command = sandbox.arguments()
                              << java << "-cp" << "/ostrel/host/" + QFileInfo(OSTREL_TEST_APPLETS_JAR).fileName()
                              << "SandboxProbe" << secret << dir.path() << QString::number(listener.serverPort())
                              << QString::number(::getpid()) << sandbox.javaHome;
        QString program = bwrap;
        if (!user.isEmpty()) {
            command = QStringList{"--reuid=" + user, "--regid=" + user, "--clear-groups", bwrap} + command;
            program = "setpriv";
        }
        QProcess probe;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("OSTREL_PROBE_SECRET", "ostrel's environment");
        probe.setProcessEnvironment(environment);
        probe.start(program, command);
        ASSERT_TRUE(probe.waitForFinished(60000));
        const QString output = QString::fromUtf8(probe.readAllStandardOutput());
        const QString errors = QString::fromUtf8(probe.readAllStandardError());
        if (errors.startsWith("bwrap:"))
            GTEST_SKIP() << "bubblewrap cannot make its sandbox here: " << qPrintable(errors);
        QHash<QString, QString> results;
        for (const QString& line : output.split('\n', Qt::SkipEmptyParts))
            results.insert(line.section('=', 0, 0), line.section('=', 1));
        ASSERT_EQ(results.size(), 21) << qPrintable(output) << qPrintable(errors);
        for (const char* name : {"read-secret", "read-passwd", "list-secret-folder", "list-root-home", "list-home",
                                 "write-usr", "write-host-folder", "connect-loopback-port", "connect-outside",
                                 "program-reads-secret", "program-signals-ostrel", "read-ostrel-environment",
                                 "environment-secret", "capabilities", "remount-usr", "mknod", "write-java-home",
                                 "write-etc-fonts", "write-ld-cache"}) {
            EXPECT_TRUE(results.value(name).startsWith("refused")) << name << ": " << qPrintable(results.value(name));
        }
        EXPECT_EQ(results.value("write-private-tmp"), "allowed written");
        EXPECT_EQ(results.value("program-runs"), "allowed ran ");
    }
    EXPECT_EQ(testsupport::readFile(secret), "the user's own words\n");
    EXPECT_FALSE(QFile::remove("/usr/ostrel-probe")) << "the probe wrote into /usr";
    EXPECT_FALSE(listener.hasPendingConnections());
}
