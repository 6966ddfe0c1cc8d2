// The image window as a person meets it: opened from a snapshot of the real
// ostrel program, pictures chosen in its Open dialog, moved about with keys
// and the mouse, checked by what the X server shows.
#include "Ostrel.h"
#include "support/Desktop.h"
#include "support/ImageFiles.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace desktop;

namespace {

constexpr int kSnapshotButton = 3;
constexpr int kSeparateButton = 2; // while frozen
// The picture's inside within the window: below the 20-pixel button row and
// the box's 2-pixel border; the grip row of 16 pixels at the bottom.
constexpr QPoint kPictureOrigin(2, 22);
constexpr int kRowsAroundPicture = 20 + 4 + 16;

// A picture whose every pixel tells where it is: red and green the low
// bits of x and y, blue their high bits (sides up to 4096).
QImage coordinates(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x & 255, y & 255, (x >> 8) | ((y >> 8) << 4)));
    return image;
}
QPoint coordinateOf(QRgb c)
{
    return {qRed(c) | (qBlue(c) & 15) << 8, qGreen(c) | (qBlue(c) >> 4) << 8};
}

// The columns and rows of `area` that hold pure red.
QRect redPart(const QImage& area)
{
    QRect red;
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x)
            if (area.pixel(x, y) == qRgb(255, 0, 0))
                red |= QRect(x, y, 1, 1);
    return red;
}

// The desktop's work area (the screen less its panels), from the window manager.
QRect workArea()
{
    const QStringList n = run("xprop", {"-root", "_NET_WORKAREA"}).section('=', 1).split(',');
    return n.size() >= 4 ? QRect(n[0].toInt(), n[1].toInt(), n[2].toInt(), n[3].toInt()) : QRect();
}

class ImageWindowAtTheDesktop : public ::testing::Test {
protected:
    // The program, a snapshot, and the image window it is separated into.
    void SetUp() override
    {
        ASSERT_TRUE(ostrel.start({"-host", "127.0.0.1"})) << qPrintable(ostrel.error());
        click(ostrel.button(kSnapshotButton));
        pause(300);
        const QStringList known = windowsOf(ostrel.pid(), true);
        click(ostrel.button(kSeparateButton));
        ASSERT_TRUE(waitFor([&] { return !(imageWindow = newWindowOf(ostrel.pid(), known)).isEmpty(); }, 5000))
            << "no image window";
    }
    QString file(const QString& name, const QImage& image, const char* format = nullptr, int quality = -1)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(image.save(path, format, quality)) << qPrintable(path);
        return path;
    }
    // Ctrl+O in the image window, the path typed into the dialog, Enter;
    // with `wait`, until the window's title names the file.
    void open(const QString& path, bool wait = true)
    {
        run("xdotool", {"windowactivate", "--sync", imageWindow});
        const QStringList known = windowsOf(ostrel.pid(), true);
        key({"ctrl+o"});
        QString dialog;
        ASSERT_TRUE(waitFor([&] { return !(dialog = newWindowOf(ostrel.pid(), known)).isEmpty(); }, 5000))
            << "Ctrl+O gave no Open dialog";
        type(path);
        key({"Return"});
        ASSERT_TRUE(waitFor([&] { return !window(dialog).mapped; }, 3000));
        const QString name = QFileInfo(path).fileName();
        if (wait) {
            ASSERT_TRUE(waitFor([&] { return title(imageWindow).endsWith(name); }, 15000)) << qPrintable(name);
        }
        pause(300); // the window manager's answer to the new size
    }
    QRect client() const { return window(imageWindow).client; }
    QRect picture() const
    {
        const QRect c = client();
        return QRect(c.topLeft() + kPictureOrigin, QSize(c.width() - 4, c.height() - kRowsAroundPicture));
    }
    // The image point shown at the picture's top left.
    QPoint shownAtTopLeft() const { return coordinateOf(grab(QRect(picture().topLeft(), QSize(1, 1))).pixel(0, 0)); }

    Ostrel ostrel;
    QString imageWindow;
    QTemporaryDir dir;
};

} // namespace

