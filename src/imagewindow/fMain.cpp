// fMain, the image window: showing a picture 1:1, scrolling, panning, auto-fit, open and save.
#include "fMain.h"

#include "dialogs/mCommon.h"
#include "jpeg/cJpeg.h"
#include "platform/Icons.h"
#include "platform/NewFile.h"
#include "platform/NumberedError.h"
#include "platform/Picture.h"
#include "platform/Twips.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPromise>
#include <QScreen>
#include <QScrollBar>
#include <QSizeGrip>
#include <QStyle>
#include <QThreadPool>
#include <QToolButton>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>

namespace {

// Layout in twips: the button row, the box below it, the grip row below that.
constexpr int kButtonRow = 300;
constexpr int kGripRow = 240;
constexpr int kBorder = ImageBox::kBorder;
// The right edge of the last button: the window is never narrower.
constexpr int kButtonRowWidth = 720 + 330;
// One notch of a mouse wheel scrolls a tenth of the view.
constexpr int kWheelNotch = 120;
constexpr int kWheelDivisor = 10;
// A click on a scroll bar's arrow moves this many lines of text.
constexpr int kLinesPerStep = 3;
// The zoom ladder: below 1 the image is shown resampled (averaged), above 1
// every image pixel is a square of whole screen pixels.
constexpr std::array kZoomLadder{1.0 / 32, 1.0 / 16, 1.0 / 8, 1.0 / 6, 1.0 / 4, 1.0 / 3, 1.0 / 2, 2.0 / 3,
                                 1.0,      2.0,      3.0,      4.0,      6.0,      8.0,      12.0,     16.0};
// No zoom makes the shown image wider or taller than this.
constexpr std::int64_t kLongestShownSide = 1 << 24;

QPointer<fMain>& instance()
{
    static QPointer<fMain> window;
    return window;
}

std::function<QString()>& profileNameSource()
{
    static std::function<QString()> source;
    return source;
}

QToolButton* imageButton(QWidget* parent, const QIcon& icon, const QString& tip, int left)
{
    auto* button = new QToolButton(parent);
    button->setIcon(icon);
    button->setIconSize(QSize(16, 16));
    button->setToolTip(tip);
    button->setGeometry(platform::twips(left, 0, 330, 315));
    return button;
}

} // namespace

fMain& fMain::Instance()
{
    if (!instance())
        instance() = new fMain;
    return *instance();
}

bool fMain::Loaded()
{
    return !instance().isNull();
}

void fMain::Unload()
{
    if (fMain* window = instance()) {
        window->close();
        delete window;
    }
}

std::unique_ptr<fMain> fMain::Spare()
{
    std::unique_ptr<fMain> spare(new fMain);
    spare->setAttribute(Qt::WA_DeleteOnClose, false); // its owner deletes it
    return spare;
}

void fMain::SetProfileNameSource(std::function<QString()> source)
{
    profileNameSource() = std::move(source);
}

