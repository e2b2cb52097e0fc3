#include "ZelvaneMac/Widgets/Common/FolderIconCache.hpp"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStyle>

#include "Platform/RegularFile.hpp"
#include "ZelvaneMac/Core/Support/BackgroundJob.hpp"
#include "ZelvaneMac/Core/Text/PathText.hpp"

namespace zelvane {

FolderIconCache& FolderIconCache::shared() {
    static FolderIconCache* cache = new FolderIconCache(QCoreApplication::instance());
    return *cache;
}

FolderIconCache::FolderIconCache(QObject* parent) : QObject(parent) {
    QStyle* style = QApplication::style();
    generic_ = QIcon::fromTheme(QStringLiteral("folder"), style ? style->standardIcon(QStyle::SP_DirIcon) : QIcon());
    accessDenied_ = QIcon::fromTheme(QStringLiteral("dialog-warning"),
                                     style ? style->standardIcon(QStyle::SP_MessageBoxWarning) : QIcon());
    const std::pair<QStandardPaths::StandardLocation, const char*> places[] = {
        {QStandardPaths::HomeLocation, "user-home"},          {QStandardPaths::DesktopLocation, "user-desktop"},
        {QStandardPaths::DocumentsLocation, "folder-documents"}, {QStandardPaths::DownloadLocation, "folder-download"},
        {QStandardPaths::MusicLocation, "folder-music"},      {QStandardPaths::PicturesLocation, "folder-pictures"},
        {QStandardPaths::MoviesLocation, "folder-videos"},
    };
    for (const auto& [location, name] : places) {
        const QString p = QStandardPaths::writableLocation(location);
        // Unset standard folders fall back to the home folder; only the home itself takes its icon.
        if (!p.isEmpty() && !specialFolders_.contains(p)) specialFolders_.insert(p, QString::fromLatin1(name));
    }
}

QString FolderIconCache::lookUpIconName(const QString& path, const QHash<QString, QString>& special) {
    auto it = special.constFind(path);
    if (it != special.constEnd()) return *it;
    // A small key-value file; the first "Icon=" line names the folder's icon. Whoever owns the
    // folder wrote it: only a regular file is read (a FIFO would hold a background thread for good,
    // a device would never end), and only its first lines.
    RegularFileOpening opened = openRegularFile(pathBytesFromQString(path + QStringLiteral("/.directory")));
    if (opened.error) return {};
    QFile desktopEntry;
    if (!desktopEntry.open(opened.fd.get(), QIODevice::ReadOnly)) return {};
    for (int lines = 0; lines < 64 && !desktopEntry.atEnd(); ++lines) {
        const QByteArray line = desktopEntry.readLine(4096).trimmed();
        if (line.startsWith("Icon=")) return QString::fromUtf8(line.mid(5)).trimmed();
    }
    return {};
}

QIcon FolderIconCache::iconFor(const QString& path) {
    auto it = cache_.constFind(path);
    if (it != cache_.constEnd()) return *it;
    if (!pending_.contains(path)) {
        pending_.insert(path);
        runInBackground(
            this, [path, special = specialFolders_] { return lookUpIconName(path, special); },
            [this, path](const QString& name) { apply(path, name); });
    }
    return generic_;
}

void FolderIconCache::apply(const QString& path, const QString& iconName) {
    pending_.remove(path);
    QIcon icon = generic_;
    if (!iconName.isEmpty()) {
        // A picture named by its path is loaded when the icon is drawn, on this thread: only a
        // regular file will do.
        icon = QDir::isAbsolutePath(iconName) && QFileInfo(iconName).isFile() ? QIcon(iconName)
                                                                            : QIcon::fromTheme(iconName, generic_);
    }
    cache_.insert(path, icon);
    emit iconReady(path);
}

}  // namespace zelvane
