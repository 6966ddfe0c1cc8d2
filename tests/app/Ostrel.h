#pragma once

// The real ostrel program, started for one test with a home, settings and
// runtime folder of its own, and the places of its controls on the screen.

#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class Ostrel {
public:
    Ostrel();
    ~Ostrel();

    // Settings to start with (the settings file's text).
    void writeSettings(const QByteArray& text);
    QString settingsPath() const;
    QString settings() const;
    // Starts the program and waits for its main window (mapped unless
    // `hidden`). False, with the reason in error(), when it does not come.
    // The Qt platform is xcb unless the program is left to choose its own.
    bool start(const QStringList& arguments, bool hidden = false, bool chooseOwnPlatform = false);
    QString error() const { return error_; }
    qint64 pid() const { return process_.processId(); }
    bool running() const { return process_.state() != QProcess::NotRunning; }
    bool waitForExit(int timeoutMs);
    int exitCode() const { return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1; }
    // Every file and folder it left in its per-user runtime folder.
    QStringList runtimeFiles() const;
    // Its output so far (for failure messages).
    QString output();

    // The main window's X id (empty while a window started hidden has not
    // been shown yet), and where its inside is on the screen now.
    QString mainWindow() const;
    QRect client() const;
    QString trayIcon() const;
    // The centre of a toolbar button by its position in the row (0 the
    // profiles button ... 5 About), and points of the page's margin (beside
    // the applet's box) and of the row's background.
    QPoint button(int index) const;
    QPoint background() const;
    QPoint page() const;
    // The snapshot box (the view's pixels) on the screen.
    QRect view(int width, int height) const;
    // The page file while it exists (about a second after each page build).
    QString pageFile() const;

private:
    QTemporaryDir home_;
    QProcess process_;
    mutable QString main_;
    QString error_;
    QString output_;
};
