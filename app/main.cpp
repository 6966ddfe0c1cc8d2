// ostrel: the viewer for the live picture of a Brimcast webcam server.
#include "platform/Icons.h"
#include "viewer/frmOstrel.h"

#include <QApplication>
#include <QStringList>

#include <unistd.h>

int main(int argc, char* argv[])
{
    // Chromium refuses to run its sandbox as root; only then is it turned off.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    QApplication::setWindowIcon(platform::icons::application());
    QApplication::setApplicationVersion(OSTREL_VERSION);

    // The options as one line of text, the way the start-up reads them.
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    frmOstrel window;
    window.Form_Load(arguments.join(' '));
    return QApplication::exec();
}
