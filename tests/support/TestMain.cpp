// The main of every test program: GoogleTest with a QApplication, on the
// offscreen platform unless the environment chooses another.
#include <QApplication>

#include <gtest/gtest.h>

#include <unistd.h>

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The browser engine refuses its sandbox as root (CI runs as root).
    // Pages here show no applets unless a test asks for them.
    if (qEnvironmentVariableIsEmpty("OSTREL_APPLETS"))
        qputenv("OSTREL_APPLETS", "off");
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
