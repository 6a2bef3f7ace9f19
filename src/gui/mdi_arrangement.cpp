#include "gui/mdi_arrangement.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace pvx::gui {

namespace {

// Splits `length` into `parts` whole pieces that add up to it exactly.
int pieceStart(int length, int parts, int index)
{
    return static_cast<int>(static_cast<long long>(length) * index / parts);
}

} // namespace

QList<QRect> tileRects(const QRect &area, int count, Qt::Orientation orientation, const QSize &minimum)
{
    QList<QRect> rects;
    if (count <= 0 || area.isEmpty())
        return rects;
    const int lines = std::max(1, static_cast<int>(std::sqrt(static_cast<double>(count))));
    const bool stacked = orientation == Qt::Horizontal;
    // Lines are columns of stacked windows (horizontal) or rows of windows
    // side by side (vertical); the last lines take the windows left over.
    const int mostInLine = count / lines + (count % lines ? 1 : 0);
    const int minimumAcross = std::max(0, stacked ? minimum.width() : minimum.height());
    const int minimumAlong = std::max(0, stacked ? minimum.height() : minimum.width());
    const int across = std::max(stacked ? area.width() : area.height(), minimumAcross * lines);
    const int along = std::max(stacked ? area.height() : area.width(), minimumAlong * mostInLine);
    int placed = 0;
    for (int line = 0; line < lines; ++line) {
        const int inLine = count / lines + (line >= lines - count % lines ? 1 : 0);
        const int lineStart = pieceStart(across, lines, line);
        const int lineEnd = pieceStart(across, lines, line + 1);
        for (int i = 0; i < inLine; ++i, ++placed) {
            const int start = pieceStart(along, inLine, i);
            const int end = pieceStart(along, inLine, i + 1);
            rects.append(stacked ? QRect(area.left() + lineStart, area.top() + start, lineEnd - lineStart, end - start)
                                 : QRect(area.left() + start, area.top() + lineStart, end - start, lineEnd - lineStart));
        }
    }
    return rects;
}

QPoint freePlace(const QRect &view, const QSize &size, const QList<QRect> &taken)
{
    // A free place always touches the view's top or left edge or another
    // window's right or bottom edge, so those edges are the only candidates.
    QList<int> lefts{view.left()};
    QList<int> tops{view.top()};
    QRect whole = view;
    for (const QRect &rect : taken) {
        lefts.append(rect.right() + 1);
        tops.append(rect.bottom() + 1);
        whole |= rect;
    }
    std::sort(lefts.begin(), lefts.end());
    std::sort(tops.begin(), tops.end());
    // The view's left edge below the lowest window is always free, so the
    // search always ends with a place.
    QPoint best;
    long long bestCover = std::numeric_limits<long long>::max();
    for (const int top : tops) {
        for (const int left : lefts) {
            const QRect place(QPoint(left, top), size);
            if (std::any_of(taken.begin(), taken.end(), [&place](const QRect &rect) { return rect.intersects(place); }))
                continue;
            if (view.contains(place))
                return place.topLeft();
            const QRect cover = whole | place;
            const long long area = static_cast<long long>(cover.width()) * cover.height();
            if (area < bestCover) {
                best = place.topLeft();
                bestCover = area;
            }
        }
    }
    return best;
}

QList<QPoint> iconPositions(const QRect &area, const QSize &icon, int count)
{
    QList<QPoint> positions;
    const int perRow = std::max(1, icon.width() > 0 ? area.width() / icon.width() : 1);
    for (int i = 0; i < count; ++i) {
        const int row = i / perRow;
        const int column = i % perRow;
        positions.append(QPoint(area.left() + column * icon.width(), area.bottom() + 1 - (row + 1) * icon.height()));
    }
    return positions;
}

} // namespace pvx::gui
