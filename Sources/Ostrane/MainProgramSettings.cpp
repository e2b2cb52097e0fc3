#include "Ostrane/MainProgramSettings.hpp"

#include "Ostrane/PropertyListFile.hpp"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStandardPaths>

#include <plist/plist.h>

namespace ostrane {

namespace {

// All elements must be strings, else the list counts as absent.
QStringList stringsOfJsonArray(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray()) return {};
    QStringList out;
    for (const QJsonValue& v : doc.array()) {
        if (!v.isString()) return {};
        out << v.toString();
    }
    return out;
}

QStringList stringsOfPlistArray(plist_t array) {
    QStringList out;
    const uint32_t count = plist_array_get_size(array);
    for (uint32_t i = 0; i < count; ++i) {
        plist_t item = plist_array_get_item(array, i);
        if (plist_get_node_type(item) != PLIST_STRING) return {};
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(item, &length);
        out << QString::fromUtf8(text, qsizetype(length));
    }
    return out;
}

}  // namespace

QString mainProgramSettingsPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/ZelvaneMac/ZelvaneMac.plist");
}

QStringList mainProgramLanguages(const QString& settingsPath) {
    const PropertyListFile file = PropertyListFile::read(settingsPath);
    plist_t root = file.root();
    if (!root || plist_get_node_type(root) != PLIST_DICT) return {};
    plist_t value = plist_dict_get_item(root, "AppleLanguages");
    if (!value) return {};
    switch (plist_get_node_type(value)) {
    case PLIST_ARRAY:
        return stringsOfPlistArray(value);
    case PLIST_STRING: {
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(value, &length);
        return stringsOfJsonArray(QByteArray(text, qsizetype(length)));
    }
    default:
        return {};
    }
}

}  // namespace ostrane
