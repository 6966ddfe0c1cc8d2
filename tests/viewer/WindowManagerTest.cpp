// The main window under a real window manager: moves, outside resizing,
// always on top, and the profiles panel opening and closing.
#include "viewer/frmOstrel.h"
#include "profiles/frmBrimcastProbe.h"
#include "viewer/frmOstrelProbe.h"

#include "profiles/frmBrimcast.h"
#include "platform/Twips.h"
#include "support/Desktop.h"

#include <QLabel>
#include <QSystemTrayIcon>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

using desktop::drag;
using desktop::run;

class UnderWindowManager : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        window = std::make_unique<frmOstrel>();
        probe(*window).reportError = [](const QString&) {};
        QSignalSpy loaded(probe(*window).WebBrowser1, &WebBrowser::DocumentComplete);
        window->Form_Load("-host cam1 -port 80");
        ASSERT_TRUE(loaded.count() > 0 || loaded.wait(15000));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        QTest::qWait(300);
    }
    void TearDown() override
    {
        window.reset();
        qunsetenv("XDG_CONFIG_HOME");
    }
    QString windowId() const { return QString::number(window->winId()); }

    QTemporaryDir config;
    std::unique_ptr<frmOstrel> window;
};

} // namespace

TEST_F(UnderWindowManager, DraggingTheButtonRowOrThePageMovesTheWindow)
{
    // Between the buttons: the window's own background, left button only.
    const QPoint background = window->mapToGlobal(QPoint(platform::pixelsX(345), 10));
    QPoint before = window->pos();
    drag(background, 60, 40, 3);
    QTest::qWait(300);
    EXPECT_EQ(window->pos(), before) << "the right button on the background does nothing";
    drag(background, 60, 40, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->pos() != before; }, 3000));
    EXPECT_NEAR(window->pos().x() - before.x(), 60, 4);

    // The page: any button.
    QTest::qWait(500);
    ASSERT_TRUE(probe(*window).hDoc);
    int presses = 0;
    QObject::connect(probe(*window).hDoc, &BrowserDocument::onmousedown, [&](Qt::MouseButton) { ++presses; });
    before = window->pos();
    const QPoint page = window->mapToGlobal(probe(*window).Picture1->geometry().center());
    drag(page, -30, 50, 3);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->pos() != before; }, 3000));
    EXPECT_EQ(presses, 1);
    EXPECT_NEAR(window->pos().y() - before.y(), 50, 4);
}

TEST_F(UnderWindowManager, ResizingFromOutsideSnapsBack)
{
    const QSize chosen = window->size();
    run("xdotool", {"windowsize", windowId(), "700", "650"});
    QTest::qWait(800);
    EXPECT_EQ(window->size(), chosen);
}

TEST_F(UnderWindowManager, AlwaysOnTopFollowsTheSwitch)
{
    const auto above = [&] { return run("xprop", {"-id", windowId(), "_NET_WM_STATE"}).contains("ABOVE"); };
    EXPECT_FALSE(above());
    probe(*window).chkOnTop->click();
    EXPECT_TRUE(QTest::qWaitFor(above, 3000));
    probe(*window).chkOnTop->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !above(); }, 3000));
}

TEST_F(UnderWindowManager, ProfilesPanelOpensBelowAndClosesWhenLeft)
{
    probe(*window).cmdBrimcast->click();
    frmBrimcast* panel = probe(*window).brimcast();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel));
    EXPECT_EQ(panel->pos(), window->pos() + platform::twips(QPoint(50, 750)));
    EXPECT_TRUE(QTest::qWaitFor([&] { return frmBrimcastProbe(*panel).Timer1->isActive(); }, 3000));
    // Another window becomes active: the panel hides within its 100 ms watch.
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !panel->isVisible(); }, 3000));
    EXPECT_FALSE(probe(*window).isTopmost());
}

TEST_F(UnderWindowManager, MinimisingHidesToTheTrayAndTheIconBringsTheWindowBack)
{
    ASSERT_TRUE(QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 5000));
    EXPECT_TRUE(probe(*window).cSysTray1->isVisible());
    EXPECT_TRUE(probe(*window).cSysTray1->toolTip().startsWith(window->windowTitle()))
        << qPrintable(probe(*window).cSysTray1->toolTip());
    const QSize size = window->size();
    window->showMinimized();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 3000));
    QFile::remove(probe(*window).pageFilePath());
    emit probe(*window).cSysTray1->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }, 3000));
    QTest::qWait(300);
    EXPECT_EQ(window->size(), size);
    EXPECT_FALSE(window->windowState() & Qt::WindowMinimized);
    EXPECT_FALSE(QFile::exists(probe(*window).pageFilePath())); // shown as it was: no new page
}
