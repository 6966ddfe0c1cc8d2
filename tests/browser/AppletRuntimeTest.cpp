// The applet runtime with real applets: test applets of our own served by a
// small server, the demo camera's applet, and what the box shows when an
// applet cannot run.
#include "AppletServer.h"

#include "browser/AppletHost.h"
#include "browser/AppletRelay.h"
#include "browser/AppletView.h"
#include "browser/JavaRuntime.h"
#include "browser/WebBrowser.h"
#include "support/Files.h"
#include "support/JpegCodec.h"
#include "viewer/frmOstrel.h"
#include "viewer/frmOstrelProbe.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QNetworkInterface>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QSet>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <QUrl>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <unistd.h>
#include <zlib.h>

namespace {

QRgb patternAt(int x, int y)
{
    return qRgb((x * 7 + y) & 255, (y * 5 + x * 3) & 255, (x ^ y) & 255);
}

QImage pattern(int width, int height, QRgb stripe)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, y < 4 ? stripe : patternAt(x, y));
    return image;
}

// The processes named `name` this test program started, directly or
// through the sandbox (the applet hosts and their X servers), still alive.
QList<qint64> children(const QByteArray& name)
{
    struct Process {
        QByteArray name;
        QByteArray state;
        qint64 parent = 0;
    };
    QHash<qint64, Process> all;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        QFile stat("/proc/" + entry + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        all.insert(entry.toLongLong(), {text.mid(text.indexOf('(') + 1, text.lastIndexOf(')') - text.indexOf('(') - 1),
                                        fields.value(0), fields.value(1).toLongLong()});
    }
    QList<qint64> found;
    for (auto it = all.cbegin(); it != all.cend(); ++it) {
        if (it->name != name || it->state == "Z")
            continue;
        for (qint64 p = it->parent; p > 1; p = all.value(p).parent)
            if (p == ::getpid()) {
                found << it.key();
                break;
            }
    }
    return found;
}

