#pragma once

// Driving the program's modal dialogs from a test: each helper arranges for
// an action to run on the next dialog of that kind that opens.

#include <QMessageBox>
#include <QString>

#include <functional>

class QFileDialog;

namespace testsupport {

// Runs `action` on the next file dialog shown (within `timeoutMs`).
void onNextFileDialog(std::function<void(QFileDialog&)> action, int timeoutMs = 10000);
// Types `path` into a file dialog's name box and confirms it.
void typeAndAccept(QFileDialog& dialog, const QString& path);
// Chooses `path` in the next file dialog.
void chooseInNextFileDialog(const QString& path);
// Cancels the next file dialog.
void cancelNextFileDialog();
// Answers the next message box with `button`, remembering its text in `text`.
void answerNextMessageBox(QMessageBox::StandardButton button, QString* text = nullptr);

} // namespace testsupport
