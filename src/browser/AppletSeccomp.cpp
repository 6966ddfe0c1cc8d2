// The seccomp filter of the applet sandbox, built with libseccomp.
#include "AppletSeccomp.h"

#include <seccomp.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace appletseccomp {

namespace {

constexpr const char* kRefused[] = {
    // Other processes and the kernel's own tracing.
    "ptrace", "process_vm_readv", "process_vm_writev", "kcmp", "pidfd_getfd", "perf_event_open", "bpf",
    "userfaultfd", "lookup_dcookie",
    // Mounts, namespaces and roots.
    "mount", "umount2", "pivot_root", "chroot", "unshare", "setns", "open_tree", "move_mount", "fsopen",
    "fsconfig", "fsmount", "fspick", "mount_setattr", "name_to_handle_at", "open_by_handle_at",
    // Kernel keys, modules, kexec, swap, reboot, accounting, quotas.
    "keyctl", "add_key", "request_key", "init_module", "finit_module", "delete_module", "kexec_load",
    "kexec_file_load", "swapon", "swapoff", "reboot", "acct", "quotactl", "quotactl_fd", "syslog", "vhangup",
    "uselib", "sysfs",
    // io_uring, whose operations bypass this filter.
    "io_uring_setup", "io_uring_enter", "io_uring_register",
    // Clocks and ports.
    "settimeofday", "clock_settime", "clock_adjtime", "adjtimex", "iopl", "ioperm",
    // File-system notices of the whole system.
    "fanotify_init",
};

constexpr unsigned long kNamespaceFlags[] = {CLONE_NEWNS, CLONE_NEWUSER, CLONE_NEWPID, CLONE_NEWNET, CLONE_NEWUTS,
                                             CLONE_NEWIPC, CLONE_NEWCGROUP, CLONE_NEWTIME};

struct ContextDeleter {
    void operator()(scmp_filter_ctx* context) const { seccomp_release(*context); }
};

} // namespace

QStringList refusedCalls()
{
    QStringList names;
    for (const char* name : kRefused)
        names << name;
    return names;
}

int filterDescriptor(QString* error)
{
    scmp_filter_ctx context = seccomp_init(SCMP_ACT_ALLOW);
    if (!context) {
        *error = "the system-call filter cannot be made";
        return -1;
    }
    const std::unique_ptr<scmp_filter_ctx, ContextDeleter> release(&context);
    int failed = 0;
    const auto refuse = [&](int call, unsigned count, const scmp_arg_cmp* arguments, int errorCode = EPERM) {
        if (call == __NR_SCMP_ERROR)
            return; // not a call of this machine
        const int result = seccomp_rule_add_array(context, SCMP_ACT_ERRNO(errorCode), call, count, arguments);
        if (result != 0)
            failed = result;
    };
    for (const char* name : kRefused)
        refuse(seccomp_syscall_resolve_name(name), 0, nullptr);
    // Threads and processes, but no new namespaces.
    for (unsigned long flag : kNamespaceFlags) {
        const scmp_arg_cmp withFlag = SCMP_A0(SCMP_CMP_MASKED_EQ, flag, flag);
        refuse(seccomp_syscall_resolve_name("clone"), 1, &withFlag);
    }
    refuse(seccomp_syscall_resolve_name("clone3"), 0, nullptr, ENOSYS);
    // Personality: it may be asked, not changed.
    const scmp_arg_cmp change = SCMP_A0(SCMP_CMP_NE, 0xffffffffu);
    refuse(seccomp_syscall_resolve_name("personality"), 1, &change);
    // Typing into a terminal this process does not own.
    const scmp_arg_cmp typing = SCMP_A1(SCMP_CMP_MASKED_EQ, 0xffffffffu, TIOCSTI);
    refuse(seccomp_syscall_resolve_name("ioctl"), 1, &typing);
    if (failed != 0) {
        *error = QString("the system-call filter cannot be made: %1").arg(QString::fromLocal8Bit(std::strerror(-failed)));
        return -1;
    }
    const int fd = ::memfd_create("ostrel-applet-seccomp", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0 || seccomp_export_bpf(context, fd) != 0 || ::lseek(fd, 0, SEEK_SET) != 0 ||
        ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0) {
        *error = QString("the system-call filter cannot be kept: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace appletseccomp