class AppletRuntime : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (AppletHost::sandboxProgram().isEmpty() && !JavaRuntime::find().hasSecurityManager())
            GTEST_SKIP() << "Java " << JavaRuntime::find().feature << " has no security manager: without the OS "
                         << "sandbox no applet runs (the refusal is checked with the sandbox on)";
        qputenv("OSTREL_APPLETS", "on");
        server.addJarEntries(testsupport::readFile(OSTREL_TEST_APPLETS_JAR));
        server.addFile("/archive.jar", testsupport::readFile(OSTREL_ARCHIVE_JAR));
        browser = std::make_unique<WebBrowser>();
        browser->show();
    }
    void TearDown() override
    {
        browser.reset();
        qunsetenv("OSTREL_APPLETS");
    }

    // Shows a page with one applet of `width` x `height` and waits for its box.
    AppletView* show(const QString& attributes, int width, int height, const QString& params = {},
                     quint16 port = 0)
    {
        const QString page = QString("<html><head><base href='http://%6:%1/'></head><body bgcolor='#000000'>"
                                     "<APPLET %2 WIDTH=%3 HEIGHT=%4>%5</APPLET></body></html>")
                                 .arg(port ? port : server.port())
                                 .arg(attributes)
                                 .arg(width)
                                 .arg(height)
                                 .arg(params)
                                 .arg(baseHost);
        const QString path = dir.filePath(QString("page%1.htm").arg(++pages));
        testsupport::writeFile(path, page.toLatin1());
        browser->resize(width + 16, height + 16);
        QSignalSpy loaded(browser.get(), &WebBrowser::DocumentComplete);
        browser->Navigate2(path);
        EXPECT_TRUE(loaded.wait(15000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return browser->applets().size() == 1; }, 5000));
        return browser->applets().value(0);
    }
    static bool waitForPicture(AppletView* view, const std::function<bool(const QImage&)>& good, int ms = 20000)
    {
        return view && QTest::qWaitFor([&] { return !view->picture().isNull() && good(view->picture()); }, ms);
    }
    static bool waitForStatus(AppletView* view, const QString& part, int ms = 20000)
    {
        return view && QTest::qWaitFor([&] { return view->statusText().contains(part); }, ms);
    }

    // The hostile applet from `camera`, each attempt checked.
    void hostileApplet(AppletServer& camera)
    {
        // Another server of this machine, which redirects must not reach.
        QTcpServer elsewhere;
        ASSERT_TRUE(elsewhere.listen(QHostAddress::LocalHost, 0));
        const QByteArray other = "http://127.0.0.1:" + QByteArray::number(elsewhere.serverPort());
        for (const char* name : {"/elsewhere.txt", "/Elsewhere.class", "/elsewhere.png"})
            camera.addRedirect(name, other + name);
        camera.addRedirect("/moved.txt", "/applets/colour.txt");
        QByteArray big(3'000'000, '\0');
        for (qsizetype i = 0; i < big.size(); ++i)
            big[i] = static_cast<char>((i * 7) % 253);
        camera.addFile("/big.bin", big);
        const auto crc = ::crc32(0, reinterpret_cast<const Bytef*>(big.constData()), static_cast<uInt>(big.size()));
        AppletView* view = show("CODE=HostileApplet.class", 160, 120,
                                QString("<param name=big value='%1 %2'>").arg(big.size()).arg(crc), camera.port());
        ASSERT_TRUE(QTest::qWaitFor([&] { return camera.reports().contains("done=yes"); }, 30000))
            << qPrintable(camera.reports().join(' ')) << " " << qPrintable(view->statusText());

        // What each attempt gives, and what holds it: on a Java with a security
        // manager, and on one where the OS sandbox alone holds the applet (the
        // sandbox's probe checks that what it allows reaches nothing of the user).
        struct Attempt {
            const char* action;
            const char* withManager;
            const char* fenced;
            const char* heldWhenFenced;
        };
        const char* host = "the host: it fetches from the code base's server alone";
        const Attempt attempts[] = {
            {"readFile", "refused", "failed-FileNotFoundException", "OS sandbox: no file of the user's is in it"},
            {"writeFile", "refused", "allowed", "OS sandbox: its own /tmp, gone with it"},
            {"listFolder", "refused", "allowed", "OS sandbox: it sees the system's folders, read-only"},
            {"runProgram", "refused", "allowed", "OS sandbox: the program runs inside it, filtered alike"},
            {"environment", "refused", "allowed", "OS sandbox: an empty environment"},
            {"nativeCode", "refused", "failed-IllegalCallerException", "Java: --illegal-native-access=deny"},
            {"classLoader", "refused", "allowed", "Java: a loader grants nothing without a security manager"},
            {"securityManager", "refused", "failed-UnsupportedOperationException", "Java: there is none"},
            {"reflection", "refused", "failed-InaccessibleObjectException", "Java: the host's module opens nothing"},
            {"clipboard", "refused", "allowed", "OS sandbox: the hidden display's clipboard"},
            {"robot", "refused", "allowed", "OS sandbox: it reaches the hidden display alone"},
            {"printJob", "refused", "failed-PrinterException", "OS sandbox: no printer in it"},
            {"otherPort", "refused", "failed-ConnectException", "OS sandbox: no network but the relay"},
            {"otherHost", "refused", "failed-ConnectException", "OS sandbox: no network but the relay"},
            {"listen", "refused", "allowed", "OS sandbox: a network of its own, which nobody reaches"},
            {"userHome", "refused", "allowed", "OS sandbox: a home that is not there"},
            {"javaVersion", "allowed", "allowed", ""},
            {"redirectedResource", "refused", "refused", host},
            {"redirectedClass", "refused", "refused", host},
            {"redirectedImage", "refused", "refused", host},
            {"followedRedirect", "refused", "refused", "Java: redirects are not followed (the host's setting)"},
            {"sameServerRedirect", "allowed", "allowed", ""},
            {"download", "allowed", "allowed", ""},
            {"upload", "allowed", "allowed", ""},
            {"thread", "allowed", "allowed", ""},
            {"topLevelWindow", "allowed", "allowed", "OS sandbox: on the hidden display alone"},
            {"showDocument", "allowed", "allowed", "the host: it shows no page"},
            {"urlFile", "refused", "refused", "OS sandbox: only the system files Java needs are in it"},
            {"urlJarFile", "refused", "refused", "Java: not an archive"},
            {"urlNetdoc", "refused", "refused", "Java: no such scheme"},
            {"urlFtp", "refused", "refused", "the camera's port speaks no FTP"},
            {"urlOtherPort", "refused", "refused", "OS sandbox: no network but the relay"},
            {"imageOtherPort", "refused", "refused", "OS sandbox: no network but the relay"},
        };
        const JavaRuntime java = JavaRuntime::find();
        const bool manager = java.hasSecurityManager();
        QHash<QString, QString> found;
        for (const QString& report : camera.reports())
            found.insert(report.section('=', 0, 0), report.section('=', 1));
        std::printf("The hostile applet from %s on Java %s (%s):\n", qPrintable(baseHost), qPrintable(java.versionText()),
                    manager ? "security manager and OS sandbox" : "OS sandbox alone");
        for (const Attempt& a : attempts) {
            const QString expected = manager ? a.withManager : a.fenced;
            EXPECT_EQ(found.value(a.action), expected) << a.action;
            // Refused even where the sandbox holds alone: the same holds it everywhere.
            const bool alwaysRefused = std::strcmp(a.fenced, "refused") == 0;
            std::printf("  %-20s %-38s %s\n", a.action, qPrintable(found.value(a.action)),
                        !manager || alwaysRefused ? a.heldWhenFenced : expected == "refused" ? "security manager" : "");
        }
        EXPECT_FALSE(elsewhere.hasPendingConnections()) << "a redirect reached another server";
        // Its window is not on the user's display, and the pages it asked
        // for were shown nowhere.
        QProcess search;
        search.start("xdotool", {"search", "--name", "ostrel-escaped-window"});
        ASSERT_TRUE(search.waitForFinished(5000));
        EXPECT_EQ(search.readAllStandardOutput(), "") << "the applet's window reached the user's display";
        EXPECT_FALSE(camera.requested().contains("GET /shown.html"));
        EXPECT_EQ(browser->applets().value(0), view) << "the page was replaced";
        // What it learns of who runs it and where: nothing that names the
        // user, their home or Ostrel's own folders.
        const QString learnt = QUrl::fromPercentEncoding(found.value("properties").replace('+', ' ').toUtf8());
        std::printf("  %-20s %s\n", "properties", qPrintable(learnt));
        EXPECT_TRUE(learnt.startsWith("user.name:")) << qPrintable(learnt);
        const QString build = QDir(QCoreApplication::applicationDirPath() + "/../../..").canonicalPath();
        const passwd* account = ::getpwuid(::getuid());
        const QString user = account ? QString::fromLocal8Bit(account->pw_name) : QString();
        for (const QString& property : learnt.split('|')) {
            const QString value = property.section(':', 1);
            EXPECT_TRUE(user.isEmpty() || value != user) << qPrintable(property);
            EXPECT_FALSE(value.contains(QDir::homePath()) && QDir::homePath() != "/") << qPrintable(property);
            EXPECT_FALSE(value.contains(build)) << qPrintable(property);
        }
        // A megabyte of markup as its status: a short line of the text as it stands.
        EXPECT_TRUE(QTest::qWaitFor([&] { return view->appletStatus().startsWith("<b>bold</b><img"); }, 5000))
            << qPrintable(view->appletStatus().left(200));
        EXPECT_LE(view->appletStatus().size(), 160);
        if (manager) {
            // System.exit ended nothing: the applet goes on painting.
            EXPECT_TRUE(QTest::qWaitFor([&] { return camera.reports().contains("exit=refused"); }, 5000));
            EXPECT_TRUE(waitForPicture(view, [](const QImage& p) { return p.pixel(10, 10) == qRgb(0, 255, 0); }));
            EXPECT_FALSE(children("java").isEmpty());
        } else {
            // It ends its own Java, and the box says so.
            EXPECT_TRUE(waitForStatus(view, "The applet has ended itself")) << qPrintable(view->statusText());
            std::printf("  %-20s %-38s %s\n", "exit", "allowed", "ends the host alone; the box says so");
        }
        EXPECT_EQ(camera.reports().size(), static_cast<qsizetype>(std::size(attempts)) + (manager ? 3 : 2));
    }

    AppletServer server;
    QString baseHost = "127.0.0.1"; // the pages' server
    std::unique_ptr<WebBrowser> browser;
    QTemporaryDir dir;
    int pages = 0;
};

} // namespace

