// frmOstrel's snapshots: freezing the view, saving it as JPEG and handing it to the image window.
#include "frmOstrel.h"

#include "imagewindow/fMain.h"
#include "modOstrel.h"
#include "platform/BmpFile.h"
#include "platform/NumberedError.h"
#include "platform/Pointer.h"
#include "platform/RuntimeFolder.h"

#include <QFile>
#include <QTimer>
#include <QToolButton>

QString frmOstrel::snapshotFilePath() const
{
    const QString folder = platform::runtimeFolder();
    return folder.isEmpty() ? QString() : folder + "/_tmp.bmp";
}

void frmOstrel::chkPicture_Click()
{
    platform::WaitPointer wait;
    snapshot_ = modOstrel::CaptureForm(*this, Picture1->geometry(), captureLayer);
    Picture1->setPixmap(QPixmap::fromImage(snapshot_));
    modOstrel::ToggleSnapshot({*Picture1, *picRedBorder, *cmdSave, *cmdSeparate, *cmdResize});
    UpdatePictureSeen();
    FocusBrowser();
}

bool frmOstrel::WriteSnapshotFile(QString* error)
{
    const QString path = snapshotFilePath();
    if (path.isEmpty()) {
        platform::runtimeFolder(error);
        return false;
    }
    const auto surface = platform::Surface::wrap(snapshot_);
    return surface && platform::writeBmp(path, *surface, error);
}

void frmOstrel::cmdSave_Click()
{
    platform::WaitPointer wait;
    setEnabled(false);
    QString error;
    bool saved = false;
    // The image window may show a picture of the user's (a snapshot not yet
    // saved, an opened file): the new snapshot is then saved through a
    // hidden window of its own, and that picture stays where it is.
    const bool imageWindowShown = fMain::Loaded() && fMain::Instance().isVisible();
    std::unique_ptr<fMain> spare = imageWindowShown ? fMain::Spare() : nullptr;
    if (WriteSnapshotFile(&error)) {
        try {
            fMain& image = spare ? *spare : fMain::Instance();
            image.xmnuOpen_Click(snapshotFilePath());
            Timer2->start();
            saved = image.xmnuSave_Click();
        } catch (const platform::NumberedError& e) {
            error = e.description();
        }
    } else if (error.isEmpty()) {
        error = "The snapshot could not be handed to the image window.";
    }
    if (!spare)
        fMain::Unload();
    // Saved, the view goes live again; cancelled or failed, the snapshot stays.
    setEnabled(true);
    if (saved)
        chkPicture->setChecked(false);
    FocusBrowser();
    if (!error.isEmpty())
        reportError(QString("The snapshot was not saved: %1").arg(error));
}

void frmOstrel::cmdSeparate_Click()
{
    // The image window's own snapshot is not given up without a word; kept,
    // the new one stays frozen here.
    if (fMain::Loaded() && fMain::Instance().HoldsUnsavedSnapshot() &&
        !askYesNo("The image window holds a snapshot that has not been saved. Replace it with this one?"))
        return;
    platform::WaitPointer wait;
    QString error;
    if (!WriteSnapshotFile(&error)) {
        reportError(error.isEmpty() ? QString("The snapshot could not be handed to the image window.") : error);
        return;
    }
    chkPicture->setChecked(false);
    FocusBrowser();
    fMain& image = fMain::Instance();
    image.xmnuOpen_Click(snapshotFilePath());
    image.show();
    image.raise();
    Timer2->start();
}

void frmOstrel::Timer2_Timer()
{
    const QString path = snapshotFilePath();
    QFile::remove(path);
    if (path.isEmpty() || !QFile::exists(path))
        Timer2->stop();
}
