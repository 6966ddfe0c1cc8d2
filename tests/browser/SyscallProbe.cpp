// What the applet sandbox's system-call filter leaves a process inside: each
// named call is made with harmless arguments and reported as
// "NAME=refused" (EPERM, or ENOSYS for clone3) or "NAME=allowed ERRNO";
// then the filter's mode, controls that must still work, and whether a port
// below 1024 of the loopback can be listened on.
//   syscall_probe
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include <csignal>
#include <fcntl.h>
#include <linux/io_uring.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/personality.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

void report(const char* name, long result, int refusal = EPERM)
{
    const int error = result < 0 ? errno : 0;
    if (result < 0 && error == refusal)
        std::printf("%s=refused\n", name);
    else
        std::printf("%s=allowed %d\n", name, error);
}

long call(long number, long a = 0, long b = 0, long c = 0, long d = 0, long e = 0)
{
    errno = 0;
    return syscall(number, a, b, c, d, e);
}

// A child made by clone with `flags` ends at once; the parent waits for it.
long cloneWith(long flags)
{
    const long pid = call(SYS_clone, flags | SIGCHLD, 0, 0, 0, 0);
    if (pid == 0)
        _exit(0);
    if (pid > 0)
        ::waitpid(static_cast<pid_t>(pid), nullptr, 0);
    return pid;
}

} // namespace

int main()
{
    report("ptrace", call(SYS_ptrace, 2 /* PTRACE_PEEKDATA */, 999999 /* no such process */));
    report("process_vm_readv", call(SYS_process_vm_readv, getppid(), 0, 0, 0, 0));
    report("perf_event_open", call(SYS_perf_event_open, 0, 0, -1, -1, 0));
    report("bpf", call(SYS_bpf, 0, 0, 0));
    report("userfaultfd", call(SYS_userfaultfd, 0));
    report("mount", call(SYS_mount, reinterpret_cast<long>("none"), reinterpret_cast<long>("/tmp"),
                         reinterpret_cast<long>("tmpfs"), 0, 0));
    report("umount2", call(SYS_umount2, reinterpret_cast<long>("/tmp"), 0));
    report("unshare", call(SYS_unshare, CLONE_NEWUSER));
    report("setns", call(SYS_setns, 0, 0));
    report("clone-new-user", cloneWith(CLONE_NEWUSER));
    report("clone-new-net", cloneWith(CLONE_NEWNET));
    report("clone3", call(SYS_clone3, 0, 0), ENOSYS);
    report("keyctl", call(SYS_keyctl, 0 /* KEYCTL_GET_KEYRING_ID */, -3 /* session */, 0));
    report("add_key", call(SYS_add_key, reinterpret_cast<long>("user"), reinterpret_cast<long>("k"),
                           reinterpret_cast<long>("v"), 1, -3));
    report("request_key", call(SYS_request_key, reinterpret_cast<long>("user"), reinterpret_cast<long>("k"), 0, -3));
    io_uring_params params{};
    report("io_uring_setup", call(SYS_io_uring_setup, 1, reinterpret_cast<long>(&params)));
    report("kexec_load", call(SYS_kexec_load, 0, 0, 0, 0));
    report("init_module", call(SYS_init_module, 0, 0, reinterpret_cast<long>("")));
    report("swapon", call(SYS_swapon, reinterpret_cast<long>("/tmp/none"), 0));
    report("personality", call(SYS_personality, PER_LINUX32));
    report("chroot", call(SYS_chroot, reinterpret_cast<long>("/tmp")));
    report("pivot_root", call(SYS_pivot_root, reinterpret_cast<long>("/tmp"), reinterpret_cast<long>("/tmp")));
    report("open_tree", call(SYS_open_tree, AT_FDCWD, reinterpret_cast<long>("/tmp"), 0));
    report("settimeofday", call(SYS_settimeofday, 0, 0));
    report("iopl", call(SYS_iopl, 3));
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("Seccomp:", 0) == 0)
            std::printf("mode=%s\n", line.substr(line.find_first_not_of(" \t", 8)).c_str());
    // Controls: threads and plain children, and asking the personality.
    std::printf("plain-clone=%s\n", cloneWith(0) > 0 ? "works" : std::strerror(errno));
    std::printf("personality-query=%s\n", call(SYS_personality, 0xffffffff) >= 0 ? "works" : std::strerror(errno));
    sockaddr_in port80{};
    port80.sin_family = AF_INET;
    port80.sin_port = htons(80);
    port80.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    std::printf("listen-port-80=%s\n",
                ::bind(listener, reinterpret_cast<sockaddr*>(&port80), sizeof port80) == 0 ? "works"
                                                                                           : std::strerror(errno));
    return 0;
}
