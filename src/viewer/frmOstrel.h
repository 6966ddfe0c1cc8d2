#pragma once

#include "browser/WebBrowser.h"
#include "profiles/ProfilesHost.h"
#include "viewer/modOstrel.h"

#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class frmBrimcast;
class QSystemTrayIcon;
class QUrl;
class QMenu;
class QAction;
class QTimer;
class QToolButton;

// The frozen snapshot over the view. It looks the same while its window is
// disabled (a plain label would draw its picture greyed out then).
class FrozenPicture : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The main window: a row of small buttons above the live view, an embedded
// browser showing the Viewer page for the current connection at one of six
// fixed view sizes. It reads its start options and remembered place at load,
// snaps back to the chosen size when resized from outside, can stay on top,
// and moves when its background or the page is dragged.
class frmOstrel : public QWidget, public ProfilesHost {
    Q_OBJECT
public:
    frmOstrel();
    ~frmOstrel() override;

    // Start-up with the argument text (the arguments joined by blanks).
    void Form_Load(const QString& commandLine);
    // The size of the window's inside for a view size, in pixels.
    static QSize clientSizeFor(int viewWidth, int viewHeight);

    // ProfilesHost: the page build, and staying on top, for the profiles panel.
    void cmdRefresh_Click() override;
    QWidget* hostWindow() override { return this; }
    bool onTop() const override;
    void setTopmost(bool topmost) override;
    void connectionUsable(bool usable) override;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    friend struct frmOstrelProbe; // white-box access for the tests

    // The window (frmOstrel.cpp).
    void MakeControls();
    void MakeMenus();
    void MakeTrayIcon();
    void ConnectControls();
    void ConnectKeys();
    void Form_Activate();
    void Form_Resize();
    void Form_Unload();
    // Sizes the window around a view of lWidth x lHeight pixels.
    void ResizeForm(std::int32_t lWidth, std::int32_t lHeight);
    void UpdateCaption();
    QString pageFilePath() const;
    void Timer1_Timer();
    void cmdResize_Click();
    void mnuSizes_Click();
    void mnuSize_Click(std::int16_t Index);
    void cmdBrimcast_Click();
    void cmdAbout_Click();
    void mnuAboutOstrel_Click();
    void mnuAboutBrimcast_Click();
    void OpenAddress(const QString& address);
    void chkOnTop_Click();
    bool isTopmost() const;
    void WebBrowser1_BeforeNavigate2();
    void WebBrowser1_DocumentComplete();
    bool hDoc_OnContextMenu();
    void hDoc_OnMouseDown(Qt::MouseButton button = Qt::LeftButton);
    void FocusBrowser();
    void BeginMove(Qt::MouseButton button, const QPoint& global);
    void FollowPointer(const QPoint& global);
    void EndMove();
    void cSysTray1_TrayMouse();
    void HideToTray();
    void ShowFromTray();
    void Quit();
    QPoint ReachablePlace(const QPoint& place) const;
    void MoveFrameTo(const QPoint& place);
    void UpdatePictureSeen();

    // Snapshots (frmOstrelSnapshot.cpp).
    void chkPicture_Click();
    void cmdSave_Click();
    void cmdSeparate_Click();
    // Writes the snapshot to the hand-over bitmap; false, with the reason, when it cannot.
    bool WriteSnapshotFile(QString* error);
    void Timer2_Timer();
    QString snapshotFilePath() const;

    // Controls, named as the program's design names them.
    QToolButton* cmdBrimcast;
    QToolButton* cmdSave;
    QToolButton* chkOnTop;
    QToolButton* cmdRefresh;
    QToolButton* cmdSeparate;
    QToolButton* chkPicture;
    QToolButton* cmdResize;
    QToolButton* cmdAbout;
    WebBrowser* WebBrowser1;
    QWidget* picRedBorder;
    FrozenPicture* Picture1;
    QTimer* Timer1; // removes the page file once the browser has read it
    QTimer* Timer2; // removes the snapshot file once the image window has read it
    QSystemTrayIcon* cSysTray1;
    QMenu* mnuTray; // the tray icon's own menu: Show, Quit
    QMenu* mnuSizes;
    QList<QAction*> mnuSize;
    QMenu* mnuAbout;
    QAction* mnuAboutOstrel;
    QAction* mnuAboutBrimcast;
    QString shownCamera_; // the address of the camera the page shows, or empty
    bool panelOpenAtPress_ = false; // the profiles panel was open when its button was pressed
    std::unique_ptr<frmBrimcast> brimcast_;

    // Where failures and warnings are reported (message boxes; tests replace them).
    std::function<void(const QString&)> reportError;
    std::function<void(const QString&)> reportWarning;
    // Asks a question to be answered yes or no (a message box; tests replace it).
    std::function<bool(const QString&)> askYesNo;
    // Opens a web address (the desktop's handler; tests replace it).
    std::function<void(const QUrl&)> openUrl;
    // Shows a text to be read (a message box; tests replace it).
    std::function<void(const QString&, const QString&)> showInformation;
    // Draws what a layer over the page shows in its box into a capture,
    // whose origin is the window's; unset while no such layer exists.
    modOstrel::CaptureLayer captureLayer;
    // Whether a tray is there to hide in (the desktop's answer; tests replace it).
    std::function<bool()> trayAvailable;

    // State.
    QString sPageFile;
    bool bFromTray = false;
    bool bInResize = false;
    // The start options.
    QString sCmdName;
    QString sCmdHost;
    QString sCmdPort;
    bool bCmdOnTop = false;
    bool bCmdHide = false;
    bool loading_ = false; // the start-up decides whether the window is shown
    // The view size chosen, as the size menu writes it.
    QString sViewWidth;
    QString sViewHeight;
    std::int16_t iSizeIndex = 0;
    QPointer<BrowserDocument> hDoc;
    // A press on the background or the page that becomes a move once the
    // pointer moves: its button and the pointer's distance from the corner.
    struct PendingMove {
        Qt::MouseButton button;
        QPoint offset;
    };
    std::optional<PendingMove> pendingMove_;
    // Where the window stood when it was hidden to the tray.
    std::optional<QPoint> trayPlace_;
    bool topmost_ = false; // kept above other windows
    QImage snapshot_;      // the frozen picture shown over the view
};
