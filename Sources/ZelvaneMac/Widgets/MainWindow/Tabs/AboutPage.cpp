#include "ZelvaneMac/Widgets/MainWindow/Tabs/AboutPage.hpp"

#include <QLabel>
#include <QVBoxLayout>

#include "ZelvaneMac/Core/Diagnostics/AppVersion.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Widgets/Common/AppIcon.hpp"
#include "ZelvaneMac/Widgets/Common/TextStyles.hpp"
#include "ZelvaneMac/Widgets/MainWindow/TopBar/BrandingPanel.hpp"

namespace zelvane {

QString aboutPageDateText(std::string_view buildDate) {
    const QString text = QString::fromUtf8(buildDate.data(), qsizetype(buildDate.size()));
    if (text.size() != 8) return text;
    return text.left(4) + QLatin1Char('/') + text.mid(4, 2) + QLatin1Char('/') + text.mid(6, 2);
}

namespace {

QLabel* captionLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(captionFont());
    label->setAlignment(Qt::AlignCenter);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, secondaryTextColor(palette));
    label->setPalette(palette);
    return label;
}

}  // namespace

AboutPage::AboutPage(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setSpacing(8);
    column->addStretch(1);

    auto* icon = new QLabel(this);
    const qreal dpr = devicePixelRatioF();
    QPixmap pixmap = QPixmap::fromImage(zelvaneIconImage(int(56 * dpr + 0.5)));
    pixmap.setDevicePixelRatio(dpr);
    icon->setPixmap(pixmap);
    icon->setFixedSize(56, 56);
    column->addWidget(icon, 0, Qt::AlignHCenter);

    const QString version = QString::fromUtf8(AppVersion::version.data(), qsizetype(AppVersion::version.size()));
    auto* title = new QLabel(fillPlaceholders(localized("ZelvaneMac v%@"), {version}), this);
    title->setFont(title2Font(QFont::Bold));
    title->setAlignment(Qt::AlignCenter);
    title->setTextFormat(Qt::PlainText);
    column->addWidget(title);

    const std::string_view buildDate = AppVersion::buildDate();
    column->addWidget(captionLabel(fillPlaceholders(localized("Version Date: %@"), {aboutPageDateText(buildDate)}), this));
    // The same notice as the branding panel's: one maker everywhere the program names it.
    column->addWidget(captionLabel(
        BrandingPanel::makerNotice(QString::fromUtf8(buildDate.data(), qsizetype(buildDate.size()))), this));
    column->addWidget(captionLabel(localized("Disk space analyser"), this));
    column->addStretch(1);
}

}  // namespace zelvane
