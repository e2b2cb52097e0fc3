#include "ZelvaneMac/Widgets/Common/EmptyStateView.hpp"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include "ZelvaneMac/Widgets/Common/TextStyles.hpp"

namespace zelvane {

namespace {

constexpr int kSymbolSize = 40;
constexpr int kImageFrame = 48;
constexpr int kColumnWidth = 560;

QLabel* centredLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

EmptyStateView::EmptyStateView(const QString& title, Icon icon, const QString& description, QWidget* parent)
    : QWidget(parent), icon_(std::move(icon)) {
    // The texts wrap inside a column of readable width that stays centred both ways; widgets in it
    // take the column's width, so wrapped text is measured against the width it really gets.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(16, 16, 16, 16);
    outer->addStretch(1);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    auto* columnWidget = new QWidget(this);
    columnWidget->setMaximumWidth(kColumnWidth);
    columnWidget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    column_ = new QVBoxLayout(columnWidget);
    column_->setContentsMargins(0, 0, 0, 0);
    column_->setSpacing(8);
    iconLabel_ = new QLabel(columnWidget);
    iconLabel_->setAlignment(Qt::AlignCenter);
    titleLabel_ = centredLabel(columnWidget);
    titleLabel_->setFont(title2Font(QFont::DemiBold));
    descriptionLabel_ = centredLabel(columnWidget);
    column_->addWidget(iconLabel_, 0, Qt::AlignHCenter);
    column_->addWidget(titleLabel_);
    column_->addWidget(descriptionLabel_);
    row->addWidget(columnWidget, 100);
    row->addStretch(1);
    outer->addLayout(row);
    outer->addStretch(1);
    setTitle(title);
    setDescription(description);
    renderIcon();
}

void EmptyStateView::setTitle(const QString& title) { titleLabel_->setText(title); }

void EmptyStateView::setDescription(const QString& description) {
    descriptionLabel_->setText(description);
    QPalette palette = descriptionLabel_->palette();
    palette.setColor(QPalette::WindowText, secondaryTextColor(this->palette()));
    descriptionLabel_->setPalette(palette);
    descriptionLabel_->setVisible(descriptionWidget_ == nullptr && !description.isEmpty());
}

void EmptyStateView::setDescriptionWidget(QWidget* widget) {
    if (descriptionWidget_) descriptionWidget_->deleteLater();
    descriptionWidget_ = widget;
    descriptionLabel_->setVisible(widget == nullptr && !descriptionLabel_->text().isEmpty());
    if (widget) {
        widget->setParent(descriptionLabel_->parentWidget());
        // Secondary text unless the host's widget chose its own colours.
        QPalette palette = widget->palette();
        palette.setColor(QPalette::WindowText, secondaryTextColor(this->palette()));
        widget->setPalette(palette);
        column_->addWidget(widget);
    }
}

void EmptyStateView::setIcon(Icon icon) {
    icon_ = std::move(icon);
    renderIcon();
}

QPixmap EmptyStateView::iconPixmap() const { return iconLabel_->pixmap(); }

void EmptyStateView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
        renderIcon();
        setDescription(descriptionLabel_->text());
    }
    QWidget::changeEvent(event);
}

void EmptyStateView::renderIcon() {
    const qreal dpr = devicePixelRatioF();
    QPixmap pixmap;
    if (const auto* name = std::get_if<QString>(&icon_)) {
        // A themed symbol is tinted with the secondary colour, as text of that style would be.
        const QIcon themed = QIcon::fromTheme(*name);
        if (!themed.isNull()) {
            QPixmap source = themed.pixmap(QSize(kSymbolSize, kSymbolSize), dpr);
            pixmap = QPixmap(source.size());
            pixmap.setDevicePixelRatio(source.devicePixelRatio());
            pixmap.fill(Qt::transparent);
            QPainter painter(&pixmap);
            painter.drawPixmap(0, 0, source);
            painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
            painter.fillRect(pixmap.rect(), secondaryTextColor(palette()));
        }
    } else if (const auto* image = std::get_if<QImage>(&icon_); image && !image->isNull()) {
        const QSize fitted = image->size().scaled(QSize(kImageFrame, kImageFrame) * dpr, Qt::KeepAspectRatio);
        pixmap = QPixmap::fromImage(image->scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        pixmap.setDevicePixelRatio(dpr);
    }
    iconLabel_->setPixmap(pixmap);
    iconLabel_->setVisible(!pixmap.isNull());
    if (std::holds_alternative<QImage>(icon_)) {
        iconLabel_->setFixedSize(kImageFrame, kImageFrame);
    } else {
        iconLabel_->setMinimumSize(0, 0);
        iconLabel_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
}

}  // namespace zelvane
