// What a person meets: the real ostrel program, driven with X input under a
// window manager and a tray, checked by what the X server shows.
#include "Version.h"
#include "Ostrel.h"
#include "support/Desktop.h"
#include "support/X11Session.h"

#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

using namespace desktop;

namespace {

// The window's inside for a view size: 8 pixels of page around the view and
// the 21-pixel button row above, never narrower than the six buttons.
QSize clientFor(int width, int height)
{
    return {std::max(width + 16, 142), height + 37};
}

// The left, right, top and bottom widths of the window manager's frame.
QList<int> frameExtents(const QString& id)
{
    QList<int> extents;
    const QString text = property(id, "_NET_FRAME_EXTENTS");
    for (const QString& part : text.section('=', 1).split(',', Qt::SkipEmptyParts))
        extents << part.trimmed().toInt();
    return extents.size() == 4 ? extents : QList<int>{0, 0, 0, 0};
}

// The page file's text, caught within a second of a page build.
QString nextPage(const Ostrel& ostrel)
{
    QString text;
    waitFor(
        [&] {
            QFile file(ostrel.pageFile());
            if (file.open(QIODevice::ReadOnly))
                text = QString::fromLatin1(file.readAll());
            return !text.isEmpty();
        },
        3000);
    return text;
}

// A pop-up (menu, dialog, panel) that the program opens after `action`.
QString popupAfter(const Ostrel& ostrel, const std::function<void()>& action)
{
    const QStringList before = windowsOf(ostrel.pid(), true);
    action();
    QString popup;
    waitFor([&] { return !(popup = newWindowOf(ostrel.pid(), before)).isEmpty(); }, 5000);
    return popup;
}

// Picks menu item `index` of `count` with the mouse.
void clickMenuItem(const QString& menu, int index, int count)
{
    const QRect r = window(menu).client;
    const int item = r.height() / count;
    click(QPoint(r.center().x(), r.top() + index * item + item / 2));
}

bool hasDarkRed(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == qRgb(128, 0, 0))
                return true;
    return false;
}

constexpr int kSizeButton = 4;
constexpr int kAboutButton = 5;
constexpr int kProfilesButton = 0;
constexpr int kSnapshotButton = 3;
constexpr int kRefreshButton = 2;

class UserFlows : public ::testing::Test {
protected:
    void start(const QStringList& arguments, bool hidden = false)
    {
        ASSERT_TRUE(ostrel.start(arguments, hidden)) << qPrintable(ostrel.error());
    }
    QSize clientSize() const { return ostrel.client().size(); }

    Ostrel ostrel;
};

} // namespace

TEST_F(UserFlows, OnePickFromTheSizeMenuAppliesTheSize)
{
    start({"-host", "127.0.0.1"});
    EXPECT_EQ(clientSize(), clientFor(320, 240));

    // By mouse: "640x480".
    QString menu = popupAfter(ostrel, [&] { click(ostrel.button(kSizeButton)); });
    ASSERT_FALSE(menu.isEmpty()) << "the size menu did not open";
    clickMenuItem(menu, 3, 6);
    EXPECT_TRUE(waitFor([&] { return clientSize() == clientFor(640, 480); }, 3000)) << clientSize().width();

    // By keyboard: "160x120".
    menu = popupAfter(ostrel, [&] { click(ostrel.button(kSizeButton)); });
    ASSERT_FALSE(menu.isEmpty());
    key({"Down", "Down", "Return"});
    EXPECT_TRUE(waitFor([&] { return clientSize() == clientFor(160, 120); }, 3000)) << clientSize().width();

    // The current size again: nothing changes and no page is built.
    ASSERT_TRUE(waitFor([&] { return !QFile::exists(ostrel.pageFile()); }, 4000));
    menu = popupAfter(ostrel, [&] { click(ostrel.button(kSizeButton)); });
    ASSERT_FALSE(menu.isEmpty());
    clickMenuItem(menu, 1, 6);
    pause(700);
    EXPECT_FALSE(QFile::exists(ostrel.pageFile())) << "picking the current size rebuilt the page";
    EXPECT_EQ(clientSize(), clientFor(160, 120));

    // The window offers no maximise (its size is fixed): Motif hints lack
    // the maximise function (0x10) and decoration (0x40).
    const QStringList hints = property(ostrel.mainWindow(), "_MOTIF_WM_HINTS").section('=', 1).split(',');
    ASSERT_GE(hints.size(), 3);
    EXPECT_EQ(hints[1].trimmed().toUInt(nullptr, 16) & 0x10, 0u);
    EXPECT_EQ(hints[2].trimmed().toUInt(nullptr, 16) & 0x40, 0u);
}

