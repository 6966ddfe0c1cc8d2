#pragma once

// White-box access to the image window for the tests: its controls, its
// state and its menu handlers.

#include "imagewindow/fMain.h"

#include <functional>

struct fMainProbe {
    explicit fMainProbe(fMain& window)
        : window(window), cmdOpen(window.cmdOpen), cmdSave(window.cmdSave), chkOnTop(window.chkOnTop), Picture1(window.Picture1),
          HScroll1(window.HScroll1), VScroll1(window.VScroll1), mnuAutosize(window.mnuAutosize),
          sImageName(window.sImageName), messageBox(window.messageBox)
    {
    }

    void mnuOpen_Click() { window.mnuOpen_Click(); }
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
    const QString& sImageName;
    std::function<void(const QString&)>& messageBox;
};
