// The viewer's module routines: title, pages, the page file, window captures and the snapshot view.
#include "modOstrel.h"

#include "frmOstrel.h"
#include "platform/Application.h"
#include "platform/Latin1.h"
#include "Version.h"

#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QToolButton>

namespace modOstrel {

QString ApplicationName()
{
    return platform::applicationName();
}

platform::SettingsStore Settings()
{
    return platform::SettingsStore(ApplicationName());
}

QString TitleText(const QString& profileName)
{
    const QString program = QString("%1 v%2.%3.%4")
                                .arg(ApplicationName())
                                .arg(OSTREL_VERSION_MAJOR)
                                .arg(OSTREL_VERSION_MINOR)
                                .arg(OSTREL_VERSION_PATCH);
    return profileName.isEmpty() ? program : profileName + " - " + program;
}

QString HtmlEscaped(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '\'':
            out += "&#39;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString ViewerPage(const QString& host, const QString& port, const QString& width, const QString& height)
{
    const QString h = HtmlEscaped(host);
    const QString p = HtmlEscaped(port);
    return "<html><head>" + QString("<base href='http://") + h + ":" + p + "/'>" +
           "<meta http-equiv=Content-Type content='text/html; charset=iso-8859-1'>" +
           "</head><body bgcolor='#000000'>" + "<APPLET CODE=BrimcastApplet.class WIDTH=" + width + " HEIGHT=" + height +
           "><param name=Host value=" + h + ">" + "<param name=Port value=" + p + ">" + "</APPLET></body></html>";
}

QString IdlePage(const QString& title)
{
    return QString("<html><head/><body bgcolor='#000000' ") +
           "style='color: #c0c0c0; font:normal 100% arial,helvetica,sanserif;'>" +
           "<table align='center' cellpadding='25'><tr><td align='center'>" + "<br></td></tr><tr><td align='center'>" +
           HtmlEscaped(title) + "</td></tr></table></body></html>";
}

bool TextFileWrite(const QString& path, const QString& text, QString* error)
{
    const QByteArray bytes = platform::latin1Bytes(text);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush()) {
        if (error)
            *error = QString("Cannot write the page file %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QImage CaptureWindowArea(frmOstrel& window, int left, int top, int width, int height)
{
    const QRect area(left, top, width, height);
    QImage image = window.grab(area).toImage();
    // A HiDPI screen grabs more pixels than the area has logical pixels.
    if (image.size() != area.size())
        image = image.scaled(area.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image.setDevicePixelRatio(1.0);
    image = image.convertToFormat(QImage::Format_RGB32);
    if (window.captureLayer) {
        QPainter painter(&image);
        painter.translate(-left, -top);
        window.captureLayer(painter, window.Picture1->geometry());
    }
    const QScreen* screen = window.screen();
    if (screen && screen->depth() <= 8)
        image = image.convertToFormat(QImage::Format_Indexed8); // a palette display: keep one palette
    return image;
}

QImage CaptureForm(frmOstrel& window)
{
    const QRect box = window.Picture1->geometry();
    return CaptureWindowArea(window, box.left(), box.top(), box.width(), box.height());
}

void ToggleSnapshot(frmOstrel& window)
{
    const bool shown = !window.Picture1->isVisible();
    window.Picture1->setVisible(shown);
    window.cmdSave->setVisible(shown);
    window.cmdSeparate->setVisible(shown);
    window.picRedBorder->setVisible(shown);
    window.cmdResize->setEnabled(!window.cmdResize->isEnabled());
    if (shown) {
        window.picRedBorder->raise();
        window.Picture1->raise();
        window.cmdSave->raise();
        window.cmdSeparate->raise();
    }
}

} // namespace modOstrel
