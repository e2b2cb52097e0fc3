#include "ZelvaneMac/Window/RelaunchSettings.hpp"

#include <cstring>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Settings/PropertyList.hpp"
#include "ZelvaneMac/Services/PreferenceSync.hpp"
#include "ZelvaneMac/Window/RelaunchEnvironment.hpp"

namespace zelvane {

namespace {

// Settings files are small; anything larger is not one of ours and is left alone.
constexpr size_t kMaxSettingsBytes = 16u << 20;

QString errnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

}  // namespace

QString flushSettings(Preferences& preferences, const RelaunchEnvironment& env) {
    QString reason = preferences.synchronize();
    if (env.elevated && env.realUser) {
        if (const int error = syncPreferencesBackToRealUserIfElevated(preferences, env.realUser)) reason = errnoText(error);
    }
    return reason;
}

// The user's file is rewritten too: otherwise the write-back at the end of an elevated run, which
// keeps keys that only the user's file has, would leave the user's settings as they were.
QString removeSettings(Preferences& preferences, const RelaunchEnvironment& env, const QStringList& keys) {
    for (const QString& key : keys.isEmpty() ? preferences.allKeys() : keys) preferences.remove(key);
    if (QString reason = preferences.synchronize(); !reason.isEmpty()) return reason;
    if (!env.elevated || !env.realUser) return {};

    const std::string path = settingsPathOf(*env.realUser).toStdString();
    QVariantMap values;
    if (!keys.isEmpty()) {
        const auto bytes = readFileAsUser(*env.realUser, path, kMaxSettingsBytes);
        if (!bytes) return {};  // no file of the user's: nothing of it to clear
        const auto dictionary = PropertyList::dictionaryFromData(QByteArray::fromStdString(*bytes));
        if (!dictionary) return {};  // not ours to rewrite
        values = *dictionary;
        bool changed = false;
        for (const QString& key : keys) changed |= values.remove(key) > 0;
        if (!changed) return {};
    }
    const QByteArray xml = PropertyList::xmlFromDictionary(values);
    if (const int error = replaceFileAsUser(*env.realUser, path, std::string_view(xml.constData(), size_t(xml.size()))))
        return QString::fromStdString(path) + QStringLiteral(": ") + errnoText(error);
    return {};
}

QStringList accessDecisionKeys() {
    return {preferenceKeyName(PreferenceKeys::hasFullDiskAccessCached), preferenceKeyName(PreferenceKeys::suppressFullDiskAccessPrompt)};
}

}  // namespace zelvane
