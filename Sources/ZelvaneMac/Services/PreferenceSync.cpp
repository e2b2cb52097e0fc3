#include "ZelvaneMac/Services/PreferenceSync.hpp"

#include <QDir>
#include <QFile>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Settings/PropertyList.hpp"
#include "ZelvaneMac/Core/Text/PathText.hpp"
#include "Platform/RegularFile.hpp"

namespace zelvane {

namespace {

// Settings files are small; anything larger than this is not a settings file of ours.
constexpr size_t maxSettingsBytes = 16u << 20;

std::optional<QVariantMap> readUserSettings(const UserAccount& account) {
    const auto bytes = readFileAsUser(account, settingsPathOf(account).toStdString(), maxSettingsBytes);
    if (!bytes) return std::nullopt;
    return PropertyList::dictionaryFromData(QByteArray::fromStdString(*bytes));
}

// The value of a `KEY="value"` line of user-dirs.dirs, with $HOME expanded; empty if absent.
QString userDirsValue(const QString& home, const QString& key) {
    // A small text file; only a regular one is read (a FIFO in its place would block the open).
    const RegularFileBytes read =
        readRegularFile(pathBytesFromQString(home + QStringLiteral("/.config/user-dirs.dirs")), 1 << 20);
    if (read.error) return {};
    const QByteArray prefix = key.toUtf8() + '=';
    for (const QByteArray& rawLine : QByteArray::fromStdString(read.bytes).split('\n')) {
        const QByteArray line = rawLine.trimmed();
        if (!line.startsWith(prefix)) continue;
        QByteArray value = line.mid(prefix.size());
        if (value.size() < 2 || !value.startsWith('"') || !value.endsWith('"')) return {};
        value = value.mid(1, value.size() - 2);
        QString path = QString::fromUtf8(value);
        if (path.startsWith(QStringLiteral("$HOME/"))) path = home + path.mid(5);
        else if (path == QStringLiteral("$HOME")) path = home;
        // The file may only name absolute places; anything else is ignored as the desktop does.
        return path.startsWith(u'/') ? path : QString();
    }
    return {};
}

}  // namespace

QString settingsPathOf(const UserAccount& account) {
    return QString::fromStdString(account.home) + QStringLiteral("/.config/ZelvaneMac/ZelvaneMac.plist");
}

void syncPreferencesFromRealUserIfElevated(Preferences& preferences, std::optional<UserAccount> realUser) {
    if (!realUser) return;
    const std::optional<QVariantMap> values = readUserSettings(*realUser);
    if (!values) return;
    for (auto it = values->cbegin(); it != values->cend(); ++it) preferences.setObject(it.key(), it.value());
}

int syncPreferencesBackToRealUserIfElevated(Preferences& preferences, std::optional<UserAccount> realUser) {
    if (!realUser) return 0;
    QVariantMap merged = readUserSettings(*realUser).value_or(QVariantMap{});
    const QVariantMap own = preferences.dictionaryRepresentation();
    for (auto it = own.cbegin(); it != own.cend(); ++it) merged.insert(it.key(), it.value());
    const QByteArray xml = PropertyList::xmlFromDictionary(merged);
    return replaceFileAsUser(*realUser, settingsPathOf(*realUser).toStdString(),
                             std::string_view(xml.constData(), size_t(xml.size())));
}

QString documentsDirectoryOf(const QString& home) {
    const QString configured = userDirsValue(home, QStringLiteral("XDG_DOCUMENTS_DIR"));
    return configured.isEmpty() ? home + QStringLiteral("/Documents") : QDir::cleanPath(configured);
}

QString realUserDocumentsDirectory() {
    if (const auto user = elevatedRealUser()) return documentsDirectoryOf(QString::fromStdString(user->home));
    return documentsDirectoryOf(QDir::homePath());
}

}  // namespace zelvane
