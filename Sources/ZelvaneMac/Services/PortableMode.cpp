#include "ZelvaneMac/Services/PortableMode.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "Platform/FileReplacement.hpp"
#include "Platform/FileSystemInfo.hpp"
#include "Platform/RegularFile.hpp"
#include "Platform/RemovableMedia.hpp"
#include "ZelvaneMac/Core/Scanning/VolumeEnumerator.hpp"
#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Settings/PropertyList.hpp"
#include "ZelvaneMac/Core/Text/PathText.hpp"

namespace zelvane {

namespace {

constexpr qint64 maxSettingsBytes = 16 << 20;

QString settingsFile(const QString& dataFolder) { return dataFolder + QStringLiteral("/Settings.plist"); }

}  // namespace

namespace PortableModeFacts {

QString bundlePath() { return QCoreApplication::applicationDirPath(); }

QString dataFolderPath(const QString& bundle) {
    return QFileInfo(bundle).absolutePath() + QStringLiteral("/ZelvaneMac Data");
}

bool isRunningFromNonInternalVolume(const QString& bundle) {
    const auto facts = driveFactsForPath(QFile::encodeName(bundle).toStdString());
    if (!facts) return false;
    if (facts->isInternal == std::optional<bool>(false)) return true;
    if (facts->isRemovable.value_or(false)) return true;
    return facts->isEjectable.value_or(false);
}

bool isPrepared(const QString& bundle) { return QFileInfo(dataFolderPath(bundle)).isDir(); }

std::optional<QString> currentVolumeDisplayName(const QString& bundle) {
    const auto mount = mountEntryForPath(QFile::encodeName(bundle).toStdString());
    if (!mount) return std::nullopt;
    const QString point = QFile::decodeName(QByteArray::fromStdString(mount->mountPoint));
    for (const VolumeInfo& v : enumerateVolumes()) {
        if (v.path == point && !v.displayName.isEmpty()) return v.displayName;
    }
    const QString name = QFileInfo(point).fileName();
    if (name.isEmpty()) return std::nullopt;
    return name;
}

}  // namespace PortableModeFacts

PortableMode::PortableMode(QString bundle, std::function<bool(const QString&)> isNonInternal, QObject* parent)
    : QObject(parent), bundle_(std::move(bundle)), isNonInternal_(std::move(isNonInternal)) {
    if (!isNonInternal_) isNonInternal_ = [](const QString& b) { return PortableModeFacts::isRunningFromNonInternalVolume(b); };
}

std::optional<QString> PortableMode::dataFolderPath() const {
    if (!isActive_) return std::nullopt;
    return PortableModeFacts::dataFolderPath(bundle_);
}

void PortableMode::activate() {
    isActive_ = true;
    driveName_ = PortableModeFacts::currentVolumeDisplayName(bundle_);
    emit changed();
}

void PortableMode::activateIfPrepared() {
    if (isActive_) return;
    if (isNonInternal_(bundle_) && PortableModeFacts::isPrepared(bundle_)) {
        activate();
    }
}

bool PortableMode::prepare() {
    if (!isNonInternal_(bundle_)) return false;
    if (!QDir().mkpath(PortableModeFacts::dataFolderPath(bundle_))) return false;
    if (!PortableModeFacts::isPrepared(bundle_)) return false;
    if (!isActive_) activate();
    return true;
}

const QSet<QString>& PortableMode::syncExcludedKeys() {
    static const QSet<QString> keys{QStringLiteral("hasFullDiskAccessCached"),
                                    QStringLiteral("suppressFullDiskAccessPrompt")};
    return keys;
}

void PortableMode::syncPreferencesFromPortableDriveIfActive(Preferences& preferences) const {
    const auto folder = dataFolderPath();
    if (!folder) return;
    // Only a regular file: a FIFO or a device on the drive in its place must not hold up the start.
    const RegularFileBytes read = readRegularFile(pathBytesFromQString(settingsFile(*folder)), size_t(maxSettingsBytes));
    if (read.error) return;
    const auto values = PropertyList::dictionaryFromData(QByteArray::fromStdString(read.bytes));
    if (!values) return;
    for (auto it = values->cbegin(); it != values->cend(); ++it) {
        if (syncExcludedKeys().contains(it.key())) continue;
        preferences.setObject(it.key(), it.value());
    }
}

int PortableMode::syncPreferencesBackToPortableDriveIfActive(Preferences& preferences,
                                                             std::optional<UserAccount> realUser) const {
    const auto folder = dataFolderPath();
    if (!folder) return 0;
    QVariantMap values = preferences.dictionaryRepresentation();
    for (const QString& key : syncExcludedKeys()) values.remove(key);
    const QByteArray xml = PropertyList::xmlFromDictionary(values);
    const std::string target = QFile::encodeName(settingsFile(*folder)).toStdString();
    const std::string_view bytes(xml.constData(), size_t(xml.size()));
    // A drive pulled out mid-write must not leave a cut file: the new file replaces the old one
    // only once complete. An elevated run writes as the user, so the drive's owner keeps it.
    if (realUser) return replaceFileAsUser(*realUser, target, bytes);
    return replaceFileContents(target, bytes);
}

}  // namespace zelvane
