#include "ZelvaneMac/Widgets/Common/DeterminateProgressBar.hpp"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace zelvane {

DeterminateProgressBar::DeterminateProgressBar(QWidget* parent) : QWidget(parent) {
    setFixedHeight(6);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void DeterminateProgressBar::setFraction(double fraction) {
    const double f = std::isnan(fraction) ? 0.0 : std::clamp(fraction, 0.0, 1.0);
    if (f == fraction_) return;
    fraction_ = f;
    update();
}

void DeterminateProgressBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF track(0, 0, width(), height());
    QColor trackColor = palette().color(QPalette::WindowText);
    trackColor.setAlphaF(0.25f * 0.5f);
    painter.setBrush(trackColor);
    painter.drawRoundedRect(track, 3, 3);
    if (fraction_ <= 0) return;
    painter.setBrush(palette().color(QPalette::Highlight));
    painter.drawRoundedRect(QRectF(0, 0, fraction_ * width(), height()), 3, 3);
}

}  // namespace zelvane
