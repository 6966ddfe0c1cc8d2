// Test helper: answering the next message box or file dialog.
#include "Dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>

#include <memory>

namespace testsupport {

namespace {

// Polls for a visible top-level widget of type T and runs the action once.
template <class T>
void onNext(std::function<void(T&)> action, int timeoutMs)
{
    auto remaining = std::make_shared<int>(timeoutMs / 20);
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [action, remaining, poll] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* found = qobject_cast<T*>(widget); found && found->isVisible()) {
                action(*found);
                *poll = nullptr; // done: break the cycle
                return;
            }
        }
        if (--*remaining > 0)
            QTimer::singleShot(20, *poll);
    };
    QTimer::singleShot(20, *poll);
}

} // namespace

void onNextFileDialog(std::function<void(QFileDialog&)> action, int timeoutMs)
{
    onNext<QFileDialog>(std::move(action), timeoutMs);
}

void typeAndAccept(QFileDialog& dialog, const QString& path)
{
    // Typed into the name box: selecting an existing file only takes effect
    // once the dialog has listed its folder.
    if (auto* name = dialog.findChild<QLineEdit*>("fileNameEdit"))
        name->setText(path);
    else
        dialog.selectFile(path);
    QMetaObject::invokeMethod(&dialog, "accept");
}

void chooseInNextFileDialog(const QString& path)
{
    onNextFileDialog([path](QFileDialog& dialog) { typeAndAccept(dialog, path); });
}

void cancelNextFileDialog()
{
    onNextFileDialog([](QFileDialog& dialog) { dialog.reject(); });
}

void answerNextMessageBox(QMessageBox::StandardButton button, QString* text)
{
    onNext<QMessageBox>(
        [button, text](QMessageBox& box) {
            if (text)
                *text = box.text();
            if (QAbstractButton* b = box.button(button))
                b->click();
            else
                box.done(button);
        },
        10000);
}

} // namespace testsupport
