// frmOstrel, the main window: the view, its six sizes, on top, the tray, snapshots and profiles.
#include "frmOstrel.h"

#include "modOstrel.h"
#include "imagewindow/fMain.h"
#include "platform/BmpFile.h"
#include "platform/NumberedError.h"
#include "platform/Icons.h"
#include "platform/RuntimeFolder.h"
#include "platform/ScreenPlacement.h"
#include "platform/Twips.h"
#include "platform/WindowManager.h"
#include "profiles/frmBrimcast.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QWindow>

namespace {

const char* const kSizeCaptions[] = {"80x60", "160x120", "320x240", "640x480", "800x600", "1024x768"};
constexpr int kDefaultSizeIndex = 2;

// Client-area layout, in twips like the rest of the design. The browser sits
// right below the button row and is exactly as large as its page: the page's
// default body margin of 8 pixels (120 twips at 96 dots per inch) on every
// side of the applet. So the applet's box, and the snapshot picture laid over
// it, start 8 pixels right of the window's left edge and 8 pixels below the
// button row, at every view size; the client area is the view plus 16 pixels
// across and the button row plus 16 pixels down.
constexpr int kButtonRowHeight = 315;
constexpr int kPageMarginPixels = 8;
// The right edge of the last button (cmdAbout): the window is never narrower,
// so every button stays reachable at the smallest view size.
constexpr int kButtonRowWidth = 1800 + 330;
// Pixels of a window manager's frame, allowed for before the real one is known.
constexpr int kFrameBorderGuess = 4;
constexpr int kTitleBarGuess = 32;

// Shows the hourglass pointer for as long as it lives.
struct WaitPointer {
    WaitPointer() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitPointer() { QGuiApplication::restoreOverrideCursor(); }
};

QToolButton* toolButton(QWidget* parent, const QIcon& icon, const QString& tip, int left)
{
    auto* button = new QToolButton(parent);
    button->setIcon(icon);
    button->setIconSize(QSize(16, 16));
    button->setToolTip(tip);
    button->setAutoRaise(true);
    button->setGeometry(platform::twips(left, 0, 330, 315));
    return button;
}

} // namespace

void FrozenPicture::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, pixmap());
}