fMain::fMain()
{
    setObjectName("fMain");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("JPEG Encoder");
    setWindowIcon(platform::icons::application());
    setMouseTracking(true);
    messageBox = [this](const QString& text) {
        QMessageBox::critical(this, QGuiApplication::applicationDisplayName(), text);
    };

    cmdOpen = imageButton(this, platform::icons::open(), "Open an image", 0);
    cmdSave = imageButton(this, platform::icons::save(), "Save as JPEG", 360);
    chkOnTop = imageButton(this, platform::icons::fit(), "Fit the window to each image", 720);
    chkOnTop->setCheckable(true);
    chkOnTop->setChecked(true);
    // Pressed in should be plain to see: the switch is on by default.
    chkOnTop->setStyleSheet("QToolButton:checked { background-color: palette(highlight); "
                            "border: 1px solid palette(shadow); border-radius: 2px; }");
    Picture1 = new ImageBox(this);
    HScroll1 = new QScrollBar(Qt::Horizontal, Picture1);
    VScroll1 = new QScrollBar(Qt::Vertical, Picture1);
    for (QScrollBar* bar : {HScroll1, VScroll1}) {
        bar->setRange(0, 32767);
        bar->setSingleStep(kLinesPerStep * fontMetrics().lineSpacing());
        bar->setPageStep(1); // the view's extent, once laid out
        bar->hide();
    }
    picResize = new QSizeGrip(this);

    // Hidden menus: the window shows no menu bar.
    mnuImage = new QMenu("Image", this);
    mnuOpen = new QAction("Open", this);
    mnuSave = new QAction("Save", this);
    mnuImage->addAction(mnuOpen);
    mnuImage->addAction(mnuSave);
    mnuImage->addSeparator();
    mnuZoomIn = mnuImage->addAction("Zoom In");
    mnuZoomOut = mnuImage->addAction("Zoom Out");
    mnuActualSize = mnuImage->addAction("Actual Size");
    mnuFit = mnuImage->addAction("Fit to Window");
    mnuFullScreen = mnuImage->addAction("Full Screen");
    mnuFullScreen->setCheckable(true);
    mnuImage->addSeparator();
    mnuAutosize = mnuImage->addAction("Auto Size");
    mnuAutosize->setCheckable(true);
    mnuAutosize->setChecked(true);

    setTabOrder(Picture1, VScroll1);
    setTabOrder(VScroll1, HScroll1);
    setTabOrder(HScroll1, cmdSave);
    setTabOrder(cmdSave, cmdOpen);
    setTabOrder(cmdOpen, chkOnTop);

    connect(cmdOpen, &QToolButton::clicked, this, [this] {
        mnuOpen_Click();
        Picture1->setFocus();
    });
    connect(cmdSave, &QToolButton::clicked, this, [this] {
        mnuSave_Click();
        Picture1->setFocus();
    });
    connect(chkOnTop, &QToolButton::clicked, this, [this] {
        mnuAutosize_Click();
        Picture1->setFocus();
    });
    connect(mnuOpen, &QAction::triggered, this, &fMain::mnuOpen_Click);
    connect(mnuSave, &QAction::triggered, this, &fMain::mnuSave_Click);
    connect(Picture1, &ImageBox::resized, this, [this] { LayoutScrollBars(&Image()); });
    connect(HScroll1, &QScrollBar::valueChanged, this, [this] { PaintImage(&Image()); });
    connect(VScroll1, &QScrollBar::valueChanged, this, [this] { PaintImage(&Image()); });
    connect(Picture1, &ImageBox::pressed, this, &fMain::Picture1_MouseDown);
    connect(Picture1, &ImageBox::moved, this, &fMain::Picture1_MouseMove);
    connect(Picture1, &ImageBox::released, this, &fMain::Picture1_MouseUp);
    connect(Picture1, &ImageBox::wheeled, this, &fMain::Picture1_Wheel);
    connect(Picture1, &ImageBox::contextMenuAsked, this, [this](QPoint at) { mnuImage->popup(at); });
    connect(mnuAutosize, &QAction::triggered, this, [this] {
        mnuAutosize->setChecked(!mnuAutosize->isChecked()); // the click handler switches it
        mnuAutosize_Click();
    });
    connect(mnuZoomIn, &QAction::triggered, this, [this] { ZoomStep(1, ViewCentre()); });
    connect(mnuZoomOut, &QAction::triggered, this, [this] { ZoomStep(-1, ViewCentre()); });
    connect(mnuActualSize, &QAction::triggered, this, [this] { ZoomTo(1.0, ViewCentre()); });
    connect(mnuFit, &QAction::triggered, this, &fMain::FitToWindow);
    connect(mnuFullScreen, &QAction::triggered, this, &fMain::ToggleFullScreen);
    connect(&opening_, &QFutureWatcherBase::finished, this, &fMain::OpenFinished);
    AddKeys();

    resize(400, 300);
}

fMain::~fMain()
{
    CancelOpening();
}

