// Start-up figures of the viewer: time from process start to the first page
// shown (DocumentComplete), and the resident memory (proportional set size)
// of the program together with the browser engine's processes once settled.
#include "browser/WebBrowser.h"
#include "viewer/frmOstrel.h"
#include "viewer/frmOstrelProbe.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

// Milliseconds since this process started (from /proc, in clock ticks).
double sinceProcessStart()
{
    QFile stat("/proc/self/stat");
    QFile uptime("/proc/uptime");
    if (!stat.open(QIODevice::ReadOnly) || !uptime.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const double startTicks = fields.value(19).toDouble(); // field 22 of the whole line
    const double up = uptime.readAll().split(' ').value(0).toDouble();
    return (up - startTicks / static_cast<double>(::sysconf(_SC_CLK_TCK))) * 1000.0;
}

// Proportional set size in KiB of a process and all its descendants.
long pssOfTree(long pid)
{
    long total = 0;
    QFile rollup(QString("/proc/%1/smaps_rollup").arg(pid));
    if (rollup.open(QIODevice::ReadOnly))
        for (const QByteArray& line : rollup.readAll().split('\n'))
            if (line.startsWith("Pss:"))
                total += line.mid(4).trimmed().split(' ').value(0).toLong();
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const long child = entry.toLong(&number);
        if (!number)
            continue;
        QFile stat(QString("/proc/%1/stat").arg(child));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.value(1).toLong() == pid)
            total += pssOfTree(child);
    }
    return total;
}

} // namespace

int main(int argc, char* argv[])
{
    WebBrowser::prepareEngine(); // as the program sets the engine up
    QTemporaryDir config; // start as on a first run, without touching real settings
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    frmOstrel window;
    probe(window).reportError = [](const QString& message) { std::fprintf(stderr, "%s\n", qPrintable(message)); };
    double firstPage = -1;
    QObject::connect(probe(window).WebBrowser1, &WebBrowser::DocumentComplete, &app, [&] {
        if (firstPage < 0)
            firstPage = sinceProcessStart();
    });
    window.Form_Load("-host localhost -port 9");
    QTimer::singleShot(3000, &app, [&] {
        std::printf("first page shown %.0f ms after the process started\n", firstPage);
        std::printf("resident memory (PSS) with the browser engine's processes: %.1f MiB\n",
                    pssOfTree(::getpid()) / 1024.0);
        app.quit();
    });
    return QApplication::exec();
}
