#pragma once

#include "AppletElement.h"
#include "AppletRelay.h"

#include <QFile>
#include <QImage>
#include <QObject>
#include <QProcess>
#include <QTimer>

#include <memory>

// One applet running in a host process of its own (Java, on an X display
// that nobody sees). Its pictures arrive through a shared frame file; what
// happens to it (a failure to start, a host that ends) arrives as a status
// text for the box. Everything is asynchronous: nothing here waits.
class AppletHost : public QObject {
    Q_OBJECT
public:
    explicit AppletHost(const AppletElement& element, QObject* parent = nullptr);
    ~AppletHost() override;

    void start();
    // Asks the applet to stop; the host is gone within a second, or killed
    // after two.
    void stop();
    bool running() const { return process_.state() != QProcess::NotRunning; }

    // Input for the applet, in the applet's coordinates, as AWT names it.
    void sendMouse(const char* kind, QPoint at, int button, int modifiers, int clicks);
    void sendKey(const char* kind, int keyCode, int character, int modifiers);

    // Where the host and the Java runtime are found (tests may point elsewhere).
    static QString hostFolder();
    static QString javaProgram();
    // The OS sandbox (bubblewrap), or empty where there is none or it is
    // turned off (OSTREL_APPLET_SANDBOX=off).
    static QString sandboxProgram();
    bool sandboxed() const { return sandboxed_; }
    // From the host's capture of the last frame to its arrival here.
    qint64 lastFrameLatencyNs() const { return lastLatencyNs_; }
    qint64 hostProcessId() const { return process_.processId(); }

signals:
    void frame(const QImage& picture);
    void status(const QString& text);
    void tip(const QString& text);
    void started();
    void ended();

private:
    void readMessages();
    void takeFrame(qint64 capturedNs);
    void hostEnded(int exitCode, QProcess::ExitStatus exitStatus);
    void send(const QByteArray& line);
    void readErrors();
    void launch(bool inSandbox);
    QStringList hostArguments(const QString& java, const QString& folder, const QString& frames,
                              const QString& relay) const;

    AppletElement element_;
    QProcess process_;
    QFile frames_;
    QString framesPath_; // its real path, for the host process
    uchar* mapped_ = nullptr;
    QTimer killTimer_;
    bool stopping_ = false;
    bool saidStatus_ = false;
    bool sandboxed_ = false;
    bool started_ = false;
    bool sandboxRefused_ = false; // bubblewrap could not make its namespaces
    bool unsuitableJava_ = false; // the runtime cannot run the host at all
    std::unique_ptr<AppletRelay> relay_;
    QByteArray errors_; // the host's error output not yet passed on
    qint64 lastLatencyNs_ = 0;
};