frmOstrel::frmOstrel()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    // No maximise button: the window has one of the fixed view sizes.
    setObjectName("frmOstrel");
    setWindowTitle("Ostrel");
    setWindowIcon(platform::icons::application());
    reportError = [this](const QString& message) { QMessageBox::critical(this, modOstrel::ApplicationName(), message); };
    reportWarning = [this](const QString& message) { QMessageBox::warning(this, modOstrel::ApplicationName(), message); };
    openUrl = [](const QUrl& address) { QDesktopServices::openUrl(address); };
    trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };

    cmdBrimcast = toolButton(this, platform::icons::profiles(), "Connection profiles", 0);
    cmdSave = toolButton(this, platform::icons::save(), "Save the snapshot as JPEG", 0);
    cmdSave->hide();
    chkOnTop = toolButton(this, platform::icons::pin(), "Always on top", 360);
    chkOnTop->setCheckable(true);
    cmdRefresh = toolButton(this, platform::icons::refresh(), "Reconnect", 720);
    cmdSeparate = toolButton(this, platform::icons::separate(), "Open the snapshot in the image window", 720);
    cmdSeparate->hide();
    chkPicture = toolButton(this, platform::icons::camera(), "Snapshot", 1080);
    chkPicture->setCheckable(true);
    cmdResize = toolButton(this, platform::icons::sizes(), "View size", 1440);
    cmdAbout = toolButton(this, platform::icons::about(), "About", 1800);

    WebBrowser1 = new WebBrowser(this);
    WebBrowser1->setObjectName("WebBrowser1");
    WebBrowser1->setToolTipText("Ostrel");
    picRedBorder = new QWidget(this);
    picRedBorder->setAutoFillBackground(true);
    QPalette red = picRedBorder->palette();
    red.setColor(QPalette::Window, QColor(128, 0, 0));
    picRedBorder->setPalette(red);
    picRedBorder->hide();
    Picture1 = new FrozenPicture(this);
    Picture1->hide();

    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    Timer2 = new QTimer(this);
    Timer2->setInterval(1000);

    mnuSizes = new QMenu("Sizes", this);
    for (const char* caption : kSizeCaptions) {
        QAction* item = mnuSizes->addAction(caption);
        item->setCheckable(true);
        const auto index = static_cast<std::int16_t>(mnuSize.size());
        connect(item, &QAction::triggered, this, [this, item, index](bool checked) {
            // Qt flips a checkable item's mark before it reports the pick;
            // put it back, so the size choice sees the marks as the user did.
            item->setChecked(!checked);
            mnuSize_Click(index);
        });
        mnuSize.append(item);
    }
    mnuAbout = new QMenu("About", this);
    mnuAboutOstrel = mnuAbout->addAction("Ostrel...");
    mnuAboutBrimcast = mnuAbout->addAction("Brimcast...");
    connect(mnuAboutOstrel, &QAction::triggered, this, &frmOstrel::mnuAboutOstrel_Click);
    connect(mnuAboutBrimcast, &QAction::triggered, this, &frmOstrel::mnuAboutBrimcast_Click);

    cSysTray1 = new QSystemTrayIcon(platform::icons::application(), this);
    cSysTray1->setToolTip("Ostrel");
    mnuTray = new QMenu(this);
    connect(mnuTray->addAction("Show"), &QAction::triggered, this, &frmOstrel::cSysTray1_TrayMouse);
    connect(mnuTray->addAction("Quit"), &QAction::triggered, this, &frmOstrel::Quit);
    cSysTray1->setContextMenu(mnuTray);
    cSysTray1->show();
    connect(cSysTray1, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // The right button opens the icon's menu instead.
        if (reason != QSystemTrayIcon::Context)
            cSysTray1_TrayMouse();
    });

    connect(cmdRefresh, &QToolButton::clicked, this, &frmOstrel::cmdRefresh_Click);
    connect(cmdResize, &QToolButton::clicked, this, &frmOstrel::cmdResize_Click);
    connect(mnuSizes, &QMenu::aboutToShow, this, &frmOstrel::mnuSizes_Click);
    connect(cmdBrimcast, &QToolButton::clicked, this, &frmOstrel::cmdBrimcast_Click);
    connect(cmdAbout, &QToolButton::clicked, this, &frmOstrel::cmdAbout_Click);
    connect(chkOnTop, &QToolButton::toggled, this, &frmOstrel::chkOnTop_Click);
    connect(Timer1, &QTimer::timeout, this, &frmOstrel::Timer1_Timer);
    connect(Timer2, &QTimer::timeout, this, &frmOstrel::Timer2_Timer);
    connect(chkPicture, &QToolButton::toggled, this, &frmOstrel::chkPicture_Click);
    connect(cmdSave, &QToolButton::clicked, this, &frmOstrel::cmdSave_Click);
    connect(cmdSeparate, &QToolButton::clicked, this, &frmOstrel::cmdSeparate_Click);
    connect(WebBrowser1, &WebBrowser::BeforeNavigate2, this, &frmOstrel::WebBrowser1_BeforeNavigate2);
    connect(WebBrowser1, &WebBrowser::DocumentComplete, this, &frmOstrel::WebBrowser1_DocumentComplete);

    brimcast_ = std::make_unique<frmBrimcast>(*this, modOstrel::Settings());
    // Settings troubles (a lock another program keeps, a file set aside)
    // reach the user once each, after the handler that met them.
    platform::SettingsStore::setNotifier([this](const QString& text) {
        QTimer::singleShot(0, this, [this, text] { reportWarning(text); });
    });
    // The image window names handed-over snapshots after the current profile.
    fMain::SetProfileNameSource([this] { return brimcast_->cboName->currentText(); });
}

frmOstrel::~frmOstrel()
{
    platform::SettingsStore::setNotifier({});
    fMain::SetProfileNameSource({}); // an image window may outlive this one
}

QSize frmOstrel::clientSizeFor(int viewWidth, int viewHeight)
{
    const int width = std::max(viewWidth + 2 * kPageMarginPixels, platform::pixelsX(kButtonRowWidth));
    return {width, platform::pixelsY(kButtonRowHeight) + viewHeight + 2 * kPageMarginPixels};
}

