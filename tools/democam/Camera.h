#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QTime>
#include <QTimer>

#include <functional>

// The test picture of frame `number` at `time`: colour bars that move a few
// pixels each frame, the clock to the tenth of a second, the frame number and
// the picture's size.
QImage drawTestPicture(QSize size, quint64 number, const QTime& time);
// A picture as a baseline JPEG file's bytes, by the program's own encoder.
QByteArray encodeJpeg(const QImage& picture, int quality);

// The camera: a new picture every 1/fps seconds, encoded once and shared by
// every viewer. While nobody watches the stream the clock only counts, and a
// snapshot asked for then is drawn when it is asked for.
class Camera : public QObject {
    Q_OBJECT
public:
    Camera(QSize size, int fps, int quality, QObject* parent = nullptr);
    void start();
    // Whether anyone watches the stream; unset, the camera always encodes.
    void setWatched(std::function<bool()> watched) { watched_ = std::move(watched); }
    // The latest frame (a JPEG file); there is one from construction on.
    QByteArray currentFrame();
    quint64 frameNumber() const { return number_; }

signals:
    void frameReady(const QByteArray& jpeg);

private:
    void capture();
    bool encodeCurrent();

    QSize size_;
    int quality_;
    QTimer timer_;
    quint64 number_ = 0;
    QByteArray frame_;
    bool stale_ = false; // frame_ is older than number_
    std::function<bool()> watched_;
};