// Large and tiny pictures in turn: a new one starts at its top left, keys and
// bars scroll by lines and pages, tiny ones are centred, and the window fits
// the desktop's work area.
TEST_F(ImageWindowAtTheDesktop, PicturesScrollByKeysAndBarsAndTinyOnesAreCentred)
{
    const QString large = file("large.bmp", coordinates(3000, 3000));
    open(large);
    const QRect area = workArea();
    const QRect c = client();
    EXPECT_TRUE(area.isEmpty() || area.contains(c)) << "the window lies outside the work area";
    EXPECT_EQ(shownAtTopLeft(), QPoint(0, 0));

    struct Step {
        QStringList keys;
        bool (*expected)(QPoint before, QPoint after, QSize view);
        const char* what;
    };
    const Step steps[] = {
        {{"Down"}, [](QPoint b, QPoint a, QSize) { return a.x() == b.x() && a.y() - b.y() >= 30; }, "Down: lines"},
        {{"Right"}, [](QPoint b, QPoint a, QSize) { return a.y() == b.y() && a.x() - b.x() >= 30; }, "Right: lines"},
        {{"Next"}, [](QPoint b, QPoint a, QSize v) { return a.y() - b.y() >= v.height() - 20; }, "Page Down: a page"},
        {{"End"}, [](QPoint, QPoint a, QSize v) { return a.x() >= 3000 - v.width() && a.y() >= 3000 - v.height(); },
         "End: the bottom right"},
        {{"Prior"}, [](QPoint b, QPoint a, QSize v) { return b.y() - a.y() >= v.height() - 20; }, "Page Up: a page"},
        {{"Home"}, [](QPoint, QPoint a, QSize) { return a == QPoint(0, 0); }, "Home: the top left"},
    };
    for (const Step& step : steps) {
        const QPoint before = shownAtTopLeft();
        key(step.keys);
        pause(200);
        const QPoint after = shownAtTopLeft();
        EXPECT_TRUE(step.expected(before, after, picture().size()))
            << step.what << ": from " << before.x() << "," << before.y() << " to " << after.x() << "," << after.y();
    }
    // A click in the vertical bar's trough, below its slider: a page.
    const QRect p = picture();
    click(QPoint(p.right() - 5, p.bottom() - 40));
    pause(300);
    EXPECT_GE(shownAtTopLeft().y(), p.height() - 60) << "the trough moved less than a page";

    // Scrolled, then a tiny picture: centred in the window fitted to it.
    for (const int side : {10, 1}) {
        SCOPED_TRACE(side);
        QImage tiny(side, side, QImage::Format_RGB32);
        tiny.fill(Qt::red);
        open(file(QString("tiny%1.bmp").arg(side), tiny));
        const QImage shown = grab(picture());
        const QRect red = redPart(shown);
        ASSERT_FALSE(red.isEmpty()) << "the tiny picture is not drawn";
        EXPECT_EQ(red.size(), QSize(side, side));
        EXPECT_LE(std::abs(red.left() - (shown.width() - red.right() - 1)), 1) << "off centre across";
        EXPECT_LE(std::abs(red.top() - (shown.height() - red.bottom() - 1)), 1) << "off centre down";
    }
    open(large);
    EXPECT_EQ(shownAtTopLeft(), QPoint(0, 0)) << "the new picture kept the old scroll position";
}

