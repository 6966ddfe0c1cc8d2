#include "AppletHost.h"

#include "platform/RuntimeFolder.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr int kKillAfterMs = 2000;

int nextHostNumber()
{
    static int number = 0;
    return ++number;
}

} // namespace

AppletHost::AppletHost(const AppletElement& element, QObject* parent) : QObject(parent), element_(element)
{
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The host dies with Ostrel, even when Ostrel is killed outright.
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    connect(&process_, &QProcess::readyReadStandardOutput, this, &AppletHost::readMessages);
    connect(&process_, &QProcess::finished, this, &AppletHost::hostEnded);
    connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            emit status(QString("The applet's host could not be started: %1").arg(process_.errorString()));
    });
    killTimer_.setSingleShot(true);
    connect(&killTimer_, &QTimer::timeout, this, [this] { process_.kill(); });
}

AppletHost::~AppletHost()
{
    if (running()) {
        process_.kill();
        process_.waitForFinished(1000);
    }
    if (mapped_)
        frames_.unmap(mapped_);
    frames_.remove();
}

QString AppletHost::hostFolder()
{
    const QString fromEnvironment = qEnvironmentVariable("OSTREL_APPLET_HOST_DIR");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    // Installed beside the program's library folder, or where the build put it.
    const QString installed = QCoreApplication::applicationDirPath() + "/../lib/ostrel";
    if (QFileInfo::exists(installed + "/AppletHost.jar"))
        return installed;
    return QStringLiteral(OSTREL_APPLET_HOST_BUILD_DIR);
}

QString AppletHost::javaProgram()
{
    const QString home = qEnvironmentVariable("JAVA_HOME");
    if (!home.isEmpty() && QFileInfo(home + "/bin/java").isExecutable())
        return home + "/bin/java";
    return QStandardPaths::findExecutable("java");
}

void AppletHost::start()
{
    const QString java = javaProgram();
    if (java.isEmpty()) {
        emit status("A Java runtime (OpenJDK 17) is needed to show this camera's picture");
        return;
    }
    const QString folder = platform::runtimeFolder();
    if (folder.isEmpty()) {
        emit status("The applet cannot run: there is no private folder for its pictures");
        return;
    }
    const qint64 bytes = qint64{element_.box.width()} * element_.box.height() * 4;
    frames_.setFileName(QString("%1/applet-%2.frames").arg(folder).arg(nextHostNumber()));
    if (!frames_.open(QIODevice::ReadWrite | QIODevice::Truncate) || !frames_.resize(bytes) ||
        !(mapped_ = frames_.map(0, bytes))) {
        emit status(QString("The applet cannot run: %1").arg(frames_.errorString()));
        return;
    }
    const QString host = hostFolder();
    QStringList arguments = {host + "/ostrel-applet-host.sh", java, host + "/AppletHost.jar",
                             QString::number(std::max(element_.box.width(), 64)),
                             QString::number(std::max(element_.box.height(), 64)),
                             "--code", element_.code,
                             "--codebase", element_.codeBase.toString(),
                             "--document", element_.documentBase.toString(),
                             "--width", QString::number(element_.box.width()),
                             "--height", QString::number(element_.box.height()),
                             "--frames", frames_.fileName()};
    if (!element_.archives.isEmpty())
        arguments << "--archive" << element_.archives.join(',');
    if (!element_.name.isEmpty())
        arguments << "--name" << element_.name;
    for (const auto& [name, value] : element_.parameters)
        arguments << "--param" << name << value;
    process_.start("/bin/sh", arguments);
}

void AppletHost::stop()
{
    if (!running())
        return;
    stopping_ = true;
    send("quit");
    process_.closeWriteChannel();
    killTimer_.start(kKillAfterMs);
}

void AppletHost::send(const QByteArray& line)
{
    if (running())
        process_.write(line + '\n');
}

void AppletHost::sendMouse(const char* kind, QPoint at, int button, int modifiers, int clicks)
{
    send(QByteArray("mouse ") + kind + ' ' + QByteArray::number(at.x()) + ' ' + QByteArray::number(at.y()) + ' ' +
         QByteArray::number(button) + ' ' + QByteArray::number(modifiers) + ' ' + QByteArray::number(clicks));
}

void AppletHost::sendKey(const char* kind, int keyCode, int character, int modifiers)
{
    send(QByteArray("key ") + kind + ' ' + QByteArray::number(keyCode) + ' ' + QByteArray::number(character) + ' ' +
         QByteArray::number(modifiers));
}

void AppletHost::readMessages()
{
    while (process_.canReadLine()) {
        const QString line = QString::fromUtf8(process_.readLine()).trimmed();
        const QString word = line.section(' ', 0, 0);
        const QString text = line.section(' ', 1);
        if (word == "frame") {
            takeFrame();
        } else if (word == "status") {
            saidStatus_ = true;
            emit status(text);
        } else if (word == "tip") {
            emit tip(text);
        } else if (word == "started") {
            emit started();
        }
    }
}

void AppletHost::takeFrame()
{
    if (!mapped_)
        return;
    // The host writes 0xAARRGGBB words; the picture is opaque.
    const QImage shared(mapped_, element_.box.width(), element_.box.height(), QImage::Format_RGB32);
    const QImage picture = shared.copy();
    send("ack"); // the host may write the next one now
    emit frame(picture);
}

void AppletHost::hostEnded(int exitCode, QProcess::ExitStatus exitStatus)
{
    killTimer_.stop();
    readMessages();
    if (!stopping_ && !saidStatus_) {
        emit status(exitStatus == QProcess::CrashExit
                        ? QString("The applet's host ended unexpectedly")
                        : QString("The applet's host ended (exit status %1)").arg(exitCode));
    }
    emit ended();
}
