#pragma once

#include "AppletElement.h"
#include "AppletFrames.h"
#include "AppletOutput.h"
#include "AppletRelay.h"
#include "HostPipe.h"
#include "JavaRuntime.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QProcess>
#include <QTimer>

#include <memory>

// One applet running in a host process of its own (Java, on an X display
// that nobody sees). Its pictures arrive through shared memory of a fixed
// size; what happens to it (a failure to start, a host that ends) arrives as
// a status text for the box. Everything is asynchronous: nothing here waits.
// The host runs code from the network, so all it sends is checked and
// bounded: its lines in length and rate, its memory, files and address
// space by limits set before it starts.
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
    // Whether its picture can be seen (not frozen over, hidden or minimised).
    // Unseen, no frame is taken: the host captures nothing until the last
    // one is taken, so it stops copying too while the applet runs on. Seen
    // again, the latest frame is taken at once.
    void setSeen(bool seen);

    // Where the host is found (tests may point elsewhere).
    static QString hostFolder();
    // The OS sandbox (bubblewrap), or empty where there is none or it is
    // turned off (OSTREL_APPLET_SANDBOX=off).
    static QString sandboxProgram();
    bool sandboxed() const { return sandboxed_; }
    // From the host's capture of the last frame to its arrival here.
    qint64 lastFrameLatencyNs() const { return lastLatencyNs_; }
    qint64 hostProcessId() const { return process_.processId(); }

    // The longest line the host may send, and the longest line of its error
    // output that is passed on.
    static constexpr qsizetype kMostMessageBytes = 8192;
    static constexpr qsizetype kMostErrorLineChars = 500;

signals:
    void frame(const QImage& picture);
    void status(const QString& text);
    void tip(const QString& text);
    void started();
    void ended();

private:
    void message(const QByteArray& line, bool cut);
    void frameAnnounced(qint64 capturedNs);
    void takeFrame(qint64 capturedNs);
    void hostEnded(int exitCode, QProcess::ExitStatus exitStatus);
    void send(const QByteArray& line);
    void errorLine(const QByteArray& line, bool cut);
    void launch(bool inSandbox);
    void launchUnfenced(const QString& why);
    QString server() const; // the code base's host:port
    QStringList hostArguments(const QString& folder, const QString& relay, bool inSandbox) const;

    AppletElement element_;
    JavaRuntime java_;
    QProcess process_;
    AppletFrames frames_;
    int seccomp_ = -1; // the sandbox's system-call filter, while the host starts
    std::unique_ptr<HostPipe> messages_; // the host's standard output
    std::unique_ptr<HostPipe> errors_;   // its error output (the applet's prints)
    appletoutput::LineBudget errorBudget_{100, 20};
    // Messages: a frame for each picture the display can show, and a few
    // more; a host sending far more no longer speaks its part.
    appletoutput::LineBudget messageBudget_{2000, 1000};
    int errorsLeftOut_ = 0;
    QElapsedTimer clock_;
    QTimer frameTimer_;          // a frame announced too soon after the last, taken later
    qint64 announcedNs_ = 0;     // its capture time
    bool seen_ = true;
    bool waiting_ = false;       // a frame announced while unseen, not taken yet
    qint64 lastTakenMs_ = -1000; // on clock_
    QTimer killTimer_;
    bool stopping_ = false;
    bool dropped_ = false; // stopped for what it sent: the rest of it is left unread
    bool saidStatus_ = false;
    bool sandboxed_ = false;
    bool started_ = false;
    bool sandboxRefused_ = false; // bubblewrap could not make its namespaces
    bool unsuitableJava_ = false; // the runtime cannot run the host at all
    std::unique_ptr<AppletRelay> relay_;
    qint64 lastLatencyNs_ = 0;
};
