#pragma once

#include "image/cImage.h"
#include "imagewindow/ImageBox.h"
#include "platform/Pointer.h"

#include <QFutureWatcher>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QScrollBar;
class QSizeGrip;
class QToolButton;

// The image window: shows one image one image pixel per screen pixel (or
// zoomed), centred when smaller than the view, scrolled (bars, dragging or
// keys) when larger; optionally fits itself to each new image; saves the
// image as JPEG. Files chosen with Open are read in the background.
// One shared instance, created hidden on first use.
class fMain : public QWidget {
    Q_OBJECT
public:
    // The one window, made (hidden) if it does not exist.
    static fMain& Instance();
    static bool Loaded();
    // Closes and releases the window; the next use makes a fresh one.
    static void Unload();
    // A hidden window apart from the shared one, for saving a picture while
    // the shared one shows another (which must not be replaced or closed).
    static std::unique_ptr<fMain> Spare();
    // Where the current connection profile's name comes from (the main window).
    static void SetProfileNameSource(std::function<QString()> source);

    // Shows a snapshot file handed over by the main window; the title
    // names the current profile.
    void xmnuOpen_Click(const QString& FileName);
    // Asks where to save the image as JPEG (proposing the profile's name)
    // and saves it there: false when the user cancels. Raises the numbered
    // error of a failed save.
    bool xmnuSave_Click();

    // Saves the whole image as a JPEG file at `path`, replacing a file of
    // that name only once the new one is complete. Raises the encoder's or
    // the file system's numbered error on failure, leaving any old file as it was.
    void SaveImageAs(const QString& path);

    // The shown image (a new empty one when there is none).
    cImage& Image();
    // Whether the window shows a snapshot handed over that has not been saved.
    bool HoldsUnsavedSnapshot() const { return isVisible() && unsavedSnapshot_; }
    ~fMain() override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    friend struct fMainProbe; // white-box access for the tests

    fMain();
    void mnuOpen_Click();
    void mnuSave_Click();
    void SetFormSize(const cImage* TheImage);
    void Form_Resize();
    void LayoutScrollBars(const cImage* image);
    void PaintImage(const cImage* image);
    void mnuAutosize_Click();
    void Picture1_MouseDown(QMouseEvent* event);
    void Picture1_MouseMove(QMouseEvent* event);
    void Picture1_MouseUp(QMouseEvent* event);
    void Picture1_Wheel(QWheelEvent* event);
    bool ShowPicture(const QString& path);
    // Makes `image` the shown one: 1:1, from its top left, the window fitted
    // to it when auto-size is on.
    void ShowImage(std::unique_ptr<cImage> image);
    // Reading a file in the background: started, cancelled, arrived.
    void OpenInBackground(const QString& path);
    void CancelOpening();
    void OpenFinished();
    bool Opening() const { return openingCancel_ != nullptr; }

    // Zooming: to a factor (steps of the zoom ladder, or any factor below 1
    // that fits the view), keeping the image point under `anchor` (a point of
    // the view) where it is.
    void ZoomTo(double zoom, QPoint anchor);
    void ZoomStep(int steps, QPoint anchor);
    void FitToWindow();
    // The size the image is shown at, at the current zoom.
    QSize ShownSize(const cImage* image) const;
    QPoint ViewCentre() const;
    // Scrolling by keys: by pixels of the view, or to the ends.
    void ScrollBy(int dx, int dy);
    void ScrollToEnd(bool end);
    void ToggleFullScreen();
    void Escape_Pressed();
    void AddKeys();
    void SetPicture1Pointer(platform::Pointer pointer);
    void SetApplicationPointer(platform::Pointer pointer);
    int scrollBarExtent() const;
    // The name a save proposes: `name`, or one made of the time.
    static QString ProposedName(const QString& name);

    // A file read in the background: its name, and the picture or why not.
    struct Opened {
        QString path;
        std::unique_ptr<cImage> image;
        QString reason;
    };

    bool unsavedSnapshot_ = false;
    // The zoom factor, and for factors below 1 the image resampled to it.
    double zoom_ = 1.0;
    std::unique_ptr<cImage> zoomed_;
    // The read in the background, while one runs, and its cancel switch.
    QFutureWatcher<Opened> opening_;
    std::shared_ptr<std::atomic<bool>> openingCancel_;
    QToolButton* cmdOpen;
    QToolButton* cmdSave;
    // The auto-size switch: pressed, the window fits itself to each image.
    QToolButton* chkOnTop;
    ImageBox* Picture1;
    QScrollBar* HScroll1;
    QScrollBar* VScroll1;
    QSizeGrip* picResize;
    QMenu* mnuImage;
    QAction* mnuOpen;
    QAction* mnuSave;
    QAction* mnuAutosize;
    QAction* mnuZoomIn;
    QAction* mnuZoomOut;
    QAction* mnuActualSize;
    QAction* mnuFit;
    QAction* mnuFullScreen;
    // Where messages go (a message box; tests replace it).
    std::function<void(const QString&)> messageBox;

    std::unique_ptr<cImage> oImage;
    QString sImageName; // the name the save proposes
    // The image point under the pointer when a drag began.
    std::int32_t lDragX = 0;
    std::int32_t lDragY = 0;
    // The pointers in force: Picture1's own and the application-wide one.
    platform::Pointer picturePointer_ = platform::Pointer::Default;
    platform::Pointer applicationPointer_ = platform::Pointer::Default;
};