void fMain::AddKeys()
{
    mnuOpen->setShortcut(QKeySequence::Open);
    mnuSave->setShortcut(QKeySequence::Save);
    mnuZoomIn->setShortcuts({Qt::Key_Plus, Qt::Key_Equal, QKeySequence::ZoomIn});
    mnuZoomOut->setShortcuts({Qt::Key_Minus, QKeySequence::ZoomOut});
    mnuActualSize->setShortcuts({Qt::CTRL | Qt::Key_0, Qt::Key_1});
    mnuFit->setShortcut(Qt::Key_F);
    mnuFullScreen->setShortcut(Qt::Key_F11);
    addActions({mnuOpen, mnuSave, mnuZoomIn, mnuZoomOut, mnuActualSize, mnuFit, mnuFullScreen});
    // Keys that only move the view.
    const auto key = [this](QKeySequence sequence, auto handler) {
        auto* action = new QAction(this);
        action->setShortcut(sequence);
        connect(action, &QAction::triggered, this, handler);
        addAction(action);
    };
    const auto line = [this](QScrollBar* bar) { return bar->singleStep(); };
    key(Qt::Key_Left, [=, this] { ScrollBy(-line(HScroll1), 0); });
    key(Qt::Key_Right, [=, this] { ScrollBy(line(HScroll1), 0); });
    key(Qt::Key_Up, [=, this] { ScrollBy(0, -line(VScroll1)); });
    key(Qt::Key_Down, [=, this] { ScrollBy(0, line(VScroll1)); });
    // A page down or up; sideways when the image is only too wide.
    const auto page = [this](int direction) {
        if (VScroll1->isVisibleTo(Picture1))
            ScrollBy(0, direction * VScroll1->pageStep());
        else
            ScrollBy(direction * HScroll1->pageStep(), 0);
    };
    key(Qt::Key_PageUp, [=] { page(-1); });
    key(Qt::Key_PageDown, [=] { page(1); });
    key(Qt::Key_Home, [this] { ScrollToEnd(false); });
    key(Qt::Key_End, [this] { ScrollToEnd(true); });
    key(Qt::Key_Escape, [this] { Escape_Pressed(); });
}

cImage& fMain::Image()
{
    if (!oImage)
        oImage = std::make_unique<cImage>();
    return *oImage;
}

int fMain::scrollBarExtent() const
{
    return style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
}

void fMain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void fMain::Form_Resize()
{
    // Client-area layout: buttons, the box filling the width, the grip row.
    const int b = width();
    const int d = height() - platform::pixelsY(kButtonRow) - platform::pixelsY(kGripRow);
    if (b > 0 && d > 0)
        Picture1->place(QRect(0, platform::pixelsY(kButtonRow), b, d));
    const int grip = platform::pixelsY(kGripRow);
    picResize->setGeometry(width() - grip, height() - grip, grip, grip);
}

void fMain::LayoutScrollBars(const cImage* image)
{
    if (!image) {
        for (QScrollBar* bar : {HScroll1, VScroll1}) {
            bar->setRange(0, 0);
            bar->hide();
        }
        PaintImage(image);
        return;
    }
    const QSize shown = ShownSize(image);
    const int w = shown.width();
    const int h = shown.height();
    const int PW = Picture1->width();
    const int PH = Picture1->height();
    const int HH = scrollBarExtent();
    const int VW = scrollBarExtent();
    // A box too small to hold a bar (the window fitted to a tiny image)
    // shows the image centred, without bars.
    const bool roomForBars = PW >= VW + 2 * kBorder && PH >= HH + 2 * kBorder;
    int vw = PW - 2 * kBorder;
    int vh = PH - 2 * kBorder;
    if (!roomForBars) {
        vw = std::max(vw, w);
        vh = std::max(vh, h);
    } else if (vw < w) {
        vh -= HH;
        if (vh < h)
            vw -= VW;
    } else if (vh < h) {
        vw -= VW;
        if (vw < w)
            vh -= HH;
    }
    const bool needH = vw < w;
    const bool needV = vh < h;
    // A click in the trough moves by what the view shows.
    HScroll1->setPageStep(std::max(1, vw));
    VScroll1->setPageStep(std::max(1, vh));
    // Positions are measured inside the border.
    if (needH) {
        HScroll1->setRange(0, w - vw);
        HScroll1->setGeometry(kBorder, PH - kBorder - HH, PW - (needV ? VW : 0) - 2 * kBorder, HH);
        HScroll1->show();
    } else {
        HScroll1->hide();
        // Minus half the free width (toward zero): the image is centred, the
        // odd pixel to its right.
        const int offset = ((needV ? VW : 0) + w - PW + 2 * kBorder) / 2;
        HScroll1->setRange(offset, offset);
    }
    if (needV) {
        VScroll1->setRange(0, h - vh);
        VScroll1->setGeometry(PW - VW - kBorder, kBorder, VW, PH - 2 * kBorder);
        VScroll1->show();
    } else {
        VScroll1->hide();
        const int offset = ((HScroll1->isVisibleTo(Picture1) ? HH : 0) + h - PH + 2 * kBorder) / 2;
        VScroll1->setRange(offset, offset);
    }
    PaintImage(image);
}