TEST_F(AppletRuntime, AnAwtAppletShowsItsPatternPixelForPixelAtEverySize)
{
    const QSize sizes[] = {{80, 60}, {160, 120}, {320, 240}, {640, 480}, {800, 600}, {1024, 768}};
    for (const QSize& size : sizes) {
        SCOPED_TRACE(QString("%1x%2").arg(size.width()).arg(size.height()).toStdString());
        AppletView* view = show("CODE=PatternApplet.class", size.width(), size.height(),
                                "<param name=Stripe value='#ff8000'>");
        ASSERT_TRUE(view);
        EXPECT_EQ(view->geometry(), QRect(QPoint(8, 8), size)) << "the box the page gives the applet";
        const QImage expected = pattern(size.width(), size.height(), qRgb(0xff, 0x80, 0x00));
        EXPECT_TRUE(waitForPicture(view, [&](const QImage& p) { return p == expected; }))
            << qPrintable(view->statusText());
        // And so it is on the screen.
        EXPECT_EQ(browser->grab(view->geometry()).toImage().convertToFormat(QImage::Format_RGB32), expected);
    }
}

TEST_F(AppletRuntime, ASwingAppletShowsItsPatternTooAlsoFromPort80)
{
    // Most cameras serve on port 80, below 1024 (where this test may listen
    // there: as root).
    AppletServer port80(QHostAddress::LocalHost, 80);
    port80.addJarEntries(testsupport::readFile(OSTREL_TEST_APPLETS_JAR));
    for (const quint16 port : {server.port(), port80.port()}) {
        if (port == 0)
            continue;
        SCOPED_TRACE(port);
        AppletView* view = show("code='SwingPatternApplet'", 320, 240, "<PARAM NAME=stripe VALUE='#00ff00'>", port);
        const QImage expected = pattern(320, 240, qRgb(0, 0xff, 0));
        EXPECT_TRUE(waitForPicture(view, [&](const QImage& p) { return p == expected; }))
            << qPrintable(view->statusText());
    }
    // Nobody else reaches the applet's hidden display: where its socket is
    // the machine's (no OS sandbox), a client without its cookie is refused.
    // The displays are those its X server listens on.
    QSet<QString> displays;
    const QString sockets = QString::fromLatin1(testsupport::readFile("/proc/net/unix"));
    for (const qint64 server : children("Xvfb")) {
        for (const QFileInfo& fd : QDir(QString("/proc/%1/fd").arg(server)).entryInfoList(QDir::System)) {
            const QString inode = fd.symLinkTarget().section('[', 1).section(']', 0, 0);
            const auto found = QRegularExpression(" " + inode + " @?/tmp/.X11-unix/X(\\d+)\n").match(sockets);
            if (!inode.isEmpty() && found.hasMatch())
                displays << ":" + found.captured(1);
        }
    }
    displays.remove(qEnvironmentVariable("DISPLAY")); // the test's own
    const bool unfenced = qEnvironmentVariable("OSTREL_APPLET_SANDBOX") == "off";
    EXPECT_TRUE(!unfenced || !displays.isEmpty()) << "the applet's display was not found";
    for (const QString& display : displays) {
        QProcess client;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("XAUTHORITY");
        client.setProcessEnvironment(environment);
        client.start("xdpyinfo", {"-display", display});
        ASSERT_TRUE(client.waitForFinished(5000));
        EXPECT_NE(client.exitCode(), 0) << "another client reached the applet's display " << qPrintable(display);
        if (unfenced)
            std::printf("The applet's display %s refused a client without its cookie: %s\n", qPrintable(display),
                        client.readAllStandardError().trimmed().constData());
    }
}

TEST_F(AppletRuntime, InnerClassesResourcesAndClicksReachTheApplet)
{
    AppletView* view = show("CODE=ResourceApplet", 160, 120);
    ASSERT_TRUE(waitForPicture(view, [](const QImage& p) { return p.pixel(80, 60) == qRgb(0x33, 0x66, 0xcc); }))
        << qPrintable(view->statusText());
    EXPECT_EQ(view->picture().pixel(6, 6), qRgb(0x33, 0x66, 0xcc));
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
    EXPECT_TRUE(waitForPicture(view, [](const QImage& p) { return p.pixel(6, 6) == qRgb(255, 255, 255); }, 5000))
        << "the click did not reach the applet";
    // Its status, a line of markup and 100000 letters, is the box's tooltip:
    // one line, cut, shown as the text it is.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->appletStatus().isEmpty(); }, 5000));
    EXPECT_EQ(view->appletStatus(), "<b>click 1</b> " + QString(144, 'x') + QChar(0x2026));
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), view->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(view, &help);
    EXPECT_TRUE(QToolTip::text().contains("&lt;b&gt;click 1&lt;/b&gt;")) << qPrintable(QToolTip::text());
}

