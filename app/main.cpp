// ostrel: the viewer for the live picture of a Brimcast webcam server.
#include "platform/Icons.h"
#include "viewer/frmOstrel.h"

#include <QApplication>
#include <QStringList>

#include <unistd.h>

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

} // namespace

int main(int argc, char* argv[])
{
    // Chromium refuses to run its sandbox as root; only then is it turned off.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // Read before the application object exists, and hand it only the
    // program's name: Qt would otherwise take -name, -title, -style,
    // -display and others as its own and remove them. Qt's settings still
    // come from its environment variables (QT_QPA_PLATFORM, DISPLAY, ...).
    const QString commandLine = argumentText(argc, argv);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setWindowIcon(platform::icons::application());
    QApplication::setApplicationVersion(OSTREL_VERSION);

    frmOstrel window;
    window.Form_Load(commandLine);
    return QApplication::exec();
}