void fMain::PaintImage(const cImage* image)
{
    platform::Surface* surface = Picture1->surface();
    if (!surface)
        return;
    const int x = HScroll1->value();
    const int y = VScroll1->value();
    // Clear only where the image does not cover the view.
    if (!image || !image->hDC() || x < 0 || y < 0)
        Picture1->clear();
    if (!image || !image->hDC()) {
        // nothing more to draw
    } else if (zoom_ > 1) {
        // The image pixels under the view, each drawn as a k x k square.
        const int k = static_cast<int>(zoom_);
        const int left = std::max(0, x) / k;
        const int top = std::max(0, y) / k;
        const int across = std::min(image->Width() - left, surface->width() / k + 2);
        const int down = std::min(image->Height() - top, surface->height() / k + 2);
        platform::stretchBlt(*surface, left * k - x, top * k - y, across * k, down * k, *image->hDC(), left, top,
                             across, down);
    } else {
        const cImage* shown = zoom_ < 1 && zoomed_ ? zoomed_.get() : image;
        shown->PaintHDC(surface, -x, -y, platform::RasterOp::SrcCopy);
    }
    Picture1->update();
}

void fMain::SetPicture1Pointer(platform::Pointer pointer)
{
    picturePointer_ = pointer;
    if (pointer == platform::Pointer::Default)
        Picture1->unsetCursor();
    else
        Picture1->setCursor(platform::cursorShape(pointer));
}

void fMain::SetApplicationPointer(platform::Pointer pointer)
{
    if (pointer == applicationPointer_)
        return;
    if (applicationPointer_ != platform::Pointer::Default)
        QGuiApplication::restoreOverrideCursor();
    applicationPointer_ = pointer;
    if (pointer != platform::Pointer::Default)
        QGuiApplication::setOverrideCursor(platform::cursorShape(pointer));
}

void fMain::Picture1_MouseDown(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const QPoint at = event->position().toPoint() - Picture1->contentsRect().topLeft();
    lDragX = at.x() + HScroll1->value();
    lDragY = at.y() + VScroll1->value();
    const bool h = HScroll1->isVisibleTo(Picture1);
    const bool v = VScroll1->isVisibleTo(Picture1);
    if (h && v)
        SetPicture1Pointer(platform::Pointer::SizeAll);
    else if (h)
        SetPicture1Pointer(platform::Pointer::SizeWE);
    else if (v)
        SetPicture1Pointer(platform::Pointer::SizeNS);
}

void fMain::Picture1_MouseMove(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton) {
        const QPoint at = event->position().toPoint() - Picture1->contentsRect().topLeft();
        const int nx = std::clamp(lDragX - at.x(), HScroll1->minimum(), HScroll1->maximum());
        const int ny = std::clamp(lDragY - at.y(), VScroll1->minimum(), VScroll1->maximum());
        HScroll1->setValue(nx);
        VScroll1->setValue(ny);
    } else if (HScroll1->isVisibleTo(Picture1) || VScroll1->isVisibleTo(Picture1)) {
        SetApplicationPointer(platform::Pointer::SizePointer);
    }
}

void fMain::Picture1_MouseUp(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        SetPicture1Pointer(platform::Pointer::Default);
}

void fMain::Picture1_Wheel(QWheelEvent* event)
{
    // Vertical turns scroll up and down (left and right with Shift held, or
    // when only the horizontal bar is there); a tilting wheel scrolls sideways.
    QPoint delta = event->angleDelta();
    if (event->modifiers() & Qt::ControlModifier) {
        // Ctrl with the wheel zooms about the pointer, a step a notch.
        const int notches = event->angleDelta().y() / kWheelNotch;
        if (notches != 0)
            ZoomStep(notches, event->position().toPoint() - Picture1->contentsRect().topLeft());
        event->accept();
        return;
    }
    if ((event->modifiers() & Qt::ShiftModifier) || !VScroll1->isVisibleTo(Picture1))
        delta = QPoint(delta.x() + delta.y(), 0);
    const auto scroll = [](QScrollBar* bar, int turn, int view) {
        if (!bar->isVisibleTo(bar->parentWidget()) || turn == 0)
            return;
        const int step = std::max(1, view / kWheelDivisor);
        bar->setValue(bar->value() - turn * step / kWheelNotch);
    };
    const QSize view = Picture1->contentsRect().size();
    scroll(HScroll1, delta.x(), view.width());
    scroll(VScroll1, delta.y(), view.height());
    event->accept();
}

