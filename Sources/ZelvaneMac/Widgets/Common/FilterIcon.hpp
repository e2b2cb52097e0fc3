#pragma once

#include <QIcon>
#include <QPainterPath>
#include <QRectF>

namespace zelvane {

// The funnel of the filter toggle, drawn on a 16 x 16 grid scaled to `rect` (y grows downwards).
QPainterPath filterIconPath(const QRectF& rect);

// The funnel filled with `color`, for a button of the given size.
QIcon filterIcon(const QColor& color, int size = 16);

}  // namespace zelvane
