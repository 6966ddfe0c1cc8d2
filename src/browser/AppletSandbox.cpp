// The bubblewrap command line that fences in an applet's host.
#include "AppletSandbox.h"

QStringList AppletSandbox::arguments() const
{
    QStringList arguments = {"--unshare-all", "--die-with-parent", "--new-session", "--cap-drop", "ALL", "--clearenv",
                             "--setenv", "PATH", "/usr/bin:/bin",
                             "--setenv", "LANG", "C.UTF-8",
                             "--setenv", "HOME", "/tmp", "--setenv", "XDG_CACHE_HOME", "/tmp/cache",
                             "--ro-bind", "/usr", "/usr",
                             "--symlink", "usr/lib", "/lib", "--symlink", "usr/lib64", "/lib64",
                             "--symlink", "usr/bin", "/bin", "--symlink", "usr/sbin", "/sbin",
                             // Only what the dynamic linker, fonts and Java read from /etc.
                             "--ro-bind-try", "/etc/ld.so.cache", "/etc/ld.so.cache",
                             "--ro-bind-try", "/etc/fonts", "/etc/fonts",
                             "--ro-bind-try", "/etc/java-17-openjdk", "/etc/java-17-openjdk",
                             "--proc", "/proc", "--dev", "/dev",
                             "--size", QString::number(kTmpBytes), "--tmpfs", "/tmp",
                             // After /tmp: a Java unpacked anywhere (home, /opt, /tmp) is seen.
                             "--ro-bind-try", javaHome, javaHome,
                             "--ro-bind", hostFolder, "/ostrel/host"};
    if (keepsNetwork)
        arguments << "--share-net";
    if (!relayFile.isEmpty())
        arguments << "--ro-bind" << relayFile << "/ostrel/relay";
    return arguments;
}
