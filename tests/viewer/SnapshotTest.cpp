// Snapshots, the tray fallback and About, with the real browser engine offscreen.
#include "Version.h"
#include "viewer/frmOstrel.h"
#include "profiles/frmBrimcastProbe.h"
#include "viewer/frmOstrelProbe.h"
#include "viewer/modOstrel.h"

#include "imagewindow/fMain.h"
#include "imagewindow/fMainProbe.h"
#include "profiles/frmBrimcast.h"
#include "support/Dialogs.h"
#include "support/Images.h"
#include "support/JpegCodec.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

class Snapshots : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        window = std::make_unique<frmOstrel>();
        probe(*window).reportError = [this](const QString& message) { errors << message; };
        probe(*window).openUrl = [this](const QUrl& url) { opened << url; };
        probe(*window).trayAvailable = [this] { return tray; };
        // Stands in for the applet: a pattern drawn in its box.
        probe(*window).captureLayer = [this](QPainter& painter, const QRect& box) {
            painter.fillRect(box, QColor(20, 40, 60));
            painter.fillRect(QRect(box.topLeft(), QSize(box.width() / 2, box.height() / 3)), QColor(200, 30, 90));
            ++captures;
        };
        QSignalSpy loaded(probe(*window).WebBrowser1, &WebBrowser::DocumentComplete);
        window->Form_Load("-host cam1 -port 80");
        ASSERT_TRUE(loaded.count() > 0 || loaded.wait(15000));
    }
    void TearDown() override
    {
        fMain::Unload();
        window.reset();
        qunsetenv("XDG_CONFIG_HOME");
    }
    void expectFrozen(bool frozen)
    {
        EXPECT_EQ(probe(*window).Picture1->isVisible(), frozen);
        EXPECT_EQ(probe(*window).picRedBorder->isVisible(), frozen);
        EXPECT_EQ(probe(*window).cmdSave->isVisible(), frozen);
        EXPECT_EQ(probe(*window).cmdSeparate->isVisible(), frozen);
        EXPECT_EQ(probe(*window).cmdResize->isEnabled(), !frozen);
        EXPECT_EQ(probe(*window).chkPicture->isChecked(), frozen);
    }

    QTemporaryDir config;
    QTemporaryDir files;
    std::unique_ptr<frmOstrel> window;
    QStringList errors;
    QList<QUrl> opened;
    bool tray = false;
    int captures = 0;
};

} // namespace

TEST_F(Snapshots, FreezingShowsTheFrameExactlyOverTheView)
{
    for (std::int16_t size : {3, 1}) {
        QSignalSpy loaded(probe(*window).WebBrowser1, &WebBrowser::DocumentComplete);
        probe(*window).mnuSize_Click(size);
        ASSERT_TRUE(loaded.wait(15000));
        probe(*window).chkPicture->click();
        expectFrozen(true);
        QRect box;
        bool done = false;
        probe(*window).WebBrowser1->appletBox([&](QRect r) {
            box = r;
            done = true;
        });
        ASSERT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
        EXPECT_EQ(probe(*window).Picture1->geometry(), box);
        EXPECT_EQ(probe(*window).snapshot().size(), box.size());
        EXPECT_EQ(probe(*window).picRedBorder->palette().color(QPalette::Window), QColor(128, 0, 0));
        probe(*window).chkPicture->click();
        expectFrozen(false);
    }
}

TEST_F(Snapshots, TheFrozenPictureHoldsTheViewsPixels)
{
    const QRect box = probe(*window).Picture1->geometry();
    QImage expected = window->grab(box).toImage().convertToFormat(QImage::Format_RGB32);
    QPainter painter(&expected);
    painter.translate(-box.topLeft());
    probe(*window).captureLayer(painter, box);
    painter.end();
    probe(*window).chkPicture->click();
    EXPECT_EQ(probe(*window).snapshot(), expected);
    EXPECT_EQ(probe(*window).snapshot().pixel(1, 1), qRgb(200, 30, 90));
    EXPECT_EQ(probe(*window).Picture1->pixmap().toImage().convertToFormat(QImage::Format_RGB32), expected);
}

