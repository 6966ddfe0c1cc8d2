// The viewer's module routines: title, pages, the page file, window captures and the snapshot view.
#include "modOstrel.h"

#include "platform/Application.h"
#include "platform/Latin1.h"
#include "Version.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QScreen>
#include <QWidget>

namespace modOstrel {

QString ApplicationName()
{
    return platform::applicationName();
}

platform::SettingsStore Settings()
{
    return platform::SettingsStore(ApplicationName());
}

QString AboutText(const QString& settingsPath)
{
    return QString("Ostrel %1\n"
                   "Shows the live picture of a Brimcast webcam server.\n\n"
                   "Home page: %2\n"
                   "Licence: proprietary\n"
                   "Made with Qt %3 (running on %4) and Qt WebEngine; camera applets run on the Java "
                   "of this machine in a bubblewrap sandbox filtered with libseccomp; snapshots are "
                   "saved by Ostrel's own JPEG encoder.\n\n"
                   "Settings: %5")
        .arg(OSTREL_VERSION, kOstrelAddress, QT_VERSION_STR, qVersion(), QDir::toNativeSeparators(settingsPath));
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
    for (const char32_t c : text.toUcs4()) {
        switch (c) {
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
            if (c < 256)
                out += QChar(static_cast<char16_t>(c));
            else
                out += QString("&#%1;").arg(static_cast<uint>(c));
        }
    }
    return out;
}

QString CameraAddress(const QString& host, const QString& port)
{
    return QString(host.contains(':') ? "http://[%1]:%2/" : "http://%1:%2/").arg(host, port);
}

QString ViewerPage(const QString& host, const QString& port, const QString& width, const QString& height)
{
    const QString h = HtmlEscaped(host);
    const QString p = HtmlEscaped(port);
    return "<html><head>" + QString("<base href='") + HtmlEscaped(CameraAddress(host, port)) + "'>" +
           "<meta http-equiv=Content-Type content='text/html; charset=iso-8859-1'>" +
           "</head><body bgcolor='#000000'>" + "<APPLET CODE=BrimcastApplet.class WIDTH=" + width + " HEIGHT=" + height +
           "><param name=Host value=" + h + ">" + "<param name=Port value=" + p + ">" + "</APPLET></body></html>";
}

QString IdlePage(const QString& title, const QString& note)
{
    return QString("<html><head/><body bgcolor='#000000' ") +
           "style='color: #c0c0c0; font:normal 100% arial,helvetica,sanserif;'>" +
           "<table align='center' cellpadding='25'><tr><td align='center'>" +
           (note.isEmpty() ? QString("<br>") : HtmlEscaped(note)) + "</td></tr><tr><td align='center'>" +
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

QImage CaptureWindowArea(QWidget& window, const QRect& area, const QRect& layerBox, const CaptureLayer& layer)
{
    QImage image = window.grab(area).toImage();
    // A HiDPI screen grabs more pixels than the area has logical pixels.
    if (image.size() != area.size())
        image = image.scaled(area.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image.setDevicePixelRatio(1.0);
    image = image.convertToFormat(QImage::Format_RGB32);
    if (layer) {
        QPainter painter(&image);
        painter.translate(-area.topLeft());
        layer(painter, layerBox);
    }
    const QScreen* screen = window.screen();
    if (screen && screen->depth() <= 8)
        image = image.convertToFormat(QImage::Format_Indexed8); // a palette display: keep one palette
    return image;
}

QImage CaptureForm(QWidget& window, const QRect& box, const CaptureLayer& layer)
{
    return CaptureWindowArea(window, box, box, layer);
}

void ToggleSnapshot(const SnapshotControls& controls)
{
    const bool shown = !controls.picture.isVisible();
    controls.picture.setVisible(shown);
    controls.save.setVisible(shown);
    controls.separate.setVisible(shown);
    controls.redFrame.setVisible(shown);
    controls.sizeMenu.setEnabled(!controls.sizeMenu.isEnabled());
    if (shown) {
        controls.redFrame.raise();
        controls.picture.raise();
        controls.save.raise();
        controls.separate.raise();
    }
}

} // namespace modOstrel
