#pragma once

// Figures of a running process, read from /proc, for the benchmarks.

#include <QtGlobal>

namespace benchstats {

// The process's CPU time so far (user and system), in seconds.
double cpuSeconds(qint64 pid);
// A memory line of /proc/PID/status ("VmRSS", "VmHWM"), in MiB.
double statusMiB(qint64 pid, const char* field);
// The proportional set size of the process and every process below it, in MiB.
double treePssMiB(qint64 root);

} // namespace benchstats
