#pragma once

#include <QString>
#include <QStringList>

// The OS sandbox around an applet's host process: bubblewrap with its own
// namespaces and no capabilities in them (so that, even started by root, it
// can mount nothing and write nothing bound read-only) but, where the relay
// stands in for the camera, the one to listen on a port below 1024 of the
// sandbox's own loopback (cameras serve on port 80), read-only system
// folders, a small private /tmp, no home and none of the user's files, and
// a filter of the system calls that serve only to get out.
// Inside it the host's folder is /ostrel/host and the relay's socket
// /ostrel/relay; the frames come as an inherited descriptor.
struct AppletSandbox {
    QString javaHome;     // the Java runtime's real folder, bound read-only
    QString hostFolder;   // the host's jar and start script, bound read-only
    QString relayFile;    // the relay's socket; empty: no relay
    bool keepsNetwork = false; // the camera is not on this machine, and no relay stands in for it
    // The camera's address, outside this machine, which the sandbox's own
    // loopback is given so that the relay can stand in for it there (the
    // host's first step, with the one capability that needs, then dropped).
    QString cameraAddress;
    int seccompDescriptor = -1; // the system-call filter (see AppletSeccomp.h), as the child has it

    // The private /tmp holds the hidden display's socket and font caches.
    static constexpr qint64 kTmpBytes = 64 * 1024 * 1024;

    // bubblewrap's arguments up to (not including) the command to run.
    QStringList arguments() const;
    // The command to run inside, with the steps it needs first.
    QStringList command(const QStringList& host) const;
};
