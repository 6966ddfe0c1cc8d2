// One applet host process per applet: starting it (sandboxed), its messages, its frames, stopping it.
#include "AppletHost.h"

#include "AppletSandbox.h"
#include "AppletSeccomp.h"
#include "JavaRuntime.h"
#include "platform/RuntimeFolder.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHostAddress>
#include <QScreen>
#include <QStandardPaths>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr int kKillAfterMs = 2000;
// What the host may send a second on each stream before it is made to wait.
constexpr qsizetype kMessageBytesPerSecond = 256 * 1024;
constexpr qsizetype kErrorBytesPerSecond = 64 * 1024;
// Input for the applet not yet taken by the host, past which more is dropped.
constexpr qint64 kMostUnsentInput = 256 * 1024;
// The host's descriptor for the frames, as its command line names it, and
// bubblewrap's for the system-call filter.
constexpr int kFramesDescriptor = 3;
constexpr int kSeccompDescriptor = 4;
// Frames are taken at most as often as the screen shows pictures (and never
// more than 100 a second), whatever the host announces or the applet
// repaints: a picture drawn faster is never seen, and a host that announces
// frames without end cannot make Ostrel copy them without end. The host
// paints the next frame only once this one is taken.
qint64 leastFrameIntervalMs()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal hz = screen && screen->refreshRate() >= 30 ? screen->refreshRate() : 60;
    return std::max<qint64>(10, static_cast<qint64>(1000 / hz));
}

// Limits on the host process and all it starts, whatever its Java or the
// applet try: address space (so native memory and threads are bounded; the
// host's Java needs about half of it), the size of any file it writes, and
// no core dumps of its memory.
constexpr rlim_t kHostAddressSpace = rlim_t{1280} << 20;
constexpr rlim_t kHostFileSize = rlim_t{64} << 20;

int nextHostNumber()
{
    static int number = 0;
    return ++number;
}

// What is said about the sandbox is said once a run.
void warnOnce(const QString& text)
{
    static QStringList said;
    if (said.contains(text))
        return;
    said << text;
    appletoutput::write("ostrel: " + text.toUtf8() + "\n");
}

// In the host's process, between fork and exec: only async-signal-safe calls.
// Its output pipes become 1 and 2, the frames 3 and the filter 4 (each first
// moved out of the way, so that none is overwritten before it is placed);
// every other descriptor is closed.
void setUpHostProcess(int messages, int errors, int frames, int seccomp)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL); // the host dies with Ostrel, even when Ostrel is killed outright
    const int sources[] = {messages, errors, frames, seccomp};
    const int targets[] = {STDOUT_FILENO, STDERR_FILENO, kFramesDescriptor, kSeccompDescriptor};
    int moved[4];
    for (int i = 0; i < 4; ++i)
        moved[i] = sources[i] >= 0 ? ::fcntl(sources[i], F_DUPFD, 100) : -1;
    for (int i = 0; i < 4; ++i) {
        if (moved[i] >= 0) {
            ::dup2(moved[i], targets[i]);
            ::close(moved[i]);
        }
    }
    // Nothing else of Ostrel's: its X connection and the page engine's
    // sockets and files are not all marked close-on-exec, and an applet
    // must not reach them.
    if (::syscall(SYS_close_range, kSeccompDescriptor + 1, ~0U, 0) != 0) {
        for (int fd = kSeccompDescriptor + 1; fd < 65536; ++fd)
            ::close(fd);
    }
    const auto limit = [](int resource, rlim_t most) {
        rlimit now{};
        if (::getrlimit(resource, &now) == 0 && (now.rlim_max == RLIM_INFINITY || now.rlim_max > most)) {
            now.rlim_cur = now.rlim_max = most;
            ::setrlimit(resource, &now);
        }
    };
    limit(RLIMIT_AS, kHostAddressSpace);
    limit(RLIMIT_FSIZE, kHostFileSize);
    limit(RLIMIT_CORE, 0);
}

// The JVM's own notices about the security manager, which every host prints.
bool isJvmNotice(const QByteArray& line)
{
    return line.startsWith("WARNING: ") &&
           (line.contains("SecurityManager") || line.contains("terminally deprecated") ||
            line.contains("Please consider reporting this to the maintainers of") ||
            line.contains("will be removed in a future release"));
}

// What a Java runtime says when it cannot read the host's classes (older than 17).
bool isUnsuitableJava(const QByteArray& line)
{
    return line.contains("UnsupportedClassVersionError");
}

} // namespace

