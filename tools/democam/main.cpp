// ostrel-democam: a small camera server for trying the Ostrel viewer. It
// streams a moving test picture as MJPEG and hands out its own streaming
// applet, as a Brimcast camera does.
#include "AppletJar.h"
#include "Camera.h"
#include "HttpServer.h"
#include "Options.h"
#include "Version.h"

#include <QFile>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the event loop, so the server stops cleanly.
bool stopOnSignals(QCoreApplication& app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return false;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}

int failWith(const QString& message)
{
    std::fprintf(stderr, "ostrel-democam: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    // The options are read before Qt could take any of them as its own.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QString error;
    DemoCamQuestion question = DemoCamQuestion::None;
    const auto options = parseDemoCamOptions(arguments, &error, &question);
    if (question == DemoCamQuestion::Help) {
        std::fputs(qPrintable(demoCamUsage()), stdout);
        return 0;
    }
    if (question == DemoCamQuestion::Version) {
        std::printf("ostrel-democam %s\n", OSTREL_VERSION);
        return 0;
    }
    if (!options)
        return failWith(error);

    // Fonts for the picture's captions; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);

    QFile jarFile(":/applet/BrimcastApplet.jar");
    AppletJar applet;
    if (!jarFile.open(QIODevice::ReadOnly) || !applet.load(jarFile.readAll(), &error))
        return failWith("the applet's jar is missing from the program: " + error);

    Camera camera(options->size, options->fps, options->quality);
    HttpServer server(*options, camera, applet);
    if (!server.listen(&error))
        return failWith(error);
    if (!stopOnSignals(app))
        return failWith("cannot watch for SIGINT and SIGTERM");
    if (options->duration > 0)
        QTimer::singleShot(options->duration * 1000, &app, &QCoreApplication::quit);
    camera.start();
    std::printf("listening on %s\n", qPrintable(server.url()));
    std::fflush(stdout);
    return QGuiApplication::exec();
}