// Grown near the screen's corner, the window moves to keep all of itself,
// title bar included, on the screen.
TEST_F(UserFlows, TheLargestSizeKeepsTheWholeWindowOnTheScreen)
{
    start({"-host", "127.0.0.1"});
    run("xdotool", {"windowmove", ostrel.mainWindow(), "900", "700"});
    ASSERT_TRUE(waitFor([&] { return ostrel.client().left() >= 900; }, 3000));
    const QString menu = popupAfter(ostrel, [&] { click(ostrel.button(kSizeButton)); });
    ASSERT_FALSE(menu.isEmpty());
    clickMenuItem(menu, 5, 6); // 1024x768
    ASSERT_TRUE(waitFor([&] { return clientSize() == clientFor(1024, 768); }, 3000));
    const QList<int> frame = frameExtents(ostrel.mainWindow());
    const QRect screen(0, 0, 1280, 1024);
    EXPECT_TRUE(waitFor([&] {
        return screen.contains(ostrel.client().adjusted(-frame[0], -frame[2], frame[1], frame[3]));
    }, 3000)) << ostrel.client().x() << "," << ostrel.client().y();
}

TEST_F(UserFlows, MinimisingHidesToTheTrayAndTheIconBringsTheWindowBackInPlace)
{
    ostrel.writeSettings("[position]\nleft=3000\ntop=1500\n");
    start({"-host", "127.0.0.1"});
    const QString id = ostrel.mainWindow();
    const QRect before = ostrel.client();
    const QList<int> frame = frameExtents(id);
    EXPECT_EQ(before.topLeft() - QPoint(frame[0], frame[2]), QPoint(200, 100));
    // With the profiles panel open, both go.
    const QString panel = popupAfter(ostrel, [&] { click(ostrel.button(kProfilesButton)); });
    ASSERT_FALSE(panel.isEmpty());

    for (int round = 0; round < 2; ++round) {
        run("xdotool", {"windowminimize", id});
        EXPECT_TRUE(waitFor([&] { return !window(id).mapped; }, 3000)) << "the window stayed on the screen";
        EXPECT_FALSE(window(panel).mapped);
        const QString icon = ostrel.trayIcon();
        ASSERT_FALSE(icon.isEmpty()) << "no tray icon";
        const QPoint iconAt = window(icon).client.center();

        // The right button opens the icon's menu and does not restore.
        const QString menu = popupAfter(ostrel, [&] { click(iconAt, 3); });
        EXPECT_FALSE(menu.isEmpty()) << "the tray icon has no menu";
        pause(300);
        EXPECT_FALSE(window(id).mapped);
        key({"Escape"});
        waitFor([&] { return !window(menu).mapped; }, 2000);

        click(iconAt);
        ASSERT_TRUE(waitFor([&] { return window(id).mapped; }, 3000)) << "the tray did not bring the window back";
        pause(400);
        EXPECT_EQ(ostrel.mainWindow(), id);
        EXPECT_EQ(ostrel.client(), before) << "round " << round;
        EXPECT_FALSE(window(panel).mapped);
        // Drawn: the button row shows its light background, not black.
        const QImage row = grab(QRect(ostrel.client().topLeft(), QSize(ostrel.client().width(), 21)));
        EXPECT_GT(qGray(row.pixel(row.width() - 5, 10)), 150) << "the window came back unpainted";
    }
}

