// Keeping window positions on the screens that exist.
#include "ScreenPlacement.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace platform {
namespace {

std::int64_t area(const QRect& r)
{
    return r.isEmpty() ? 0 : std::int64_t{r.width()} * r.height();
}

// The distance from a point to a rectangle (0 inside), squared.
std::int64_t distanceSquared(const QPoint& p, const QRect& r)
{
    const std::int64_t dx = p.x() < r.left() ? r.left() - p.x() : p.x() > r.right() ? p.x() - r.right() : 0;
    const std::int64_t dy = p.y() < r.top() ? r.top() - p.y() : p.y() > r.bottom() ? p.y() - r.bottom() : 0;
    return dx * dx + dy * dy;
}

} // namespace

QPoint reachablePosition(const QRect& frame, const QList<QRect>& screens)
{
    if (screens.isEmpty() || frame.isEmpty())
        return frame.topLeft();
    std::int64_t visible = 0;
    for (const QRect& screen : screens)
        visible += area(screen.intersected(frame));
    if (3 * visible >= area(frame))
        return frame.topLeft();

    const QRect* nearest = &screens.front();
    std::int64_t best = std::numeric_limits<std::int64_t>::max();
    for (const QRect& screen : screens) {
        const std::int64_t d = distanceSquared(frame.center(), screen);
        if (d < best) {
            best = d;
            nearest = &screen;
        }
    }
    return placeWithin(frame, *nearest);
}

QPoint placeWithin(const QRect& frame, const QRect& s)
{
    // Right and bottom edges first, so a window larger than the screen keeps
    // its top-left corner (and title bar) on it.
    const int x = std::max(std::min(frame.x(), s.x() + s.width() - frame.width()), s.x());
    const int y = std::max(std::min(frame.y(), s.y() + s.height() - frame.height()), s.y());
    return {x, y};
}

} // namespace platform