void fMain::mouseMoveEvent(QMouseEvent* event)
{
    SetApplicationPointer(platform::Pointer::Default);
    QWidget::mouseMoveEvent(event);
}

void fMain::SetFormSize(const cImage* TheImage)
{
    if (!TheImage || (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) ||
        TheImage->Width() <= 0 || TheImage->Height() <= 0)
        return;
    const QSize shown = ShownSize(TheImage);
    // The inside of the window that shows the image whole, and the frame around it.
    const QSize frame = frameGeometry().size() - size();
    std::int64_t W = shown.width() + 2 * kBorder;
    std::int64_t H = platform::pixelsY(kButtonRow) + shown.height() + 2 * kBorder + platform::pixelsY(kGripRow);
    // Where windows may go: the screen less the desktop's panels.
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect s = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const std::int64_t SW = s.width() - frame.width();
    const std::int64_t SH = s.height() - frame.height();
    // Too tall: as tall as there is room for, with room for the vertical bar;
    // never narrower than the button row (a small icon would hide buttons);
    // too wide: as wide, with room for the horizontal bar (which may then
    // make it too tall).
    const int bar = scrollBarExtent();
    const bool tall = H > SH;
    if (tall) {
        H = SH;
        W += bar;
    }
    W = std::max<std::int64_t>(W, platform::pixelsX(kButtonRowWidth));
    if (W > SW) {
        W = SW;
        if (!tall)
            H = std::min(H + bar, SH);
    }
    // Centred on where the window was, within the available area.
    const QRect old = frameGeometry();
    const std::int64_t L = std::clamp<std::int64_t>(old.x() - s.x() + (old.width() - (W + frame.width())) / 2, 0,
                                                    std::max<std::int64_t>(0, SW - W));
    const std::int64_t T = std::clamp<std::int64_t>(old.y() - s.y() + (old.height() - (H + frame.height())) / 2, 0,
                                                    std::max<std::int64_t>(0, SH - H));
    resize(static_cast<int>(W), static_cast<int>(H));
    move(s.x() + static_cast<int>(L), s.y() + static_cast<int>(T));
    if (!isVisible())
        Form_Resize(); // a hidden window gets no resize event until shown
}

void fMain::mnuAutosize_Click()
{
    mnuAutosize->setChecked(!mnuAutosize->isChecked());
    chkOnTop->setChecked(mnuAutosize->isChecked());
    if (mnuAutosize->isChecked())
        SetFormSize(&Image());
}

bool fMain::ShowPicture(const QString& path)
{
    QString reason;
    auto picture = platform::Picture::load(path, nullptr, palette().color(QPalette::Window), &reason, true);
    auto image = std::make_unique<cImage>();
    if (!image->TakeStdPicture(std::move(picture))) {
        messageBox(QString("%1\n%2").arg(QDir::toNativeSeparators(path), reason));
        return false;
    }
    ShowImage(std::move(image));
    return true;
}

void fMain::ShowImage(std::unique_ptr<cImage> image)
{
    oImage = std::move(image);
    zoom_ = 1.0;
    zoomed_.reset();
    // A new picture starts at its top left, not where the last one was scrolled to.
    HScroll1->setRange(0, 0);
    VScroll1->setRange(0, 0);
    if (mnuAutosize->isChecked())
        SetFormSize(oImage.get());
    LayoutScrollBars(oImage.get());
}

