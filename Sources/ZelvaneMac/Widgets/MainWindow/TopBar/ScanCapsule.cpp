#include "ZelvaneMac/Widgets/MainWindow/TopBar/ScanCapsule.hpp"

#include <QFrame>
#include <QHBoxLayout>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>

#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Window/RelaunchCommands.hpp"

namespace zelvane {

namespace {

// An orange shield: the mark of a process running as administrator.
QIcon adminShieldIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shield;
    shield.moveTo(16, 2);
    shield.lineTo(28, 7);
    shield.cubicTo(28, 19, 23, 26, 16, 30);
    shield.cubicTo(9, 26, 4, 19, 4, 7);
    shield.closeSubpath();
    painter.fillPath(shield, QColor(255, 149, 0));
    painter.fillRect(QRectF(12, 14, 8, 7), Qt::white);
    painter.setPen(QPen(Qt::white, 2));
    painter.drawArc(QRectF(13, 9, 6, 9), 0, 180 * 16);
    painter.end();
    pixmap.setDevicePixelRatio(2);
    return QIcon(pixmap);
}

QPalette whiteText(QPalette palette) {
    palette.setColor(QPalette::ButtonText, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::white);
    return palette;
}

}  // namespace

ScanCapsule::ScanCapsule(QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    addScanButton();
    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::VLine);
    divider->setFixedSize(1, 14);
    divider->setStyleSheet(QStringLiteral("color: rgba(255,255,255,0.6); background: rgba(255,255,255,0.6);"));
    row->addWidget(divider, 0, Qt::AlignVCenter);
    addChevron();
    setToolTip(isRunningElevated() ? localized("Running as Administrator") : QString());
}

void ScanCapsule::addScanButton() {
    const bool elevated = isRunningElevated();
    scanButton_ = new QPushButton(this);
    scanButton_->setFlat(true);
    scanButton_->setAutoDefault(false);
    scanButton_->setCursor(Qt::PointingHandCursor);
    scanButton_->setPalette(whiteText(scanButton_->palette()));
    scanButton_->setStyleSheet(QStringLiteral("QPushButton { border: none; color: white; background: transparent; }"));
    if (elevated) {
        scanButton_->setIcon(adminShieldIcon());
        scanButton_->setLayoutDirection(Qt::RightToLeft);  // the shield after the text
    }
    // One width for both labels, never below 85, so the button does not jump when it switches.
    const QFontMetrics metrics(scanButton_->font());
    const int iconExtra = elevated ? 4 + 16 : 0;
    // The button's own padding comes on top of a label, so a longer one than English is not clipped.
    constexpr int kPadding = 12;
    const int labelWidth = std::max({metrics.horizontalAdvance(localized("Scan")) + iconExtra + kPadding,
                                     metrics.horizontalAdvance(localized("Cancel")) + iconExtra + kPadding, 85});
    scanButton_->setFixedSize(labelWidth, 24);
    layout()->addWidget(scanButton_);
}

void ScanCapsule::addChevron() {
    chevron_ = new QToolButton(this);
    chevron_->setArrowType(Qt::DownArrow);
    chevron_->setAutoRaise(true);
    chevron_->setFixedSize(20, 24);
    chevron_->setAccessibleName(localized("Admin mode options"));
    chevron_->setStyleSheet(QStringLiteral("QToolButton { border: none; color: white; background: transparent; }"));
    chevron_->setPalette(whiteText(chevron_->palette()));
    layout()->addWidget(chevron_);
    connect(chevron_, &QToolButton::clicked, this, &ScanCapsule::showAdminMenu);
}

void ScanCapsule::setScanning(bool scanning) {
    scanButton_->setText(scanning ? localized("Cancel") : localized("Scan"));
    chevron_->setEnabled(!scanning);
}

void ScanCapsule::setDimmed(bool dimmed) {
    scanButton_->setEnabled(!dimmed);
    if (dimmed_ == dimmed) return;
    dimmed_ = dimmed;
    update();
}

void ScanCapsule::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor accent = palette().color(QPalette::Highlight);
    if (dimmed_) accent.setAlphaF(0.4f);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), 5, 5);
    painter.fillPath(path, accent);
}

void ScanCapsule::showAdminMenu() {
    if (!chevron_->isEnabled()) return;
    QMenu menu(this);
    const int buttonWidth = scanButton_->width();
    menu.setMinimumWidth(buttonWidth + 1 + chevron_->width());
    if (isRunningElevated())
        menu.addAction(localized("Scan as Non-Admin"), this, &ScanCapsule::scanAsNonAdminRequested);
    else
        menu.addAction(adminShieldIcon(), localized("Scan as Admin"), this, &ScanCapsule::scanAsAdminRequested);
    // Under the left edge of the Scan button, as wide as the whole control.
    menu.exec(chevron_->mapToGlobal(QPoint(-(buttonWidth + 1), chevron_->height() + 4)));
}

}  // namespace zelvane
