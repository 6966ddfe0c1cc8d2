#pragma once

#include <QString>
#include <QStringList>

// The OS sandbox around an applet's host process: bubblewrap with its own
// namespaces, read-only system folders, a private /tmp, no home and none of
// the user's files. Inside it the host's folder is /ostrel/host, the frame
// file /ostrel/frames and the relay's socket /ostrel/relay.
struct AppletSandbox {
    QString javaHome;     // the Java runtime's real folder, bound read-only
    QString hostFolder;   // the host's jar and start script, bound read-only
    QString framesFile;   // the one file the host writes (its pictures)
    QString relayFile;    // the relay's socket; empty: no relay
    bool keepsNetwork = false; // the camera is not on this machine

    // bubblewrap's arguments up to (not including) the command to run.
    QStringList arguments() const;
};