TEST_F(AppletRuntime, AnAppletFromAnArchiveJarInAPackage)
{
    for (const QString code : {"cam.archived.ArchivedApplet", "cam/archived/ArchivedApplet.class"}) {
        AppletView* view = show(QString("CODE='%1' ARCHIVE='archive.jar'").arg(code), 160, 120);
        EXPECT_TRUE(waitForPicture(view, [](const QImage& p) { return p.pixel(10, 10) == qRgb(0x12, 0x34, 0x56); }))
            << qPrintable(code) << ": " << qPrintable(view->statusText());
    }
    EXPECT_TRUE(server.requested().contains("GET /archive.jar"));
}

TEST_F(AppletRuntime, AHostileAppletIsRefusedEverythingAndTheHostSurvives)
{
    // A camera on this machine's loopback, and one at this machine's address
    // outside it, as a camera on the network is reached (where it has one).
    QList<QHostAddress> addresses = {QHostAddress(QHostAddress::LocalHost)};
    for (const QHostAddress& address : QNetworkInterface::allAddresses())
        if (address.protocol() == QHostAddress::IPv4Protocol && !address.isLoopback() && !address.isLinkLocal()) {
            addresses << address;
            break;
        }
    for (const QHostAddress& address : addresses) {
        SCOPED_TRACE("the camera at " + address.toString().toStdString());
        AppletServer camera(address);
        camera.addJarEntries(testsupport::readFile(OSTREL_TEST_APPLETS_JAR));
        baseHost = address.toString();
        if (!address.isLoopback() && !JavaRuntime::find().hasSecurityManager() &&
            QStandardPaths::findExecutable("ip", {"/usr/sbin", "/usr/bin", "/sbin", "/bin"}).isEmpty()) {
            // Nothing could hold it to its camera: it does not run.
            AppletView* view = show("CODE=HostileApplet.class", 160, 120, {}, camera.port());
            EXPECT_TRUE(waitForStatus(view, "without the program ip (iproute2) the OS sandbox cannot hold it"));
            continue;
        }
        hostileApplet(camera);
        browser->Navigate2("about:blank"); // its host ends
    }
}