QString frmOstrel::pageFilePath() const
{
    const QString folder = platform::runtimeFolder();
    return folder.isEmpty() ? QString() : folder + "/" + sPageFile;
}

void frmOstrel::Form_Load(const QString& commandLine)
{
    WaitPointer wait;
    platform::SettingsStore settings = modOstrel::Settings();
    // A damaged settings file is set aside before anything reads it; the
    // user hears of it once the window is up.
    if (const QString notice = settings.setAsideIfUnreadable(); !notice.isEmpty())
        QTimer::singleShot(0, this, [this, notice] { reportWarning(notice); });
    bool ok = false;
    int index = settings.get("size", "index", QString::number(kDefaultSizeIndex)).toInt(&ok);
    if (!ok || index < 0 || index >= mnuSize.size())
        index = kDefaultSizeIndex; // only numbers 0..5 are ever written
    iSizeIndex = static_cast<std::int16_t>(index);
    mnuSize_Click(iSizeIndex);

    const float left = settings.get("position", "left", "0").toFloat();
    const float top = settings.get("position", "top", "0").toFloat();
    MoveFrameTo(ReachablePlace(QPoint(platform::pixelsX(left), platform::pixelsY(top))));

    sCmdName = modOstrel::GetCmdOption(commandLine, "-name", false);
    sCmdHost = modOstrel::GetCmdOption(commandLine, "-host", false);
    sCmdPort = modOstrel::GetCmdOption(commandLine, "-port", false);
    bCmdOnTop = modOstrel::GetCmdOption(commandLine, "-ontop", true) == "-1";
    bCmdHide = modOstrel::GetCmdOption(commandLine, "-hide", true) == "-1";

    brimcast_->LoadProfileNames();
    if (!sCmdName.isEmpty()) {
        brimcast_->cboName->setEditText(sCmdName);
        brimcast_->cboName_Click();
    }
    if (brimcast_->txtHost->text().isEmpty() || brimcast_->txtPort->text().isEmpty()) {
        if (!sCmdHost.isEmpty())
            brimcast_->txtHost->setText(sCmdHost);
        if (!sCmdPort.isEmpty())
            brimcast_->txtPort->setText(sCmdPort);
        if (sCmdPort.isEmpty() && !sCmdHost.isEmpty())
            brimcast_->txtPort->setText("8081");
        // Connect at once to a server named on the command line.
        if (!sCmdHost.isEmpty() || !sCmdPort.isEmpty())
            cmdRefresh_Click();
    }
    if (bCmdOnTop)
        chkOnTop->setChecked(true);
    if (!bCmdHide)
        show();
    else if (trayAvailable())
        hide();
    else
        showMinimized(); // no tray to hide in: stay reachable from the task bar
}

QPoint frmOstrel::ReachablePlace(const QPoint& place) const
{
    // A place stored on another screen layout or scale may lie off every
    // screen now: such a window comes back onto the nearest screen.
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    QSize frame = frameGeometry().size();
    // Before the window manager has framed the window its frame is not
    // known: allow for a common title bar and border.
    if (frame == size())
        frame += QSize(2 * kFrameBorderGuess, kTitleBarGuess + kFrameBorderGuess);
    return platform::reachablePosition(QRect(place, frame), screens);
}

void frmOstrel::MoveFrameTo(const QPoint& place)
{
    move(place);
    if (QWindow* window = windowHandle(); window && isVisible())
        window->setFramePosition(place); // already shown: ask the window system directly
}

void frmOstrel::UpdateCaption()
{
    const QString title = modOstrel::TitleText(brimcast_->cboName->currentText());
    setWindowTitle(title);
    WebBrowser1->setToolTipText(title);
    cSysTray1->setToolTip(title);
}

bool frmOstrel::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return QWidget::event(event);
}

void frmOstrel::Form_Activate()
{
    UpdateCaption();
}

