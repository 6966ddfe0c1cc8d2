// The main of the viewer tests that need a real X server and a window manager
// (window moves, the window manager's resizing, always on top, the tray): it
// starts Xvfb, openbox and a tray (trayer) for the run, then the tests.
#include "browser/WebBrowser.h"
#include "support/X11Session.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char* argv[])
{
    testsupport::X11Session session(true);
    if (!session.error().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(session.error()));
        return 1;
    }
    // Pages here show no applets unless a test asks for them.
    if (qEnvironmentVariableIsEmpty("OSTREL_APPLETS"))
        qputenv("OSTREL_APPLETS", "off");
    WebBrowser::prepareEngine(); // as the program sets the engine up
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
