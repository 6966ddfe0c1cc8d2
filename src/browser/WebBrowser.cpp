// The embedded browser: the page view, navigation, document-complete and the applets laid over it.
#include "WebBrowser.h"

#include "AppletElement.h"
#include "AppletHost.h"
#include "AppletView.h"

#include <QContextMenuEvent>
#include <QFile>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <unistd.h>

namespace {

// Pages larger than this are left to the engine to read (setHtml's limit).
constexpr qint64 kMaxPageBytes = 1024 * 1024;

} // namespace

void WebBrowser::prepareEngine()
{
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--log-level"))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", (flags + " --log-level=3").trimmed()); // fatal ones only
    // Rules from QT_LOGGING_RULES still win over this one.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    // The engine's pictures are put on the window by Qt Quick's software
    // renderer, as a plain image. Its default, OpenGL, is Mesa's llvmpipe on
    // a machine without a graphics card: two more threads composing every
    // frame (42 % of a core in all at 640x480 against 16 %), 44 MiB more
    // memory and half a second more to the first picture. A one-page view
    // of a camera gains nothing from it. QT_QUICK_BACKEND still chooses.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND") && qEnvironmentVariableIsEmpty("QSG_RHI_BACKEND"))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
}

WebBrowser::WebBrowser(QWidget* parent) : QWidget(parent), view_(new QWebEngineView(this))
{
    QWebEngineSettings* settings = view_->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    view_->setContextMenuPolicy(Qt::NoContextMenu);
    view_->page()->setBackgroundColor(Qt::black);
    connect(view_, &QWebEngineView::loadStarted, this, &WebBrowser::watchInput);
    connect(view_, &QWebEngineView::loadFinished, this, [this](bool) {
        watchInput();
        delete document_;
        document_ = new BrowserDocument(this);
        emit DocumentComplete();
        startApplets();
    });
}

WebBrowser::~WebBrowser()
{
    // The page is stopped and deleted before its view, and both while this
    // browser is still whole: a page still loading, left for the view's
    // destructor to delete, now and then crashed the page engine there.
    disconnect(view_, nullptr, this, nullptr);
    view_->stop();
    delete view_->page();
    delete view_;
    qDeleteAll(views_);
    qDeleteAll(hosts_); // a host still running is ended at once
}

bool WebBrowser::appletsEnabled()
{
    return qEnvironmentVariable("OSTREL_APPLETS") != "off";
}

void WebBrowser::Navigate2(const QString& path)
{
    emit BeforeNavigate2();
    delete document_;
    stopApplets();
    // The page is read now: its file is deleted about a second later, and the
    // engine, starting cold, may not have read it by then.
    QFile file(path);
    if (file.open(QIODevice::ReadOnly) && file.size() < kMaxPageBytes)
        view_->setContent(file.readAll(), "text/html;charset=iso-8859-1", QUrl::fromLocalFile(path));
    else
        view_->load(QUrl::fromLocalFile(path)); // the engine's own error page says why
}

void WebBrowser::startApplets()
{
    if (!appletsEnabled())
        return;
    view_->page()->runJavaScript(appletElementsScript(), QWebEngineScript::ApplicationWorld,
                                 [this, page = view_->url()](const QVariant& result) {
                                     if (view_->url() != page)
                                         return; // another page came meanwhile
                                     for (const AppletElement& element : appletElements(result)) {
                                         if (!element.runnable())
                                             continue;
                                         auto* host = new AppletHost(element, this);
                                         host->setSeen(picturesSeen_);
                                         auto* box = new AppletView(*host, this);
                                         box->setGeometry(element.box.translated(view_->geometry().topLeft()));
                                         box->show();
                                         box->raise();
                                         hosts_ << host;
                                         views_ << box;
                                         host->start();
                                     }
                                 });
}

void WebBrowser::stopApplets()
{
    qDeleteAll(views_);
    views_.clear();
    // Each host is asked to end and goes once it has (or has been killed).
    for (AppletHost* host : std::as_const(hosts_)) {
        if (!host->running()) {
            delete host;
            continue;
        }
        connect(host, &AppletHost::ended, host, &QObject::deleteLater);
        host->stop();
    }
    hosts_.clear();
}

void WebBrowser::setPicturesSeen(bool seen)
{
    picturesSeen_ = seen;
    for (AppletHost* host : std::as_const(hosts_))
        host->setSeen(seen);
}

void WebBrowser::setToolTipText(const QString& text)
{
    toolTip_ = text;
    setToolTip(text);
}

void WebBrowser::SetFocus()
{
    view_->setFocus(Qt::OtherFocusReason);
}

void WebBrowser::appletBox(const std::function<void(QRect)>& done) const
{
    const QString script = QStringLiteral(
        "(function() { var a = document.getElementsByTagName('APPLET')[0]; if (!a) return '';"
        " var r = a.getBoundingClientRect();"
        " return [r.left, r.top, a.getAttribute('WIDTH'), a.getAttribute('HEIGHT')].join(','); })()");
    // The application's own script world runs although page scripts are off.
    const QPoint origin = view_->mapTo(window(), QPoint(0, 0));
    view_->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld, [done, origin](const QVariant& value) {
        const QStringList parts = value.toString().split(',');
        if (parts.size() != 4) {
            done({});
            return;
        }
        done(QRect(origin.x() + qRound(parts[0].toDouble()), origin.y() + qRound(parts[1].toDouble()), parts[2].toInt(),
                   parts[3].toInt()));
    });
}

void WebBrowser::watchInput()
{
    QWidget* proxy = view_->focusProxy();
    if (proxy && proxy != input_) {
        proxy->installEventFilter(this);
        input_ = proxy;
    }
}

bool WebBrowser::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == input_ && document_) {
        if (event->type() == QEvent::MouseButtonPress) {
            emit document_->onmousedown(static_cast<QMouseEvent*>(event)->button());
        } else if (event->type() == QEvent::MouseMove) {
            const auto* move = static_cast<QMouseEvent*>(event);
            if (move->buttons() != Qt::NoButton)
                emit document_->onmousemove(move->globalPosition().toPoint());
        } else if (event->type() == QEvent::MouseButtonRelease) {
            emit document_->onmouseup();
        } else if (event->type() == QEvent::ContextMenu) {
            emit document_->oncontextmenu();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void WebBrowser::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    view_->setGeometry(rect());
}