void frmOstrel::cmdRefresh_Click()
{
    WaitPointer wait;
    sPageFile = "ostrel.htm";
    const QString host = brimcast_->txtHost->text();
    const QString port = brimcast_->txtPort->text();
    const bool ready = !host.isEmpty() && !port.isEmpty();
    UpdateCaption();
    QString page;
    if (ready)
        page = modOstrel::ViewerPage(host, port, sViewWidth, sViewHeight);
    else
        page = modOstrel::IdlePage(WebBrowser1->ToolTipText());
    cmdRefresh->setEnabled(ready);
    chkPicture->setEnabled(ready);

    QString error;
    const QString path = pageFilePath();
    if (path.isEmpty()) {
        platform::runtimeFolder(&error);
        reportError(error);
    } else if (!modOstrel::TextFileWrite(path, page, &error)) {
        reportError(error);
    } else {
        WebBrowser1->Navigate2(path);
    }
    show();
    if (!brimcast_->cboName->currentText().isEmpty() && ready)
        brimcast_->SaveProfile();
    Timer1->start();
    setEnabled(true);
    FocusBrowser();
}

void frmOstrel::Timer1_Timer()
{
    const QString path = pageFilePath();
    QFile::remove(path);
    if (path.isEmpty() || !QFile::exists(path))
        Timer1->stop();
}

void frmOstrel::WebBrowser1_BeforeNavigate2()
{
    if (hDoc)
        disconnect(hDoc, nullptr, this, nullptr);
    hDoc = nullptr;
}

void frmOstrel::WebBrowser1_DocumentComplete()
{
    hDoc = WebBrowser1->Document();
    if (!hDoc)
        return;
    connect(hDoc, &BrowserDocument::oncontextmenu, this, &frmOstrel::hDoc_OnContextMenu);
    connect(hDoc, &BrowserDocument::onmousedown, this, &frmOstrel::hDoc_OnMouseDown);
    connect(hDoc, &BrowserDocument::onmousemove, this, &frmOstrel::FollowPointer);
    connect(hDoc, &BrowserDocument::onmouseup, this, &frmOstrel::EndMove);
}

bool frmOstrel::hDoc_OnContextMenu()
{
    return false; // no browser menu on the page
}

void frmOstrel::hDoc_OnMouseDown(Qt::MouseButton button)
{
    BeginMove(button, QCursor::pos()); // any button moves the window by the page
}

void frmOstrel::BeginMove(Qt::MouseButton button, const QPoint& global)
{
    pendingMove_ = PendingMove{button, global - pos()};
}

void frmOstrel::FollowPointer(const QPoint& global)
{
    if (!pendingMove_)
        return;
    // A move begins only once the pointer moves with the button held, so a
    // click or a tap never starts one.
    move(global - pendingMove_->offset);
    if (pendingMove_->button == Qt::LeftButton) {
        // The window manager moves windows for the left button; for the
        // others the window keeps following the pointer itself.
        pendingMove_.reset();
        platform::startWindowMove(windowHandle());
    }
}

void frmOstrel::EndMove()
{
    pendingMove_.reset();
}

void frmOstrel::mousePressEvent(QMouseEvent* event)
{
    // The window's background (the button row around the buttons): the left
    // button moves the window.
    if (event->button() == Qt::LeftButton)
        BeginMove(Qt::LeftButton, event->globalPosition().toPoint());
    QWidget::mousePressEvent(event);
}

void frmOstrel::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() != Qt::NoButton)
        FollowPointer(event->globalPosition().toPoint());
    QWidget::mouseMoveEvent(event);
}

void frmOstrel::mouseReleaseEvent(QMouseEvent* event)
{
    EndMove();
    QWidget::mouseReleaseEvent(event);
}

void frmOstrel::FocusBrowser()
{
    if (!WebBrowser1->Visible())
        return;
    // Focus in a window that is not the active one makes it active, as the
    // user expects after a command (and the profiles panel then closes).
    if (!isActiveWindow())
        activateWindow();
    WebBrowser1->SetFocus();
}

void frmOstrel::cmdResize_Click()
{
    mnuSizes->popup(mapToGlobal(cmdResize->geometry().bottomLeft()));
}

void frmOstrel::mnuSizes_Click()
{
    setEnabled(true);
    FocusBrowser();
}