// Zoom with keys and Ctrl and the wheel, fit, 1:1, the picture's menu, full screen.
TEST_F(ImageWindowAtTheDesktop, ZoomFitAndFullScreen)
{
    open(file("coords.bmp", coordinates(1200, 900)));
    const auto neighboursEqual = [&] {
        const QImage row = grab(QRect(picture().center(), QSize(8, 1)));
        int equal = 0;
        for (int x = 1; x < row.width(); ++x)
            equal += row.pixel(x, 0) == row.pixel(x - 1, 0);
        return equal;
    };
    EXPECT_EQ(neighboursEqual(), 0) << "1:1 shows every pixel once";
    const QPoint centre = coordinateOf(grab(QRect(picture().center(), QSize(1, 1))).pixel(0, 0));
    key({"plus"});
    pause(300);
    EXPECT_GE(neighboursEqual(), 3) << "+ did not enlarge";
    const QPoint zoomedCentre = coordinateOf(grab(QRect(picture().center(), QSize(1, 1))).pixel(0, 0));
    EXPECT_LE((zoomedCentre - centre).manhattanLength(), 4) << "the zoom moved the point at the centre";
    key({"ctrl+0"});
    pause(300);
    EXPECT_EQ(neighboursEqual(), 0) << "Ctrl+0 did not go back to 1:1";
    // Ctrl and the wheel, about the pointer.
    moveTo(picture().center());
    run("xdotool", {"keydown", "ctrl", "click", "4", "keyup", "ctrl"});
    pause(300);
    EXPECT_GE(neighboursEqual(), 3) << "Ctrl and the wheel did not zoom";
    // Fit: the whole picture in the view, its last pixel included.
    key({"f"});
    pause(500);
    const QImage fitted = grab(picture());
    const QRect shown = [&] {
        QRect r;
        for (int y = 0; y < fitted.height(); ++y)
            for (int x = 0; x < fitted.width(); ++x)
                if (qBlue(fitted.pixel(x, y)) != qGreen(fitted.pixel(x, y)) || qRed(fitted.pixel(x, y)) > 200)
                    r |= QRect(x, y, 1, 1);
        return r;
    }();
    EXPECT_LE(shown.width(), fitted.width());
    EXPECT_TRUE(std::abs(shown.width() - fitted.width()) <= 2 || std::abs(shown.height() - fitted.height()) <= 2)
        << "fit does not fill the view one way";
    key({"minus"});
    pause(300);
    EXPECT_LT(redPart(grab(picture())).width(), shown.width()) << "- did not shrink";

    // The picture's menu lists what the keys do.
    const QStringList known = windowsOf(ostrel.pid(), true);
    click(picture().center(), 3);
    QString menu;
    EXPECT_TRUE(waitFor([&] { return !(menu = newWindowOf(ostrel.pid(), known)).isEmpty(); }, 3000)) << "no menu";
    key({"Escape"});
    pause(200);

    const QStringList screen = run("xdotool", {"getdisplaygeometry"}).split(' ');
    const QRect full(0, 0, screen.value(0).toInt(), screen.value(1).toInt());
    const QRect normal = client();
    key({"F11"});
    EXPECT_TRUE(waitFor([&] { return client() == full; }, 3000)) << "F11 did not fill the screen";
    key({"Escape"});
    EXPECT_TRUE(waitFor([&] { return client() == normal; }, 3000)) << "Escape did not leave full screen";
}

// A large file is read without freezing the window and Escape cancels it;
// a photo with an orientation tag stands upright.
TEST_F(ImageWindowAtTheDesktop, ALargeFileIsReadInTheBackgroundAndPhotosStandUpright)
{
    // Left half red, right half blue, stored turned: shown, the red is on top.
    QImage photo(80, 48, QImage::Format_RGB32);
    photo.fill(Qt::blue);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 40; ++x)
            photo.setPixel(x, y, qRgb(255, 0, 0));
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    photo.save(&buffer, "JPEG", 100);
    const QString turned = dir.filePath("turned.jpg");
    QFile out(turned);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(testsupport::withOrientation(jpeg, 6));
    out.close();
    open(turned);
    const QImage shown = grab(picture());
    const QRect red = [&] {
        QRect r;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                if (qRed(shown.pixel(x, y)) > 200 && qBlue(shown.pixel(x, y)) < 60)
                    r |= QRect(x, y, 1, 1);
        return r;
    }();
    EXPECT_NEAR(red.width(), 48, 2) << "the photo is not turned upright";
    EXPECT_NEAR(red.height(), 40, 2);

    // Noise compresses badly: a file that takes a while to read.
    QImage noise(8000, 8000, QImage::Format_RGB32);
    auto* random = QRandomGenerator::global();
    for (int y = 0; y < noise.height(); ++y)
        random->fillRange(reinterpret_cast<quint32*>(noise.scanLine(y)), noise.width());
    const QString large = file("noise.jpg", noise, "JPEG", 95);
    noise = QImage();
    const QImage before = grab(picture());
    open(large, false);
    key({"Escape"});
    pause(4000);
    EXPECT_TRUE(title(imageWindow).endsWith("turned.jpg")) << qPrintable(title(imageWindow));
    EXPECT_EQ(grab(picture()), before) << "the cancelled file replaced the picture";
    QElapsedTimer timer;
    timer.start();
    open(large);
    std::printf("an 8000 x 8000 JPEG opened in %lld ms\n", timer.elapsed());
}
