// Tests of the image window: showing, scrolling, panning, auto-fit, open and save.
#include "imagewindow/fMain.h"
#include "fMainProbe.h"

#include "platform/BmpFile.h"
#include "support/Dialogs.h"
#include "support/Files.h"
#include "support/Images.h"
#include "support/JpegCodec.h"

#include <QDir>
#include <QFileDialog>
#include <QImageReader>
#include <QRegularExpression>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

class ImageWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        fMain::SetProfileNameSource([this] { return profileName; });
        window = &fMain::Instance();
        window->show(); // the layout follows resizes of a shown window
        probe().messageBox = [this](const QString& text) { messages << text; };
    }
    void TearDown() override { fMain::Unload(); }

    // A bitmap file of the test pattern, w x h.
    QString imageFile(int w, int h, const QString& name = "image.bmp")
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(platform::writeBmp(path, *platform::Surface::wrap(testsupport::pattern(w, h, w)), nullptr));
        return path;
    }
    // Shows an image without fitting the window to it, in a window whose
    // image box is `boxWidth` x `boxHeight`.
    void showInBox(int w, int h, int boxWidth, int boxHeight)
    {
        probe().mnuAutosize->setChecked(false);
        window->resize(boxWidth, window->height() - probe().Picture1->height() + boxHeight);
        window->xmnuOpen_Click(imageFile(w, h));
        ASSERT_EQ(probe().Picture1->size(), QSize(boxWidth, boxHeight));
    }
    fMainProbe probe() const { return fMainProbe(*window); }
    int extent() const { return window->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, window); }
    void mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QMouseEvent event(type, at, probe().Picture1->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(probe().Picture1, &event);
    }

    QTemporaryDir dir;
    fMain* window = nullptr;
    QStringList messages;
    QString profileName;
};

} // namespace

TEST_F(ImageWindow, StartsInItsDesignState)
{
    fMain::Unload();
    window = &fMain::Instance();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "JPEG Encoder");
    EXPECT_TRUE(probe().chkOnTop->isChecked());
    EXPECT_TRUE(probe().mnuAutosize->isChecked());
    EXPECT_EQ(window->Image().Width(), 0);
    EXPECT_EQ(&fMain::Instance(), window); // one shared window
}

TEST_F(ImageWindow, SmallImagesAreCentredWithTheOddPixelRightAndBelow)
{
    showInBox(50, 31, 200, 150); // inside: 196 x 146; free 146 and 115
    EXPECT_FALSE(probe().HScroll1->isVisibleTo(probe().Picture1));
    EXPECT_FALSE(probe().VScroll1->isVisibleTo(probe().Picture1));
    EXPECT_EQ(probe().HScroll1->value(), -73);
    EXPECT_EQ(probe().HScroll1->minimum(), probe().HScroll1->maximum());
    EXPECT_EQ(probe().VScroll1->value(), -57); // 115 / 2 toward zero: the extra pixel below
}

TEST_F(ImageWindow, ImageAsWideAsTheViewNeedsNoBar)
{
    showInBox(196, 100, 200, 150);
    EXPECT_FALSE(probe().HScroll1->isVisibleTo(probe().Picture1));
    EXPECT_EQ(probe().HScroll1->value(), 0);
}

TEST_F(ImageWindow, BarsAppearAsNeededWithTheirRanges)
{
    const int e = extent();
    showInBox(300, 100, 200, 150); // wider only
    EXPECT_TRUE(probe().HScroll1->isVisibleTo(probe().Picture1));
    EXPECT_FALSE(probe().VScroll1->isVisibleTo(probe().Picture1));
    EXPECT_EQ(probe().HScroll1->maximum(), 300 - 196);
    EXPECT_EQ(probe().HScroll1->geometry(), QRect(2, 150 - 2 - e, 196, e));
    EXPECT_EQ(probe().VScroll1->value(), (e + 100 - 150 + 4) / 2);

    showInBox(100, 300, 200, 150); // taller only
    EXPECT_TRUE(probe().VScroll1->isVisibleTo(probe().Picture1));
    EXPECT_EQ(probe().VScroll1->maximum(), 300 - 146);
    EXPECT_EQ(probe().VScroll1->geometry(), QRect(200 - e - 2, 2, e, 146));

    showInBox(300, 146 - e + 1, 200, 150); // wider, and then too tall for the rest
    EXPECT_TRUE(probe().HScroll1->isVisibleTo(probe().Picture1));
    EXPECT_TRUE(probe().VScroll1->isVisibleTo(probe().Picture1));
    EXPECT_EQ(probe().HScroll1->width(), 196 - e);
    EXPECT_EQ(probe().HScroll1->maximum(), 300 - (196 - e));
    EXPECT_EQ(probe().VScroll1->maximum(), 1);
    // An arrow moves a few lines, the trough what the view shows.
    EXPECT_GE(probe().HScroll1->singleStep(), 3 * 10);
    EXPECT_EQ(probe().HScroll1->pageStep(), 196 - e);
    EXPECT_EQ(probe().VScroll1->pageStep(), 146 - e);

    // A new picture starts at its top left, wherever the last was scrolled.
    probe().HScroll1->setValue(50);
    window->xmnuOpen_Click(imageFile(300, 300, "next.bmp"));
    EXPECT_EQ(probe().HScroll1->value(), 0);
    EXPECT_EQ(probe().VScroll1->value(), 0);
}

