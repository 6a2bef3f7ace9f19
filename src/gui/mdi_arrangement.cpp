#include "gui/mdi_arrangement.h"

#include <algorithm>
#include <cmath>

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