// A camera that accepts and never answers, and one that is down and comes
// back: the box says what happens from the start; the first gives up in
// bounded time, the second is tried again until its picture shows.
TEST_F(AppletRuntime, ASilentCameraIsGivenUpAndOneThatComesBackIsShown)
{
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    const QString at = QString("127.0.0.1:%1").arg(silent.serverPort());
    AppletView* view = show("CODE=PatternApplet.class", 160, 120, {}, silent.serverPort());
    EXPECT_TRUE(waitForStatus(view, "Connecting to " + at + "\u2026", 2000)) << qPrintable(view->statusText());
    EXPECT_TRUE(waitForStatus(view, "The camera at " + at + " does not answer", 25000)) << qPrintable(view->statusText());

    quint16 port = 0;
    {
        QTcpServer probe; // a port nothing listens on, for now
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    view = show("CODE=PatternApplet.class", 160, 120, "<param name=Stripe value='#ff0000'>", port);
    EXPECT_TRUE(waitForStatus(view, QString("Cannot reach 127.0.0.1:%1").arg(port), 10000)) << qPrintable(view->statusText());
    EXPECT_TRUE(view->statusText().contains("Trying again every 5 s")) << qPrintable(view->statusText());
    AppletServer camera(QHostAddress::LocalHost, port);
    ASSERT_EQ(camera.port(), port);
    camera.addJarEntries(testsupport::readFile(OSTREL_TEST_APPLETS_JAR));
    const QImage expected = pattern(160, 120, qRgb(0xff, 0, 0));
    EXPECT_TRUE(waitForPicture(view, [&](const QImage& p) { return p == expected; }, 15000)) << qPrintable(view->statusText());
}

TEST_F(AppletRuntime, TheBoxSaysWhyAnAppletCannotRun)
{
    AppletView* view = show("CODE=Missing.class", 320, 240);
    EXPECT_TRUE(waitForStatus(view, QString("http://127.0.0.1:%1/Missing.class was not found (HTTP 404").arg(server.port())))
        << qPrintable(view->statusText());

    // Sent elsewhere: said as such.
    server.addRedirect("/Moved.class", "http://127.0.0.1:1/Moved.class");
    view = show("CODE=Moved.class", 320, 240);
    EXPECT_TRUE(waitForStatus(view, "The camera sends the applet's file /Moved.class to another server "
                                    "(http://127.0.0.1:1), which the applet may not use"))
        << qPrintable(view->statusText());

    quint16 closed = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        closed = probe.serverPort();
    }
    view = show("CODE=PatternApplet.class", 320, 240, {}, closed);
    EXPECT_TRUE(waitForStatus(view, QString("Cannot reach 127.0.0.1:%1: connection refused").arg(closed)))
        << qPrintable(view->statusText());
    // Grey text on black, as the Idle page writes.
    const QImage shown = browser->grab(view->geometry()).toImage();
    int light = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            light += qGray(shown.pixel(x, y)) > 100;
    EXPECT_GT(light, 40);

    view = show("CODE=FailingApplet.class", 320, 240);
    EXPECT_TRUE(waitForStatus(view, "The applet failed while starting: java.lang.IllegalStateException: "
                                    "the camera is switched off"))
        << qPrintable(view->statusText());

    // A page without a base address: its applet would come from this
    // machine's folders, which is refused before any host starts.
    const QString local = dir.filePath("local.htm");
    testsupport::writeFile(local, "<html><body><APPLET CODE=PatternApplet.class WIDTH=160 HEIGHT=120></APPLET></body></html>");
    QSignalSpy loaded(browser.get(), &WebBrowser::DocumentComplete);
    browser->Navigate2(local);
    ASSERT_TRUE(loaded.wait(15000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return browser->applets().size() == 1; }, 5000));
    view = browser->applets().first();
    EXPECT_TRUE(waitForStatus(view, "The applet cannot run: its code base file://" + dir.path() + "/ is not a web address", 5000))
        << qPrintable(view->statusText());
    EXPECT_TRUE(QTest::qWaitFor([] { return children("java").isEmpty(); }, 3000)) << "a host started for it";

    // Javas that cannot hold the applet: one too old for the host, one that
    // does not say its release and turns out too old, and one without a
    // security manager where the OS sandbox is off. Those known to be
    // unsuitable must not run at all: their program leaves a mark if it does.
    const QByteArray home = qgetenv("JAVA_HOME");
    const QString ran = dir.filePath("java-ran");
    struct Unsuitable {
        const char* version; // in its release file; empty: no release file
        const char* sandbox;
        QString status;
    };
    const Unsuitable javas[] = {
        {"11.0.2", "", "This camera's picture needs Java 17 or later to run its applet (found Java 11.0.2)"},
        {"", "", "This camera's picture needs Java 17 or later to run its applet"},
        {"25.0.1", "off",
         "The applet cannot run safely here: Java 25.0.1 has no security manager, and the OS sandbox that must hold "
         "the applet instead cannot be used: the OS sandbox is switched off (OSTREL_APPLET_SANDBOX=off)"},
    };
    for (const Unsuitable& java : javas) {
        const QString jdk = dir.filePath(QString("jdk-") + java.version);
        QDir(jdk).mkpath("bin");
        if (*java.version != '\0')
            testsupport::writeFile(jdk + "/release", QByteArray("JAVA_VERSION=\"") + java.version + "\"\n");
        testsupport::writeFile(jdk + "/bin/java", QString("#!/bin/sh\necho >'%1'\necho 'Exception in thread \"main\" "
                                                          "java.lang.UnsupportedClassVersionError: AppletHost' >&2\n"
                                                          "exit 1\n").arg(ran).toUtf8());
        QFile::setPermissions(jdk + "/bin/java", QFile::ReadOwner | QFile::ExeOwner);
        qputenv("JAVA_HOME", QFile::encodeName(jdk));
        qputenv("OSTREL_APPLET_SANDBOX", java.sandbox);
        QFile::remove(ran);
        view = show("CODE=PatternApplet.class", 320, 240);
        EXPECT_TRUE(waitForStatus(view, java.status)) << qPrintable(view->statusText());
        if (*java.version != '\0') {
            EXPECT_FALSE(QFile::exists(ran)) << "Java " << java.version << " was started";
        }
    }
    qunsetenv("OSTREL_APPLET_SANDBOX");

    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "/nonexistent");
    qunsetenv("JAVA_HOME");
    view = show("CODE=PatternApplet.class", 320, 240);
    qputenv("PATH", path);
    if (!home.isEmpty())
        qputenv("JAVA_HOME", home);
    EXPECT_TRUE(waitForStatus(view, "A Java runtime (OpenJDK 17 or later) is needed to show this camera's picture", 5000))
        << qPrintable(view->statusText());
}

// A camera that answers the host's fetches as a hostile one would: every box
// says what went wrong, within bounded time, and once the camera behaves
// the page built again (Reconnect) shows every picture.
TEST_F(AppletRuntime, AHostileCameraIsGivenUpInBoundedTimeAndShownOnceItBehaves)
{
    using M = AppletServer::Misbehaviour;
    const QString camera = QString("http://127.0.0.1:%1").arg(server.port());
    const QString at = "The camera at 127.0.0.1:" + QString::number(server.port());
    const struct {
        const char* folder;
        M how;
        const char* archive;
        QString status;
    } cases[] = {
        {"stall", M::Stall, "", at + " does not answer (nothing of /stall/PatternApplet.class came for 10 s)"},
        {"trickle", M::Trickle, "", at + " does not answer (fetching /trickle/PatternApplet.class took longer than 15 s)"},
        {"endless", M::Endless, "", "The applet's file " + camera + "/endless/PatternApplet.class is larger than 16 MB"},
        {"cut", M::CutShort, "", "The camera stopped sending " + camera + "/cut/PatternApplet.class after 100 of 5000 bytes"},
        {"closed", M::CloseAtOnce, "", at + " gave no proper answer for /closed/PatternApplet.class ("},
        {"ssh", M::NotHttp, "", "The camera's answer for " + camera + "/ssh/PatternApplet.class is not HTTP"},
        {"header", M::EndlessHeader, "", at + " gave no proper answer for /header/PatternApplet.class ("},
        {"bomb", M::ZipBomb, "bomb.jar", "The applet's archive " + camera + "/bomb/bomb.jar unpacks to more than 24 MB"},
    };
    QString page = QString("<html><head><base href='%1/'></head><body bgcolor='#000000'>").arg(camera);
    for (const auto& c : cases) {
        const QString folder = QString("/") + c.folder;
        server.addJarEntries(testsupport::readFile(OSTREL_TEST_APPLETS_JAR), folder);
        server.addFile(folder + "/bomb.jar", testsupport::readFile(OSTREL_TEST_APPLETS_JAR));
        server.addMisbehaviour(folder + (*c.archive ? "/bomb.jar" : "/PatternApplet.class"), c.how);
        page += QString("<APPLET CODEBASE='%1/' CODE=PatternApplet.class ARCHIVE='%2' WIDTH=80 HEIGHT=60></APPLET>")
                    .arg(c.folder, c.archive);
    }
    const QString path = dir.filePath("hostile-camera.htm");
    testsupport::writeFile(path, (page + "</body></html>").toLatin1());
    const auto build = [&] {
        browser->resize(800, 100);
        QSignalSpy loaded(browser.get(), &WebBrowser::DocumentComplete);
        browser->Navigate2(path);
        EXPECT_TRUE(loaded.wait(15000));
        return QTest::qWaitFor([&] { return browser->applets().size() == std::ssize(cases); }, 5000);
    };
    ASSERT_TRUE(build());
    QElapsedTimer clock;
    clock.start();
    QList<qint64> said(std::ssize(cases), -1);
    (void)QTest::qWaitFor(
        [&] {
            for (qsizetype i = 0; i < said.size(); ++i)
                if (said[i] < 0 && browser->applets()[i]->statusText().contains(cases[i].status))
                    said[i] = clock.elapsed();
            return !said.contains(-1);
        },
        40000);
    std::printf("%-8s %-8s %s\n", "camera", "said in", "the box");
    for (qsizetype i = 0; i < said.size(); ++i) {
        const QString shown = browser->applets()[i]->statusText();
        std::printf("%-8s %6.1f s %s\n", cases[i].folder, said[i] / 1000.0, qPrintable(shown));
        EXPECT_GE(said[i], 0) << cases[i].folder << ": " << qPrintable(shown);
    }
    server.behave();
    ASSERT_TRUE(build());
    const QImage expected = pattern(80, 60, qRgb(0, 0, 0));
    for (AppletView* view : browser->applets())
        EXPECT_TRUE(waitForPicture(view, [&](const QImage& p) { return p == expected; })) << qPrintable(view->statusText());
}

