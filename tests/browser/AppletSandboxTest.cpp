// The OS sandbox around the applet host, alone: a probe with no security
// manager, started inside the same bubblewrap fence, tries to reach the
// user's files, the network and Ostrel itself.
#include "browser/AppletHost.h"
#include "browser/AppletSandbox.h"
#include "browser/AppletSeccomp.h"
#include "browser/JavaRuntime.h"
#include "support/Files.h"
#include "support/JpegCodec.h"

#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

// This user and, when that is root, an ordinary one too: root's namespaces
// must hold as well as a user's.
QStringList users()
{
    return ::geteuid() == 0 ? QStringList{"", "65534"} : QStringList{""};
}

struct SandboxRun {
    QString output;
    QString errors;
    bool refused = false; // bubblewrap cannot make its sandbox here
};

// `command` in the fence made by `sandbox`, as `user` (empty: this one).
SandboxRun runInSandbox(AppletSandbox sandbox, const QStringList& command, const QString& user,
                 const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QString error;
    const int filter = appletseccomp::filterDescriptor(&error);
    EXPECT_GE(filter, 0) << qPrintable(error);
    sandbox.seccompDescriptor = 4;
    QStringList arguments = sandbox.arguments() << command;
    QString program = AppletHost::sandboxProgram();
    if (!user.isEmpty()) {
        arguments = QStringList{"--reuid=" + user, "--regid=" + user, "--clear-groups", program} + arguments;
        program = "setpriv";
    }
    QProcess probe;
    probe.setProcessEnvironment(environment);
    probe.setChildProcessModifier([filter] { ::dup2(filter, 4); });
    probe.start(program, arguments);
    EXPECT_TRUE(probe.waitForFinished(60000));
    ::close(filter);
    SandboxRun run{QString::fromUtf8(probe.readAllStandardOutput()), QString::fromUtf8(probe.readAllStandardError())};
    run.refused = run.errors.startsWith("bwrap:");
    return run;
}

QHash<QString, QString> results(const QString& output)
{
    QHash<QString, QString> found;
    for (const QString& line : output.split('\n', Qt::SkipEmptyParts))
        found.insert(line.section('=', 0, 0), line.section('=', 1));
    return found;
}

AppletSandbox testSandbox()
{
    AppletSandbox sandbox;
    sandbox.javaHome = JavaRuntime::find().home();
    sandbox.hostFolder = QFileInfo(OSTREL_TEST_APPLETS_JAR).absolutePath();
    // Set up as for a camera on this machine: a relay stands in for it.
    sandbox.relayFile = OSTREL_TEST_APPLETS_JAR;
    return sandbox;
}

} // namespace

TEST(AppletSandbox, CodeInsideReachesNoUserFileNoNetworkAndNotOstrel)
{
    if (AppletHost::sandboxProgram().isEmpty())
        GTEST_SKIP() << "bubblewrap is not installed";
    QTemporaryDir dir;
    const QString secret = dir.filePath("secret.txt");
    testsupport::writeFile(secret, "the user's own words\n");
    QTcpServer listener; // a service of this machine the applet must not reach
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
    const QString java = JavaRuntime::find().program;
    ASSERT_FALSE(java.isEmpty());
    const AppletSandbox sandbox = testSandbox();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("OSTREL_PROBE_SECRET", "ostrel's environment");
    for (const QString& user : users()) {
        SCOPED_TRACE(user.isEmpty() ? "as this user" : "as user " + user.toStdString());
        const SandboxRun run = runInSandbox(sandbox,
                                     {java, "-cp", "/ostrel/host/" + QFileInfo(OSTREL_TEST_APPLETS_JAR).fileName(),
                                      "SandboxProbe", secret, dir.path(), QString::number(listener.serverPort()),
                                      QString::number(::getpid()), sandbox.javaHome},
                                     user, environment);
        if (run.refused)
            GTEST_SKIP() << "bubblewrap cannot make its sandbox here: " << qPrintable(run.errors);
        const QHash<QString, QString> found = results(run.output);
        ASSERT_EQ(found.size(), 21) << qPrintable(run.output) << qPrintable(run.errors);
        for (const char* name : {"read-secret", "read-passwd", "list-secret-folder", "list-root-home", "list-home",
                                 "write-usr", "write-host-folder", "connect-loopback-port", "connect-outside",
                                 "program-reads-secret", "program-signals-ostrel", "read-ostrel-environment",
                                 "environment-secret", "capabilities", "remount-usr", "mknod", "write-java-home",
                                 "write-etc-fonts", "write-ld-cache"}) {
            EXPECT_TRUE(found.value(name).startsWith("refused")) << name << ": " << qPrintable(found.value(name));
        }
        EXPECT_EQ(found.value("write-private-tmp"), "allowed written");
        EXPECT_EQ(found.value("program-runs"), "allowed ran ");
    }
    EXPECT_EQ(testsupport::readFile(secret), "the user's own words\n");
    EXPECT_FALSE(QFile::remove("/usr/ostrel-probe")) << "the probe wrote into /usr";
    EXPECT_FALSE(listener.hasPendingConnections());
}

TEST(AppletSandbox, TheFilterRefusesEveryCallThatServesOnlyToGetOut)
{
    if (AppletHost::sandboxProgram().isEmpty())
        GTEST_SKIP() << "bubblewrap is not installed";
    // Without a relay no capability at all; with one, only that to listen on
    // the camera's port (80 for most), also where the sandbox's loopback is
    // first given a camera's address (which takes one more, then dropped).
    const struct {
        bool relayed;
        QString camera;
    } setups[] = {{false, ""}, {true, ""}, {true, "192.0.2.77"}};
    for (const QString& user : users()) {
        for (const auto& [relayed, camera] : setups) {
            SCOPED_TRACE((user.isEmpty() ? "as this user" : "as user " + user.toStdString()) +
                         (relayed ? ", relayed" : "") +
                         (camera.isEmpty() ? "" : ", the loopback given " + camera.toStdString()));
            AppletSandbox sandbox = testSandbox();
            if (!relayed)
                sandbox.relayFile.clear();
            sandbox.cameraAddress = camera;
            const SandboxRun run = runInSandbox(
                sandbox,
                sandbox.command({"/bin/sh", "-c",
                                 "sed -n 's/^\\(Cap[A-Za-z]*\\):\\t/\\1=/p' /proc/self/status; echo lo=$(ip -4 -br addr "
                                 "show dev lo 2>&1); exec /ostrel/host/syscall_probe"}),
                user);
            if (run.refused)
                GTEST_SKIP() << "bubblewrap cannot make its sandbox here: " << qPrintable(run.errors);
            QHash<QString, QString> found = results(run.output);
            for (const char* set : {"CapInh", "CapPrm", "CapEff", "CapBnd", "CapAmb"})
                EXPECT_EQ(found.take(set), relayed ? "0000000000000400" : "0000000000000000") << set;
            const QString port80 = found.take("listen-port-80");
            EXPECT_EQ(port80 == "works", relayed) << qPrintable(port80);
            EXPECT_EQ(found.take("lo").contains(camera + "/32"), !camera.isEmpty()) << qPrintable(run.errors);
            EXPECT_EQ(found.take("mode"), "2") << "no filter: " << qPrintable(run.output) << qPrintable(run.errors);
            EXPECT_EQ(found.take("plain-clone"), "works");
            EXPECT_EQ(found.take("personality-query"), "works");
            EXPECT_EQ(found.size(), 25) << qPrintable(run.output);
            for (auto it = found.cbegin(); it != found.cend(); ++it)
                EXPECT_EQ(it.value(), "refused") << qPrintable(it.key());
        }
    }
}
