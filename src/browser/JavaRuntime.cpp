// Finding the Java for applet hosts and the options each release needs.
#include "JavaRuntime.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// JAVA_VERSION="25.0.1" from a runtime's release file, or empty.
QString releaseVersion(const QString& program)
{
    QFile release(QFileInfo(program).absolutePath() + "/../release");
    if (!release.open(QIODevice::ReadOnly))
        return {};
    const QByteArrayList lines = release.read(64 * 1024).split('\n');
    for (const QByteArray& line : lines)
        if (line.startsWith("JAVA_VERSION="))
            return QString::fromUtf8(line.mid(13)).remove('"').trimmed();
    return {};
}

} // namespace

JavaRuntime JavaRuntime::find()
{
    const QString home = qEnvironmentVariable("JAVA_HOME");
    QString java;
    if (!home.isEmpty() && QFileInfo(home + "/bin/java").isExecutable())
        java = home + "/bin/java";
    else
        java = QStandardPaths::findExecutable("java");
    JavaRuntime runtime;
    if (java.isEmpty())
        return runtime;
    runtime.program = QFileInfo(java).canonicalFilePath();
    runtime.feature = featureOf(runtime.program);
    return runtime;
}

int JavaRuntime::featureOf(const QString& program)
{
    // "17.0.13" and "25" give their first number; the old "1.8.0_402" gives 8.
    QString version = releaseVersion(program);
    if (version.startsWith("1."))
        version = version.mid(2);
    bool ok = false;
    const int feature = version.section('.', 0, 0).section('-', 0, 0).section('+', 0, 0).toInt(&ok);
    return ok ? feature : 0;
}

QString JavaRuntime::home() const
{
    return QFileInfo(QFileInfo(program).absolutePath() + "/..").canonicalFilePath();
}

QString JavaRuntime::versionText() const
{
    return program.isEmpty() ? QString() : releaseVersion(program);
}

QStringList JavaRuntime::hostCommand(const QString& hostFolder) const
{
    // Small reservations, so that the address-space limit Ostrel sets leaves
    // room for the applet and bounds what it can take; no attaching of agents.
    QStringList command = {program, "-XX:+UseSerialGC", "-XX:TieredStopAtLevel=1", "-XX:-UsePerfData", "-Xmx96m",
                           "-XX:CompressedClassSpaceSize=48m", "-XX:MaxMetaspaceSize=96m",
                           "-XX:ReservedCodeCacheSize=32m", "-XX:MaxDirectMemorySize=32m",
                           "-XX:+DisableAttachMechanism", "-Djava.awt.headless=false"};
    if (hasSecurityManager())
        command << "-Djava.security.manager=allow";
    if (feature >= 23)
        command << "--sun-misc-unsafe-memory-access=deny";
    if (feature >= 24) {
        // Without a security manager: no native code for the applet, and
        // only the standard modules (not the JDK's tools and internals).
        command << "--illegal-native-access=deny" << "--limit-modules" << "java.se,jdk.charsets,ostrel.applethost";
    }
    if (lacksAppletClasses()) {
        command << "--patch-module" << "java.desktop=" + hostFolder + "/AppletApi.jar"
                << "--add-exports" << "java.desktop/java.applet=ALL-UNNAMED,ostrel.applethost";
    }
    command << "--module-path" << hostFolder + "/AppletHost.jar" << "-m" << "ostrel.applethost/ostrel.applethost.AppletHost";
    return command;
}