// Hosts that break their part, as a host taken over by its applet might:
// each is a start script of its own in place of the real host's, run in the
// same sandbox, and must neither crash, freeze nor flood Ostrel.
// Which release a runtime is, and so how its host is started: a wrong option
// stops the Java before any class runs.
TEST(JavaRuntime, ItsReleaseDecidesHowTheHostStarts)
{
    struct Release {
        const char* line; // of the runtime's release file
        int feature;
        bool manager;
        bool nativeCodeRefused;
        bool ownAppletClasses;
    };
    const Release releases[] = {
        {"JAVA_VERSION=\"1.8.0_402\"", 8, false, false, false},
        {"JAVA_VERSION=\"17.0.13\"", 17, true, false, false},
        {"JAVA_VERSION=\"23\"", 23, true, false, false},
        {"JAVA_VERSION=\"24.0.1\"", 24, false, true, false},
        {"JAVA_VERSION=\"26-ea\"", 26, false, true, true},
        {"JAVA_VERSION=\"27.0.1.0.3\"", 27, false, true, true},
        {"IMPLEMENTOR=\"nobody\"", 0, false, false, false},
    };
    QTemporaryDir dir;
    QDir(dir.path()).mkpath("bin");
    for (const Release& r : releases) {
        SCOPED_TRACE(r.line);
        testsupport::writeFile(dir.filePath("release"), QByteArray("IMPLEMENTOR=\"x\"\n") + r.line + "\n");
        JavaRuntime java;
        java.program = dir.filePath("bin/java");
        java.feature = JavaRuntime::featureOf(java.program);
        EXPECT_EQ(java.feature, r.feature);
        EXPECT_EQ(java.hasSecurityManager(), r.manager);
        const QStringList command = java.hostCommand("/ostrel/host");
        EXPECT_EQ(command.contains("-Djava.security.manager=allow"), r.manager);
        EXPECT_EQ(command.contains("--illegal-native-access=deny"), r.nativeCodeRefused);
        EXPECT_EQ(command.contains("java.desktop=/ostrel/host/AppletApi.jar"), r.ownAppletClasses);
        EXPECT_EQ(command.mid(command.size() - 2), QStringList({"-m", "ostrel.applethost/ostrel.applethost.AppletHost"}));
    }
}

