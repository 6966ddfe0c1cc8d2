#pragma once

// Window geometry is designed in twips (1/1440 inch) and converted with the
// screen's twips per pixel: TPPX = 1440 / logical dots per inch (15 at 96).
// Real-to-integer conversions round half to even.

#include <QPoint>
#include <QRect>
#include <QSize>

namespace platform {

double TPPX();
double TPPY();

// Twips to pixels, rounded half to even.
int pixelsX(double twips);
int pixelsY(double twips);
// Pixels to twips.
double twipsX(int pixels);
double twipsY(int pixels);

QPoint twips(QPoint t);
QSize twips(int width, int height);
QRect twips(int left, int top, int width, int height);

} // namespace platform
