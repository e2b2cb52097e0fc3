#include "ZelvaneMac/Widgets/MainWindow/Tabs/TreemapInfoStrip.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ZelvaneMac/Core/Text/ToolTipText.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"

namespace zelvane {

TreemapInfoStrip::TreemapInfoStrip(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(4, 0, 4, 0);
    rows->setSpacing(0);
    auto* row1 = new QHBoxLayout;
    row1->setSpacing(4);
    QFont callout = font();
    callout.setPointSizeF(callout.pointSizeF() * 0.95);
    auto makeLabel = [&] {
        auto* l = new QLabel(this);
        l->setTextFormat(Qt::PlainText);
        l->setFont(callout);
        l->setForegroundRole(QPalette::PlaceholderText);
        return l;
    };
    path_ = makeLabel();
    path_->setMinimumWidth(40);
    dash_ = makeLabel();
    size_ = makeLabel();
    row1->addStretch();
    row1->addWidget(path_, 0);
    row1->addWidget(dash_);
    row1->addWidget(size_);
    row1->addStretch();
    rows->addLayout(row1);
    zoomRow_ = new QWidget(this);
    auto* row2 = new QHBoxLayout(zoomRow_);
    row2->setContentsMargins(0, 0, 0, 0);
    row2->setSpacing(4);
    auto zoomButton = [&](const QString& label, void (TreemapInfoStrip::*request)()) {
        auto* b = new QPushButton(label, zoomRow_);
        b->setFont(callout);
        b->setFixedSize(22, 18);
        connect(b, &QPushButton::clicked, this, request);
        row2->addWidget(b);
    };
    zoomButton(QStringLiteral(".."), &TreemapInfoStrip::zoomOutRequested);
    zoomButton(QStringLiteral("/"), &TreemapInfoStrip::zoomResetRequested);
    row2->addStretch();
    rows->addWidget(zoomRow_);
    setFixedHeight(28);
}

void TreemapInfoStrip::setTexts(const QStringList& texts, bool zoomed, int room) {
    QStringList t = texts;
    if (!t.isEmpty()) t[0] = shownName(t[0], layoutDirection());
    const QFontMetrics fm(path_->font());
    path_->setText(fm.elidedText(t.value(0), Qt::ElideMiddle, room));
    path_->setToolTip(plainToolTip(t.value(0)));
    dash_->setVisible(t.size() == 3);
    size_->setVisible(t.size() == 3);
    dash_->setText(t.value(1));
    size_->setText(t.value(2));
    zoomRow_->setVisible(zoomed);
    setFixedHeight(zoomed ? 48 : 28);
}

}  // namespace zelvane
