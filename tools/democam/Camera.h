#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QTime>
#include <QTimer>

// The test picture of frame `number` at `time`: colour bars that move a few
// pixels each frame, the clock to the tenth of a second, the frame number and
// the picture's size.
QImage drawTestPicture(QSize size, quint64 number, const QTime& time);
// A picture as a baseline JPEG file's bytes, by the program's own encoder.
QByteArray encodeJpeg(const QImage& picture, int quality);

// The camera: a new picture every 1/fps seconds, encoded once and shared by
// every viewer.
class Camera : public QObject {
    Q_OBJECT
public:
    Camera(QSize size, int fps, int quality, QObject* parent = nullptr);
    void start();
    // The latest frame (a JPEG file); there is one from construction on.
    QByteArray currentFrame() const { return frame_; }
    quint64 frameNumber() const { return number_; }

signals:
    void frameReady(const QByteArray& jpeg);

private:
    void capture();

    QSize size_;
    int quality_;
    QTimer timer_;
    quint64 number_ = 0;
    QByteArray frame_;
};