TEST_F(AppletRuntime, AHostThatMisbehavesCannotCrashFreezeOrFloodOstrel)
{
    const QString size = QString::number(160 * 120 * 4);
    struct Case {
        const char* name;
        QString script;
        QString status;
    };
    const Case cases[] = {
        {"its frames cannot shrink or grow",
         "truncate -s 0 /proc/self/fd/3 2>/dev/null && r=shrunk || r=kept\n"
         "printf x | dd bs=1 seek=" + size + " conv=notrunc of=/proc/self/fd/3 2>/dev/null && g=grown || g=fixed\n"
         "echo 'frame 1 0'; echo \"status $r $g\"\n",
         "kept fixed"},
        {"its memory, files and /tmp are bounded",
         "echo \"status as=$(ulimit -v) files=$(ulimit -f) tmp=$(( $(stat -f -c '%b * %S' /tmp) ))\"\n",
         "as=1310720 files=131072"},
        {"it holds none of Ostrel's connections",
         "n=0; for f in /proc/$$/fd/*; do case $(readlink $f) in socket:*) n=$((n+1));; esac; done\n"
         "echo \"status sockets=$n\"\n",
         "sockets=0"},
        {"a message without end is cut and the host stopped",
         "head -c 30000000 /dev/zero | tr '\\0' a\n",
         "The applet's host sent a message too long to be one; it was stopped"},
        {"its error output, flooded and full of escapes, never blocks the window",
         "i=0; while [ $i -lt 300 ]; do printf 'visible\\033]52;c;SGVsbG8=\\007 \\033[31mred %0900d\\n' $i >&2; "
         "i=$((i+1)); done\necho 'status flooded'\n",
         "flooded"},
        {"frames announced a few thousand times are taken at most 100 a second",
         "i=0; while [ $i -lt 1500 ]; do echo \"frame $i 0\"; i=$((i+1)); done\necho 'status announced'\n",
         "announced"},
        {"frame messages with odd numbers are taken as frames or left",
         "echo 'frame -1 -1'; echo 'frame 99999999999999999999999 x'; echo 'frame'; echo 'frame 2 -9223372036854775808'\n"
         "echo 'status odd frames'\n",
         "odd frames"},
        {"bytes that are not UTF-8 are shown as replacement characters",
         "printf 'status caf\\351 \\377\\376 end\\n'\n",
         "caf\uFFFD \uFFFD\uFFFD end"},
        {"messages without end stop the host",
         "i=0; while true; do echo \"frame $i 0\"; i=$((i+1)); done\n",
         "The applet's host sent messages far faster than pictures come; it was stopped"},
    };
    QTemporaryDir hostDir;
    qputenv("OSTREL_APPLET_HOST_DIR", QFile::encodeName(hostDir.path()));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::writeFile(hostDir.filePath("ostrel-applet-host.sh"), (c.script + "exec sleep 30\n").toUtf8());
        // The error output goes to a pipe that nobody reads until the host is done.
        int ends[2];
        ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
        const int savedError = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
        ::dup2(ends[1], STDERR_FILENO);
        ::close(ends[1]);
        std::atomic<bool> drain = false;
        QByteArray errors;
        std::thread reader([&] {
            for (int waited = 0; !drain && waited < 300; ++waited)
                ::usleep(100'000);
            // Until it falls silent: a process the page engine started
            // meanwhile may hold the pipe open for good.
            char buffer[65536];
            pollfd readable{ends[0], POLLIN, 0};
            for (ssize_t n; ::poll(&readable, 1, 1000) > 0 && (n = ::read(ends[0], buffer, sizeof buffer)) > 0;)
                errors.append(buffer, n);
        });
        AppletView* view = show("CODE=PatternApplet.class", 160, 120);
        QElapsedTimer shown;
        shown.start();
        QSignalSpy frames(view ? &view->host() : nullptr, &AppletHost::frame);
        const bool said = waitForStatus(view, c.status, 25000);
        if (said && c.status.startsWith("as=") && view->host().sandboxed()) {
            EXPECT_TRUE(view->statusText().endsWith(" tmp=67108864")) << qPrintable(view->statusText());
        }
        if (c.status == "announced") {
            EXPECT_LE(frames.count(), shown.elapsed() / 10 + 2);
        }
        drain = true;
        browser->Navigate2(dir.filePath("none.htm")); // the host is stopped
        QTest::qWait(300);
        ::dup2(savedError, STDERR_FILENO);
        ::close(savedError);
        reader.join();
        ::close(ends[0]);
        EXPECT_TRUE(said) << qPrintable(view ? view->statusText() : QString());
        EXPECT_FALSE(errors.contains('\x1b') || errors.contains('\x07')) << "escapes reached the error output";
        if (QByteArray(c.status.toUtf8()) == "flooded") {
            EXPECT_TRUE(errors.contains("applet: visible]52;c;SGVsbG8= [31mred 000")) << errors.left(300).constData();
            EXPECT_TRUE(errors.contains("lines left out")) << errors.right(300).constData();
        }
    }
    qunsetenv("OSTREL_APPLET_HOST_DIR");
}

TEST_F(AppletRuntime, AHostThatDiesIsReported)
{
    AppletView* view = show("CODE=PatternApplet.class", 160, 120);
    ASSERT_TRUE(waitForPicture(view, [](const QImage&) { return true; }));
    const QList<qint64> hosts = children("java");
    ASSERT_EQ(hosts.size(), 1);
    ::kill(static_cast<pid_t>(hosts[0]), SIGKILL);
    EXPECT_TRUE(waitForStatus(view, "The applet's host ended", 5000)) << qPrintable(view->statusText());
}

// While nobody can see the picture (frozen, hidden, minimised) no frame is
// taken, so the host captures none; seen again, the latest comes at once.
TEST_F(AppletRuntime, AnUnseenPictureIsNotTakenAndComesBackAtOnce)
{
    AppletView* view = show("CODE=PatternApplet.class", 160, 120);
    ASSERT_TRUE(waitForPicture(view, [](const QImage&) { return true; }));
    QSignalSpy frames(&view->host(), &AppletHost::frame);
    QTest::qWait(1000);
    EXPECT_GE(frames.count(), 10) << "a still applet's picture is taken a few times a second";
    browser->setPicturesSeen(false);
    QTest::qWait(200);
    frames.clear();
    QTest::qWait(1000);
    EXPECT_EQ(frames.count(), 0);
    browser->setPicturesSeen(true);
    EXPECT_EQ(frames.count(), 1) << "the latest frame was not taken at once";
    EXPECT_TRUE(frames.wait(1000));
}

TEST_F(AppletRuntime, ANewPageStopsTheOldAppletWithinASecond)
{
    AppletView* view = show("CODE=PatternApplet.class", 160, 120);
    ASSERT_TRUE(waitForPicture(view, [](const QImage&) { return true; }));
    ASSERT_EQ(children("java").size(), 1);
    const QString page = dir.filePath("idle.htm");
    testsupport::writeFile(page, "<html><body bgcolor='#000000'>idle</body></html>");
    browser->Navigate2(page);
    EXPECT_TRUE(QTest::qWaitFor([] { return children("java").isEmpty(); }, 2000)) << "the host outlived its page";
    EXPECT_TRUE(browser->applets().isEmpty());
}

