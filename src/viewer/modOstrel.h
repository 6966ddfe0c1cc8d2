#pragma once

// The viewer's module routines: the About text, the title text, the Viewer
// and Idle pages, the page file writer and the snapshot's capture (the
// command line is read in CommandLine.h).

#include "platform/SettingsStore.h"
#include "viewer/CommandLine.h"

#include <QImage>
#include <QString>

#include <functional>

class QPainter;
class QRect;
class QWidget;

namespace modOstrel {

// The program's home page.
inline constexpr const char* kOstrelAddress = "https://ostrel.io/";

// What About > Ostrel says: name and version, home page, licence, the
// libraries it is made with, and where its settings are kept.
QString AboutText(const QString& settingsPath);

// The program's name: its executable's base name ("ostrel" as installed).
QString ApplicationName();
// The settings of this program (application name as above).
platform::SettingsStore Settings();


// The title: [profile name " - "] application name " v" major "." minor "." revision.
QString TitleText(const QString& profileName);

// Text made safe to stand in HTML text and attribute values (& < > ' "),
// and in a Latin-1 page (other characters as character references).
QString HtmlEscaped(const QString& text);
// The camera's web address, http://host:port/ (an IPv6 address in brackets).
QString CameraAddress(const QString& host, const QString& port);
// The page that embeds the server's applet for host:port at the view size.
QString ViewerPage(const QString& host, const QString& port, const QString& width, const QString& height);
// The page shown when no camera can be shown: the title, centred, on black,
// below a note saying why where there is one.
QString IdlePage(const QString& title, const QString& note = QString());

// Creates or empties the file and writes the text as single-byte ISO-8859-1
// (other characters become "?"), with no line end added. False, with the
// system's reason in `error`, when the file cannot be written.
bool TextFileWrite(const QString& path, const QString& text, QString* error);

// Draws what a layer over a window's page shows in its box, into a capture
// whose origin is the window's.
using CaptureLayer = std::function<void(QPainter& painter, const QRect& box)>;

// Snapshots of a window: the pixels in a rectangle of its client area as
// the window draws them (its page included), with whatever the layer, if
// set, draws in its box; on a 256-colour display the picture keeps the
// screen's palette. The result has the area's size in logical pixels.
QImage CaptureWindowArea(QWidget& window, const QRect& area, const QRect& layerBox, const CaptureLayer& layer);
// The snapshot: the view-sized box where the frozen picture lies, with the
// layer over the page in that same box.
QImage CaptureForm(QWidget& window, const QRect& box, const CaptureLayer& layer);

// The controls the snapshot view shows and hides together.
struct SnapshotControls {
    QWidget& picture;   // the frozen picture over the view
    QWidget& redFrame;  // the dark red frame around it
    QWidget& save;      // "Save the snapshot as JPEG"
    QWidget& separate;  // "Open the snapshot in the image window"
    QWidget& sizeMenu;  // the view size button, disabled while frozen
};
// Flips the snapshot view: picture, red frame, Save and Separate shown or
// hidden together, the size button disabled while shown.
void ToggleSnapshot(const SnapshotControls& controls);

} // namespace modOstrel
