// ostrel: the viewer for the live picture of a Brimcast webcam server.
#include "browser/WebBrowser.h"
#include "platform/Application.h"
#include "platform/EndRequest.h"
#include "platform/Icons.h"
#include "platform/WindowSystem.h"
#include "viewer/frmOstrel.h"
#include "Version.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The program's arguments as one line of text, the way the start-up reads
// them: every argument after the program's name, joined by single blanks.
QString argumentText(int argc, char* argv[])
{
    QStringList words;
    for (int i = 1; i < argc; ++i)
        words << QString::fromLocal8Bit(argv[i]);
    return words.join(' ');
}

constexpr const char* kUsage =
    "Usage: ostrel [-name PROFILE] [-host HOST] [-port PORT] [-ontop] [-hide]\n"
    "Shows the live picture of a Brimcast webcam server.\n"
    "\n"
    "  -name PROFILE  connect with the saved connection profile PROFILE; a name with\n"
    "                 blanks in quotes (-name \"front door\")\n"
    "  -host HOST     the camera server's host name or address\n"
    "  -port PORT     its port (8081 when only -host is given)\n"
    "  -ontop         keep the window above the others\n"
    "  -hide          start hidden in the tray\n"
    "  --help         show this text and exit\n"
    "  --version      show the version and exit\n"
    "\n"
    "Keys: F5 reconnect, Space or S snapshot (again: live), Ctrl+S save the snapshot,\n"
    "Escape leave the snapshot. In the applet's box, typing keys go to the applet.\n"
    "\n"
    "Image window: Ctrl+O open (Escape cancels a long read), Ctrl+S save as JPEG,\n"
    "arrows, Page Up/Down, Home/End scroll, + and - zoom (or Ctrl+wheel), Ctrl+0 one\n"
    "to one, F fit to the window, F11 full screen (Escape leaves it); the right\n"
    "button shows the same as a menu.\n";

// "--help" or "--version" anywhere on the command line: the answer, printed
// without opening any window. Returns whether one was given.
bool answeredQuestion(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("ostrel %s\n", OSTREL_VERSION);
            return true;
        }
    }
    return false;
}

// Window places, staying on top and moves by the page need X11: on a
// Wayland session with XWayland the viewer runs as an X client, unless the
// user chose a platform.
void preferX11OnWayland()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

QtMessageHandler previousHandler = nullptr;

// Where the window system still cannot be started, Qt ends the program with
// an abort and a plea to reinstall it: say what is missing and end plainly.
// The engine's note that its sandbox is off is left out: Ostrel turned it
// off, as root, not the user.
void sayPlainly(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg && text.contains("platform plugin")) {
        std::fputs("ostrel: no display to show the viewer on (Qt could not start its window system)\n", stderr);
        std::_Exit(1);
    }
    if (type == QtInfoMsg && text == "Sandboxing disabled by user.")
        return;
    previousHandler(type, context, text);
}

} // namespace

int main(int argc, char* argv[])
{
    if (answeredQuestion(argc, argv))
        return 0;
    preferX11OnWayland();
    if (const QString problem = platform::displayProblem(); !problem.isEmpty()) {
        std::fprintf(stderr, "ostrel: no display to show the viewer on (%s)\n", qPrintable(problem));
        return 1;
    }
    previousHandler = qInstallMessageHandler(sayPlainly);
    WebBrowser::prepareEngine();
    // Read before the application object exists, and hand it only the
    // program's name: Qt would otherwise take -name, -title, -style,
    // -display and others as its own and remove them. Qt's settings still
    // come from its environment variables (QT_QPA_PLATFORM, DISPLAY, ...).
    const QString commandLine = argumentText(argc, argv);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    // Message boxes take their title from the program's name, set here once.
    QApplication::setApplicationName(platform::applicationName());
    QApplication::setWindowIcon(platform::icons::application());
    QApplication::setApplicationVersion(OSTREL_VERSION);

    frmOstrel window;
    // Asked to end (logout, kill, Ctrl+C): as the tray menu's Quit, so the
    // window's place is kept and every short-lived file is removed.
    platform::onEndRequest(&window, [&window] {
        window.close();
        QApplication::closeAllWindows();
        QApplication::quit();
    });
    window.Form_Load(commandLine);
    return QApplication::exec();
}