void fMain::OpenInBackground(const QString& path)
{
    CancelOpening();
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    openingCancel_ = cancel;
    auto promise = std::make_shared<QPromise<Opened>>();
    opening_.setFuture(promise->future());
    promise->start();
    const QColor background = palette().color(QPalette::Window);
    // The reader touches nothing of the window: it hands its result over.
    QThreadPool::globalInstance()->start([promise, cancel, path, background] {
        Opened opened{path, std::make_unique<cImage>(), QString()};
        auto picture = platform::Picture::load(path, nullptr, background, &opened.reason, true, cancel.get());
        if (!opened.image->TakeStdPicture(std::move(picture)))
            opened.image.reset();
        promise->addResult(std::move(opened));
        promise->finish();
    });
    setCursor(Qt::BusyCursor);
    Picture1->setCursor(Qt::BusyCursor);
}

void fMain::CancelOpening()
{
    if (!openingCancel_)
        return;
    openingCancel_->store(true);
    openingCancel_.reset();
    opening_.setFuture(QFuture<Opened>()); // its result, if it still comes, is not wanted
    unsetCursor();
    SetPicture1Pointer(picturePointer_);
}

void fMain::OpenFinished()
{
    if (!openingCancel_ || opening_.future().resultCount() == 0)
        return;
    Opened opened = opening_.future().takeResult();
    CancelOpening();
    if (!opened.image) {
        messageBox(QString("%1\n%2").arg(QDir::toNativeSeparators(opened.path), opened.reason));
        return;
    }
    unsavedSnapshot_ = false;
    ShowImage(std::move(opened.image));
    sImageName = mCommon::GetFilePart(opened.path, false);
    setWindowTitle("Imageviewer - " + sImageName);
}

void fMain::mnuOpen_Click()
{
    SetApplicationPointer(platform::Pointer::Hourglass);
    const QString path = mCommon::ShowFileDialog(this, false, QString(), mCommon::ImageFilter());
    SetApplicationPointer(platform::Pointer::Default);
    if (!path.isEmpty())
        OpenInBackground(path);
}

void fMain::xmnuOpen_Click(const QString& FileName)
{
    if (!ShowPicture(FileName))
        return;
    unsavedSnapshot_ = true;
    sImageName = profileNameSource() ? profileNameSource()() : QString();
    setWindowTitle("Imageviewer - " + (sImageName.isEmpty() ? QStringLiteral("JPEG") : sImageName));
}

void fMain::SaveImageAs(const QString& path)
{
    cJpeg encoder;
    cImage& image = Image();
    encoder.SampleHDC(image.hDC(), image.Width(), image.Height(), 0, 0);
    const QByteArray file = encoder.Encode();
    // The complete file takes the old one's place: a failure leaves it as it was.
    const auto produce = [&file](const platform::FileSink& write) { write(file.constData(), file.size()); };
    if (!platform::replaceFile(path, produce, nullptr))
        throw platform::NumberedError::fileError(errno, path);
}

void fMain::mnuSave_Click()
{
    SetApplicationPointer(platform::Pointer::Hourglass);
    // An opened file's name with a JPEG extension: the save never writes JPEG
    // data under the name of the GIF or bitmap it came from.
    const QString proposed = mCommon::JpegFileName(mCommon::SafeFileName(ProposedName(sImageName)));
    const QString path = mCommon::ShowFileDialog(this, true, QString(), mCommon::kJpegFilter, proposed,
                                                 QStringLiteral("*.jpg"));
    if (!path.isEmpty()) {
        try {
            SaveImageAs(path);
            unsavedSnapshot_ = false;
        } catch (const platform::NumberedError& e) {
            SetApplicationPointer(platform::Pointer::Default);
            messageBox(QString("Saving %1 failed: %2").arg(path, e.description()));
        }
    }
    SetApplicationPointer(platform::Pointer::Default);
}

bool fMain::xmnuSave_Click()
{
    const QString proposed = ProposedName(profileNameSource() ? profileNameSource()() : QString());
    const QString path = mCommon::ShowFileDialog(this, true, QString(), mCommon::kJpegFilter,
                                                 mCommon::SafeFileName(proposed), QStringLiteral("*.jpg"));
    if (path.isEmpty())
        return false;
    SaveImageAs(path);
    unsavedSnapshot_ = false;
    return true;
}

QString fMain::ProposedName(const QString& name)
{
    // A snapshot of no profile is named by its time, as camera programs do.
    if (!name.isEmpty())
        return name;
    return "snapshot-" + QDateTime::currentDateTime().toString("yyyy-MM-dd-HHmmss");
}

