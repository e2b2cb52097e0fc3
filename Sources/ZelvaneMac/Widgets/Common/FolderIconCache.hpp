#pragma once

#include <QHash>
#include <QIcon>
#include <QObject>
#include <QSet>
#include <QString>

namespace zelvane {

// Folder icons by full path. The first request for a path answers with the generic folder icon and
// looks up, on the thread pool, which icon the folder wants (the user's home and its standard
// folders, a ".directory" file naming an icon); the icon itself is made on the GUI thread, cached,
// and announced with `iconReady(path)`. Views paint from the cache by the path a row shows at
// paint time, so a late icon reaches only rows that still show that folder.
//
// One cache serves the whole program (entries are never dropped by it: a folder given another icon
// on disk shows it after a restart). GUI thread only, except the lookups it starts.
class FolderIconCache final : public QObject {
    Q_OBJECT
public:
    static FolderIconCache& shared();

    explicit FolderIconCache(QObject* parent = nullptr);
    QIcon iconFor(const QString& path);
    bool isCached(const QString& path) const { return cache_.contains(path); }
    QIcon genericIcon() const { return generic_; }
    QIcon accessDeniedIcon() const { return accessDenied_; }

    // The theme icon name a folder asks for, or "" for the plain folder icon. Runs on any thread.
    static QString lookUpIconName(const QString& path, const QHash<QString, QString>& specialFolders);

signals:
    void iconReady(const QString& path);

private:
    void apply(const QString& path, const QString& iconName);

    QHash<QString, QIcon> cache_;
    QSet<QString> pending_;
    QHash<QString, QString> specialFolders_;  // path -> theme icon name
    QIcon generic_;
    QIcon accessDenied_;
};

}  // namespace zelvane
