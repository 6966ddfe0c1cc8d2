// Process figures for the benchmarks: CPU seconds and memory of a process tree from /proc.
#include "ProcessStats.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <unistd.h>

namespace benchstats {
namespace {

// The fields of /proc/PID/stat after the name: state is 0, the parent 1,
// user time 11 and system time 12.
QList<QByteArray> statFields(qint64 pid)
{
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2).split(' ');
}

double kibOf(const QString& path, const QString& field)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const auto m = QRegularExpression(field + ":\\s+(\\d+) kB").match(QString(file.readAll()));
    return m.hasMatch() ? m.captured(1).toDouble() : 0;
}

} // namespace

double cpuSeconds(qint64 pid)
{
    const QList<QByteArray> fields = statFields(pid);
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double statusMiB(qint64 pid, const char* field)
{
    return kibOf(QString("/proc/%1/status").arg(pid), field) / 1024.0;
}

QList<qint64> processTree(qint64 root)
{
    QHash<qint64, qint64> parent;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs))
        if (const QList<QByteArray> fields = statFields(entry.toLongLong()); !fields.isEmpty())
            parent.insert(entry.toLongLong(), fields.value(1).toLongLong());
    QList<qint64> tree;
    for (auto it = parent.cbegin(); it != parent.cend(); ++it) {
        bool below = it.key() == root;
        for (qint64 p = it.value(); !below && p > 1; p = parent.value(p))
            below = p == root;
        if (below)
            tree << it.key();
    }
    return tree;
}

double treePssMiB(qint64 root)
{
    double kib = 0;
    for (qint64 pid : processTree(root))
        kib += kibOf(QString("/proc/%1/smaps_rollup").arg(pid), "Pss");
    return kib / 1024.0;
}

double treeCpuSeconds(qint64 root)
{
    double seconds = 0;
    for (qint64 pid : processTree(root))
        seconds += cpuSeconds(pid);
    return seconds;
}

} // namespace benchstats
