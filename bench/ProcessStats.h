#pragma once

// Figures of a running process, read from /proc, for the benchmarks.

#include <QList>

namespace benchstats {

// The process's CPU time so far (user and system), in seconds.
double cpuSeconds(qint64 pid);
// A memory line of /proc/PID/status ("VmRSS", "VmHWM"), in MiB.
double statusMiB(qint64 pid, const char* field);
// The process and every process below it, now.
QList<qint64> processTree(qint64 root);
// The proportional set size of the process and every process below it, in MiB.
double treePssMiB(qint64 root);
// The CPU time of the process and every process below it, in seconds.
double treeCpuSeconds(qint64 root);

} // namespace benchstats
