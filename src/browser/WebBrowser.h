#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>

#include <functional>

class AppletHost;
class AppletView;
class QWebEngineView;

// The HTML document shown by a WebBrowser, while it is shown: the page's
// context-menu and mouse-down events.
class BrowserDocument : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
signals:
    void oncontextmenu();
    void onmousedown(Qt::MouseButton button);
    // The pointer's moves and release while a button is held on the page.
    void onmousemove(QPoint globalPosition);
    void onmouseup();
};

// The embedded browser: a Chromium-based view that shows a local page file.
// Page scripts are off and the page may not read other local files; its own
// context menu never shows. The page's applets run in host processes of their
// own and show in boxes laid over the page (see AppletHost). BeforeNavigate2 comes before a load starts,
// DocumentComplete after it has finished; in between Document() is null.
class WebBrowser : public QWidget {
    Q_OBJECT
public:
    explicit WebBrowser(QWidget* parent = nullptr);
    ~WebBrowser() override;

    // Shows the page file at a local path.
    void Navigate2(const QString& path);
    BrowserDocument* Document() const { return document_; }
    QString ToolTipText() const { return toolTip_; }
    void setToolTipText(const QString& text);
    bool Visible() const { return isVisible(); }
    void SetFocus();
    // The box of the page's APPLET element in its window's coordinates: its
    // place in the page and the size its WIDTH and HEIGHT give (the engine
    // lays the unknown element out with no size). Null when there is none.
    void appletBox(const std::function<void(QRect)>& done) const;
    QWebEngineView* view() const { return view_; }
    // The boxes of the page's running applets (their pictures or status).
    QList<AppletView*> applets() const { return views_; }
    // Whether the applets' pictures can be seen; while not, none is taken
    // (see AppletHost::setSeen), this page's or the next's.
    void setPicturesSeen(bool seen);
    // Applets run unless OSTREL_APPLETS=off (tests of other things turn them off).
    static bool appletsEnabled();
    // Called before the application object exists: the page engine's
    // start-up settings, made in its environment. Its own sandbox is off only
    // as root (Chromium refuses it there), and it keeps quiet: no dump of its
    // set-up and no internal log lines on every start and close, unless the
    // user asks for them (QT_LOGGING_RULES, --log-level in
    // QTWEBENGINE_CHROMIUM_FLAGS).
    static void prepareEngine();

signals:
    void BeforeNavigate2();
    void DocumentComplete();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void watchInput();
    void startApplets();
    void stopApplets();

    QWebEngineView* view_;
    QPointer<QWidget> input_; // where the page's mouse events arrive
    QPointer<BrowserDocument> document_;
    QString toolTip_;
    QList<AppletView*> views_;
    QList<AppletHost*> hosts_;
    bool picturesSeen_ = true;
};