AppletHost::AppletHost(const AppletElement& element, QObject* parent) : QObject(parent), element_(element)
{
    // Its output comes through pipes of our own (see launch), not QProcess's.
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setStandardErrorFile(QProcess::nullDevice());
    clock_.start();
    connect(&process_, &QProcess::finished, this, &AppletHost::hostEnded);
    connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            emit status(QString("The applet's host could not be started: %1").arg(process_.errorString()));
    });
    frameTimer_.setSingleShot(true);
    connect(&frameTimer_, &QTimer::timeout, this, [this] { takeFrame(announcedNs_); });
    killTimer_.setSingleShot(true);
    connect(&killTimer_, &QTimer::timeout, this, [this] { process_.kill(); });
}

AppletHost::~AppletHost()
{
    if (running()) {
        process_.kill();
        process_.waitForFinished(1000);
    }
    if (seccomp_ >= 0)
        ::close(seccomp_);
}

QString AppletHost::hostFolder()
{
    const QString fromEnvironment = qEnvironmentVariable("OSTREL_APPLET_HOST_DIR");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    // Installed in the program's libexec folder, or where the build put it.
    const QString installed = QCoreApplication::applicationDirPath() + "/" OSTREL_APPLET_HOST_FROM_BIN;
    if (QFileInfo::exists(installed + "/AppletHost.jar"))
        return installed;
    return QStringLiteral(OSTREL_APPLET_HOST_BUILD_DIR);
}

QString AppletHost::sandboxProgram()
{
    if (qEnvironmentVariable("OSTREL_APPLET_SANDBOX") == "off")
        return {};
    return QStandardPaths::findExecutable("bwrap");
}

void AppletHost::start()
{
    // Classes come over the web only: a page without a base address would
    // otherwise name a folder of this machine as the code base.
    const QString scheme = element_.codeBase.scheme();
    if (scheme != "http" && scheme != "https") {
        emit status(QString("The applet cannot run: its code base %1 is not a web address")
                        .arg(element_.codeBase.toDisplayString()));
        return;
    }
    const QString folder = platform::runtimeFolder();
    if (folder.isEmpty()) {
        emit status("The applet cannot run: there is no private folder for its pictures");
        return;
    }
    const auto bytes = static_cast<std::size_t>(element_.box.width()) * static_cast<std::size_t>(element_.box.height()) * 4;
    QString error;
    if (!frames_.create(bytes, &error)) {
        emit status(QString("The applet cannot run: %1").arg(error));
        return;
    }
    java_ = JavaRuntime::find();
    if (java_.program.isEmpty()) {
        emit status("A Java runtime (OpenJDK 17 or later) is needed to show this camera's picture");
        return;
    }
    if (java_.feature > 0 && java_.feature < 17) {
        emit status("This camera's picture needs Java 17 or later to run its applet (found Java " +
                    java_.versionText() + ")");
        return;
    }
    emit status(QString("Connecting to %1\u2026").arg(server()));
    if (sandboxProgram().isEmpty()) {
        launchUnfenced(qEnvironmentVariable("OSTREL_APPLET_SANDBOX") == "off"
                           ? "the OS sandbox is switched off (OSTREL_APPLET_SANDBOX=off)"
                           : "bubblewrap (bwrap) is not installed");
        return;
    }
    launch(true);
}

QString AppletHost::server() const
{
    const QUrl& base = element_.codeBase;
    return base.host() + ":" + QString::number(base.port(base.scheme() == "https" ? 443 : 80));
}

void AppletHost::launchUnfenced(const QString& why)
{
    // Without the OS sandbox only Java's security manager holds the applet,
    // and a Java that has none cannot.
    if (!java_.hasSecurityManager()) {
        const QString version = java_.versionText().isEmpty() ? QString() : " " + java_.versionText();
        emit status(QString("The applet cannot run safely here: Java%1 has no security manager, and the OS sandbox "
                            "that must hold the applet instead cannot be used: %2")
                        .arg(version, why));
        saidStatus_ = true;
        return;
    }
    warnOnce(why + ": applets run with Java's security manager alone");
    launch(false);
}

