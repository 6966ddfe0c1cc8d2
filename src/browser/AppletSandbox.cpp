// The bubblewrap command line that fences in an applet's host.
#include "AppletSandbox.h"

#include <QDir>

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
                             "--proc", "/proc", "--dev", "/dev",
                             "--size", QString::number(kTmpBytes), "--tmpfs", "/tmp",
                             // After /tmp: a Java unpacked anywhere (home, /opt, /tmp) is seen.
                             "--ro-bind-try", javaHome, javaHome,
                             "--ro-bind", hostFolder, "/ostrel/host"};
    // The Java's own settings, which its conf folder links to (Debian keeps
    // them in /etc/java-N-openjdk).
    for (const QString& folder : QDir("/etc").entryList({"java-*"}, QDir::Dirs | QDir::NoDotAndDotDot))
        arguments << "--ro-bind" << "/etc/" + folder << "/etc/" + folder;
    if (keepsNetwork)
        arguments << "--share-net";
    if (seccompDescriptor >= 0)
        arguments << "--seccomp" << QString::number(seccompDescriptor);
    if (!relayFile.isEmpty())
        arguments << "--ro-bind" << relayFile << "/ostrel/relay";
    return arguments;
}
