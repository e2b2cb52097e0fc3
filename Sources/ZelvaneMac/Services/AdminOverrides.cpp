#include "ZelvaneMac/Services/AdminOverrides.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Settings/PropertyList.hpp"

namespace zelvane::AdminOverrides {

namespace {

constexpr size_t maxOverridesBytes = 4u << 20;

struct Read {
    std::optional<QByteArray> bytes;
    QString refused;
};

// Opened once, checked on the open descriptor: the file that is checked is the file that is read.
Read readTrustedFile(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return {};
    struct stat st {};
    Read out;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        out.refused = QStringLiteral("not a regular file");
    } else if (st.st_uid != 0) {
        out.refused = QStringLiteral("not owned by root");
    } else if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        out.refused = QStringLiteral("writable by other accounts");
    } else if (size_t(st.st_size) > maxOverridesBytes) {
        out.refused = QStringLiteral("too large");
    } else {
        QByteArray bytes;
        char chunk[65536];
        while (size_t(bytes.size()) <= maxOverridesBytes) {
            const ssize_t r = ::read(fd, chunk, sizeof chunk);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) break;
            bytes.append(chunk, r);
        }
        out.bytes = bytes;
    }
    ::close(fd);
    return out;
}

}  // namespace

const QStringList& protectedSubstrings() {
    static const QStringList list{
        QStringLiteral("hasFullDiskAccessCached"),
        QStringLiteral("suppressFullDiskAccessPrompt"),
        QStringLiteral("ZelvaneMac.MainWindowFrame"),
        QStringLiteral("ZelvaneMac.TreeSplit"),
        QStringLiteral("ZelvaneMac.ExtSplit"),
        QStringLiteral("ZelvaneMac.FileListTableView.columns"),
        QStringLiteral("ZelvaneMac.FileTreeOutlineView.columns"),
        QStringLiteral("ZelvaneMac.ExtensionTableView.columns"),
    };
    return list;
}

Outcome applyAdminOverridesIfPresent(Preferences& preferences, bool portableModeActive, const QString& filePath) {
    Outcome outcome;
    if (!portableModeActive) {
        const Read file = readTrustedFile(filePath);
        outcome.ignoredBecause = file.refused;
        if (file.bytes && !file.bytes->isEmpty()) {
            if (const auto values = PropertyList::dictionaryFromData(*file.bytes)) {
                for (auto it = values->cbegin(); it != values->cend(); ++it) {
                    bool isProtected = false;
                    for (const QString& s : protectedSubstrings()) {
                        if (it.key().contains(s, Qt::CaseSensitive)) {
                            isProtected = true;
                            break;
                        }
                    }
                    if (isProtected) continue;
                    if (preferences.setObject(it.key(), it.value())) ++outcome.applied;
                }
                outcome.lockedByAdmin = values->contains(QStringLiteral("checkForUpdatesEnabled"));
            }
        }
    }
    preferences.set(PreferenceKeys::checkForUpdatesLockedByAdmin, outcome.lockedByAdmin);
    return outcome;
}

}  // namespace zelvane::AdminOverrides
