#include "Ostrane/DialogPlacement.hpp"

#include <QList>

namespace ostrane {

std::optional<QRect> parseWindowFrame(const QByteArray& text) {
    const QList<QByteArray> parts = text.split(',');
    if (parts.size() != 4) return std::nullopt;
    int values[4] = {};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].trimmed().toInt(&ok);
        if (!ok) return std::nullopt;
    }
    if (values[2] <= 0 || values[3] <= 0) return std::nullopt;
    return QRect(values[0], values[1], values[2], values[3]);
}

std::optional<QPoint> decidingWindowCenter(const std::optional<QRect>& frame) {
    if (!frame) return std::nullopt;
    const qint64 area = qint64(frame->width()) * qint64(frame->height());
    if (area <= kMinimumDecidingWindowArea) return std::nullopt;
    // Exact centre, also for odd sizes (QRect::center() rounds down by one more pixel).
    return QPoint(int((qint64(frame->x()) * 2 + frame->width()) / 2),
                  int((qint64(frame->y()) * 2 + frame->height()) / 2));
}

std::optional<QPoint> dialogOrigin(QPoint center, const QList<ScreenArea>& screens, QSize dialogSize) {
    for (const ScreenArea& screen : screens) {
        if (!screen.geometry.contains(center)) continue;
        const QRect& area = screen.available;
        const int midX = int((qint64(area.x()) * 2 + area.width()) / 2);
        const int midY = int((qint64(area.y()) * 2 + area.height()) / 2);
        return QPoint(midX - dialogSize.width() / 2, midY - dialogSize.height() / 2);
    }
    return std::nullopt;
}

}  // namespace ostrane
