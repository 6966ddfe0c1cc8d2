// The main of the tests that drive real programs on a desktop (the viewer,
// the applet's test host): a private X display with a window manager and a
// tray for the run, and an application object of the test's own to read the
// screen's pixels.
#include "support/X11Session.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <cstdio>

int main(int argc, char* argv[])
{
    testsupport::X11Session session(true);
    if (!session.error().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(session.error()));
        return 1;
    }
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
