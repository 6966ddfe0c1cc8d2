// frmOstrel, the main window: the view, its six sizes, on top, the tray and profiles.
#include "frmOstrel.h"

#include "modOstrel.h"
#include "imagewindow/fMain.h"
#include "platform/Icons.h"
#include "platform/Pointer.h"
#include "platform/RuntimeFolder.h"
#include "platform/ScreenPlacement.h"
#include "platform/Twips.h"
#include "platform/WindowSystem.h"
#include "profiles/Address.h"
#include "profiles/frmBrimcast.h"
#include "viewer/WindowSettings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QShortcut>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QWindow>

namespace {

const char* const kSizeCaptions[] = {"80x60", "160x120", "320x240", "640x480", "800x600", "1024x768"};

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
// Time for a Wayland compositor to complete a maximise before it is undone.
constexpr int kCompositorSettleMs = 100;

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
    reportError = [this](const QString& message) {
        QMessageBox::critical(this, QGuiApplication::applicationDisplayName(), message);
    };
    reportWarning = [this](const QString& message) {
        QMessageBox::warning(this, QGuiApplication::applicationDisplayName(), message);
    };
    askYesNo = [this](const QString& question) {
        return QMessageBox::question(this, QGuiApplication::applicationDisplayName(), question,
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    };
    openUrl = [this](const QUrl& address) {
        if (!QDesktopServices::openUrl(address))
            reportWarning(QString("No program here opens web addresses: %1").arg(address.toString()));
    };
    showInformation = [this](const QString& title, const QString& text) { QMessageBox::about(this, title, text); };
    trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };

    MakeControls();
    MakeMenus();
    MakeTrayIcon();
    ConnectControls();

    brimcast_ = std::make_unique<frmBrimcast>(*this, modOstrel::Settings());
    // Settings troubles (a lock another program keeps, a file set aside)
    // reach the user once each, after the handler that met them.
    platform::SettingsStore::setNotifier([this](const QString& text) {
        QTimer::singleShot(0, this, [this, text] { reportWarning(text); });
    });
    // The image window names handed-over snapshots after the current profile.
    fMain::SetProfileNameSource([this] { return brimcast_->currentConnection().name; });
}

void frmOstrel::MakeControls()
{
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
}

void frmOstrel::MakeMenus()
{
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
}

void frmOstrel::MakeTrayIcon()
{
    cSysTray1 = new QSystemTrayIcon(platform::icons::application(), this);
    cSysTray1->setToolTip("Ostrel");
    mnuTray = new QMenu(this);
    connect(mnuTray->addAction("Show"), &QAction::triggered, this, &frmOstrel::cSysTray1_TrayMouse);
    connect(mnuTray->addAction("Quit"), &QAction::triggered, this, &frmOstrel::Quit);
    cSysTray1->setContextMenu(mnuTray);
    // Where no tray can come (Wayland without one), Qt's stand-in icon would
    // only warn that it cannot watch for one.
    if (platform::trayMayComeLater() || QSystemTrayIcon::isSystemTrayAvailable())
        cSysTray1->show();
    connect(cSysTray1, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        // The right button opens the icon's menu instead.
        if (reason != QSystemTrayIcon::Context)
            cSysTray1_TrayMouse();
    });
}

void frmOstrel::ConnectControls()
{
    connect(cmdRefresh, &QToolButton::clicked, this, &frmOstrel::cmdRefresh_Click);
    connect(cmdResize, &QToolButton::clicked, this, &frmOstrel::cmdResize_Click);
    connect(mnuSizes, &QMenu::aboutToShow, this, &frmOstrel::mnuSizes_Click);
    connect(cmdBrimcast, &QToolButton::pressed, this, [this] { panelOpenAtPress_ = brimcast_->isVisible(); });
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
    ConnectKeys();
}

