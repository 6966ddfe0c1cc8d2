#pragma once

// White-box access to the main window for the tests: its controls, the
// seams for message boxes, the tray and web addresses, its state and the
// handlers the user reaches through menus.

#include "viewer/frmOstrel.h"

struct frmOstrelProbe {
    explicit frmOstrelProbe(frmOstrel& window)
        : window(window), cmdBrimcast(window.cmdBrimcast), cmdSave(window.cmdSave), chkOnTop(window.chkOnTop),
          cmdRefresh(window.cmdRefresh), cmdSeparate(window.cmdSeparate), chkPicture(window.chkPicture),
          cmdResize(window.cmdResize), cmdAbout(window.cmdAbout), WebBrowser1(window.WebBrowser1),
          picRedBorder(window.picRedBorder), Picture1(window.Picture1), Timer1(window.Timer1), Timer2(window.Timer2),
          cSysTray1(window.cSysTray1), mnuSize(window.mnuSize), mnuAboutOstrel(window.mnuAboutOstrel),
          mnuAboutBrimcast(window.mnuAboutBrimcast), reportError(window.reportError),
          reportWarning(window.reportWarning), askYesNo(window.askYesNo), openUrl(window.openUrl),
          showInformation(window.showInformation), captureLayer(window.captureLayer),
          trayAvailable(window.trayAvailable), sViewWidth(window.sViewWidth), sViewHeight(window.sViewHeight),
          iSizeIndex(window.iSizeIndex), hDoc(window.hDoc)
    {
    }

    frmBrimcast* brimcast() const { return window.brimcast_.get(); }
    QString pageFilePath() const { return window.pageFilePath(); }
    QString snapshotFilePath() const { return window.snapshotFilePath(); }
    QImage snapshot() const { return window.snapshot_; }
    bool isTopmost() const { return window.isTopmost(); }
    void mnuSize_Click(std::int16_t index) { window.mnuSize_Click(index); }
    bool hDoc_OnContextMenu() { return window.hDoc_OnContextMenu(); }
    void cSysTray1_TrayMouse() { window.cSysTray1_TrayMouse(); }

    frmOstrel& window;
    QToolButton* const cmdBrimcast;
    QToolButton* const cmdSave;
    QToolButton* const chkOnTop;
    QToolButton* const cmdRefresh;
    QToolButton* const cmdSeparate;
    QToolButton* const chkPicture;
    QToolButton* const cmdResize;
    QToolButton* const cmdAbout;
    WebBrowser* const WebBrowser1;
    QWidget* const picRedBorder;
    FrozenPicture* const Picture1;
    QTimer* const Timer1;
    QTimer* const Timer2;
    QSystemTrayIcon* const cSysTray1;
    const QList<QAction*>& mnuSize;
    QAction* const mnuAboutOstrel;
    QAction* const mnuAboutBrimcast;
    std::function<void(const QString&)>& reportError;
    std::function<void(const QString&)>& reportWarning;
    std::function<bool(const QString&)>& askYesNo;
    std::function<void(const QUrl&)>& openUrl;
    std::function<void(const QString&, const QString&)>& showInformation;
    modOstrel::CaptureLayer& captureLayer;
    std::function<bool()>& trayAvailable;
    const QString& sViewWidth;
    const QString& sViewHeight;
    const std::int16_t& iSizeIndex;
    const QPointer<BrowserDocument>& hDoc;
};

inline frmOstrelProbe probe(const frmOstrel& window)
{
    return frmOstrelProbe(const_cast<frmOstrel&>(window));
}