QSize fMain::ShownSize(const cImage* image) const
{
    if (!image)
        return {};
    if (zoom_ < 1 && zoomed_)
        return {zoomed_->Width(), zoomed_->Height()};
    const int k = zoom_ > 1 ? static_cast<int>(zoom_) : 1;
    return {image->Width() * k, image->Height() * k};
}

QPoint fMain::ViewCentre() const
{
    return QPoint(Picture1->contentsRect().width() / 2, Picture1->contentsRect().height() / 2);
}

void fMain::ZoomTo(double zoom, QPoint anchor)
{
    const cImage& image = Image();
    if (zoom == zoom_ || !image.hDC())
        return;
    const std::int64_t longest = std::max(image.Width(), image.Height());
    if (zoom > 1 && longest * static_cast<std::int64_t>(zoom) > kLongestShownSide)
        return;
    // The image point under the anchor, before and after.
    const QSize before = ShownSize(&image);
    const double ix = (anchor.x() + HScroll1->value()) / static_cast<double>(before.width()) * image.Width();
    const double iy = (anchor.y() + VScroll1->value()) / static_cast<double>(before.height()) * image.Height();
    zoom_ = zoom;
    zoomed_.reset();
    if (zoom < 1) {
        const auto side = [zoom](int length) { return std::max(1, static_cast<int>(std::floor(length * zoom))); };
        zoomed_ = image.Resample(side(image.Width()), side(image.Height()));
    }
    const QSize after = ShownSize(&image);
    HScroll1->setRange(0, 0);
    VScroll1->setRange(0, 0);
    LayoutScrollBars(&image);
    HScroll1->setValue(static_cast<int>(std::lround(ix * after.width() / image.Width())) - anchor.x());
    VScroll1->setValue(static_cast<int>(std::lround(iy * after.height() / image.Height())) - anchor.y());
}

void fMain::ZoomStep(int steps, QPoint anchor)
{
    // From any factor (a fitted one too) to the next rung up or down.
    double zoom = zoom_;
    for (; steps > 0; --steps) {
        const auto up = std::upper_bound(kZoomLadder.begin(), kZoomLadder.end(), zoom + 1e-9);
        if (up != kZoomLadder.end())
            zoom = *up;
    }
    for (; steps < 0; ++steps) {
        const auto down = std::lower_bound(kZoomLadder.begin(), kZoomLadder.end(), zoom - 1e-9);
        if (down != kZoomLadder.begin())
            zoom = *std::prev(down);
    }
    ZoomTo(zoom, anchor);
}

void fMain::FitToWindow()
{
    // Shrunk to show the whole image in the view; small images stay 1:1.
    const cImage& image = Image();
    const QSize view = Picture1->contentsRect().size();
    if (!image.hDC() || view.isEmpty())
        return;
    const double zoom = std::min({1.0, static_cast<double>(view.width()) / image.Width(),
                                  static_cast<double>(view.height()) / image.Height()});
    ZoomTo(zoom, ViewCentre());
}

void fMain::ScrollBy(int dx, int dy)
{
    if (dx != 0 && HScroll1->isVisibleTo(Picture1))
        HScroll1->setValue(HScroll1->value() + dx);
    if (dy != 0 && VScroll1->isVisibleTo(Picture1))
        VScroll1->setValue(VScroll1->value() + dy);
}

void fMain::ScrollToEnd(bool end)
{
    for (QScrollBar* bar : {HScroll1, VScroll1})
        if (bar->isVisibleTo(Picture1))
            bar->setValue(end ? bar->maximum() : bar->minimum());
}

void fMain::ToggleFullScreen()
{
    setWindowState(windowState() ^ Qt::WindowFullScreen);
    mnuFullScreen->setChecked(windowState() & Qt::WindowFullScreen);
}

void fMain::Escape_Pressed()
{
    if (Opening())
        CancelOpening();
    else if (windowState() & Qt::WindowFullScreen)
        ToggleFullScreen();
}

void fMain::closeEvent(QCloseEvent* event)
{
    CancelOpening();
    SetApplicationPointer(platform::Pointer::Default);
    oImage.reset(); // Form_Unload releases the image
    zoomed_.reset();
    QWidget::closeEvent(event);
}
