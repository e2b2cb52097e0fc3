#include "ZelvaneMac/Widgets/MainWindow/Tabs/TabStrip.hpp"

#include <QHBoxLayout>
#include <QPainter>

#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Widgets/Common/TextStyles.hpp"
#include "ZelvaneMac/Window/MainWindowController.hpp"
#include "ZelvaneMac/Window/TopRoundedRectangle.hpp"

namespace zelvane {

namespace {

constexpr int kHorizontalMargin = 14;
constexpr int kVerticalMargin = 6;
constexpr qreal kCornerRadius = 5;

}  // namespace

TabButton::TabButton(const QString& title, QWidget* parent) : QAbstractButton(parent) {
    setText(title);
    setFont(calloutFont());
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void TabButton::setSelected(bool selected) {
    if (selected_ == selected) return;
    selected_ = selected;
    update();
}

QSize TabButton::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text()) + 2 * kHorizontalMargin, metrics.height() + 2 * kVerticalMargin};
}

void TabButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor secondary = secondaryTextColor(palette());
    if (selected_) {
        QColor fill = palette().color(QPalette::WindowText);
        fill.setAlphaF(0.55f * 0.18f);
        painter.fillPath(topRoundedRectanglePath(QRectF(rect()), kCornerRadius), fill);
    }
    painter.setPen(selected_ ? palette().color(QPalette::WindowText) : secondary);
    painter.setFont(font());
    painter.drawText(rect(), Qt::AlignCenter, text());
    if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
        QPen pen(palette().color(QPalette::Highlight));
        pen.setWidthF(1.5);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(topRoundedRectanglePath(QRectF(rect()).adjusted(1, 1, -1, -1), kCornerRadius));
    }
}

TabStrip::TabStrip(MainWindowController& controller, QWidget* parent)
    : QWidget(parent), controller_(controller) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 6, 8, 0);
    row->setSpacing(2);
    const std::array<std::pair<ContentTab, const char*>, 3> tabs{{
        {ContentTab::treeView, textKey("Tree View")},
        {ContentTab::fileView, textKey("File View")},
        {ContentTab::about, textKey("About")},
    }};
    for (const auto& [tab, title] : tabs) {
        auto* button = new TabButton(localized(title), this);
        buttons_[size_t(tab)] = button;
        row->addWidget(button, 0, Qt::AlignVCenter);
        connect(button, &QAbstractButton::clicked, this, [this, tab = tab] { controller_.setSelectedTab(tab); });
    }
    row->addStretch(1);
    follow(controller_.selectedTab());
    connect(&controller_, &MainWindowController::selectedTabChanged, this, &TabStrip::follow);
}

void TabStrip::follow(ContentTab selected) {
    for (size_t i = 0; i < buttons_.size(); ++i) buttons_[i]->setSelected(ContentTab(i) == selected);
}

}  // namespace zelvane
