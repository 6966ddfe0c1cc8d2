#pragma once

#include <QList>
#include <QPair>
#include <QRect>
#include <QString>
#include <QUrl>
#include <QVariant>

// One APPLET element of a loaded page, as the applet runtime needs it.
struct AppletElement {
    QString code;                             // CODE: "Viewer.class", "cam/Viewer.class", "cam.Viewer"
    QUrl codeBase;                            // the base address, resolved with CODEBASE
    QUrl documentBase;                        // the page's base address
    QStringList archives;                     // ARCHIVE's jars, as written
    QString name;                             // NAME
    QList<QPair<QString, QString>> parameters; // PARAM name and value, in page order
    QRect box;                                // place in the page (view coordinates), WIDTH x HEIGHT

    // A Java class name's worth of CODE, and a size to show: both needed.
    bool runnable() const { return !code.trimmed().isEmpty() && box.width() > 0 && box.height() > 0; }
};

// The script, run in the application's own world, that reads every APPLET
// element of the page; its result goes to appletElements().
QString appletElementsScript();
QList<AppletElement> appletElements(const QVariant& scriptResult);
