#include "ZelvaneMac/Models/DisplaySignature.hpp"

#include <QGuiApplication>
#include <QScreen>

#include "ScanEngine/Support/LocaleFormat.hpp"

namespace zelvane {

QScreen* primaryDisplay() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return nullptr;
    const auto screens = QGuiApplication::screens();
    for (QScreen* s : screens)
        if (s->geometry().topLeft() == QPoint(0, 0)) return s;
    return QGuiApplication::primaryScreen();
}

QString displaySignatureText(QSizeF size, double scale) {
    return QString::fromStdString(formatFixed(size.width(), 0) + "x" + formatFixed(size.height(), 0) + "@" +
                                  formatFixed(scale, 1));
}

std::optional<QString> currentDisplaySignature() {
    QScreen* s = primaryDisplay();
    if (!s) return std::nullopt;
    return displaySignatureText(QSizeF(s->geometry().size()), s->devicePixelRatio());
}

QString keyWithDisplaySignature(const QString& base) {
    const auto sig = currentDisplaySignature();
    return sig ? base + QLatin1Char('.') + *sig : base;
}

}  // namespace zelvane
