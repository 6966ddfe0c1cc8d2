// Test helper: window facts and X input through xdotool, xwininfo and xprop.
#include "Desktop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QThread>

namespace desktop {

QString run(const QString& program, const QStringList& arguments, int timeoutMs)
{
    QProcess process;
    process.start(program, arguments);
    // The event loop goes on meanwhile, so windows of this process see
    // what the command does to them.
    if (!waitFor([&] { return process.state() == QProcess::NotRunning; }, timeoutMs)) {
        process.kill();
        process.waitForFinished();
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

void pause(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (condition())
            return true;
        if (clock.elapsed() > timeoutMs)
            return false;
        pause(40);
    }
}

Window window(const QString& id)
{
    Window w;
    if (id.isEmpty())
        return w;
    const QString info = run("xwininfo", {"-id", id});
    const auto number = [&](const QString& label) {
        const QRegularExpressionMatch m = QRegularExpression(label + ":\\s+(-?\\d+)").match(info);
        return m.hasMatch() ? m.captured(1).toInt() : 0;
    };
    w.exists = info.contains("Map State");
    w.mapped = info.contains("IsViewable");
    w.client = QRect(number("Absolute upper-left X"), number("Absolute upper-left Y"), number("Width"),
                     number("Height"));
    return w;
}

QString title(const QString& id)
{
    return run("xdotool", {"getwindowname", id}).trimmed();
}

QString property(const QString& id, const QString& name)
{
    return run("xprop", {"-id", id, name}).trimmed();
}

QString activeWindow()
{
    return run("xdotool", {"getactivewindow"}).trimmed();
}

QStringList windowsOf(qint64 pid, bool mappedOnly)
{
    QStringList arguments = {"search", "--pid", QString::number(pid)};
    if (mappedOnly)
        arguments << "--onlyvisible";
    QStringList ids = run("xdotool", arguments).split('\n', Qt::SkipEmptyParts);
    ids.erase(std::remove_if(ids.begin(), ids.end(), [&](const QString& id) {
                  return mappedOnly && !window(id).mapped;
              }),
              ids.end());
    return ids;
}

QString newWindowOf(qint64 pid, const QStringList& known)
{
    for (const QString& id : windowsOf(pid, true))
        if (!known.contains(id))
            return id;
    return {};
}

void moveTo(QPoint at)
{
    run("xdotool", {"mousemove", QString::number(at.x()), QString::number(at.y())});
}

// The pointer comes to `at` the last pixels in a motion inside the target,
// as a hand's does, not in one jump from afar: weston 14 gives the pointer
// to an XWayland window only on a motion within it, so a press right after
// a jump goes nowhere.
static QStringList arriveAt(QPoint at)
{
    return {"mousemove", QString::number(at.x() + 2), QString::number(at.y()), "sleep", "0.05",
            "mousemove", QString::number(at.x()),     QString::number(at.y()), "sleep", "0.15"};
}

void click(QPoint at, int button)
{
    run("xdotool", arriveAt(at) << "click" << QString::number(button));
}

void tap(QPoint at, int ms)
{
    run("xdotool", arriveAt(at) << "mousedown" << "1" << "sleep" << QString::number(ms / 1000.0, 'f', 3)
                                << "mouseup" << "1");
}

void drag(QPoint from, int dx, int dy, int button)
{
    const QString b = QString::number(button);
    QStringList steps = arriveAt(from) << "mousedown" << b << "sleep" << "0.1";
    constexpr int kSteps = 20;
    for (int i = 1; i <= kSteps; ++i)
        steps << "mousemove" << QString::number(from.x() + dx * i / kSteps)
              << QString::number(from.y() + dy * i / kSteps) << "sleep" << "0.02";
    steps << "sleep" << "0.3" << "mouseup" << b;
    run("xdotool", steps);
}

void key(const QStringList& keys)
{
    run("xdotool", QStringList{"key", "--delay", "60"} + keys);
}

void type(const QString& text)
{
    run("xdotool", {"type", "--delay", "40", text});
}

QImage grab(const QRect& area)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

} // namespace desktop
