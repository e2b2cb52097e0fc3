#include "ZelvaneMac/Core/Settings/SettingsWatcher.hpp"

#include "ZelvaneMac/Core/Settings/Preferences.hpp"

namespace zelvane {

SettingsWatch::SettingsWatch(const Preferences& preferences, QObject* parent) : QObject(parent), preferences_(preferences) {
    connect(&preferences, &Preferences::changed, this, [this] {
        if (reread()) emit changed();
    });
}

}  // namespace zelvane
