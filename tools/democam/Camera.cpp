// The demo camera's picture: moving colour bars and a clock, encoded as JPEG when watched.
#include "Camera.h"

#include "jpeg/cJpeg.h"
#include "platform/NumberedError.h"
#include "platform/Surface.h"

#include <QFont>
#include <QPainter>

#include <array>

namespace {

// The usual order of test-card bars, light to dark.
constexpr std::array<QRgb, 8> kBars = {0xffffff, 0xffff00, 0x00ffff, 0x00ff00,
                                       0xff00ff, 0xff0000, 0x0000ff, 0x000000};
constexpr int kPixelsPerFrame = 4; // how far the bars move each frame

} // namespace

QImage drawTestPicture(QSize size, quint64 number, const QTime& time)
{
    QImage picture(size, QImage::Format_RGB888);
    QPainter painter(&picture);
    const int w = size.width();
    const int h = size.height();
    const int barsHeight = h * 2 / 3;
    const int barWidth = std::max(1, w / static_cast<int>(kBars.size()));
    const int shift = static_cast<int>((number * kPixelsPerFrame) % static_cast<quint64>(barWidth * kBars.size()));
    const int count = static_cast<int>(kBars.size());
    for (int i = -count; i * barWidth + shift < w; ++i)
        painter.fillRect(QRect(i * barWidth + shift, 0, barWidth, barsHeight),
                         QColor(kBars[static_cast<std::size_t>(((i % count) + count) % count)]));
    // The caption band: clock, frame number and size.
    painter.fillRect(QRect(0, barsHeight, w, h - barsHeight), QColor(24, 24, 40));
    QFont font("DejaVu Sans Mono");
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(std::max(8, (h - barsHeight) / 4));
    painter.setFont(font);
    painter.setPen(Qt::white);
    const QString clock = QString("%1.%2").arg(time.toString("hh:mm:ss")).arg(time.msec() / 100);
    const QRect band(8, barsHeight, w - 16, h - barsHeight);
    painter.drawText(band, Qt::AlignLeft | Qt::AlignVCenter, clock);
    painter.drawText(band, Qt::AlignRight | Qt::AlignVCenter,
                     QString("frame %1\n%2x%3").arg(number).arg(w).arg(h));
    painter.end();
    return picture;
}

QByteArray encodeJpeg(const QImage& picture, int quality)
{
    const auto surface = platform::Surface::wrap(picture);
    if (!surface)
        return {};
    try {
        cJpeg encoder;
        encoder.Quality(quality);
        if (encoder.SampleHDC(surface.get(), picture.width(), picture.height(), 0, 0) != 0)
            return {};
        return encoder.Encode();
    } catch (const platform::NumberedError&) {
        return {};
    }
}

Camera::Camera(QSize size, int fps, int quality, QObject* parent)
    : QObject(parent), size_(size), quality_(quality)
{
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(1000 / fps);
    connect(&timer_, &QTimer::timeout, this, &Camera::capture);
    frame_ = encodeJpeg(drawTestPicture(size_, number_, QTime::currentTime()), quality_);
}

void Camera::start()
{
    timer_.start();
}

QByteArray Camera::currentFrame()
{
    if (stale_)
        (void)encodeCurrent();
    return frame_;
}

void Camera::capture()
{
    ++number_;
    if (watched_ && !watched_()) {
        stale_ = true; // nobody to send it to
        return;
    }
    if (encodeCurrent())
        emit frameReady(frame_);
}

bool Camera::encodeCurrent()
{
    QByteArray jpeg = encodeJpeg(drawTestPicture(size_, number_, QTime::currentTime()), quality_);
    if (jpeg.isEmpty())
        return false; // keep showing the last good frame
    frame_ = std::move(jpeg);
    stale_ = false;
    return true;
}
