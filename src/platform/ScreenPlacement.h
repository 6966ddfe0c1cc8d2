#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

namespace platform {

// Where a window whose frame would cover `frame` should go so that it can be
// reached: where it is while at least a third of it lies on the screens
// (given by their available areas); otherwise inside the screen nearest to
// it, as far as it fits, its top-left corner visible first.
QPoint reachablePosition(const QRect& frame, const QList<QRect>& screens);

// Where `frame` lies wholly inside `screen`, moved as little as it takes; one
// larger than the screen keeps its top-left corner (and title bar) on it.
QPoint placeWithin(const QRect& frame, const QRect& screen);

} // namespace platform
