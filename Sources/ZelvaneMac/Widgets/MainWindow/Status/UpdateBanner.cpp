#include "ZelvaneMac/Widgets/MainWindow/Status/UpdateBanner.hpp"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>

#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Services/UpdateChecker.hpp"
#include "ZelvaneMac/Window/WindowServices.hpp"

namespace zelvane {

namespace {

// A filled circle with a downward arrow, drawn so that no icon theme is needed.
QPixmap downloadSymbol(qreal scale) {
    const int side = 18;
    QPixmap pixmap(QSize(side, side) * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 149, 0));
    p.drawEllipse(QRectF(0.5, 0.5, side - 1, side - 1));
    QPen pen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.drawLine(QPointF(9, 4.5), QPointF(9, 12.5));
    p.drawLine(QPointF(5.5, 9.5), QPointF(9, 13));
    p.drawLine(QPointF(12.5, 9.5), QPointF(9, 13));
    return pixmap;
}

}  // namespace

UpdateBanner::UpdateBanner(const WindowServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {
    setFixedHeight(36);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(16, 0, 16, 0);
    row->setSpacing(12);
    auto* symbol = new QLabel(this);
    symbol->setPixmap(downloadSymbol(devicePixelRatioF()));
    row->addWidget(symbol, 0, Qt::AlignVCenter);
    message_ = new QLabel(this);
    message_->setStyleSheet(QStringLiteral("color: black;"));
    message_->setTextFormat(Qt::PlainText);
    // The version is the server's text: however long it is, the message takes the room the row
    // has (cut short with an ellipsis, whole in its tooltip) and never widens the window.
    message_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    row->addWidget(message_, 1, Qt::AlignVCenter);
    auto* view = new QPushButton(localized("View Update"), this);
    view->setStyleSheet(QStringLiteral("color: black;"));
    row->addWidget(view, 0, Qt::AlignVCenter);
    auto* close = new QToolButton(this);
    close_ = close;
    close->setAutoRaise(true);
    close->setText(QStringLiteral("✕"));
    close->setToolTip(localized("Close"));
    close->setStyleSheet(QStringLiteral("color: rgba(0, 0, 0, 153); border: none;"));
    row->addWidget(close, 0, Qt::AlignVCenter);

    connect(view, &QPushButton::clicked, this, [this] {
        if (UpdateChecker* checker = services_.updateChecker())
            if (const auto& update = checker->availableUpdate()) QDesktopServices::openUrl(update->infoURL);
    });
    connect(close, &QToolButton::clicked, this, [this] {
        if (UpdateChecker* checker = services_.updateChecker()) checker->clearAvailableUpdate();
    });
    connect(&services_, &WindowServices::changed, this, &UpdateBanner::follow);
    follow();
}

QString UpdateBanner::text() const { return fullText_; }

void UpdateBanner::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitMessage();
}

void UpdateBanner::fitMessage() {
    message_->setText(message_->fontMetrics().elidedText(fullText_, Qt::ElideRight, message_->width()));
    message_->setToolTip(message_->text() == fullText_ ? QString() : fullText_);
}

void UpdateBanner::follow() {
    disconnect(connection_);
    if (UpdateChecker* checker = services_.updateChecker())
        connection_ = connect(checker, &UpdateChecker::availableUpdateChanged, this, &UpdateBanner::refresh);
    refresh();
}

void UpdateBanner::refresh() {
    const UpdateChecker* checker = services_.updateChecker();
    const auto* update = checker && checker->availableUpdate() ? &*checker->availableUpdate() : nullptr;
    if (update) {
        fullText_ = fillPlaceholders(
            localized("An update is available (v%@). Click on the \"View Update\" button to learn more."),
            {update->version});
        fitMessage();
    }
    if (offered_ == (update != nullptr)) return;
    offered_ = update != nullptr;
    emit offeredChanged(offered_);
}

void UpdateBanner::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QLinearGradient gradient(0, 0, 0, height());
    gradient.setColorAt(0, Qt::white);
    gradient.setColorAt(1, QColor(255, 230, 0));
    p.fillRect(rect(), gradient);
}

}  // namespace zelvane
