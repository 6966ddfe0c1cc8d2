#pragma once

#include "image/cImage.h"
#include "platform/Surface.h"

#include <QFrame>
#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QScrollBar;
class QSizeGrip;
class QToolButton;

// The box that shows the image: a sunken 2-pixel border around a persistent
// picture (drawn into through a drawing surface, shown on every repaint),
// with the two scroll bars inside it.
class ImageBox : public QFrame {
    Q_OBJECT
public:
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

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    QImage picture_; // blue-green-red rows, shared with surface_
    std::unique_ptr<platform::Surface> surface_;
};

// The image window: shows one image one image pixel per screen pixel,
// centred when smaller than the view, scrolled (bars or dragging) when
// larger; optionally fits itself to each new image; saves the image as JPEG.
// One shared instance, created hidden on first use.
class fMain : public QWidget {
    Q_OBJECT
public:
    // The one window, made (hidden) if it does not exist.
    static fMain& Instance();
    static bool Loaded();
    // Closes and releases the window; the next use makes a fresh one.
    static void Unload();
    // Where the current connection profile's name comes from (the main window).
    static void SetProfileNameSource(std::function<QString()> source);

    void xmnuOpen_Click(const QString& FileName);
    void mnuOpen_Click();
    void mnuSave_Click();
    bool xmnuSave_Click();
    void SetFormSize(const cImage* TheImage);

    // Saves the whole image as a JPEG file at `path`, replacing a file of
    // that name only once the new one is complete. Raises the encoder's or
    // the file system's numbered error on failure, leaving any old file as it was.
    void SaveImageAs(const QString& path);

    // The shown image (a new empty one when there is none).
    cImage& Image();
    QString sImageName;
    std::int32_t lDragX = 0;
    std::int32_t lDragY = 0;

    QToolButton* cmdOpen;
    QToolButton* cmdSave;
    QToolButton* chkOnTop;
    ImageBox* Picture1;
    QScrollBar* HScroll1;
    QScrollBar* VScroll1;
    QSizeGrip* picResize;
    QMenu* mnuImage;
    QAction* mnuOpen;
    QAction* mnuSave;
    QAction* mnuAutosize;

    // The pointer codes in force: Picture1's own and the application-wide one
    // (0 default, 5 four-way, 7 north-south, 9 west-east, 11 wait, 15 size-all).
    int Picture1Pointer() const { return picturePointer_; }
    int ApplicationPointer() const { return applicationPointer_; }
    // Where messages go (a message box; tests replace it).
    std::function<void(const QString&)> messageBox;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    fMain();
    void Form_Resize();
    void LayoutScrollBars(const cImage* image);
    void PaintImage(const cImage* image);
    void mnuAutosize_Click();
    void Picture1_MouseDown(QMouseEvent* event);
    void Picture1_MouseMove(QMouseEvent* event);
    void Picture1_MouseUp(QMouseEvent* event);
    void Picture1_Wheel(QWheelEvent* event);
    bool ShowPicture(const QString& path);
    void SetPicture1Pointer(int code);
    void SetApplicationPointer(int code);
    int scrollBarExtent() const;

    std::unique_ptr<cImage> oImage;
    int picturePointer_ = 0;
    int applicationPointer_ = 0;
};
