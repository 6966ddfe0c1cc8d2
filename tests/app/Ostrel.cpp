// Test helper: the real ostrel program with a home of its own, and where its controls are on the screen.
#include "Ostrel.h"

#include <QDir>
#include <QDirIterator>

#include "support/Desktop.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

namespace {

// The toolbar's layout in pixels at 96 dots per inch: buttons 22 x 21, one
// every 24 pixels; the view 8 pixels inside the page below the row.
constexpr int kButtonPitch = 24;
constexpr int kButtonRow = 21;
constexpr int kPageMargin = 8;

} // namespace

Ostrel::Ostrel()
{
    QDir(home_.path()).mkpath(".config/ostrel");
    QDir(home_.path()).mkpath("run");
    QFile::setPermissions(home_.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

Ostrel::~Ostrel()
{
    if (running()) {
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
        process_.waitForFinished();
    }
}

void Ostrel::writeSettings(const QByteArray& text)
{
    QFile file(settingsPath());
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
}

QString Ostrel::settingsPath() const
{
    return home_.filePath(".config/ostrel/settings.conf");
}

QString Ostrel::settings() const
{
    QFile file(settingsPath());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool Ostrel::start(const QStringList& arguments, bool hidden, bool chooseOwnPlatform)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home_.path());
    environment.insert("XDG_CONFIG_HOME", home_.filePath(".config"));
    environment.insert("XDG_RUNTIME_DIR", home_.filePath("run"));
    if (chooseOwnPlatform)
        environment.remove("QT_QPA_PLATFORM");
    else
        environment.insert("QT_QPA_PLATFORM", "xcb");
    environment.insert("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu");
    // X and D-Bus client libraries keep memory to the end in ways the
    // sanitizer build's leak checker cannot tell apart from leaks.
    environment.insert("ASAN_OPTIONS", "detect_leaks=0:abort_on_error=1:new_delete_type_mismatch=0");
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    // The built program, or an installed one (the install test names it).
    const QString binary = qEnvironmentVariable("OSTREL_TEST_BINARY", OSTREL_BINARY);
    main_.clear();
    process_.start(binary, arguments);
    if (!process_.waitForStarted(5000)) {
        error_ = "cannot start " + binary + ": " + process_.errorString();
        return false;
    }
    // Started hidden in a tray, the main window may not exist before it is
    // first shown: then its tray icon is the sign of a start.
    const bool found = desktop::waitFor(
        [&] {
            main_.clear(); // asked again each time: a message box may come first
            if (!mainWindow().isEmpty())
                return hidden || desktop::window(main_).mapped;
            return !running() || (hidden && !trayIcon().isEmpty());
        },
        30000);
    if (!found || !running() || (main_.isEmpty() && !hidden)) {
        error_ = "the main window did not come: " + output();
        return false;
    }
    desktop::pause(hidden ? 600 : 400); // the first page build and the window manager settle
    return true;
}

QStringList Ostrel::runtimeFiles() const
{
    QStringList found;
    QDirIterator it(home_.filePath("run"), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = QDir(home_.filePath("run")).relativeFilePath(it.next());
        if (path.contains('/')) // inside the per-user folder, which stays
            found << path;
    }
    return found;
}

bool Ostrel::waitForExit(int timeoutMs)
{
    return desktop::waitFor([&] { return !running(); }, timeoutMs);
}

QString Ostrel::mainWindow() const
{
    // The one whose title carries the version.
    if (main_.isEmpty())
        for (const QString& id : desktop::windowsOf(pid(), false))
            if (desktop::title(id).contains(" v1.")) {
                main_ = id;
                break;
            }
    return main_;
}

QString Ostrel::output()
{
    output_ += QString::fromLocal8Bit(process_.readAll());
    return output_;
}

QRect Ostrel::client() const
{
    return desktop::window(mainWindow()).client;
}

QString Ostrel::trayIcon() const
{
    // The tray icon's window is the small one named after the program.
    for (const QString& id : desktop::windowsOf(pid(), true)) {
        const desktop::Window w = desktop::window(id);
        if (id != main_ && w.client.width() <= 32 && w.client.height() <= 32)
            return id;
    }
    return {};
}

QPoint Ostrel::button(int index) const
{
    return client().topLeft() + QPoint(index * kButtonPitch + 11, 10);
}

QPoint Ostrel::background() const
{
    // Right of the last button, at view sizes from 160x120 on.
    return client().topLeft() + QPoint(6 * kButtonPitch + 16, 10);
}

QPoint Ostrel::page() const
{
    // The page's left margin, beside the applet's box.
    return client().topLeft() + QPoint(kPageMargin / 2, kButtonRow + kPageMargin + 30);
}

QRect Ostrel::view(int width, int height) const
{
    return QRect(client().topLeft() + QPoint(kPageMargin, kButtonRow + kPageMargin), QSize(width, height));
}

QString Ostrel::pageFile() const
{
    return home_.filePath(QString("run/ostrel-%1/%2/ostrel.htm").arg(::getuid()).arg(pid()));
}
