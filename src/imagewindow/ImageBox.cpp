// ImageBox, the image window's picture box: a sunken border around a persistent picture.
#include "ImageBox.h"

#include <QContextMenuEvent>
#include <QPainter>

ImageBox::ImageBox(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(kBorder);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
}

void ImageBox::clear()
{
    picture_.fill(palette().color(QPalette::Button));
}

void ImageBox::place(const QRect& box)
{
    const bool changed = box.size() != size() || picture_.isNull();
    setGeometry(box);
    if (!changed)
        return;
    const QSize inside = contentsRect().size();
    if (inside.isEmpty()) {
        surface_.reset();
        picture_ = QImage();
    } else if (inside != picture_.size()) {
        picture_ = QImage(inside, QImage::Format_BGR888);
        clear();
        // The surface draws straight into the picture's rows (top-down).
        platform::BitmapInfo info;
        info.bmiHeader.biWidth = inside.width();
        info.bmiHeader.biHeight = -inside.height();
        info.bmiHeader.biBitCount = 24;
        surface_ = platform::Surface::view(picture_.bits(), info);
    }
    emit resized();
}

void ImageBox::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    if (!picture_.isNull()) {
        QPainter painter(this);
        painter.drawImage(contentsRect().topLeft(), picture_);
    }
}

void ImageBox::mousePressEvent(QMouseEvent* event) { emit pressed(event); }
void ImageBox::wheelEvent(QWheelEvent* event) { emit wheeled(event); }
void ImageBox::mouseMoveEvent(QMouseEvent* event) { emit moved(event); }
void ImageBox::mouseReleaseEvent(QMouseEvent* event) { emit released(event); }
void ImageBox::contextMenuEvent(QContextMenuEvent* event) { emit contextMenuAsked(event->globalPos()); }
