// The widget that shows an applet's frames over its box in the page and sends it mouse and keys.
#include "AppletView.h"

#include "AppletHost.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTextDocument>
#include <QToolTip>

namespace {

// AWT's names for buttons and modifier keys (java.awt.event.InputEvent).
constexpr int kShift = 1 << 6;
constexpr int kCtrl = 1 << 7;
constexpr int kMeta = 1 << 8;
constexpr int kAlt = 1 << 9;
constexpr int kButton1Down = 1 << 10;
constexpr int kButton2Down = 1 << 11;
constexpr int kButton3Down = 1 << 12;

int awtButton(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return 1;
    case Qt::MiddleButton:
        return 2;
    case Qt::RightButton:
        return 3;
    default:
        return 0;
    }
}

int awtModifiers(Qt::KeyboardModifiers keys, Qt::MouseButtons buttons)
{
    int m = 0;
    m |= keys & Qt::ShiftModifier ? kShift : 0;
    m |= keys & Qt::ControlModifier ? kCtrl : 0;
    m |= keys & Qt::MetaModifier ? kMeta : 0;
    m |= keys & Qt::AltModifier ? kAlt : 0;
    m |= buttons & Qt::LeftButton ? kButton1Down : 0;
    m |= buttons & Qt::MiddleButton ? kButton2Down : 0;
    m |= buttons & Qt::RightButton ? kButton3Down : 0;
    return m;
}

// AWT's virtual key codes for Qt's keys (letters and digits share ASCII).
int awtKeyCode(int key)
{
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return key;
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return 112 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 10;
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
        return 9;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Space:
        return 32;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Delete:
        return 127;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    default:
        return 0;
    }
}

// An applet's status as a tooltip line: controls and runs of blanks become
// one space, and a text longer than anyone reads in a tooltip is cut.
QString statusLine(const QString& text)
{
    constexpr qsizetype kMostChars = 160;
    QString line;
    for (const QChar c : text.left(kMostChars * 4)) {
        const QChar shown = c.isPrint() ? c : QChar(' ');
        if (!(shown == ' ' && (line.isEmpty() || line.endsWith(' '))))
            line += shown;
    }
    line = line.trimmed();
    return line.size() > kMostChars || text.size() > kMostChars * 4 ? line.left(kMostChars - 1) + QChar(0x2026) : line;
}

} // namespace

AppletView::AppletView(AppletHost& host, QWidget* parent) : QWidget(parent), host_(host)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    connect(&host_, &AppletHost::frame, this, [this](const QImage& picture) {
        picture_ = picture;
        status_.clear();
        update();
    });
    connect(&host_, &AppletHost::status, this, [this](const QString& text) {
        status_ = text;
        picture_ = QImage();
        update();
    });
    connect(&host_, &AppletHost::tip, this, [this](const QString& text) { appletStatus_ = statusLine(text); });
}

bool AppletView::event(QEvent* event)
{
    // Typing keys are the applet's while its box has the focus, not the
    // window's shortcuts; keys with Ctrl or Alt and the function keys stay theirs.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!key->text().isEmpty() && key->text().at(0).isPrint() &&
            !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
            event->accept();
            return true;
        }
    }
    // The page's tooltip (the title and the camera) with the applet's status
    // below, shown as plain text whatever markup the applet sent.
    if (event->type() == QEvent::ToolTip && !appletStatus_.isEmpty()) {
        QString tip;
        for (const QWidget* w = parentWidget(); w && tip.isEmpty(); w = w->parentWidget())
            tip = w->toolTip();
        tip = tip.isEmpty() ? appletStatus_ : tip + '\n' + appletStatus_;
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                           Qt::convertFromPlainText(tip, Qt::WhiteSpaceNormal), this);
        return true;
    }
    return QWidget::event(event);
}

void AppletView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!picture_.isNull()) {
        painter.drawImage(0, 0, picture_);
        return;
    }
    painter.fillRect(rect(), Qt::black);
    if (status_.isEmpty())
        return;
    painter.setPen(QColor(0xc0, 0xc0, 0xc0));
    QFont font("Arial");
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(std::clamp(height() / 14, 9, 16));
    painter.setFont(font);
    painter.drawText(rect().adjusted(6, 6, -6, -6), Qt::AlignCenter | Qt::TextWordWrap, status_);
}

void AppletView::sendMouse(const char* kind, QMouseEvent* event, int clicks)
{
    host_.sendMouse(kind, event->position().toPoint(), awtButton(event->button()),
                    awtModifiers(event->modifiers(), event->buttons()), clicks);
}

void AppletView::mousePressEvent(QMouseEvent* event)
{
    pressedAt_ = event->position().toPoint();
    sendMouse("press", event, 1);
}

void AppletView::mouseReleaseEvent(QMouseEvent* event)
{
    sendMouse("release", event, 1);
    if ((event->position().toPoint() - pressedAt_).manhattanLength() <= 2)
        sendMouse("click", event, 1);
}

void AppletView::mouseMoveEvent(QMouseEvent* event)
{
    sendMouse(event->buttons() != Qt::NoButton ? "drag" : "move", event, 0);
}

void AppletView::enterEvent(QEnterEvent* event)
{
    host_.sendMouse("enter", event->position().toPoint(), 0, 0, 0);
}

void AppletView::leaveEvent(QEvent*)
{
    host_.sendMouse("exit", mapFromGlobal(QCursor::pos()), 0, 0, 0);
}

void AppletView::keyPressEvent(QKeyEvent* event)
{
    const int modifiers = awtModifiers(event->modifiers(), Qt::NoButton);
    const int character = event->text().isEmpty() ? 0 : event->text().at(0).unicode();
    host_.sendKey("press", awtKeyCode(event->key()), character, modifiers);
    if (character >= 32 || character == '\n' || character == '\r' || character == '\b' || character == '\t')
        host_.sendKey("type", 0, character == '\r' ? '\n' : character, modifiers);
}

void AppletView::keyReleaseEvent(QKeyEvent* event)
{
    const int character = event->text().isEmpty() ? 0 : event->text().at(0).unicode();
    host_.sendKey("release", awtKeyCode(event->key()), character, awtModifiers(event->modifiers(), Qt::NoButton));
}
