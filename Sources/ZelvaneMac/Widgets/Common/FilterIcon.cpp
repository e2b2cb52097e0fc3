#include "ZelvaneMac/Widgets/Common/FilterIcon.hpp"

#include <QPainter>
#include <QPixmap>

namespace zelvane {

QPainterPath filterIconPath(const QRectF& rect) {
    const double sx = rect.width() / 16.0;
    const double sy = rect.height() / 16.0;
    const auto at = [&](double gx, double gy) { return QPointF(rect.left() + gx * sx, rect.top() + gy * sy); };
    QPainterPath path;
    path.moveTo(at(0, 1));
    path.lineTo(at(16, 1));
    path.lineTo(at(16, 3));
    path.lineTo(at(10, 9));
    path.lineTo(at(10, 13));
    path.lineTo(at(8, 15));
    path.lineTo(at(6, 13));
    path.lineTo(at(6, 9));
    path.lineTo(at(0, 3));
    path.closeSubpath();
    return path;
}

QIcon filterIcon(const QColor& color, int size) {
    QIcon icon;
    for (int scale : {1, 2}) {
        QPixmap pixmap(size * scale, size * scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(filterIconPath(QRectF(0, 0, size * scale, size * scale)), color);
        painter.end();
        pixmap.setDevicePixelRatio(scale);
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace zelvane
