#include "ZelvaneMac/Widgets/MainWindow/TopBar/BrandingPanel.hpp"

#include <QDesktopServices>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>

#include "ZelvaneMac/Core/Diagnostics/AppVersion.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Services/PortableMode.hpp"
#include "ZelvaneMac/Widgets/Common/AppIcon.hpp"
#include "ZelvaneMac/Window/WindowServices.hpp"

namespace zelvane {

QString BrandingPanel::portableModeHelpText(bool isActive, const std::optional<QString>& driveName) {
    if (!isActive) return {};
    if (!driveName) return localized("Portable Mode");
    return fillPlaceholders(localized("Portable Mode: settings are kept on \u201C%@\u201D"), {*driveName});
}

QString BrandingPanel::makerNotice(const QString& buildDate) {
    return fillPlaceholders(localized("\u00A9 %@ Zelvane Software"), {buildDate.left(4)});
}

BrandingPanel::BrandingPanel(const WindowServices& services, QWidget* parent)
    : QWidget(parent), services_(services) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    icon_ = new QLabel(this);
    const qreal scale = devicePixelRatioF();
    QPixmap pixmap = QPixmap::fromImage(zelvaneIconImage(int(56 * scale)));
    pixmap.setDevicePixelRatio(scale);
    icon_->setPixmap(pixmap);
    icon_->setFixedSize(56, 56);
    row->addWidget(icon_, 0, Qt::AlignTop);

    auto* text = new QVBoxLayout;
    text->setSpacing(2);
    auto* title = new QLabel(fillPlaceholders(localized("ZelvaneMac v%@"), {QString::fromLatin1(AppVersion::version.data(), qsizetype(AppVersion::version.size()))}), this);
    QFont headline = title->font();
    headline.setBold(true);
    title->setFont(headline);
    text->addWidget(title);
    QFont caption = font();
    caption.setPointSizeF(caption.pointSizeF() * 0.85);
    auto* notice = new QLabel(makerNotice(QString::fromLatin1(AppVersion::buildDate().data(), qsizetype(AppVersion::buildDate().size()))), this);
    notice->setFont(caption);
    notice->setForegroundRole(QPalette::PlaceholderText);
    text->addWidget(notice);
    auto* host = new QLabel(QString::fromLatin1(makerHost), this);
    host->setFont(caption);
    host->setForegroundRole(QPalette::PlaceholderText);
    host->setCursor(Qt::PointingHandCursor);
    host->installEventFilter(this);
    host->setObjectName(QStringLiteral("makerHost"));
    text->addWidget(host);
    text->addStretch(1);
    row->addLayout(text);

    connect(&services_, &WindowServices::changed, this, &BrandingPanel::follow);
    follow();
}

void BrandingPanel::follow() {
    disconnect(connection_);
    if (PortableMode* mode = services_.portableMode())
        connection_ = connect(mode, &PortableMode::changed, this, &BrandingPanel::refresh);
    refresh();
}

void BrandingPanel::refresh() {
    const PortableMode* mode = services_.portableMode();
    icon_->setToolTip(mode ? portableModeHelpText(mode->isActive(), mode->driveName()) : QString());
}

bool BrandingPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched->objectName() == QLatin1String("makerHost") && event->type() == QEvent::MouseButtonRelease) {
        QDesktopServices::openUrl(QUrl(QStringLiteral("https://") + QString::fromLatin1(makerHost)));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace zelvane
