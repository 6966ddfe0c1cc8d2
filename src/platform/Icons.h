#pragma once

#include <QByteArray>
#include <QIcon>

class QPainter;

// The program's own small (16 x 16) button icons, drawn at run time.
namespace platform::icons {

QIcon checkMark();  // connect
QIcon cross();      // delete
QIcon profiles();   // the profiles panel
QIcon pin();        // always on top
QIcon refresh();    // rebuild the page
QIcon camera();     // snapshot
QIcon sizes();      // view sizes
QIcon about();      // about
QIcon save();       // save as JPEG
QIcon separate();   // open in the image window
QIcon open();       // open a file
QIcon fit();        // fit the window to the image
QIcon application(); // the program's own icon
// The program's icon painted at `size` x `size` pixels, and as an SVG file.
void paintApplication(QPainter& painter, int size);
QByteArray applicationSvg();

} // namespace platform::icons