// Run on every test desktop (with a tray, without one, other window managers).
TEST(AnyDesktop, AWindowStartedHiddenComesBackWhereItWasStoredAndKeepsThatPlace)
{
    const bool tray = testsupport::X11Session::desktopHasTray();
    for (const QStringList& arguments : {QStringList{"-hide"}, QStringList{"-host", "127.0.0.1", "-ontop", "-hide"}}) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        Ostrel ostrel;
        ostrel.writeSettings("[position]\nleft=4500\ntop=3000\n");
        for (int round = 0; round < 2; ++round) {
            SCOPED_TRACE(round);
            ASSERT_TRUE(ostrel.start(arguments, true)) << qPrintable(ostrel.error());
            pause(500);
            // Out of sight: in the tray, or minimised where there is none.
            if (tray) {
                EXPECT_FALSE(window(ostrel.mainWindow()).mapped);
                click(window(ostrel.trayIcon()).client.center());
            } else {
                // On a loaded machine the window may come some time after the start.
                QString state;
                EXPECT_TRUE(waitFor([&] { return (state = property(ostrel.mainWindow(), "WM_STATE")).contains("Iconic"); },
                                    5000))
                    << qPrintable(state);
                run("xdotool", {"windowactivate", ostrel.mainWindow()});
            }
            QString id;
            ASSERT_TRUE(waitFor([&] { return window(id = ostrel.mainWindow()).mapped; }, 3000)) << "it did not come back";
            pause(400);
            const QList<int> frame = frameExtents(id);
            EXPECT_EQ(ostrel.client().topLeft() - QPoint(frame[0], frame[2]), QPoint(300, 200));
            EXPECT_EQ(ostrel.client().size(), clientFor(320, 240));
            if (arguments.contains("-ontop")) {
                EXPECT_TRUE(property(id, "_NET_WM_STATE").contains("_NET_WM_STATE_ABOVE"));
            }
            ::kill(static_cast<pid_t>(ostrel.pid()), SIGTERM); // as the tray's Quit
            ASSERT_TRUE(ostrel.waitForExit(10000));
            EXPECT_TRUE(ostrel.settings().contains("[position]\nleft=4500\ntop=3000\n")) << qPrintable(ostrel.settings());
        }
    }
}

TEST_F(UserFlows, QuitFromTheTrayMenuSavesAndEnds)
{
    start({});
    const QString icon = ostrel.trayIcon();
    ASSERT_FALSE(icon.isEmpty());
    const QString menu = popupAfter(ostrel, [&] { click(window(icon).client.center(), 3); });
    ASSERT_FALSE(menu.isEmpty());
    clickMenuItem(menu, 1, 2); // "Quit"
    EXPECT_TRUE(ostrel.waitForExit(10000)) << "Quit did not end the program";
    EXPECT_TRUE(ostrel.settings().contains("[size]\nindex=2")) << qPrintable(ostrel.settings());
    EXPECT_EQ(ostrel.output(), "") << "a plain start and quit printed something";
}

TEST_F(UserFlows, TheProgramSeesEveryOptionOfItsCommandLine)
{
    // -name picks the stored profile; Qt's own options (-name, -title,
    // -style) are left to the program; -host is ignored with a complete profile.
    ostrel.writeSettings("[name]\nPorch=Porch\n\n[Porch]\nhost=cam1\nport=81\n");
    start({"-title", "x", "-name", "Porch", "-host", "other", "-style", "fusion"});
    EXPECT_EQ(title(ostrel.mainWindow()), "Porch - ostrel v" OSTREL_VERSION);
    EXPECT_TRUE(property(ostrel.mainWindow(), "WM_CLASS").contains("\"ostrel\", \"ostrel\""))
        << qPrintable(property(ostrel.mainWindow(), "WM_CLASS"));
    ASSERT_TRUE(waitFor([&] { return !QFile::exists(ostrel.pageFile()); }, 4000));
    click(ostrel.button(kRefreshButton));
    EXPECT_TRUE(nextPage(ostrel).contains("<base href='http://cam1:81/'>"));
}

TEST_F(UserFlows, QuittingWhileAStoppedProgramHoldsTheSettingsSaysWhatWasNotSaved)
{
    ostrel.writeSettings("[size]\nindex=1\n");
    start({});
    QProcess holder; // another program that took the settings' lock and was stopped
    holder.start("flock", {"--close", ostrel.settingsPath() + ".lock", "sleep", "60"});
    ASSERT_TRUE(holder.waitForStarted());
    pause(300);
    ::kill(static_cast<pid_t>(holder.processId()), SIGSTOP);

    const QString menu = popupAfter(ostrel, [&] { click(window(ostrel.trayIcon()).client.center(), 3); });
    ASSERT_FALSE(menu.isEmpty());
    const QString box = popupAfter(ostrel, [&] { clickMenuItem(menu, 1, 2); }); // "Quit"
    ASSERT_FALSE(box.isEmpty()) << "no word of the settings that were not saved";
    EXPECT_TRUE(ostrel.running());
    key({"Return"});
    EXPECT_TRUE(ostrel.waitForExit(10000));
    ::kill(static_cast<pid_t>(holder.processId()), SIGKILL);
    holder.waitForFinished();
    EXPECT_TRUE(ostrel.settings().contains("[size]\nindex=1")) << "the file changed under another's lock";
}