void frmOstrel::mnuSize_Click(std::int16_t Index)
{
    if (Index < 0 || Index >= mnuSize.size() || mnuSize[Index]->isChecked())
        return;
    WaitPointer wait;
    const QString caption = mnuSize[Index]->text();
    const qsizetype x = caption.indexOf('x');
    sViewWidth = caption.left(x);
    sViewHeight = caption.mid(x + 1);
    for (QAction* item : mnuSize)
        item->setChecked(false);
    mnuSize[Index]->setChecked(true);
    iSizeIndex = Index;
    Form_Resize();
}

void frmOstrel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (!sViewWidth.isEmpty() && size() != clientSizeFor(sViewWidth.toInt(), sViewHeight.toInt()))
        Form_Resize();
}

void frmOstrel::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // Handled once the state change is complete, and only if it still holds.
    if (event->type() == QEvent::WindowStateChange && (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)))
        QTimer::singleShot(0, this, [this] {
            if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized))
                Form_Resize();
        });
}

void frmOstrel::Form_Resize()
{
    if (bInResize)
        return;
    bInResize = true;
    if (bFromTray) {
        ShowFromTray();
        activateWindow();
        FocusBrowser();
    } else if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)) {
        if (brimcast_->isVisible())
            brimcast_->hide();
        if (trayAvailable()) {
            HideToTray();
        } else if (windowState() & Qt::WindowMaximized) {
            // With no tray to hide in, a minimised window stays minimised
            // (and reachable); a maximised one returns to its view size.
            setWindowState(windowState() & ~Qt::WindowMaximized);
            ResizeForm(sViewWidth.toInt(), sViewHeight.toInt());
        }
    } else {
        ResizeForm(sViewWidth.toInt(), sViewHeight.toInt());
        cmdRefresh_Click();
    }
    bInResize = false;
}

void frmOstrel::HideToTray()
{
    // The window leaves the screen and the task bar. It is marked normal
    // again for the program, while the window system is told only when it
    // is shown again: on X11, leaving the minimised state maps the window,
    // which would leave an unpainted window on the screen.
    if (!(windowState() & Qt::WindowMinimized))
        trayPlace_ = pos(); // a minimised window keeps its place; a maximised one has left it
    hide();
    overrideWindowState(Qt::WindowNoState);
}

void frmOstrel::ShowFromTray()
{
    if (isVisible())
        return;
    if (QWindow* window = windowHandle(); window && window->windowStates() != Qt::WindowNoState)
        window->setWindowStates(Qt::WindowNoState);
    show();
    // Window managers place a window that is mapped again by their own
    // rules; it belongs where it was hidden, and as high as it was.
    if (trayPlace_)
        MoveFrameTo(*trayPlace_);
    trayPlace_.reset();
    if (topmost_)
        platform::setKeptAbove(windowHandle(), true);
}

void frmOstrel::ResizeForm(std::int32_t lWidth, std::int32_t lHeight)
{
    const QSize client = clientSizeFor(lWidth, lHeight);
    setFixedSize(client);
    resize(client);
    const int buttonRow = platform::pixelsY(kButtonRowHeight);
    const QRect view(0, buttonRow, client.width(), client.height() - buttonRow);
    WebBrowser1->setGeometry(view);
    picRedBorder->setGeometry(view);
    Picture1->setGeometry(kPageMarginPixels, buttonRow + kPageMarginPixels, lWidth, lHeight);
}

bool frmOstrel::onTop() const
{
    return chkOnTop->isChecked();
}

bool frmOstrel::isTopmost() const
{
    return topmost_;
}

void frmOstrel::setTopmost(bool topmost)
{
    topmost_ = topmost;
    // A hidden window is told when it is shown (ShowFromTray).
    if (isVisible())
        platform::setKeptAbove(windowHandle(), topmost);
}

void frmOstrel::chkOnTop_Click()
{
    setTopmost(chkOnTop->isChecked());
    FocusBrowser();
}

void frmOstrel::cmdBrimcast_Click()
{
    FocusBrowser();
    brimcast_->ShowBelow(pos());
}

void frmOstrel::cmdAbout_Click()
{
    setEnabled(true);
    FocusBrowser();
    mnuAbout->popup(mapToGlobal(cmdAbout->geometry().bottomLeft()));
}