TEST_F(Snapshots, SaveCancelledKeepsTheViewFrozen)
{
    probe(*window).chkPicture->click();
    const QString bitmap = probe(*window).snapshotFilePath();
    bool bitmapWhileOpen = false;
    bool disabledWhileOpen = false;
    testsupport::onNextFileDialog([&](QFileDialog& dialog) {
        bitmapWhileOpen = QFile::exists(bitmap);
        disabledWhileOpen = !window->isEnabled();
        dialog.reject();
    });
    probe(*window).cmdSave->click();
    EXPECT_TRUE(bitmapWhileOpen);
    EXPECT_TRUE(disabledWhileOpen);
    EXPECT_TRUE(window->isEnabled());
    expectFrozen(true);
    EXPECT_FALSE(fMain::Loaded());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !QFile::exists(bitmap); }, 3000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !probe(*window).Timer2->isActive(); }, 2000));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(Snapshots, SaveWithANameWritesTheJpegAndUnfreezes)
{
    frmBrimcastProbe(*probe(*window).brimcast()).cboName->setEditText("Garden");
    probe(*window).chkPicture->click();
    QString proposed;
    testsupport::onNextFileDialog([&](QFileDialog& dialog) {
        proposed = QFileInfo(dialog.selectedFiles().value(0)).fileName();
        testsupport::typeAndAccept(dialog, files.filePath("shot"));
    });
    probe(*window).cmdSave->click();
    EXPECT_TRUE(proposed.startsWith("Garden"));
    const auto decoded = testsupport::decodeJpegFile(files.filePath("shot.jpg"));
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.width, 320);
    EXPECT_EQ(decoded.height, 240);
    EXPECT_GT(testsupport::psnr(decoded.toImage(), probe(*window).snapshot()), 30.0);
    expectFrozen(false);
    EXPECT_FALSE(fMain::Loaded());
}

TEST_F(Snapshots, SeparateOpensTheImageWindowAndNoUnsavedSnapshotIsLost)
{
    probe(*window).chkPicture->click();
    probe(*window).cmdSeparate->click();
    expectFrozen(false);
    ASSERT_TRUE(fMain::Loaded());
    fMain* image = &fMain::Instance();
    EXPECT_TRUE(image->isVisible());
    EXPECT_EQ(image->windowTitle(), "Imageviewer - JPEG");
    EXPECT_EQ(image->Image().Width(), 320);
    // Separate again: the window's snapshot is not saved, so the user is
    // asked; kept, the new one stays frozen; replaced, the same window shows it.
    QSignalSpy loaded(probe(*window).WebBrowser1, &WebBrowser::DocumentComplete);
    probe(*window).mnuSize_Click(1);
    ASSERT_TRUE(loaded.wait(15000));
    probe(*window).chkPicture->click();
    QStringList questions;
    for (const bool replace : {false, true}) {
        probe(*window).askYesNo = [&](const QString& question) {
            questions << question;
            return replace;
        };
        probe(*window).cmdSeparate->click();
        expectFrozen(!replace);
        EXPECT_EQ(&fMain::Instance(), image);
        EXPECT_EQ(image->Image().Width(), replace ? 160 : 320);
    }
    EXPECT_EQ(questions.size(), 2);
    EXPECT_TRUE(questions.value(0).contains("not been saved")) << qPrintable(questions.value(0));
    // Save while it is open: the new snapshot is saved, and the window keeps its own.
    probe(*window).chkPicture->click();
    testsupport::chooseInNextFileDialog(files.filePath("second.jpg"));
    probe(*window).cmdSave->click();
    EXPECT_TRUE(testsupport::decodeJpegFile(files.filePath("second.jpg")).ok);
    ASSERT_TRUE(fMain::Loaded());
    EXPECT_TRUE(image->isVisible());
    EXPECT_EQ(image->Image().Width(), 160);
    expectFrozen(false);
    // Saved there, it is no longer asked about.
    testsupport::chooseInNextFileDialog(files.filePath("third.jpg"));
    fMainProbe(*image).mnuSave_Click();
    probe(*window).chkPicture->click();
    probe(*window).cmdSeparate->click();
    EXPECT_EQ(questions.size(), 2);
    expectFrozen(false);
}

