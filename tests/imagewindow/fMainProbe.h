#pragma once

// White-box access to the image window for the tests: its controls, its
// state and its menu handlers.

#include "imagewindow/fMain.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <functional>

struct fMainProbe {
    explicit fMainProbe(fMain& window)
        : window(window), cmdOpen(window.cmdOpen), cmdSave(window.cmdSave), chkOnTop(window.chkOnTop), Picture1(window.Picture1),
          HScroll1(window.HScroll1), VScroll1(window.VScroll1), mnuAutosize(window.mnuAutosize),
          mnuZoomIn(window.mnuZoomIn), mnuZoomOut(window.mnuZoomOut), mnuActualSize(window.mnuActualSize),
          mnuFit(window.mnuFit),
          sImageName(window.sImageName), messageBox(window.messageBox)
    {
    }

    // Open, and the wait for the file read in the background.
    void mnuOpen_Click()
    {
        window.mnuOpen_Click();
        QDeadlineTimer deadline(10000);
        while (window.Opening() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_FALSE(window.Opening()) << "the file was still being read after 10 s";
    }
    void OpenWithoutWaiting() { window.mnuOpen_Click(); }
    bool Opening() const { return window.Opening(); }
    void Escape() { window.Escape_Pressed(); }
    void mnuSave_Click() { window.mnuSave_Click(); }
    platform::Pointer Picture1Pointer() const { return window.picturePointer_; }
    platform::Pointer ApplicationPointer() const { return window.applicationPointer_; }

    fMain& window;
    QToolButton* const cmdOpen;
    QToolButton* const cmdSave;
    QToolButton* const chkOnTop;
    ImageBox* const Picture1;
    QScrollBar* const HScroll1;
    QScrollBar* const VScroll1;
    QAction* const mnuAutosize;
    QAction* const mnuZoomIn;
    QAction* const mnuZoomOut;
    QAction* const mnuActualSize;
    QAction* const mnuFit;
    const QString& sImageName;
    std::function<void(const QString&)>& messageBox;
};
