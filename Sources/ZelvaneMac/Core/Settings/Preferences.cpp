#include "ZelvaneMac/Core/Settings/Preferences.hpp"

#include "ZelvaneMac/Core/Settings/PropertyList.hpp"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>

namespace zelvane {
namespace {

QString keyString(std::string_view name) {
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

bool readPlist(QIODevice& device, QSettings::SettingsMap& map) {
    auto dict = PropertyList::dictionaryFromData(device.readAll());
    if (!dict) return false;
    map = *dict;
    return true;
}

bool writePlist(QIODevice& device, const QSettings::SettingsMap& map) {
    const QByteArray xml = PropertyList::xmlFromDictionary(map);
    return !xml.isEmpty() && device.write(xml) == xml.size();
}

bool isIntegerType(int typeId) {
    switch (typeId) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

std::optional<QStringList> decodeJSONStringList(const QString& text) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray()) return std::nullopt;
    QStringList list;
    const QJsonArray array = doc.array();
    list.reserve(array.size());
    for (const QJsonValue& v : array) {
        if (!v.isString()) return std::nullopt;
        list.append(v.toString());
    }
    return list;
}

}  // namespace

QSettings::Format Preferences::settingsFormat() {
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("plist"), readPlist, writePlist, Qt::CaseSensitive);
    return format;
}

QString Preferences::standardFilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/ZelvaneMac/ZelvaneMac.plist");
}

Preferences::Preferences() : Preferences(standardFilePath()) {}

Preferences::Preferences(const QString& filePath, QObject* parent)
    : QObject(parent), settings_(std::make_unique<QSettings>(filePath, settingsFormat())) {
    // QSaveFile underneath: a temporary file renamed over the old one once it is complete.
    settings_->setAtomicSyncRequired(true);
}

Preferences::~Preferences() = default;

QString Preferences::filePath() const { return settings_->fileName(); }

QVariant Preferences::object(const QString& key) const { return settings_->value(key); }

std::optional<bool> Preferences::boolValue(const QString& key) const {
    const QVariant v = object(key);
    if (v.typeId() != QMetaType::Bool) return std::nullopt;
    return v.toBool();
}

std::optional<int64_t> Preferences::integerValue(const QString& key) const {
    const QVariant v = object(key);
    if (!isIntegerType(v.typeId())) return std::nullopt;
    return static_cast<int64_t>(v.toLongLong());
}

std::optional<double> Preferences::doubleValue(const QString& key) const {
    const QVariant v = object(key);
    if (v.typeId() != QMetaType::Double && v.typeId() != QMetaType::Float) return std::nullopt;
    return v.toDouble();
}

std::optional<QString> Preferences::stringValue(const QString& key) const {
    const QVariant v = object(key);
    if (v.typeId() != QMetaType::QString) return std::nullopt;
    return v.toString();
}

bool Preferences::value(const BoolKey& key) const {
    return boolValue(keyString(key.name)).value_or(key.defaultValue);
}

int64_t Preferences::value(const IntKey& key) const {
    return integerValue(keyString(key.name)).value_or(key.defaultValue);
}

QString Preferences::value(const StringKey& key) const {
    if (auto s = stringValue(keyString(key.name))) return *s;
    return keyString(key.defaultValue);
}

std::optional<QStringList> Preferences::jsonStringList(const StringKey& key) const {
    return decodeJSONStringList(value(key));
}

void Preferences::store(const QString& key, const QVariant& value) {
    const QVariant old = settings_->value(key);
    settings_->setValue(key, value);
    if (old.typeId() != value.typeId() || old != value) emit changed(key);
}

void Preferences::set(const BoolKey& key, bool value) { store(keyString(key.name), value); }

void Preferences::set(const IntKey& key, int64_t value) {
    store(keyString(key.name), static_cast<qlonglong>(value));
}

void Preferences::set(const StringKey& key, const QString& value) { store(keyString(key.name), value); }

void Preferences::setStringList(const StringKey& key, const QStringList& list) {
    const QByteArray json = QJsonDocument(QJsonArray::fromStringList(list)).toJson(QJsonDocument::Compact);
    set(key, json.isEmpty() ? QStringLiteral("[]") : QString::fromUtf8(json));
}

bool Preferences::setObject(const QString& key, const QVariant& value) {
    if (!PropertyList::isStorable(value)) return false;
    store(key, value);
    return true;
}

void Preferences::remove(const QString& key) {
    const bool had = settings_->contains(key);
    settings_->remove(key);
    if (had) emit changed(key);
}

QStringList Preferences::allKeys() const { return settings_->allKeys(); }

QVariantMap Preferences::dictionaryRepresentation() const {
    QVariantMap map;
    const QStringList keys = settings_->allKeys();
    for (const QString& k : keys) map.insert(k, settings_->value(k));
    return map;
}

QString Preferences::synchronize() {
    // QSaveFile does not create the folder; the first write into a fresh home needs it.
    QDir().mkpath(QFileInfo(filePath()).absolutePath());
    settings_->sync();
    switch (settings_->status()) {
    case QSettings::NoError:
        return {};
    case QSettings::AccessError:
        return QStringLiteral("cannot write %1").arg(filePath());
    case QSettings::FormatError:
        return QStringLiteral("%1 is not a property list").arg(filePath());
    }
    return {};
}

}  // namespace zelvane
