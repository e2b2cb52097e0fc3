#include "ZelvaneMac/Widgets/Treemap/BusyCursor.hpp"

#include <QApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace zelvane {

namespace {

constexpr double kSide = 20;

double highestPixelRatio() {
    double ratio = 1;
    for (const QScreen* screen : QGuiApplication::screens()) ratio = std::max(ratio, screen->devicePixelRatio());
    return ratio;
}

// An hourglass about 11 points tall, drawn with bold strokes and centred on the disc.
void drawHourglass(QPainter& p) {
    const double top = 4.75, bottom = 15.25, left = 6.5, right = 13.5;
    QPen pen(QColor(0, 0, 0), 1.6);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    p.setPen(pen);
    p.drawLine(QPointF(left, top), QPointF(right, top));
    p.drawLine(QPointF(left, bottom), QPointF(right, bottom));

    QPainterPath glass;
    glass.moveTo(left + 1, top + 0.5);
    glass.lineTo(right - 1, top + 0.5);
    glass.lineTo(10.7, 10);
    glass.lineTo(right - 1, bottom - 0.5);
    glass.lineTo(left + 1, bottom - 0.5);
    glass.lineTo(9.3, 10);
    glass.closeSubpath();
    p.setPen(QPen(QColor(0, 0, 0), 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(glass);

    // Sand settled in the lower bulb.
    QPainterPath sand;
    sand.moveTo(10, 11.6);
    sand.lineTo(right - 1.6, bottom - 1.1);
    sand.lineTo(left + 1.6, bottom - 1.1);
    sand.closeSubpath();
    p.fillPath(sand, QColor(0, 0, 0));
}

QCursor makeBusyCursor() {
    const double ratio = highestPixelRatio();
    const int pixels = int(std::ceil(kSide * ratio));
    QPixmap pixmap(pixels, pixels);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    {
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF oval = QRectF(0, 0, kSide, kSide).adjusted(0.5, 0.5, -0.5, -0.5);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255));
        p.drawEllipse(oval);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(0, 0, 0, int(0.35 * 255 + 0.5)), 1));
        p.drawEllipse(oval);
        drawHourglass(p);
    }
    // The hot spot is given in points, as the pixmap's pixel ratio says.
    return QCursor(pixmap, int(kSide / 2), int(kSide / 2));
}

}  // namespace

const QCursor& BusyCursor::shared() {
    static const QCursor cursor = makeBusyCursor();
    return cursor;
}

ScopedBusyCursor::ScopedBusyCursor() { QApplication::setOverrideCursor(BusyCursor::shared()); }

// A result still queued when the application ends is dropped with it, and the pointer it holds
// after it: there is no cursor left to restore then.
ScopedBusyCursor::~ScopedBusyCursor() {
    if (QCoreApplication::instance()) QApplication::restoreOverrideCursor();
}

}  // namespace zelvane
