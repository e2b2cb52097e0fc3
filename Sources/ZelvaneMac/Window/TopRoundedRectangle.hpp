#pragma once

#include <QPainterPath>
#include <QRectF>

namespace zelvane {

// A rectangle whose two top corners are rounded and whose bottom corners are square: the shape
// behind a selected tab. The radius is capped at half the smaller side.
QPainterPath topRoundedRectanglePath(const QRectF& rect, qreal radius);

}  // namespace zelvane
