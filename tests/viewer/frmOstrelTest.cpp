// The main window with the real browser engine, on the offscreen platform.
#include "viewer/frmOstrel.h"
#include "viewer/frmOstrelProbe.h"
#include "viewer/modOstrel.h"

#include "profiles/frmBrimcast.h"
#include "platform/Twips.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override { qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path())); }
    void TearDown() override { qunsetenv("XDG_CONFIG_HOME"); }

    // A window started with the command line, its first page shown.
    std::unique_ptr<frmOstrel> start(const QString& commandLine)
    {
        auto window = std::make_unique<frmOstrel>();
        probe(*window).reportError = [this](const QString& message) { errors << message; };
        QSignalSpy loaded(probe(*window).WebBrowser1, &WebBrowser::DocumentComplete);
        window->Form_Load(commandLine);
        pageAtLoad = readPage(*window);
        EXPECT_TRUE(loaded.count() > 0 || loaded.wait(15000)) << "no page shown";
        return window;
    }
    // Builds the page again and returns its text, read before its deletion.
    QString rebuild(frmOstrel& window)
    {
        QSignalSpy loaded(probe(window).WebBrowser1, &WebBrowser::DocumentComplete);
        window.cmdRefresh_Click();
        const QString page = readPage(window);
        EXPECT_TRUE(loaded.wait(15000));
        return page;
    }
    static QString readPage(const frmOstrel& window)
    {
        QFile file(probe(window).pageFilePath());
        return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
    }
    static QRect appletBox(const frmOstrel& window)
    {
        QRect box;
        bool done = false;
        probe(window).WebBrowser1->appletBox([&](QRect r) {
            box = r;
            done = true;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
        return box;
    }

    QTemporaryDir config;
    QStringList errors;
    QString pageAtLoad;
};

} // namespace

TEST_F(MainWindow, FirstStartShowsTheIdlePageAtTheDefaultSize)
{
    auto window = start("");
    EXPECT_EQ(probe(*window).iSizeIndex, 2);
    EXPECT_EQ(probe(*window).sViewWidth, "320");
    EXPECT_EQ(probe(*window).sViewHeight, "240");
    EXPECT_EQ(window->pos(), QPoint(0, 0));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(pageAtLoad, modOstrel::IdlePage(modOstrel::TitleText("")));
    EXPECT_EQ(window->windowTitle(), modOstrel::TitleText(""));
    EXPECT_FALSE(probe(*window).cmdRefresh->isEnabled());
    EXPECT_FALSE(probe(*window).chkPicture->isEnabled());
    EXPECT_TRUE(probe(*window).mnuSize[2]->isChecked());
    EXPECT_TRUE(errors.isEmpty());
    // No camera to open the pages of: said so.
    QString said;
    probe(*window).showInformation = [&](const QString&, const QString& text) { said = text; };
    probe(*window).mnuAboutBrimcast->trigger();
    EXPECT_TRUE(said.startsWith("No camera is connected")) << qPrintable(said);
}

TEST_F(MainWindow, PageFileIsDeletedAboutASecondLater)
{
    auto window = start("-host cam1 -port 80");
    const QString path = probe(*window).pageFilePath();
    rebuild(*window);
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_TRUE(probe(*window).Timer1->isActive());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(path); }, 3000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !probe(*window).Timer1->isActive(); }, 2000));
    EXPECT_TRUE(path.startsWith(QDir::tempPath()) || path.startsWith(qEnvironmentVariable("XDG_RUNTIME_DIR")));
}

TEST_F(MainWindow, CommandLineHostAndPortConnect)
{
    auto window = start("-host cam1 -port 80 -ontop");
    EXPECT_EQ(probe(*window).brimcast()->currentConnection().host, "cam1");
    EXPECT_EQ(probe(*window).brimcast()->currentConnection().port, "80");
    EXPECT_EQ(pageAtLoad, modOstrel::ViewerPage("cam1", "80", "320", "240"));
    EXPECT_TRUE(probe(*window).chkOnTop->isChecked());
    EXPECT_TRUE(probe(*window).isTopmost());
    EXPECT_TRUE(probe(*window).cmdRefresh->isEnabled());
    // The tips say which camera is shown.
    EXPECT_EQ(probe(*window).cSysTray1->toolTip(), window->windowTitle() + "\nhttp://cam1:80/");
    EXPECT_EQ(probe(*window).WebBrowser1->toolTip(), probe(*window).cSysTray1->toolTip());

    auto portOnly = start("-HOST Cam2");
    EXPECT_EQ(probe(*portOnly).brimcast()->currentConnection().host, "Cam2");
    EXPECT_EQ(probe(*portOnly).brimcast()->currentConnection().port, "8081");
}

TEST_F(MainWindow, NamedProfileWinsOverCommandLineHost)
{
    platform::SettingsStore store = modOstrel::Settings();
    store.save("name", "Garden", "Garden");
    store.save("Garden", "host", "garden-cam");
    store.save("Garden", "port", "8000");
    store.save("size", "index", "3");
    store.save("position", "left", "1500");
    store.save("position", "top", "750");
    auto window = start("-name Garden -host other");
    EXPECT_EQ(probe(*window).brimcast()->currentConnection().host, "garden-cam");
    EXPECT_EQ(probe(*window).brimcast()->currentConnection().port, "8000");
    EXPECT_EQ(window->windowTitle(), modOstrel::TitleText("Garden"));
    EXPECT_EQ(probe(*window).sViewWidth, "640");
    EXPECT_EQ(window->pos(), QPoint(platform::pixelsX(1500), platform::pixelsY(750)));
    EXPECT_TRUE(readPage(*window).isEmpty() || readPage(*window).contains("WIDTH=640 HEIGHT=480"));
}

