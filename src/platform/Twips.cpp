// Conversions between twips and pixels, safe for any stored number.
#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

double dpi(bool horizontal)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double value = screen ? (horizontal ? screen->logicalDotsPerInchX() : screen->logicalDotsPerInchY()) : 96.0;
    return value > 0 ? value : 96.0;
}

// Pixel values stay well inside int, so sums of places and sizes cannot
// overflow either; a value that is no number at all counts as 0.
constexpr double kMostPixels = 1 << 28;

int roundHalfEven(double v)
{
    if (std::isnan(v))
        return 0;
    return static_cast<int>(std::nearbyint(std::clamp(v, -kMostPixels, kMostPixels)));
}

} // namespace

double TPPX() { return 1440.0 / dpi(true); }
double TPPY() { return 1440.0 / dpi(false); }
int pixelsX(double t) { return roundHalfEven(t / TPPX()); }
int pixelsY(double t) { return roundHalfEven(t / TPPY()); }
double twipsX(int pixels) { return pixels * TPPX(); }
double twipsY(int pixels) { return pixels * TPPY(); }
QPoint twips(QPoint t) { return {pixelsX(t.x()), pixelsY(t.y())}; }
QSize twips(int width, int height) { return {pixelsX(width), pixelsY(height)}; }
QRect twips(int left, int top, int width, int height)
{
    return {pixelsX(left), pixelsY(top), pixelsX(width), pixelsY(height)};
}

} // namespace platform