TEST_F(Snapshots, AFailedSaveLeavesTheWindowUsable)
{
    probe(*window).chkPicture->click();
    ASSERT_TRUE(QDir().mkdir(probe(*window).snapshotFilePath())); // the hand-over bitmap cannot be written
    probe(*window).cmdSave->click();
    QDir().rmdir(probe(*window).snapshotFilePath());
    EXPECT_TRUE(window->isEnabled());
    expectFrozen(true);
    ASSERT_EQ(errors.size(), 1) << "one failure, one message";
    EXPECT_TRUE(errors.last().contains("not saved")) << errors.last().toStdString();
}

TEST_F(Snapshots, WithoutATrayMinimisingKeepsTheWindowReachable)
{
    window->showMinimized();
    QTest::qWait(100);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->windowState() & Qt::WindowMinimized);

    // With a tray: hidden, then back from the tray without a new page.
    tray = true;
    window->showNormal();
    probe(*window).brimcast()->show();
    window->showMinimized();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 2000));
    EXPECT_FALSE(probe(*window).brimcast()->isVisible());
    QFile::remove(probe(*window).pageFilePath());
    const QSize size = window->size();
    probe(*window).cSysTray1_TrayMouse();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->size(), size);
    QTest::qWait(200);
    EXPECT_FALSE(QFile::exists(probe(*window).pageFilePath())); // no page build
    EXPECT_FALSE(probe(*window).brimcast()->isVisible());
}

TEST_F(Snapshots, HideStartsMinimisedWithoutATray)
{
    auto hidden = std::make_unique<frmOstrel>();
    probe(*hidden).trayAvailable = [] { return false; };
    hidden->Form_Load("-hide");
    EXPECT_TRUE(hidden->windowState() & Qt::WindowMinimized);
    auto traying = std::make_unique<frmOstrel>();
    probe(*traying).trayAvailable = [] { return true; };
    traying->Form_Load("-hide");
    EXPECT_FALSE(traying->isVisible());
}

TEST_F(Snapshots, AboutSaysWhatOstrelIsAndOpensTheCamerasOwnPages)
{
    QStringList shown;
    probe(*window).showInformation = [&](const QString& title, const QString& text) { shown << title + ": " + text; };
    probe(*window).mnuAboutOstrel->trigger();
    ASSERT_EQ(shown.size(), 1);
    for (const char* part : {"About Ostrel: Ostrel " OSTREL_VERSION, "https://ostrel.io/", "Licence", "Qt ", "Settings: "})
        EXPECT_TRUE(shown[0].contains(part)) << part << " in " << qPrintable(shown[0]);
    EXPECT_TRUE(shown[0].contains(modOstrel::Settings().path()));
    // The camera shown: its own pages.
    probe(*window).mnuAboutBrimcast->trigger();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0], QUrl(QString("http://%1:%2/").arg(probe(*window).brimcast()->currentConnection().host,
                                                          probe(*window).brimcast()->currentConnection().port)));
}

TEST_F(Snapshots, TheFrozenPictureLooksTheSameInADisabledWindow)
{
    // The layer paints a colour a greyed picture would change.
    probe(*window).chkPicture->click();
    const QImage enabled = probe(*window).Picture1->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(enabled.pixel(1, 1), qRgb(200, 30, 90));
    window->setEnabled(false); // as while the save dialog is open
    const QImage disabled = probe(*window).Picture1->grab().toImage().convertToFormat(QImage::Format_RGB32);
    window->setEnabled(true);
    EXPECT_EQ(disabled, enabled);
}