TEST(CommandLine, HelpAndVersionPrintAndEndWithoutAWindow)
{
    for (const QString word : {"--help", "--version"}) {
        QProcess ostrel;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("DISPLAY"); // a window could not open: the answer must not need one
        environment.insert("QT_QPA_PLATFORM", "xcb");
        ostrel.setProcessEnvironment(environment);
        ostrel.start(OSTREL_BINARY, {"-host", "cam", word});
        ASSERT_TRUE(ostrel.waitForFinished(10000)) << qPrintable(word);
        EXPECT_EQ(ostrel.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(ostrel.exitCode(), 0) << qPrintable(ostrel.readAllStandardError());
        const QString text = QString::fromUtf8(ostrel.readAllStandardOutput());
        if (word == "--help") {
            EXPECT_TRUE(text.startsWith("Usage: ostrel [-name PROFILE] [-host HOST] [-port PORT]")) << qPrintable(text);
            for (const char* option : {"-name", "-host", "-port", "-ontop", "-hide", "--version"})
                EXPECT_TRUE(text.contains(QString("  ") + option)) << option;
            for (const char* keys : {"F5 reconnect", "Image window: Ctrl+O open", "F11 full screen"})
                EXPECT_TRUE(text.contains(keys)) << keys;
        } else {
            EXPECT_EQ(text, "ostrel " OSTREL_VERSION "\n");
        }
    }
}

TEST(CommandLine, WithoutADisplayItSaysSoAndEnds)
{
    const struct {
        const char* display;
        const char* said;
    } entries[] = {{"", "(DISPLAY is not set)"}, {":93", "(nothing answers at :93)"}};
    for (const auto& e : entries) {
        SCOPED_TRACE(e.display);
        QProcess ostrel;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(name);
        if (*e.display)
            environment.insert("DISPLAY", e.display);
        ostrel.setProcessEnvironment(environment);
        ostrel.start(OSTREL_BINARY, {"-host", "cam"});
        ASSERT_TRUE(ostrel.waitForFinished(10000));
        EXPECT_EQ(ostrel.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(ostrel.exitCode(), 1);
        EXPECT_EQ(QString::fromLocal8Bit(ostrel.readAllStandardError()),
                  QString("ostrel: no display to show the viewer on %1\n").arg(e.said));
    }
}

TEST_F(UserFlows, OnAWaylandSessionTheViewerStillOpensOnX)
{
    // A session that names a Wayland display nobody serves: the viewer,
    // left to choose, takes X11 (through XWayland on a real session).
    qputenv("WAYLAND_DISPLAY", "wayland-ostrel-test-none");
    qputenv("XDG_SESSION_TYPE", "wayland");
    const bool started = ostrel.start({"-host", "127.0.0.1"}, false, /*chooseOwnPlatform=*/true);
    qunsetenv("WAYLAND_DISPLAY");
    qunsetenv("XDG_SESSION_TYPE");
    ASSERT_TRUE(started) << qPrintable(ostrel.error());
    EXPECT_FALSE(ostrel.output().contains("wayland", Qt::CaseInsensitive)) << qPrintable(ostrel.output());
}

// The viewer's black page in `area` of the screen, in screen coordinates:
// the rows' runs of pure black at least 200 pixels long (icons and text
// have black pixels too, in short runs).
static QRect blackPart(const QRect& area)
{
    const QImage shot = grab(area);
    QRect box;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0, run = 0; x < shot.width(); ++x) {
            run = (shot.pixel(x, y) & 0xffffff) == 0 ? run + 1 : 0;
            if (run >= 200)
                box |= QRect(area.left() + x - run + 1, area.top() + y, run, 1);
        }
    return box;
}

// The viewer on weston, natively and through XWayland: it shows, starts
// and ends quietly, moves when its button row is dragged and, natively,
// keeps its view size when the maximise button is clicked.
TEST(OnWeston, TheViewerShowsMovesAndKeepsItsSizeNativelyAndThroughXWayland)
{
    const QString plugins = QLibraryInfo::path(QLibraryInfo::PluginsPath);
    if (QStandardPaths::findExecutable("weston").isEmpty() ||
        !QFile::exists(plugins + "/platforms/libqwayland-generic.so"))
        GTEST_SKIP() << "needs weston and Qt's Wayland platform (qt6-wayland)";
    const bool xwayland = !QStandardPaths::findExecutable("Xwayland").isEmpty();
    // A Wayland compositor in a window of the test's X display.
    QTemporaryDir runtime;
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess weston;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
    weston.setProcessEnvironment(environment);
    weston.setProcessChannelMode(QProcess::MergedChannels);
    QStringList westonArguments{"--backend=x11-backend.so", "--width=1000", "--height=800", "--socket=ostrel-test"};
    if (xwayland)
        westonArguments << "--xwayland";
    weston.start("weston", westonArguments);
    QByteArray log;
    if (!waitFor([&] { return QFile::exists(runtime.filePath("ostrel-test")); }, 10000))
        GTEST_SKIP() << "weston cannot start here: " << weston.readAll().right(2000).constData();
    pause(1500);
    QString output;
    ASSERT_TRUE(waitFor(
        [&] {
            output = run("xdotool", {"search", "--onlyvisible", "--classname", "weston-1"}).section('\n', 0, 0);
            return !output.isEmpty();
        },
        5000));
    const QRect screen = window(output).client.adjusted(0, 40, 0, 0); // below weston's panel
    log = weston.readAll();
    const QString xDisplay = QRegularExpression("listening on display (:\\d+)").match(QString(log)).captured(1);

    environment.remove("DISPLAY");
    environment.insert("WAYLAND_DISPLAY", "ostrel-test");
    for (const QString platform : {"wayland", "xcb"}) {
        SCOPED_TRACE(platform.toStdString());
        if (platform == "xcb" && xDisplay.isEmpty()) {
            ADD_FAILURE() << (xwayland ? "weston started no XWayland" : "install xwayland for the XWayland run");
            continue;
        }
        QTemporaryDir settings;
        QProcess ostrel;
        environment.insert("QT_QPA_PLATFORM", platform);
        if (platform == "xcb")
            environment.insert("DISPLAY", xDisplay);
        environment.insert("XDG_CONFIG_HOME", settings.path());
        ostrel.setProcessEnvironment(environment);
        ostrel.setProcessChannelMode(QProcess::MergedChannels);
        ostrel.start(OSTREL_BINARY, {});
        QRect page;
        ASSERT_TRUE(waitFor([&] { return (page = blackPart(screen)).width() > 300; }, 15000)) << "no window";
        pause(1000);
        page = blackPart(screen);
        // The button row, right of the buttons, moves the window: to the
        // left where there is room for it (weston 14 puts a new window at the
        // output's left edge, where the page would go out of sight).
        const int dx = page.left() - screen.left() > 100 ? -60 : 60;
        drag(QPoint(page.right() - 20, page.top() - 8), dx, 40);
        QRect moved;
        EXPECT_TRUE(waitFor([&] { return (moved = blackPart(screen)) == page.translated(dx, 40); }, 3000))
            << "the drag left the page at " << moved.x() << "," << moved.y() << " from " << page.x() << ","
            << page.y();
        // Natively Qt draws the title bar: the maximise button is the middle
        // one of three at its right end, 36 pixels above the page (weston
        // gives an XWayland window of fixed size none).
        if (platform == "wayland") {
            page = blackPart(screen);
            click(QPoint(page.right() - 36, page.top() - 36));
            pause(1000);
            EXPECT_EQ(ostrel.state(), QProcess::Running) << ostrel.readAll().constData();
            QSize shown;
            EXPECT_TRUE(waitFor([&] { return (shown = blackPart(screen).size()) == page.size(); }, 5000))
                << "the window did not keep its view size: " << shown.width() << "x" << shown.height();
        }
        ostrel.terminate();
        ASSERT_TRUE(ostrel.waitForFinished(10000));
        EXPECT_EQ(ostrel.readAll(), "") << "a plain start and close printed something";
    }
    weston.terminate();
    weston.waitForFinished();
}

TEST_F(UserFlows, OptionsInOddFormsStillCount)
{
    // Any letter case, "=" after the name, a flag inside a longer word.
    start({"-HOST=Cam2", "-ontopmost"});
    EXPECT_TRUE(waitFor([&] { return property(ostrel.mainWindow(), "_NET_WM_STATE").contains("ABOVE"); }, 3000));
    ASSERT_TRUE(waitFor([&] { return !QFile::exists(ostrel.pageFile()); }, 4000));
    click(ostrel.button(kRefreshButton));
    EXPECT_TRUE(nextPage(ostrel).contains("<base href='http://Cam2:8081/'>"));
}

TEST(CommandLinePages, AHostOrPortThatMakesNoAddressIsSaidOnTheIdlePage)
{
    const struct {
        QStringList arguments;
        const char* said;
    } entries[] = {
        {{"-host", "127.0.0.1", "-port", "99999"}, "Port 99999 is not a port number (1&#8211;65535)"},
        {{"-host", "cam/1", "-port", "80"}, "&#39;cam/1&#39; is not a host name or address"},
    };
    for (const auto& e : entries) {
        SCOPED_TRACE(e.said);
        Ostrel ostrel;
        ASSERT_TRUE(ostrel.start(e.arguments)) << qPrintable(ostrel.error());
        const QString page = nextPage(ostrel);
        EXPECT_TRUE(page.contains(e.said) && !page.contains("APPLET")) << qPrintable(page);
    }
}

TEST_F(UserFlows, ANameWithBlanksChoosesItsProfile)
{
    // "my cam" is stored, and so is "my": the whole name is the one meant.
    ostrel.writeSettings("[name]\nmy cam=my cam\nmy=my\n\n[my cam]\nhost=cam2\nport=82\n\n[my]\nhost=cam3\nport=83\n");
    start({"-name", "my cam", "-ontop"});
    EXPECT_EQ(title(ostrel.mainWindow()), "my cam - ostrel v" OSTREL_VERSION);
    EXPECT_TRUE(nextPage(ostrel).contains("<base href='http://cam2:82/'>"));
}

TEST_F(UserFlows, TheProfilesPanelClosesAfterConnectAPickOrAClickElsewhere)
{
    start({});
    const QString main = ostrel.mainWindow();
    QString panel = popupAfter(ostrel, [&] { click(ostrel.button(kProfilesButton)); });
    ASSERT_FALSE(panel.isEmpty());
    const QRect place = window(panel).client;
    EXPECT_NEAR(place.left() - ostrel.client().left(), 3, 3); // 50 x 750 twips below the corner
    EXPECT_NEAR(place.top() - ostrel.client().top(), 50, 22);

    // Type a profile and press Connect (the check mark) with the mouse.
    type("Porch");
    key({"Tab"});
    type("127.0.0.1");
    click(place.topLeft() + QPoint(222, 13));
    EXPECT_TRUE(waitFor([&] { return !window(panel).mapped; }, 2000)) << "the panel stayed open after Connect";
    EXPECT_TRUE(waitFor([&] { return activeWindow() == main; }, 2000));
    EXPECT_EQ(title(main), "Porch - ostrel v" OSTREL_VERSION);
    EXPECT_TRUE(ostrel.settings().contains("[Porch]\nhost=127.0.0.1\nport=8081"));

    // Pick the profile from the list.
    panel = popupAfter(ostrel, [&] { click(ostrel.button(kProfilesButton)); });
    ASSERT_FALSE(panel.isEmpty());
    // The name box's arrow opens the list; the first entry is "Porch".
    const QString list = popupAfter(ostrel, [&] { click(window(panel).client.topLeft() + QPoint(200, 13)); });
    ASSERT_FALSE(list.isEmpty()) << "the name list did not open";
    click(window(list).client.topLeft() + QPoint(30, 10));
    EXPECT_TRUE(waitFor([&] { return !window(panel).mapped; }, 2000)) << "the panel stayed open after a pick";
    EXPECT_TRUE(waitFor([&] { return activeWindow() == main; }, 2000));

    // A click on the main window's page.
    panel = popupAfter(ostrel, [&] { click(ostrel.button(kProfilesButton)); });
    ASSERT_FALSE(panel.isEmpty());
    click(ostrel.view(320, 240).bottomRight() - QPoint(20, 20));
    EXPECT_TRUE(waitFor([&] { return !window(panel).mapped; }, 2000)) << "the panel stayed open after a click";

    // Escape, and a second click on its button, as a drop-down closes.
    panel = popupAfter(ostrel, [&] { click(ostrel.button(kProfilesButton)); });
    ASSERT_FALSE(panel.isEmpty());
    key({"Escape"});
    EXPECT_TRUE(waitFor([&] { return !window(panel).mapped; }, 2000)) << "the panel stayed open after Escape";
    panel = popupAfter(ostrel, [&] { click(ostrel.button(kProfilesButton)); });
    ASSERT_FALSE(panel.isEmpty());
    click(ostrel.button(kProfilesButton));
    pause(800);
    EXPECT_FALSE(window(panel).mapped) << "a second click on its button left the panel open";
}

// Started on a host and port: a name typed in the panel saves them as a
// profile, and Enter does what the check mark does.
TEST_F(UserFlows, ANameTypedForTheCurrentConnectionSavesItWithEnter)
{
    start({"-host", "127.0.0.1", "-port", "8081"});
    const QString panel = popupAfter(ostrel, [&] { click(ostrel.button(kProfilesButton)); });
    ASSERT_FALSE(panel.isEmpty());
    click(window(panel).client.topLeft() + QPoint(100, 13)); // the name box
    type("Porch");
    key({"Return"});
    EXPECT_TRUE(waitFor([&] { return !window(panel).mapped; }, 2000)) << "Enter did not connect";
    EXPECT_TRUE(waitFor([&] { return ostrel.settings().contains("[Porch]\nhost=127.0.0.1\nport=8081"); }, 3000))
        << qPrintable(ostrel.settings());

    // A camera's web address typed as the host gives host and port; a port
    // that is none is refused, and the panel stays open.
    const struct {
        const char* name;
        QStringList keys; // after the name
        const char* saved; // empty: nothing saved
    } entries[] = {
        {"Yard", {"Tab", "ctrl+a"}, "[Yard]\nhost=127.0.0.1\nport=8082"},
        {"Bad", {"Tab", "Tab", "ctrl+a"}, ""},
    };
    for (const auto& e : entries) {
        SCOPED_TRACE(e.name);
        const QString again = popupAfter(ostrel, [&] { click(ostrel.button(kProfilesButton)); });
        ASSERT_FALSE(again.isEmpty());
        click(window(again).client.topLeft() + QPoint(100, 13));
        key({"ctrl+a"});
        type(e.name);
        key(e.keys);
        type(*e.saved ? "http://127.0.0.1:8082/view.html" : "99999");
        key({"Return"});
        if (*e.saved) {
            EXPECT_TRUE(waitFor([&] { return ostrel.settings().contains(e.saved); }, 3000)) << qPrintable(ostrel.settings());
        } else {
            pause(500);
            EXPECT_TRUE(window(again).mapped) << "the panel closed on a bad port";
            EXPECT_FALSE(ostrel.settings().contains("[Bad]")) << qPrintable(ostrel.settings());
            key({"Escape"});
            click(ostrel.view(320, 240).bottomRight() - QPoint(20, 20));
        }
    }
}

TEST_F(UserFlows, WithoutANameTheTypedCameraIsShownAndNotKept)
{
    start({}); // the Idle page
    const auto pageNames = [&](const char* base) {
        return waitFor(
            [&] {
                QFile file(ostrel.pageFile());
                return file.open(QIODevice::ReadOnly) && file.readAll().contains(base);
            },
            3000);
    };
    // Reconnect once the panel names a camera, then Enter in the panel.
    const struct {
        const char* host;
        bool byEnter;
    } entries[] = {{"127.0.0.1", false}, {"127.0.0.2", true}};
    for (const auto& e : entries) {
        SCOPED_TRACE(e.host);
        const QString panel = popupAfter(ostrel, [&] { click(ostrel.button(kProfilesButton)); });
        ASSERT_FALSE(panel.isEmpty());
        click(window(panel).client.topLeft() + QPoint(100, 13)); // the name box, left empty
        key({"Tab", "ctrl+a"});
        type(e.host);
        if (e.byEnter)
            key({"Return"});
        else
            click(ostrel.button(kRefreshButton));
        EXPECT_TRUE(pageNames(qPrintable(QString("http://%1:8081/").arg(e.host))));
    }
    EXPECT_FALSE(ostrel.settings().contains("host=")) << qPrintable(ostrel.settings());
}

TEST_F(UserFlows, ATapNeverLeavesTheWindowFollowingThePointer)
{
    start({"-host", "127.0.0.1"});
    for (const QPoint& at : {ostrel.page(), ostrel.background()}) {
        const QRect before = ostrel.client();
        tap(at, 5);
        pause(300);
        moveTo(at + QPoint(150, 120));
        pause(500);
        EXPECT_EQ(ostrel.client(), before) << "after a tap at " << at.x() << "," << at.y();
        moveTo(at);
    }
    // A real drag still moves it: the left button on the row, the right one on the page.
    QRect before = ostrel.client();
    drag(ostrel.background(), 60, 40, 1);
    EXPECT_TRUE(waitFor([&] { return ostrel.client().topLeft() != before.topLeft(); }, 2000));
    EXPECT_NEAR(ostrel.client().left() - before.left(), 60, 6);
    EXPECT_NEAR(ostrel.client().top() - before.top(), 40, 6);
    before = ostrel.client();
    drag(ostrel.page(), -50, 30, 3);
    EXPECT_TRUE(waitFor([&] { return ostrel.client().topLeft() != before.topLeft(); }, 2000));
    EXPECT_NEAR(ostrel.client().left() - before.left(), -50, 6);
}

TEST_F(UserFlows, AtTheSmallestSizeEveryButtonStaysReachable)
{
    ostrel.writeSettings("[size]\nindex=0\n");
    start({"-host", "127.0.0.1"});
    EXPECT_EQ(clientSize(), clientFor(80, 60));
    const QString about = popupAfter(ostrel, [&] { click(ostrel.button(kAboutButton)); });
    EXPECT_FALSE(about.isEmpty()) << "the About button is out of reach";
    key({"Escape"});
    waitFor([&] { return !window(about).mapped; }, 2000);
    // Its first item tells what Ostrel is, in a box of its own.
    const QString items = popupAfter(ostrel, [&] { click(ostrel.button(kAboutButton)); });
    ASSERT_FALSE(items.isEmpty());
    const QString box = popupAfter(ostrel, [&] { clickMenuItem(items, 0, 2); });
    ASSERT_FALSE(box.isEmpty()) << "About > Ostrel... showed nothing";
    EXPECT_EQ(title(box), "About Ostrel");
    key({"Return"});
    EXPECT_TRUE(waitFor([&] { return !window(box).mapped; }, 2000));
    const QString menu = popupAfter(ostrel, [&] { click(ostrel.button(kSizeButton)); });
    ASSERT_FALSE(menu.isEmpty()) << "the size button is out of reach";
    key({"Down", "Down", "Down", "Return"});
    EXPECT_TRUE(waitFor([&] { return clientSize() == clientFor(320, 240); }, 3000));
}

TEST_F(UserFlows, TheFrozenPictureLooksTheSameWhileTheSaveDialogIsOpen)
{
    start({"-host", "127.0.0.1"});
    click(ostrel.button(kSnapshotButton));
    pause(500);
    // The frozen view inside its dark red frame.
    const QRect area = ostrel.view(320, 240).adjusted(-4, -4, 4, 4);
    const QImage frozen = grab(area);
    ASSERT_TRUE(hasDarkRed(frozen)) << "no snapshot frame";
    const QString dialog = popupAfter(ostrel, [&] { click(ostrel.button(0)); }); // Save
    ASSERT_FALSE(dialog.isEmpty()) << "no save dialog";
    EXPECT_EQ(title(dialog), "Save As");
    const QRect dialogPlace = window(dialog).client;
    if (!dialogPlace.intersects(area)) {
        EXPECT_EQ(grab(area), frozen) << "the frozen picture changed while the dialog was open";
    } else {
        // Moved aside where the dialog covers it.
        run("xdotool", {"windowmove", dialog, "700", "600"});
        pause(300);
        EXPECT_EQ(grab(area), frozen);
    }
    key({"Escape"});
    EXPECT_TRUE(waitFor([&] { return !window(dialog).mapped; }, 2000));
    pause(200);
    EXPECT_EQ(grab(area), frozen) << "cancelling the dialog changed the snapshot";
}

TEST_F(UserFlows, AStoredPlaceOffEveryScreenComesBackOntoTheScreen)
{
    ostrel.writeSettings("[position]\nleft=30000\ntop=20000\n");
    start({});
    const QRect screen(0, 0, 1280, 1024);
    EXPECT_TRUE(screen.contains(ostrel.client())) << ostrel.client().x() << "," << ostrel.client().y();
}

TEST_F(UserFlows, AnUnreadableSettingsFileIsReportedAndKept)
{
    ostrel.writeSettings("[position\nthis is not a settings file\n");
    ASSERT_TRUE(ostrel.start({})) << qPrintable(ostrel.error());
    QString box;
    waitFor(
        [&] {
            for (const QString& id : windowsOf(ostrel.pid(), true))
                if (id != ostrel.mainWindow() && window(id).client.width() > 100)
                    box = id;
            return !box.isEmpty();
        },
        5000);
    ASSERT_FALSE(box.isEmpty()) << "the user was not told";
    key({"Return"});
    EXPECT_TRUE(waitFor([&] { return !window(box).mapped; }, 2000));
    const QStringList aside =
        QDir(QFileInfo(ostrel.settingsPath()).absolutePath()).entryList({"settings.conf.unreadable-*"});
    ASSERT_EQ(aside.size(), 1);
}
