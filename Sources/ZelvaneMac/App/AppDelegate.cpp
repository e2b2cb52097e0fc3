#include "ZelvaneMac/App/AppDelegate.hpp"

#include <QPainter>
#include <QPainterPath>
#include <QTimer>


namespace zelvane {

namespace {

// A padlock in front of a shield, in white, filling `box`.
void drawLockShield(QPainter& painter, const QRectF& box) {
    const qreal w = box.width(), h = box.height();
    QPainterPath shield;
    shield.moveTo(box.center().x(), box.top());
    shield.cubicTo(box.left() + w * 0.7, box.top() + h * 0.08, box.right(), box.top() + h * 0.12, box.right(),
                   box.top() + h * 0.12);
    shield.lineTo(box.right(), box.top() + h * 0.5);
    shield.cubicTo(box.right(), box.top() + h * 0.78, box.left() + w * 0.7, box.top() + h * 0.92, box.center().x(),
                   box.bottom());
    shield.cubicTo(box.left() + w * 0.3, box.top() + h * 0.92, box.left(), box.top() + h * 0.78, box.left(),
                   box.top() + h * 0.5);
    shield.lineTo(box.left(), box.top() + h * 0.12);
    shield.cubicTo(box.left(), box.top() + h * 0.12, box.left() + w * 0.3, box.top() + h * 0.08, box.center().x(),
                   box.top());
    shield.closeSubpath();
    painter.fillPath(shield, Qt::white);

    // The lock is cut out of the shield in the badge's orange.
    const QColor cut(0xFF, 0x95, 0x00);
    const QRectF body(box.left() + w * 0.3, box.top() + h * 0.45, w * 0.4, h * 0.3);
    painter.fillRect(body, cut);
    QPen shackle(cut);
    shackle.setWidthF(w * 0.07);
    painter.setPen(shackle);
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(box.left() + w * 0.37, box.top() + h * 0.27, w * 0.26, h * 0.34), 0, 180 * 16);
    painter.drawLine(QPointF(box.left() + w * 0.37, box.top() + h * 0.44), QPointF(box.left() + w * 0.37, box.top() + h * 0.47));
    painter.drawLine(QPointF(box.left() + w * 0.63, box.top() + h * 0.44), QPointF(box.left() + w * 0.63, box.top() + h * 0.47));
}

}  // namespace

BadgeGeometry badgeGeometry(QSizeF iconSize) {
    const qreal w = iconSize.width(), h = iconSize.height();
    const qreal d = w * 0.52;
    const QRectF outer(w - d, h - d, d, d);
    const QRectF inner = outer.adjusted(d * 0.07, d * 0.07, -d * 0.07, -d * 0.07);
    const qreal s = inner.width() * 0.6;
    const QRectF symbol(inner.center().x() - s / 2, inner.center().y() - s / 2, s, s);
    return {outer, inner, symbol};
}

QImage badgedApplicationIcon(const QImage& base) {
    const QSize size = base.isNull() ? QSize(128, 128) : base.size();
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!base.isNull()) painter.drawImage(QPointF(0, 0), base);
    const BadgeGeometry g = badgeGeometry(QSizeF(size));
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(g.outer);
    painter.setBrush(QColor(0xFF, 0x95, 0x00));
    painter.drawEllipse(g.inner);
    drawLockShield(painter, g.symbol);
    return image;
}

AppDelegate::AppDelegate(Preferences& preferences, bool exportMode, Hooks hooks,
                         TerminationSteps termination, QObject* parent)
    : QObject(parent),
      preferences_(preferences),
      exportMode_(exportMode),
      hooks_(std::move(hooks)),
      termination_(std::move(termination)) {}

void AppDelegate::applicationDidFinishLaunching() {
    if (hooks_.isElevated && hooks_.isElevated() && hooks_.setApplicationIcon)
        hooks_.setApplicationIcon(badgedApplicationIcon(hooks_.applicationIcon ? hooks_.applicationIcon() : QImage()));
    if (exportMode_) return;
    QTimer::singleShot(windowCheckDelayMillis, this, [this] {
        if (hooks_.hasVisibleWindow && !hooks_.hasVisibleWindow() && hooks_.openWindow) hooks_.openWindow();
    });
}

void AppDelegate::applicationWillTerminate() {
    // Quitting may be announced more than once (a closed last window, then the event loop's end);
    // the copies are written once.
    if (terminated_) return;
    terminated_ = true;
    if (termination_.syncPreferencesBackToRealUserIfElevated)
        termination_.syncPreferencesBackToRealUserIfElevated(preferences_);
    if (termination_.syncPreferencesBackToPortableDriveIfActive)
        termination_.syncPreferencesBackToPortableDriveIfActive(preferences_);
}

bool AppDelegate::applicationShouldTerminateAfterLastWindowClosed() const {
    return !exportMode_;
}

}  // namespace zelvane
