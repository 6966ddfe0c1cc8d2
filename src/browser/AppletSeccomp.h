#pragma once

#include <QString>
#include <QStringList>

// The system calls the applet host's sandbox refuses (with EPERM, or ENOSYS
// for clone3, whose flags a filter cannot read, so that the C library falls
// back to clone): those a Java that paints pictures never makes and that
// serve only to get out of a sandbox or at the kernel. New namespaces,
// mounts, tracing other processes or reading their memory, kernel keys, BPF,
// performance counters, userfaultfd, io_uring, kernel modules and kexec,
// swap, clocks, personality changes, and the like.
namespace appletseccomp {

// The names refused outright (each also checked by the tests).
QStringList refusedCalls();

// The filter, compiled for this machine, in a sealed memory file for
// bubblewrap's --seccomp; -1, with the reason, when it cannot be made.
int filterDescriptor(QString* error);

} // namespace appletseccomp
