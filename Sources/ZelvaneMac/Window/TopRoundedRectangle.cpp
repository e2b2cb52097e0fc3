#include "ZelvaneMac/Window/TopRoundedRectangle.hpp"

#include <algorithm>

namespace zelvane {

QPainterPath topRoundedRectanglePath(const QRectF& rect, qreal radius) {
    const qreal r = std::max<qreal>(0, std::min(radius, std::min(rect.width(), rect.height()) / 2));
    QPainterPath path;
    path.moveTo(rect.left(), rect.bottom());
    path.lineTo(rect.left(), rect.top() + r);
    // Qt's angles run counter-clockwise with y pointing down, so the top-left corner's quarter goes
    // from 180 to 90 degrees and the top-right one's from 90 to 0.
    path.arcTo(QRectF(rect.left(), rect.top(), 2 * r, 2 * r), 180, -90);
    path.lineTo(rect.right() - r, rect.top());
    path.arcTo(QRectF(rect.right() - 2 * r, rect.top(), 2 * r, 2 * r), 90, -90);
    path.lineTo(rect.right(), rect.bottom());
    path.closeSubpath();
    return path;
}

}  // namespace zelvane