void frmOstrel::ConnectKeys()
{
    // The keys people reach for. Typing keys go to the applet instead while
    // its box has the focus (it claims them).
    const auto shortcut = [this](const QKeySequence& keys, auto action) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, action);
    };
    const auto frozen = [this] { return chkPicture->isChecked(); };
    shortcut(QKeySequence(Qt::Key_F5), [this, frozen] {
        if (!frozen())
            cmdRefresh_Click();
    });
    shortcut(QKeySequence(Qt::Key_Space), [this] { chkPicture->toggle(); });
    shortcut(QKeySequence(Qt::Key_S), [this] { chkPicture->toggle(); });
    shortcut(QKeySequence::Save, [this, frozen] {
        if (frozen())
            cmdSave->click();
    });
    shortcut(QKeySequence(Qt::Key_Escape), [this, frozen] {
        if (frozen())
            chkPicture->setChecked(false);
    });
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
    // Page builds leave the window as it is until the end: shown by them, a
    // window to start hidden flashed up, and one to start minimised was
    // mapped before the window manager could be asked to minimise it, which
    // it then ignored.
    loading_ = true;
    platform::WaitPointer wait;
    platform::SettingsStore settings = modOstrel::Settings();
    // A damaged settings file is set aside before anything reads it; the
    // user hears of it once the window is up (posted at the end: the page
    // build may run events before it).
    const QString notice = settings.setAsideIfUnreadable();
    const auto remembered = viewer::WindowSettings::load(settings, static_cast<int>(mnuSize.size()));
    iSizeIndex = remembered.sizeIndex;
    mnuSize_Click(iSizeIndex);
    MoveFrameTo(ReachablePlace(QPoint(platform::pixelsX(remembered.left), platform::pixelsY(remembered.top))));

    sCmdName = modOstrel::GetCmdOption(commandLine, "-name", false);
    // -name "my cam": the words up to the next option, where they name a
    // stored profile, are the name meant (the option's value ends at a blank).
    if (const QString spaced = modOstrel::CmdOptionToNextOption(commandLine, "-name");
        spaced != sCmdName && brimcast_->HasProfile(spaced))
        sCmdName = spaced;
    sCmdHost = modOstrel::GetCmdOption(commandLine, "-host", false);
    sCmdPort = modOstrel::GetCmdOption(commandLine, "-port", false);
    bCmdOnTop = modOstrel::GetCmdOption(commandLine, "-ontop", true) == "-1";
    bCmdHide = modOstrel::GetCmdOption(commandLine, "-hide", true) == "-1";

    brimcast_->LoadProfileNames();
    // Connect at once to a server named on the command line.
    if (brimcast_->ApplyCommandLine({sCmdName, sCmdHost, sCmdPort}))
        cmdRefresh_Click();
    loading_ = false;
    if (!bCmdHide)
        show();
    else if (trayAvailable())
        hide();
    else
        showMinimized(); // no tray to hide in: stay reachable from the task bar
    if (bCmdOnTop)
        chkOnTop->setChecked(true); // asked of the window manager once the window is shown
    if (!notice.isEmpty())
        QTimer::singleShot(0, this, [this, notice] { reportWarning(notice); });
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
    if (isVisible())
        platform::placeFrame(windowHandle(), place); // already shown: ask the window system directly
}

void frmOstrel::UpdateCaption()
{
    const QString title = modOstrel::TitleText(brimcast_->currentConnection().name);
    setWindowTitle(title);
    WebBrowser1->setToolTipText(title);
    // The tips also say which camera is shown; the page's own text stays the title.
    const QString tip = shownCamera_.isEmpty() ? title : title + "\n" + shownCamera_;
    WebBrowser1->setToolTip(tip);
    cSysTray1->setToolTip(tip);
}

bool frmOstrel::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::Show || event->type() == QEvent::Hide || event->type() == QEvent::WindowStateChange)
        UpdatePictureSeen();
    return handled;
}

void frmOstrel::UpdatePictureSeen()
{
    // Frozen, in the tray or minimised, nobody sees the live picture: the
    // applet runs on, but its frames are neither captured nor drawn.
    WebBrowser1->setPicturesSeen(isVisible() && !isMinimized() && Picture1->isHidden());
}

void frmOstrel::Form_Activate()
{
    UpdateCaption();
}

void frmOstrel::cmdRefresh_Click()
{
    platform::WaitPointer wait;
    sPageFile = "ostrel.htm";
    const profiles::Connection connection = brimcast_->currentConnection();
    // A host or port from the command line that makes no web address is
    // said on the Idle page, in the user's words, not as a broken page.
    const QString wrong = !profiles::hostProblem(connection.host).isEmpty() ? profiles::hostProblem(connection.host)
                                                                            : profiles::portProblem(connection.port);
    const bool ready = !connection.host.isEmpty() && !connection.port.isEmpty() && wrong.isEmpty();
    shownCamera_ = ready ? modOstrel::CameraAddress(connection.host, connection.port) : QString();
    UpdateCaption();
    QString page;
    if (ready)
        page = modOstrel::ViewerPage(connection.host, connection.port, sViewWidth, sViewHeight);
    else
        page = modOstrel::IdlePage(WebBrowser1->ToolTipText(), wrong);
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
    if (!loading_)
        show();
    if (!connection.name.isEmpty() && ready)
        brimcast_->SaveProfile();
    Timer1->start();
    setEnabled(true);
    FocusBrowser();
}

