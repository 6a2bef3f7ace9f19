#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace pvx::gui {

/// Places for `count` windows tiling `area` without overlap. Horizontal
/// tiling stacks wide windows one above the other, in columns once there are
/// four or more; vertical tiling puts tall windows side by side, in rows.
/// The places cover the area exactly, unless a place would be smaller than
/// `minimum`: then the area grows to the right and downwards until each
/// place has that size, and the view scrolls.
QList<QRect> tileRects(const QRect &area, int count, Qt::Orientation orientation, const QSize &minimum = {});

/// The top-left corner for a new window of `size` beside the windows at
/// `taken`, so that it covers none of them: the first such place inside
/// `view` from the top down, then from the left; when the view has no room
/// left, the place beside or below the others that makes the whole they
/// cover, the view included, the smallest (the view then scrolls to it).
QPoint freePlace(const QRect &view, const QSize &size, const QList<QRect> &taken);

/// Top-left corners for `count` minimised windows of size `icon`, in rows
/// from the bottom-left corner of `area` upwards.
QList<QPoint> iconPositions(const QRect &area, const QSize &icon, int count);

} // namespace pvx::gui