// An applet that takes all it can of one thing: what it got stays bounded
// (heap, threads, its /tmp, connections through the relay), Ostrel's own
// descriptors and event loop stay as they were, and a new page ends the
// host within two seconds, even one spinning in paint.
TEST_F(AppletRuntime, AGreedyAppletIsHeldWithinBoundsAndOstrelStaysResponsive)
{
    const auto descriptors = [] { return QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::System).size(); };
    const auto residentMiB = [](qint64 pid) {
        QFile status(QString("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            return 0;
        const QByteArray text = status.readAll();
        const auto m = QRegularExpression("VmRSS:\\s+(\\d+)").match(QString(text));
        return m.captured(1).toInt() / 1024;
    };
    const struct {
        const char* take;
        long most; // what it may get at most (MiB, threads, connections)
    } attacks[] = {{"heap", 96}, {"threads", 4000}, {"tmp", 64}, {"sockets", 300}, {"spin", 0}, {"repaint", 0}};
    std::printf("%-8s %-22s %12s %14s %16s %18s\n", "takes", "got", "host MiB", "our fds +", "longest stall ms",
                "host ends in ms");
    for (const auto& a : attacks) {
        SCOPED_TRACE(a.take);
        const qsizetype fds = descriptors();
        AppletView* view = show("CODE=GreedyApplet.class", 160, 120, QString("<param name=take value='%1'>").arg(a.take));
        ASSERT_TRUE(view);
        QSignalSpy frames(&view->host(), &AppletHost::frame);
        QElapsedTimer flooded;
        flooded.start();
        // Ostrel's event loop, timed while the applet takes what it can.
        QElapsedTimer beat;
        beat.start();
        qint64 longest = 0;
        QTimer ticks;
        QObject::connect(&ticks, &QTimer::timeout, [&] {
            longest = std::max(longest, beat.restart());
        });
        ticks.start(20);
        const QString key = QString(a.take) + "=";
        QString got;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                for (const QString& r : server.reports())
                    if (r.startsWith(key))
                        got = r.mid(key.size());
                return !got.isEmpty();
            },
            90000))
            << qPrintable(view->statusText());
        QTest::qWait(std::strcmp(a.take, "spin") == 0 ? 3000 : 500);
        const QList<qint64> hosts = children("java");
        const int hostMiB = hosts.isEmpty() ? 0 : residentMiB(hosts.first());
        const qsizetype grown = descriptors() - fds;
        if (a.most > 0 && got != "refused") {
            EXPECT_LE(got.toLong(), a.most) << qPrintable(got);
        }
        if (got.endsWith("/s")) {
            // However often it repaints, pictures are taken at most as
            // often as the screen shows them.
            const qreal hz = QGuiApplication::primaryScreen()->refreshRate();
            EXPECT_LE(frames.count(), flooded.elapsed() * std::max<qreal>(hz, 60) / 1000 + 3);
            got += QString(", %1 taken").arg(frames.count() * 1000 / std::max<qint64>(flooded.elapsed(), 1));
        }
        EXPECT_LT(hostMiB, 600);
        // Each carried connection: the sandbox's end and the camera's, and
        // here the camera's own end too, since the camera is this process.
        EXPECT_LE(grown, 3 * AppletRelay::kMostConnections + 8);
        EXPECT_LT(longest, 1000) << "Ostrel's window stalled";
        ticks.stop();
        const QString page = dir.filePath("idle.htm");
        testsupport::writeFile(page, "<html><body bgcolor='#000000'>idle</body></html>");
        QElapsedTimer ending;
        ending.start();
        browser->Navigate2(page);
        EXPECT_TRUE(QTest::qWaitFor([] { return children("java").isEmpty(); }, 2000)) << "the host outlived its page";
        std::printf("%-8s %-22s %12d %14lld %16lld %18lld\n", a.take, qPrintable(got), hostMiB,
                    static_cast<long long>(grown), static_cast<long long>(longest),
                    static_cast<long long>(ending.elapsed()));
        server.clearReports();
    }
}

TEST(CameraInTheViewer, TheLivePictureAndASnapshotOfIt)
{
    qputenv("OSTREL_APPLETS", "on");
    QProcess camera;
    camera.start(OSTREL_DEMOCAM, {"--port", "0", "--fps", "2"});
    ASSERT_TRUE(camera.waitForReadyRead(10000));
    const auto m = QRegularExpression(":(\\d+)/").match(QString(camera.readAllStandardOutput()));
    ASSERT_TRUE(m.hasMatch());
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    frmOstrel window;
    probe(window).reportError = [](const QString&) {};
    window.Form_Load("-host 127.0.0.1 -port " + m.captured(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !probe(window).WebBrowser1->applets().isEmpty(); }, 15000))
        << qPrintable(probe(window).WebBrowser1->view()->url().toString());
    AppletView* view = probe(window).WebBrowser1->applets().first();
    ASSERT_TRUE(view);
    // The camera's picture: its caption band is dark blue-grey at the bottom left.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->picture().isNull(); }, 20000)) << qPrintable(view->statusText());
    EXPECT_EQ(view->size(), QSize(320, 240));
    EXPECT_EQ(view->mapTo(&window, QPoint(0, 0)), probe(window).Picture1->geometry().topLeft());
    // A snapshot holds exactly what the box shows (tried again should a new
    // frame come in between).
    bool same = false;
    for (int attempt = 0; attempt < 3 && !same; ++attempt) {
        const QImage shown = view->picture();
        probe(window).chkPicture->click();
        same = probe(window).snapshot().convertToFormat(QImage::Format_RGB32) == shown;
        probe(window).chkPicture->click();
    }
    EXPECT_TRUE(same);
    camera.terminate();
    camera.waitForFinished();
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("OSTREL_APPLETS");
}