void frmOstrel::connectionUsable(bool usable)
{
    // On the Idle page Reconnect shows the camera the panel now names.
    if (shownCamera_.isEmpty())
        cmdRefresh->setEnabled(usable);
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
    platform::WaitPointer wait;
    const QString caption = mnuSize[Index]->text();
    const qsizetype x = caption.indexOf('x');
    sViewWidth = caption.left(x);
    sViewHeight = caption.mid(x + 1);
    for (QAction* item : mnuSize)
        item->setChecked(false);
    mnuSize[Index]->setChecked(true);
    iSizeIndex = Index;
    Form_Resize();
    // Grown on the screen, the whole window stays on its available area.
    if (isVisible() && screen()) {
        const QRect frame = frameGeometry();
        const QPoint place = platform::placeWithin(frame, screen()->availableGeometry());
        if (place != frame.topLeft())
            MoveFrameTo(place);
    }
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
            // A Wayland compositor gives the window its size back itself (a
            // size set before it has answered would break the protocol), and
            // loses a request made before its own maximise is complete.
            if (platform::compositorMaximisesAnyWindow()) {
                QTimer::singleShot(kCompositorSettleMs, this, [this] {
                    setWindowState(windowState() & ~Qt::WindowMaximized);
                    // Then the view size, once the compositor has answered
                    // (it may give back another size than the window had).
                    QTimer::singleShot(3 * kCompositorSettleMs, this, [this] {
                        if (!(windowState() & Qt::WindowMaximized))
                            ResizeForm(sViewWidth.toInt(), sViewHeight.toInt());
                    });
                });
            } else {
                setWindowState(windowState() & ~Qt::WindowMaximized);
                ResizeForm(sViewWidth.toInt(), sViewHeight.toInt());
            }
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
    // A Wayland compositor may maximise any window (its title-bar button, a
    // double click, a key): one whose size is fixed then breaks the protocol
    // and the compositor ends the program. There the window has a minimum
    // size only, and a maximised one gets its view size back (Form_Resize).
    if (platform::compositorMaximisesAnyWindow()) {
        setMinimumSize(client);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    } else {
        setFixedSize(client);
    }
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
    // A click on the button of an open panel closes it, as a drop-down's
    // does (the press has already taken the focus from the panel).
    if (panelOpenAtPress_) {
        panelOpenAtPress_ = false;
        brimcast_->hide();
        return;
    }
    brimcast_->ShowBelow(pos());
}

void frmOstrel::cmdAbout_Click()
{
    setEnabled(true);
    FocusBrowser();
    mnuAbout->popup(mapToGlobal(cmdAbout->geometry().bottomLeft()));
}

void frmOstrel::OpenAddress(const QString& address)
{
    platform::WaitPointer wait;
    FocusBrowser();
    openUrl(QUrl(address));
}

void frmOstrel::mnuAboutOstrel_Click()
{
    FocusBrowser();
    showInformation("About Ostrel", modOstrel::AboutText(modOstrel::Settings().path()));
}

void frmOstrel::mnuAboutBrimcast_Click()
{
    // The camera's own pages, where one is shown.
    if (shownCamera_.isEmpty()) {
        showInformation("Brimcast", "No camera is connected: choose or type one with the profiles button first.");
        return;
    }
    OpenAddress(shownCamera_);
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
    viewer::WindowSettings place;
    place.sizeIndex = iSizeIndex;
    place.left = static_cast<float>(platform::twipsX(x()));
    place.top = static_cast<float>(platform::twipsY(y()));
    const bool written = place.save(settings);
    // Told now, with any change that waited for the lock: nothing runs after the close.
    if (!written || settings.hasUnsavedChanges())
        reportWarning(QString("The settings in %1 could not be saved: another program keeps them locked, or the "
                              "file cannot be written.").arg(settings.path()));
    brimcast_->close();
}
