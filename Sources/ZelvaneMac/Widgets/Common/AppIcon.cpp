#include "ZelvaneMac/Widgets/Common/AppIcon.hpp"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace zelvane {

namespace {

// Blocks of the little treemap, in units of a 16 x 16 grid, each with its colour.
struct Block {
    QRectF cell;
    QColor color;
};

void drawCushion(QPainter& painter, const QRectF& rect, const QColor& color) {
    // A light spot towards the top left, as the treemap's cushions are lit.
    QRadialGradient gradient(rect.left() + rect.width() * 0.3, rect.top() + rect.height() * 0.3,
                             std::max(rect.width(), rect.height()) * 0.9);
    gradient.setColorAt(0, color.lighter(135));
    gradient.setColorAt(1, color.darker(125));
    painter.fillRect(rect, gradient);
}

}  // namespace

QImage zelvaneIconImage(int pixels) {
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal size = pixels;
    const qreal margin = size * 0.06;
    const QRectF tile(margin, margin, size - 2 * margin, size - 2 * margin);
    const qreal corner = tile.width() * 0.22;

    QPainterPath tilePath;
    tilePath.addRoundedRect(tile, corner, corner);
    QLinearGradient background(tile.topLeft(), tile.bottomLeft());
    background.setColorAt(0, QColor(0x2E, 0x4A, 0x62));
    background.setColorAt(1, QColor(0x17, 0x26, 0x33));
    painter.fillPath(tilePath, background);

    const qreal inset = tile.width() * 0.14;
    const QRectF map = tile.adjusted(inset, inset, -inset, -inset);
    const qreal unit = map.width() / 16;
    const Block blocks[] = {
        {{0, 0, 9, 10}, QColor(0x3D, 0xA3, 0x5D)},  {{9, 0, 7, 6}, QColor(0xE0, 0x8A, 0x2E)},
        {{9, 6, 7, 4}, QColor(0x3A, 0x7F, 0xD0)},   {{0, 10, 5, 6}, QColor(0xC8, 0x4B, 0x4B)},
        {{5, 10, 6, 6}, QColor(0x9B, 0x6B, 0xC8)},  {{11, 10, 5, 3}, QColor(0xD9, 0xC2, 0x3A)},
        {{11, 13, 5, 3}, QColor(0x3F, 0xB8, 0xB0)},
    };
    painter.save();
    QPainterPath mapPath;
    mapPath.addRoundedRect(map, unit * 1.2, unit * 1.2);
    painter.setClipPath(mapPath);
    const qreal gap = std::max<qreal>(1, unit * 0.35);
    for (const Block& block : blocks) {
        const QRectF r(map.left() + block.cell.left() * unit, map.top() + block.cell.top() * unit,
                       block.cell.width() * unit, block.cell.height() * unit);
        drawCushion(painter, r.adjusted(gap / 2, gap / 2, -gap / 2, -gap / 2), block.color);
    }
    painter.restore();

    QPen rim(QColor(255, 255, 255, 40));
    rim.setWidthF(std::max<qreal>(1, size / 128));
    painter.setPen(rim);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(tilePath);
    return image;
}

QIcon zelvaneIcon() {
    QIcon icon;
    for (int pixels : {16, 24, 32, 48, 64, 128, 256, 512}) icon.addPixmap(QPixmap::fromImage(zelvaneIconImage(pixels)));
    return icon;
}

}  // namespace zelvane
