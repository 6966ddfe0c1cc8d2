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
    // The relay listens on the camera's own port in the sandbox's network,
    // 80 for most cameras: that takes CAP_NET_BIND_SERVICE in the user
    // namespace owning that network, which is bubblewrap's first one, where
    // the sandbox's user is 0 (still this user outside). The capability
    // reaches no other network. Adding an address to the loopback takes
    // CAP_NET_ADMIN there too, which the command drops at once.
    if (!relayFile.isEmpty())
        arguments << "--uid" << "0" << "--gid" << "0" << "--cap-add" << "CAP_NET_BIND_SERVICE";
    if (!relayFile.isEmpty() && !cameraAddress.isEmpty())
        arguments << "--cap-add" << "CAP_NET_ADMIN" << "--cap-add" << "CAP_SETPCAP";
    if (seccompDescriptor >= 0)
        arguments << "--seccomp" << QString::number(seccompDescriptor);
    if (!relayFile.isEmpty())
        arguments << "--ro-bind" << relayFile << "/ostrel/relay";
    return arguments;
}

QStringList AppletSandbox::command(const QStringList& host) const
{
    if (relayFile.isEmpty() || cameraAddress.isEmpty())
        return host;
    const QString family = cameraAddress.contains(':') ? "-6" : "-4";
    const QString prefix = cameraAddress.contains(':') ? "/128" : "/32";
    return QStringList{"/bin/sh", "-c",
                       "ip " + family + " addr add \"$0\"" + prefix + " dev lo && exec setpriv "
                       "--inh-caps=-all,+net_bind_service --ambient-caps=-all,+net_bind_service "
                       "--bounding-set=-all,+net_bind_service \"$@\"",
                       cameraAddress} + host;
}
