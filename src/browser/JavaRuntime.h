#pragma once

#include <QString>
#include <QStringList>

// The Java that runs applet hosts: where it is, which release it is, and the
// command line that starts the host on it. What the command holds depends on
// the release: Java 17 to 23 still have the security manager, which the host
// enables; from 24 on there is none, and the host is fenced in by the OS
// sandbox alone, with native code and the JDK's internals kept out of reach;
// from 26 on the applet classes themselves are gone from the JDK, and the
// host brings its own.
struct JavaRuntime {
    QString program; // the java launcher, links resolved; empty where there is none
    int feature = 0; // 17, 21, 25...; 0 where the runtime does not say

    // JAVA_HOME's java, or the first on PATH.
    static JavaRuntime find();
    // Reads the release from a runtime's "release" file, next to its bin folder.
    static int featureOf(const QString& program);

    QString home() const;
    // The release as the runtime names it ("25.0.1"), or empty.
    QString versionText() const;
    // Whether the host can hold an applet with Java's own security manager
    // (the runtime's release is known to have one).
    bool hasSecurityManager() const { return feature >= 17 && feature <= 23; }
    // Whether the JDK lacks java.applet, which the host then supplies.
    bool lacksAppletClasses() const { return feature >= 26; }
    // The Java part of the host's command line, for a host whose files are
    // in `hostFolder` (AppletHost.jar, and AppletApi.jar for 26 on).
    QStringList hostCommand(const QString& hostFolder) const;
};