TEST_F(ImageWindow, DraggingPansWithinTheRangesAndSetsPointers)
{
    showInBox(400, 300, 200, 150);
    mouse(QEvent::MouseButtonPress, QPoint(50, 50), Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(probe().Picture1Pointer(), platform::Pointer::SizeAll);
    mouse(QEvent::MouseMove, QPoint(30, 40), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(probe().HScroll1->value(), 20);
    EXPECT_EQ(probe().VScroll1->value(), 10);
    mouse(QEvent::MouseMove, QPoint(-5000, -5000), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(probe().HScroll1->value(), probe().HScroll1->maximum());
    EXPECT_EQ(probe().VScroll1->value(), probe().VScroll1->maximum());
    mouse(QEvent::MouseMove, QPoint(5000, 5000), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(probe().HScroll1->value(), 0);
    mouse(QEvent::MouseButtonRelease, QPoint(0, 0), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(probe().Picture1Pointer(), platform::Pointer::Default);
    mouse(QEvent::MouseMove, QPoint(10, 10), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(probe().ApplicationPointer(), platform::Pointer::SizePointer);
    QMouseEvent away(QEvent::MouseMove, QPointF(1, 1), QPointF(1, 1), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(window, &away);
    EXPECT_EQ(probe().ApplicationPointer(), platform::Pointer::Default);

    // Only a horizontal bar: pointer 9, and the centred direction stays put.
    showInBox(400, 50, 200, 150);
    const int centred = probe().VScroll1->value();
    mouse(QEvent::MouseButtonPress, QPoint(50, 50), Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(probe().Picture1Pointer(), platform::Pointer::SizeWE);
    mouse(QEvent::MouseMove, QPoint(20, 90), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(probe().VScroll1->value(), centred);
    // The right button does not pan.
    mouse(QEvent::MouseButtonRelease, QPoint(0, 0), Qt::LeftButton, Qt::NoButton);
    const int before = probe().HScroll1->value();
    mouse(QEvent::MouseButtonPress, QPoint(50, 50), Qt::RightButton, Qt::RightButton);
    mouse(QEvent::MouseMove, QPoint(10, 10), Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(probe().HScroll1->value(), before);
}

TEST_F(ImageWindow, AutoSizeFitsTheWindowAndKeepsItOnTheScreen)
{
    window->xmnuOpen_Click(imageFile(120, 80));
    EXPECT_EQ(probe().Picture1->contentsRect().size(), QSize(120, 80));
    const QRect screen = window->screen()->geometry();
    window->xmnuOpen_Click(imageFile(screen.width() + 500, 50, "wide.bmp"));
    EXPECT_EQ(window->frameGeometry().left(), screen.left());
    EXPECT_EQ(window->frameGeometry().width(), screen.width());
    EXPECT_TRUE(probe().HScroll1->isVisibleTo(probe().Picture1));
    EXPECT_FALSE(probe().VScroll1->isVisibleTo(probe().Picture1)) << "room was kept for the horizontal bar";
    window->xmnuOpen_Click(imageFile(60, screen.height() + 300, "tall.bmp"));
    EXPECT_EQ(window->frameGeometry().top(), screen.top());
    EXPECT_EQ(window->frameGeometry().height(), screen.height());
    EXPECT_EQ(window->width(), 60 + 4 + extent());
    // Fitted to a tiny image, the box has no room for bars: the image is centred all the same.
    window->xmnuOpen_Click(imageFile(1, 1, "dot.bmp"));
    const QRect inside = probe().Picture1->contentsRect();
    EXPECT_EQ(probe().HScroll1->value(), (1 - inside.width()) / 2);
    EXPECT_EQ(probe().VScroll1->value(), (1 - inside.height()) / 2);
    // Switched off and on again: fits the current image at once.
    window->xmnuOpen_Click(imageFile(70, 40, "small.bmp"));
    probe().chkOnTop->click();
    window->resize(500, 400);
    probe().chkOnTop->click();
    EXPECT_EQ(probe().Picture1->contentsRect().size(), QSize(70, 40));
}

TEST_F(ImageWindow, CaptionsAndNamesAfterEachKindOfOpen)
{
    profileName = "Garden";
    window->xmnuOpen_Click(imageFile(20, 10));
    EXPECT_EQ(window->windowTitle(), "Imageviewer - Garden");
    EXPECT_EQ(probe().sImageName, "Garden");
    profileName = "";
    window->xmnuOpen_Click(imageFile(20, 10));
    EXPECT_EQ(window->windowTitle(), "Imageviewer - JPEG");
    EXPECT_EQ(probe().sImageName, "");

    const QString cat = dir.filePath("cat.gif");
    QFile::rename(imageFile(30, 20, "tmp.bmp"), cat); // a bitmap named .gif loads by content
    testsupport::chooseInNextFileDialog(cat);
    probe().mnuOpen_Click();
    EXPECT_EQ(window->windowTitle(), "Imageviewer - cat.gif");
    EXPECT_EQ(probe().sImageName, "cat.gif");
    EXPECT_EQ(window->Image().Width(), 30);
    EXPECT_EQ(probe().ApplicationPointer(), platform::Pointer::Default);
}

TEST_F(ImageWindow, AFileThatCannotBeReadLeavesTheWindowAsItWas)
{
    profileName = "Door";
    window->xmnuOpen_Click(imageFile(40, 30));
    QByteArray damaged = testsupport::readFile(imageFile(40, 30, "damaged.bmp")).left(70);
    testsupport::writeFile(dir.filePath("damaged.bmp"), damaged);
    for (const QString& bad : {dir.filePath("damaged.bmp"), dir.filePath("missing.png")}) {
        window->xmnuOpen_Click(bad);
        ASSERT_FALSE(messages.isEmpty());
        // The path, then why it could not be read.
        const QStringList lines = messages.last().split('\n');
        ASSERT_EQ(lines.size(), 2) << qPrintable(messages.last());
        EXPECT_EQ(lines[0], bad);
        EXPECT_FALSE(lines[1].isEmpty());
        EXPECT_FALSE(lines[1].contains(bad));
        EXPECT_EQ(window->windowTitle(), "Imageviewer - Door");
        EXPECT_EQ(window->Image().Width(), 40);
    }
}

TEST_F(ImageWindow, SavingWritesTheWholeImageWhateverTheScroll)
{
    showInBox(300, 200, 150, 120);
    probe().HScroll1->setValue(probe().HScroll1->maximum() / 2);
    probe().VScroll1->setValue(7);
    const QImage shown = window->Image().hDC()->toImage();
    profileName = "Back/Door";
    window->xmnuOpen_Click(imageFile(300, 200)); // a hand-over: the name comes from the profile
    QString proposed;
    testsupport::onNextFileDialog([&](QFileDialog& dialog) {
        proposed = QFileInfo(dialog.selectedFiles().value(0)).fileName();
        testsupport::typeAndAccept(dialog, dir.filePath("saved"));
    });
    probe().mnuSave_Click();
    EXPECT_TRUE(proposed.startsWith("Back_Door")) << proposed.toStdString(); // made a valid file name
    const auto decoded = testsupport::decodeJpegFile(dir.filePath("saved.jpg"));
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.width, 300);
    EXPECT_GT(testsupport::psnr(decoded.toImage(), shown), 30.0);

    // From the main window: true with a name, false when cancelled.
    testsupport::chooseInNextFileDialog(dir.filePath("snapshot.jpg"));
    EXPECT_TRUE(window->xmnuSave_Click());
    EXPECT_TRUE(testsupport::decodeJpegFile(dir.filePath("snapshot.jpg")).ok);
    testsupport::cancelNextFileDialog();
    EXPECT_FALSE(window->xmnuSave_Click());

    // With no profile: a name made of the time.
    profileName.clear();
    testsupport::onNextFileDialog([&](QFileDialog& dialog) {
        proposed = QFileInfo(dialog.selectedFiles().value(0)).fileName();
        dialog.reject();
    });
    EXPECT_FALSE(window->xmnuSave_Click());
    EXPECT_TRUE(QRegularExpression("^snapshot-\\d{4}-\\d\\d-\\d\\d-\\d{6}(\\.jpg)?$").match(proposed).hasMatch())
        << qPrintable(proposed);
}

TEST_F(ImageWindow, AReplacedFileIsKeptUntilTheNewOneIsComplete)
{
    const QString target = dir.filePath("keep.jpg");
    testsupport::writeFile(target, "the old picture");
    QFile::setPermissions(target, QFileDevice::ReadOwner);
    // 70000 pixels wide: more than a JPEG file can hold, so the encoder fails.
    probe().mnuAutosize->setChecked(false);
    window->xmnuOpen_Click(imageFile(70000, 1, "too-wide.bmp"));
    ASSERT_EQ(window->Image().Width(), 70000);
    testsupport::chooseInNextFileDialog(target);
    testsupport::answerNextMessageBox(QMessageBox::Yes); // replace it
    probe().mnuSave_Click();
    EXPECT_EQ(testsupport::readFile(target), QByteArray("the old picture"));
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_TRUE(messages.last().contains("keep.jpg")) << messages.last().toStdString();
    EXPECT_TRUE(QDir(dir.path()).entryList({".*"}, QDir::Hidden | QDir::Files).isEmpty()) << "no temporary left";
    EXPECT_TRUE(window->isEnabled());

    // A good image replaces the read-only file.
    window->xmnuOpen_Click(imageFile(40, 30));
    testsupport::chooseInNextFileDialog(target);
    testsupport::answerNextMessageBox(QMessageBox::Yes);
    probe().mnuSave_Click();
    EXPECT_TRUE(testsupport::decodeJpegFile(target).ok);
}

TEST_F(ImageWindow, AnOpenedFileIsProposedUnderAJpegName)
{
    const QString gif = dir.filePath("chelsea.gif");
    QFile::rename(imageFile(30, 20, "tmp.bmp"), gif); // a bitmap named .gif loads by content
    testsupport::chooseInNextFileDialog(gif);
    probe().mnuOpen_Click();
    ASSERT_EQ(probe().sImageName, "chelsea.gif");
    QString proposed;
    testsupport::onNextFileDialog([&](QFileDialog& dialog) {
        proposed = QFileInfo(dialog.selectedFiles().value(0)).fileName();
        dialog.reject();
    });
    probe().mnuSave_Click();
    EXPECT_EQ(proposed, "chelsea.jpg");
    EXPECT_EQ(QImageReader(gif).format(), "bmp") << "the opened file is untouched";
}

TEST_F(ImageWindow, AFailedSaveNamesTheChosenFileAndTheReason)
{
    window->xmnuOpen_Click(imageFile(40, 30));
    // A file cannot hold files: no new file below it (as root too). (Not a
    // folder like /proc, which the file dialog would list next time.)
    const QString below = imageFile(2, 2, "plain.bmp") + "/snap.jpg";
    testsupport::chooseInNextFileDialog(below);
    probe().mnuSave_Click();
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_TRUE(messages.last().contains(below)) << qPrintable(messages.last());
    EXPECT_FALSE(messages.last().contains(".ostrel-new")) << qPrintable(messages.last());
}

TEST_F(ImageWindow, TheWheelScrollsATenthOfTheViewANotch)
{
    showInBox(400, 400, 150, 120);
    const int view = probe().Picture1->contentsRect().height();
    const QPoint at = probe().Picture1->rect().center();
    const auto turn = [&](QPoint delta, Qt::KeyboardModifiers modifiers) {
        QWheelEvent event(at, probe().Picture1->mapToGlobal(at), QPoint(), delta, Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(probe().Picture1, &event);
    };
    probe().VScroll1->setValue(0);
    turn(QPoint(0, -120), Qt::NoModifier); // one notch towards the user: down
    EXPECT_EQ(probe().VScroll1->value(), view / 10);
    turn(QPoint(0, 240), Qt::NoModifier);
    EXPECT_EQ(probe().VScroll1->value(), 0) << "stops at the top";
    probe().HScroll1->setValue(0);
    turn(QPoint(0, -120), Qt::ShiftModifier); // with Shift: sideways
    EXPECT_EQ(probe().HScroll1->value(), probe().Picture1->contentsRect().width() / 10);
    EXPECT_EQ(probe().VScroll1->value(), 0);
}

TEST_F(ImageWindow, AutoSizeNeverHidesTheButtons)
{
    window->xmnuOpen_Click(imageFile(16, 16, "icon.bmp"));
    const QToolButton* last = probe().chkOnTop;
    EXPECT_GE(window->width(), last->geometry().right() + 1);
    for (const QToolButton* button : {probe().cmdOpen, probe().cmdSave, probe().chkOnTop})
        EXPECT_FALSE(button->toolTip().isEmpty());
}

// Zooming keeps the point at the view's centre; above 1:1 an image pixel is
// a square, below it the image is averaged; fit shows all of it; the save
// writes the full image whatever the zoom.
TEST_F(ImageWindow, ZoomKeepsTheCentreAndFitShowsTheWholeImage)
{
    showInBox(400, 300, 200, 150);
    const QSize view = probe().Picture1->contentsRect().size();
    const QImage pattern = testsupport::pattern(400, 300, 400);
    const auto shownAt = [&](int x, int y) { return probe().Picture1->surface()->toImage().pixel(x, y); };
    probe().HScroll1->setValue(100);
    probe().VScroll1->setValue(50);
    const QPoint centre(100 + view.width() / 2, 50 + view.height() / 2); // an image point
    probe().mnuZoomIn->trigger();
    EXPECT_EQ(probe().HScroll1->maximum(), 800 - (view.width() - extent()));
    EXPECT_EQ(probe().HScroll1->value() + view.width() / 2, 2 * centre.x());
    const int x = probe().HScroll1->value(), y = probe().VScroll1->value();
    EXPECT_EQ(shownAt(0, 0), pattern.pixel(x / 2, y / 2));
    const int p = x % 2, q = y % 2; // the first whole square's corner
    EXPECT_EQ(shownAt(p, q), shownAt(p + 1, q + 1)) << "not squares of 2 x 2";
    EXPECT_NE(shownAt(p, q), shownAt(p + 2, q + 2));

    probe().mnuActualSize->trigger();
    EXPECT_EQ(probe().HScroll1->maximum(), 400 - probe().HScroll1->pageStep());
    probe().mnuFit->trigger();
    EXPECT_FALSE(probe().HScroll1->isVisibleTo(probe().Picture1));
    EXPECT_FALSE(probe().VScroll1->isVisibleTo(probe().Picture1));
    EXPECT_EQ(window->Image().Width(), 400) << "the image itself is kept whole";
    probe().mnuZoomOut->trigger(); // from the fitted factor (0.49) to the next rung down, 1/3
    EXPECT_EQ(probe().HScroll1->value(), (400 / 3 - view.width()) / 2) << "not shown at a third, centred";
    EXPECT_EQ(probe().VScroll1->value(), (300 / 3 - view.height()) / 2);
}

// A file read in the background replaces the picture when it arrives;
// Escape while it is read keeps the picture shown.
TEST_F(ImageWindow, OpeningInTheBackgroundCanBeCancelled)
{
    window->xmnuOpen_Click(imageFile(40, 30));
    const QString other = imageFile(70, 50, "other.bmp");
    testsupport::chooseInNextFileDialog(other);
    probe().OpenWithoutWaiting();
    ASSERT_TRUE(probe().Opening());
    EXPECT_EQ(window->cursor().shape(), Qt::BusyCursor);
    probe().Escape(); // the key itself is pressed in the desktop test
    EXPECT_FALSE(probe().Opening());
    QTest::qWait(300);
    EXPECT_EQ(window->Image().Width(), 40) << "the cancelled file replaced the picture";
    EXPECT_NE(window->cursor().shape(), Qt::BusyCursor);
    testsupport::chooseInNextFileDialog(other);
    probe().mnuOpen_Click();
    EXPECT_EQ(window->Image().Width(), 70);
    // A file that is not a picture says why and leaves the picture.
    const QString notes = dir.filePath("notes.png");
    QFile text(notes);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a picture\n");
    text.close();
    testsupport::chooseInNextFileDialog(notes);
    probe().mnuOpen_Click();
    EXPECT_EQ(window->Image().Width(), 70);
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_TRUE(messages.last().contains("known format")) << qPrintable(messages.last());
}
