#include "ZelvaneMac/Models/FileTypeIcons.hpp"

#include <QHash>
#include <QMimeDatabase>

namespace zelvane {

namespace {

QIcon genericDocumentIcon() {
    static const QIcon icon = QIcon::fromTheme(QStringLiteral("application-octet-stream"),
                                               QIcon::fromTheme(QStringLiteral("text-x-generic")));
    return icon;
}

}  // namespace

QIcon fileTypeIcon(const QString& extension) {
    // One per extension seen by the program's views: a few hundred at most.
    static QHash<QString, QIcon> cache;
    auto it = cache.constFind(extension);
    if (it != cache.constEnd()) return *it;
    QIcon icon;
    if (!extension.isEmpty()) {
        const QMimeDatabase db;
        const QMimeType type = db.mimeTypeForFile(QStringLiteral("x.") + extension, QMimeDatabase::MatchExtension);
        if (type.isValid() && !type.isDefault()) {
            icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
        }
    }
    if (icon.isNull()) icon = genericDocumentIcon();
    cache.insert(extension, icon);
    return icon;
}

}  // namespace zelvane
