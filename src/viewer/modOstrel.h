#pragma once

// The viewer's module routines: the command-line parser, the title text, the
// Viewer and Idle pages and the page file writer.

#include "platform/SettingsStore.h"
#include "viewer/CommandLine.h"

#include <QImage>
#include <QString>

class frmOstrel;

namespace modOstrel {

// The web addresses of the About menu.
inline constexpr const char* kOstrelAddress = "https://ostrel.example.org/";
inline constexpr const char* kBrimcastAddress = "https://brimcast.example.org/";

// The program's name: its executable's base name ("ostrel" as installed).
QString ApplicationName();
// The settings of this program (application name as above).
platform::SettingsStore Settings();


// The title: [profile name " - "] application name " v" major "." minor "." revision.
QString TitleText(const QString& profileName);

// Text made safe to stand in HTML text and attribute values (& < > ' ").
QString HtmlEscaped(const QString& text);
// The page that embeds the server's applet for host:port at the view size.
QString ViewerPage(const QString& host, const QString& port, const QString& width, const QString& height);
// The page shown when no host or port is known: the title, centred, on black.
QString IdlePage(const QString& title);

// Creates or empties the file and writes the text as single-byte ISO-8859-1
// (other characters become "?"), with no line end added. False, with the
// system's reason in `error`, when the file cannot be written.
bool TextFileWrite(const QString& path, const QString& text, QString* error);

// Snapshots of the main window: the pixels in a rectangle of its client
// area as the window draws them (its page included), with whatever a layer
// over the page draws in its box; on a 256-colour display the picture keeps
// the screen's palette. The result has the rectangle's size in logical pixels.
QImage CaptureWindowArea(frmOstrel& window, int left, int top, int width, int height);
// The view-sized rectangle where the snapshot picture lies.
QImage CaptureForm(frmOstrel& window);
// Flips the snapshot view: picture, red frame, Save and Separate shown or
// hidden together, the size button disabled while shown.
void ToggleSnapshot(frmOstrel& window);

} // namespace modOstrel
