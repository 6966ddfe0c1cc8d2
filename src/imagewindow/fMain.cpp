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
#include <QScreen>
#include <QScrollBar>
#include <QSizeGrip>
#include <QStyle>
#include <QToolButton>

#include <cerrno>
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
        bar->setSingleStep(1);
        bar->setPageStep(1);
        bar->hide();
    }
    picResize = new QSizeGrip(this);

    // Hidden menus: the window shows no menu bar.
    mnuImage = new QMenu("Image", this);
    mnuOpen = new QAction("Open", this);
    mnuSave = new QAction("Save", this);
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

    resize(400, 300);
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
    const int w = image->Width();
    const int h = image->Height();
    const int PW = Picture1->width();
    const int PH = Picture1->height();
    const int HH = scrollBarExtent();
    const int VW = scrollBarExtent();
    if (PW < VW + 2 * kBorder || PH < HH + 2 * kBorder) {
        PaintImage(image);
        return;
    }
    int vw = PW - 2 * kBorder;
    int vh = PH - 2 * kBorder;
    if (vw < w) {
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
    if (!image) {
        Picture1->clear();
    } else {
        // Clear only where the image does not cover the view.
        if (HScroll1->value() < 0 || VScroll1->value() < 0)
            Picture1->clear();
        image->PaintHDC(surface, -HScroll1->value(), -VScroll1->value(), platform::RasterOp::SrcCopy);
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
    if (!TheImage || (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)) || TheImage->Width() <= 0 ||
        TheImage->Height() <= 0)
        return;
    const std::int64_t w = TheImage->Width();
    const std::int64_t h = TheImage->Height();
    // The inside of the window that shows the image 1:1, and the frame around it.
    const QSize frame = frameGeometry().size() - size();
    std::int64_t W = w + 2 * kBorder;
    std::int64_t H = platform::pixelsY(kButtonRow) + h + 2 * kBorder + platform::pixelsY(kGripRow);
    const QRect old = frameGeometry();
    std::int64_t L = old.x() + (old.width() - (W + frame.width())) / 2;
    std::int64_t T = old.y() + (old.height() - (H + frame.height())) / 2;
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect s = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    const std::int64_t SW = s.width();
    const std::int64_t SH = s.height();
    if (SH < H + frame.height()) {
        T = 0;
        H = SH - frame.height();
        W += scrollBarExtent(); // the vertical bar will be needed
    } else if (T < 0) {
        T = 0;
    } else if (SH < T + H + frame.height()) {
        T = SH - H - frame.height();
    }
    // Never narrower than the button row (a small icon would hide buttons).
    if (W < platform::pixelsX(kButtonRowWidth)) {
        L -= (platform::pixelsX(kButtonRowWidth) - W) / 2;
        W = platform::pixelsX(kButtonRowWidth);
    }
    if (SW < W + frame.width()) {
        L = 0;
        W = SW - frame.width();
    } else if (L < 0) {
        L = 0;
    } else if (SW < L + W + frame.width()) {
        L = SW - W - frame.width();
    }
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
    QString error;
    QString reason;
    const auto picture = platform::Picture::load(path, &error, palette().color(QPalette::Window), &reason);
    if (!picture) {
        messageBox(QString("%1\n%2").arg(QDir::toNativeSeparators(path), reason));
        return false;
    }
    auto image = std::make_unique<cImage>();
    std::int16_t bits = 0;
    image->CopyStdPicture(*picture, bits);
    oImage = std::move(image);
    if (mnuAutosize->isChecked())
        SetFormSize(oImage.get());
    LayoutScrollBars(oImage.get());
    return true;
}

void fMain::mnuOpen_Click()
{
    SetApplicationPointer(platform::Pointer::Hourglass);
    const QString path = mCommon::ShowFileDialog(this, false, QString(), mCommon::kImageFilter);
    if (!path.isEmpty() && ShowPicture(path)) {
        unsavedSnapshot_ = false;
        sImageName = mCommon::GetFilePart(path, false);
        setWindowTitle("Imageviewer - " + sImageName);
    }
    SetApplicationPointer(platform::Pointer::Default);
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

void fMain::closeEvent(QCloseEvent* event)
{
    SetApplicationPointer(platform::Pointer::Default);
    oImage.reset(); // Form_Unload releases the image
    QWidget::closeEvent(event);
}