void frmOstrel::OpenAddress(const char* address)
{
    WaitPointer wait;
    FocusBrowser();
    openUrl(QUrl(address));
}

void frmOstrel::mnuAboutOstrel_Click()
{
    OpenAddress(modOstrel::kOstrelAddress);
}

void frmOstrel::mnuAboutBrimcast_Click()
{
    OpenAddress(modOstrel::kBrimcastAddress);
}

void frmOstrel::cSysTray1_TrayMouse()
{
    bFromTray = true;
    if (!isVisible()) {
        ShowFromTray(); // shown as it was: no new layout, no new page
        Form_Resize();
    }
    if (isVisible()) {
        raise();
        activateWindow();
        FocusBrowser();
    }
    bFromTray = false;
}

QString frmOstrel::snapshotFilePath() const
{
    const QString folder = platform::runtimeFolder();
    return folder.isEmpty() ? QString() : folder + "/_tmp.bmp";
}

void frmOstrel::chkPicture_Click()
{
    WaitPointer wait;
    snapshot_ = modOstrel::CaptureForm(*this);
    Picture1->setPixmap(QPixmap::fromImage(snapshot_));
    modOstrel::ToggleSnapshot(*this);
    FocusBrowser();
}

bool frmOstrel::WriteSnapshotFile()
{
    QString error;
    const QString path = snapshotFilePath();
    if (path.isEmpty()) {
        platform::runtimeFolder(&error);
        reportError(error);
        return false;
    }
    const auto surface = platform::Surface::wrap(snapshot_);
    if (!surface || !platform::writeBmp(path, *surface, &error)) {
        reportError(error);
        return false;
    }
    return true;
}

void frmOstrel::cmdSave_Click()
{
    WaitPointer wait;
    setEnabled(false);
    bool saved = false;
    try {
        if (!WriteSnapshotFile())
            throw platform::NumberedError(75, "The snapshot could not be handed to the image window.");
        fMain::Instance().xmnuOpen_Click(snapshotFilePath());
        Timer2->start();
        saved = fMain::Instance().xmnuSave_Click();
        fMain::Unload();
    } catch (const platform::NumberedError& e) {
        // The error exit: the window usable again, the snapshot kept.
        fMain::Unload();
        setEnabled(true);
        FocusBrowser();
        reportError(QString("The snapshot was not saved: %1").arg(QString::fromStdString(e.description())));
        return;
    }
    setEnabled(true);
    if (saved)
        chkPicture->setChecked(false);
    setEnabled(true);
    FocusBrowser();
}

void frmOstrel::cmdSeparate_Click()
{
    WaitPointer wait;
    if (!WriteSnapshotFile())
        return;
    chkPicture->setChecked(false);
    FocusBrowser();
    fMain& image = fMain::Instance();
    image.xmnuOpen_Click(snapshotFilePath());
    image.show();
    image.raise();
    Timer2->start();
}

void frmOstrel::Timer2_Timer()
{
    const QString path = snapshotFilePath();
    QFile::remove(path);
    if (path.isEmpty() || !QFile::exists(path))
        Timer2->stop();
}

void frmOstrel::Quit()
{
    // The tray menu's Quit: closes this window (saving its place) and every
    // other window of the program.
    close();
    QApplication::closeAllWindows();
}

void frmOstrel::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
}

void frmOstrel::Form_Unload()
{
    if (!isVisible())
        ShowFromTray();
    QCoreApplication::processEvents();
    if (x() < 0 || y() < 0)
        move(std::max(x(), 0), std::max(y(), 0));
    QCoreApplication::processEvents();
    platform::SettingsStore::setNotifier({}); // what is not saved is told below, once
    platform::SettingsStore settings = modOstrel::Settings();
    settings.save("position", "left", QString::number(static_cast<float>(platform::twipsX(x()))));
    settings.save("position", "top", QString::number(static_cast<float>(platform::twipsY(y()))));
    settings.save("size", "index", QString::number(iSizeIndex));
    if (settings.hasUnsavedChanges()) // told now: nothing runs after the close
        reportWarning(QString("The settings in %1 could not be saved: another program keeps them locked, or the "
                              "file cannot be written.").arg(settings.path()));
    brimcast_->close();
}
