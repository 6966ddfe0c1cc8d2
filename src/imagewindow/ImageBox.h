#pragma once

#include "platform/Surface.h"

#include <QFrame>
#include <QImage>

#include <memory>

// The box that shows the image: a sunken 2-pixel border around a persistent
// picture (drawn into through a drawing surface, shown on every repaint),
// with the two scroll bars inside it.
class ImageBox : public QFrame {
    Q_OBJECT
public:
    static constexpr int kBorder = 2; // pixels of the sunken border on each side

    explicit ImageBox(QWidget* parent);
    // Places the box; a new size makes a new persistent picture and is
    // announced by resized(), also while the window is hidden.
    void place(const QRect& geometry);
    // The persistent picture's drawing surface (the inside of the border).
    platform::Surface* surface() { return surface_.get(); }
    void clear();

signals:
    void resized();
    void pressed(QMouseEvent* event);
    void moved(QMouseEvent* event);
    void released(QMouseEvent* event);
    void wheeled(QWheelEvent* event);
    void contextMenuAsked(QPoint globalPosition);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QImage picture_; // blue-green-red rows, shared with surface_
    std::unique_ptr<platform::Surface> surface_;
};