QStringList AppletHost::hostArguments(const QString& folder, const QString& relay, bool inSandbox) const
{
    QStringList arguments = {folder + "/ostrel-applet-host.sh", QString::number(std::max(element_.box.width(), 64)),
                             QString::number(std::max(element_.box.height(), 64))};
    arguments << java_.hostCommand(folder);
    arguments << "--code" << element_.code <<
        "--codebase" << element_.codeBase.toString()
              << "--document" << element_.documentBase.toString()
              << "--width" << QString::number(element_.box.width())
              << "--height" << QString::number(element_.box.height())
              << "--frames" << QString("/proc/self/fd/%1").arg(kFramesDescriptor)
              << "--sandbox" << (inSandbox ? "os" : "none");
    if (!relay.isEmpty())
        arguments << "--relay" << relay;
    if (!element_.archives.isEmpty())
        arguments << "--archive" << element_.archives.join(',');
    if (!element_.name.isEmpty())
        arguments << "--name" << element_.name;
    for (const auto& [name, value] : element_.parameters)
        arguments << "--param" << name << value;
    return arguments;
}

void AppletHost::launch(bool inSandbox)
{
    const QString host = hostFolder();
    sandboxed_ = inSandbox;
    QString error;
    messages_ = std::make_unique<HostPipe>(kMostMessageBytes, kMessageBytesPerSecond);
    errors_ = std::make_unique<HostPipe>(kMostMessageBytes, kErrorBytesPerSecond);
    if (!messages_->open(&error) || !errors_->open(&error)) {
        emit status(QString("The applet cannot run: %1").arg(error));
        return;
    }
    connect(messages_.get(), &HostPipe::line, this, &AppletHost::message);
    connect(errors_.get(), &HostPipe::line, this, &AppletHost::errorLine);
    if (inSandbox && seccomp_ < 0 && (seccomp_ = appletseccomp::filterDescriptor(&error)) < 0) {
        emit status(QString("The applet cannot run: %1").arg(error));
        return;
    }
    process_.setChildProcessModifier(
        [out = messages_->writeEnd(), err = errors_->writeEnd(), frames = frames_.descriptor(),
         seccomp = inSandbox ? seccomp_ : -1] { setUpHostProcess(out, err, frames, seccomp); });
    const auto started = [this] {
        messages_->closeWriteEnd();
        errors_->closeWriteEnd();
        if (seccomp_ >= 0)
            ::close(seccomp_);
        seccomp_ = -1;
    };
    if (!inSandbox) {
        process_.start("/bin/sh", hostArguments(host, QString(), false));
        started();
        return;
    }
    // The sandbox: read-only system folders, a private /tmp, no home, no
    // user files, its own namespaces, and no network but the relay to the
    // code base. A camera named by an address outside this machine is given
    // to the sandbox's loopback for the relay to stand in for; without the
    // program that does that (ip), the applet keeps the network, which only
    // Java's security manager then holds to that address.
    const QString codeHost = element_.codeBase.host();
    const QHostAddress address(codeHost);
    const bool onLoopback = address.isNull() || address.isLoopback(); // a name is made to mean the loopback
    const QString ip = QStandardPaths::findExecutable("ip", {"/usr/sbin", "/usr/bin", "/sbin", "/bin"});
    const bool relayed = onLoopback || !ip.isEmpty();
    if (!relayed && !java_.hasSecurityManager()) {
        emit status(QString("The applet cannot run safely here: Java %1 has no security manager, and without the "
                            "program ip (iproute2) the OS sandbox cannot hold it to its camera at %2")
                        .arg(java_.versionText(), codeHost));
        saidStatus_ = true;
        return;
    }
    QString relayPath;
    if (relayed) {
        relay_ = std::make_unique<AppletRelay>(codeHost, static_cast<quint16>(element_.codeBase.port(element_.codeBase.scheme() == "https" ? 443 : 80)));
        relayPath = platform::runtimeFolderPath() + QString("/applet-%1.relay").arg(nextHostNumber());
        if (!relay_->listen(relayPath, &error)) {
            emit status(QString("The applet cannot run: %1").arg(error));
            return;
        }
    } else {
        warnOnce(QString("the camera %1 is not on this machine and ip (iproute2) is not installed: its applet keeps "
                         "the network, limited by Java's security manager to %1 alone").arg(codeHost));
    }
    AppletSandbox sandbox;
    sandbox.javaHome = java_.home();
    sandbox.hostFolder = host;
    sandbox.relayFile = relayPath;
    sandbox.keepsNetwork = !relayed;
    if (!onLoopback && relayed)
        sandbox.cameraAddress = address.toString();
    sandbox.seccompDescriptor = kSeccompDescriptor;
    QStringList arguments = sandbox.arguments();
    arguments << sandbox.command(QStringList{"/bin/sh"} +
                                 hostArguments("/ostrel/host", relayPath.isEmpty() ? QString() : "/ostrel/relay", true));
    process_.start(sandboxProgram(), arguments);
    started();
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
    // A host that does not read its input is not sent more than a bounded
    // amount of it (mouse moves of a minute or so); only its end always goes.
    if (running() && (process_.bytesToWrite() < kMostUnsentInput || line == "quit"))
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

void AppletHost::errorLine(const QByteArray& line, bool cut)
{
    // The applet's own prints and the host's troubles, passed on line by line.
    if (line.startsWith("bwrap:"))
        sandboxRefused_ = true;
    if (isUnsuitableJava(line))
        unsuitableJava_ = true;
    if (isJvmNotice(line))
        return;
    if (!errorBudget_.take(clock_.elapsed())) {
        ++errorsLeftOut_;
        return;
    }
    QByteArray text;
    if (errorsLeftOut_ > 0)
        text = "applet: (" + QByteArray::number(errorsLeftOut_) + " lines left out)\n";
    text += "applet: " + appletoutput::printable(line, kMostErrorLineChars) + (cut ? "\u2026\n" : "\n");
    if (appletoutput::write(text))
        errorsLeftOut_ = 0;
    else
        ++errorsLeftOut_;
}

void AppletHost::message(const QByteArray& bytes, bool cut)
{
    if (dropped_)
        return; // what it sent before it ended
    if (cut || !messageBudget_.take(clock_.elapsed())) {
        // No message of the host is that long, nor comes that often: it no
        // longer speaks its part. A frame it announced must not cover the text.
        dropped_ = true;
        frameTimer_.stop();
        emit status(cut ? "The applet's host sent a message too long to be one; it was stopped"
                        : "The applet's host sent messages far faster than pictures come; it was stopped");
        saidStatus_ = true;
        process_.kill();
        return;
    }
    const QString line = QString::fromUtf8(bytes).trimmed();
    const QString word = line.section(' ', 0, 0);
    const QString text = line.section(' ', 1);
    if (word == "frame") {
        frameAnnounced(text.section(' ', 1, 1).toLongLong());
    } else if (word == "status") {
        saidStatus_ = true;
        frameTimer_.stop(); // a frame announced before it must not cover the text
        emit status(text);
    } else if (word == "progress") {
        emit status(text);
    } else if (word == "tip") {
        emit tip(text);
    } else if (word == "started") {
        started_ = true;
        emit started();
    }
}

void AppletHost::frameAnnounced(qint64 capturedNs)
{
    announcedNs_ = capturedNs;
    if (frameTimer_.isActive())
        return; // the latest is taken when the timer fires
    const qint64 since = clock_.elapsed() - lastTakenMs_;
    const qint64 least = leastFrameIntervalMs();
    if (since >= least)
        takeFrame(capturedNs);
    else
        frameTimer_.start(static_cast<int>(least - since));
}

void AppletHost::setSeen(bool seen)
{
    seen_ = seen;
    if (seen_ && waiting_)
        takeFrame(announcedNs_);
}

void AppletHost::takeFrame(qint64 capturedNs)
{
    waiting_ = !seen_;
    if (waiting_)
        return; // left in the buffer; the host waits for it to be taken
    lastTakenMs_ = clock_.elapsed();
    if (!frames_.data())
        return;
    // The host writes 0xAARRGGBB words; the picture is opaque.
    const QImage shared(frames_.data(), element_.box.width(), element_.box.height(), QImage::Format_RGB32);
    const QImage picture = shared.copy();
    send("ack"); // the host may write the next one now
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    lastLatencyNs_ = qint64{now.tv_sec} * 1'000'000'000 + now.tv_nsec - capturedNs;
    emit frame(picture);
}

void AppletHost::hostEnded(int exitCode, QProcess::ExitStatus exitStatus)
{
    killTimer_.stop();
    errors_->drain();
    messages_->drain();
    if (sandboxed_ && sandboxRefused_ && !started_ && !stopping_) {
        // bubblewrap cannot make namespaces here (user namespaces off).
        relay_.reset();
        sandboxRefused_ = false;
        launchUnfenced("bubblewrap cannot make its namespaces here");
        if (!running())
            emit ended();
        return;
    }
    if (unsuitableJava_ && !saidStatus_) {
        const QString version = java_.versionText();
        emit status("This camera's picture needs Java 17 or later to run its applet" +
                    (version.isEmpty() ? QString() : " (found Java " + version + ")"));
    } else if (!stopping_ && !saidStatus_) {
        emit status(exitStatus == QProcess::CrashExit
                        ? QString("The applet's host ended unexpectedly")
                        : QString("The applet's host ended (exit status %1)").arg(exitCode));
    }
    emit ended();
}