TEST_F(MainWindow, SizesSnapAndTheSnapshotPictureLiesOverTheApplet)
{
    auto window = start("-host cam1 -port 80");
    const int widths[] = {80, 160, 320, 640, 800, 1024};
    const int heights[] = {60, 120, 240, 480, 600, 768};
    for (std::int16_t i : {0, 1, 3, 4, 5, 2}) {
        SCOPED_TRACE(probe(*window).mnuSize[i]->text().toStdString());
        QSignalSpy loaded(probe(*window).WebBrowser1, &WebBrowser::DocumentComplete);
        probe(*window).mnuSize_Click(i);
        ASSERT_TRUE(loaded.wait(15000));
        EXPECT_EQ(window->size(), frmOstrel::clientSizeFor(widths[i], heights[i]));
        const QRect box = appletBox(*window);
        EXPECT_EQ(box, QRect(probe(*window).Picture1->geometry().topLeft(), QSize(widths[i], heights[i])));
        EXPECT_EQ(probe(*window).Picture1->size(), QSize(widths[i], heights[i]));
    }
    // The checked size again: nothing happens, no page is built.
    QFile::remove(probe(*window).pageFilePath());
    probe(*window).mnuSize_Click(2);
    EXPECT_FALSE(QFile::exists(probe(*window).pageFilePath()));
    // A size forced from outside (by a window manager that ignores the fixed
    // size) snaps back, with a new page.
    window->setMinimumSize(0, 0);
    window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    window->resize(500, 500);
    EXPECT_EQ(window->size(), frmOstrel::clientSizeFor(320, 240));
    EXPECT_TRUE(QFile::exists(probe(*window).pageFilePath()));
}

TEST_F(MainWindow, ClosingSavesPlaceAndSizeNeverNegative)
{
    {
        auto window = start("");
        probe(*window).mnuSize_Click(4);
        window->move(-40, 25);
        window->close();
    }
    platform::SettingsStore store = modOstrel::Settings();
    EXPECT_EQ(store.get("size", "index"), "4");
    EXPECT_EQ(store.get("position", "left"), "0");
    EXPECT_EQ(store.get("position", "top"), QString::number(static_cast<float>(platform::twipsY(25))));
    auto again = start("");
    EXPECT_EQ(probe(*again).sViewWidth, "800");
}

TEST_F(MainWindow, AnUnwritablePageFileIsReportedNotFatal)
{
    auto window = start("");
    const QString path = probe(*window).pageFilePath();
    QFile::remove(path);
    ASSERT_TRUE(QDir().mkdir(path)); // a folder where the page file belongs
    window->cmdRefresh_Click();
    QDir().rmdir(path);
    ASSERT_FALSE(errors.isEmpty());
    EXPECT_TRUE(errors.last().contains("ostrel.htm")) << errors.last().toStdString();
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindow, PageEventsAreWired)
{
    auto window = start("-host cam1 -port 80");
    ASSERT_TRUE(probe(*window).hDoc);
    EXPECT_FALSE(probe(*window).hDoc_OnContextMenu());
    QSignalSpy before(probe(*window).WebBrowser1, &WebBrowser::BeforeNavigate2);
    window->cmdRefresh_Click();
    EXPECT_EQ(before.count(), 1);
    EXPECT_FALSE(probe(*window).hDoc); // nothing while navigating
    EXPECT_TRUE(QTest::qWaitFor([&] { return !probe(*window).hDoc.isNull(); }, 15000));
}

TEST_F(MainWindow, OnePickOfASizeMenuItemAppliesItAndLeavesOneMark)
{
    auto window = start("-host cam1 -port 80");
    // As the menu does it: the item is triggered, which flips a checkable mark.
    QSignalSpy loaded(probe(*window).WebBrowser1, &WebBrowser::DocumentComplete);
    probe(*window).mnuSize[3]->trigger();
    EXPECT_EQ(window->size(), frmOstrel::clientSizeFor(640, 480));
    ASSERT_TRUE(loaded.wait(15000));
    const auto marks = [&] {
        int n = 0;
        for (const QAction* item : probe(*window).mnuSize)
            n += item->isChecked();
        return n;
    };
    EXPECT_EQ(marks(), 1);
    EXPECT_TRUE(probe(*window).mnuSize[3]->isChecked());
    // The current item again: it keeps its mark and builds no page.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(probe(*window).pageFilePath()); }, 5000));
    probe(*window).mnuSize[3]->trigger();
    EXPECT_FALSE(QFile::exists(probe(*window).pageFilePath()));
    EXPECT_TRUE(probe(*window).mnuSize[3]->isChecked());
    EXPECT_EQ(marks(), 1);
}

TEST_F(MainWindow, TheSmallestViewKeepsTheButtonsInsideTheWindow)
{
    auto window = start("-host cam1 -port 80");
    probe(*window).mnuSize_Click(0);
    EXPECT_GE(window->width(), probe(*window).cmdAbout->geometry().right() + 1);
    EXPECT_EQ(probe(*window).Picture1->geometry(), QRect(8, 29, 80, 60)); // the view itself is unchanged
}
