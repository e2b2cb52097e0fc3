#include "ZelvaneMac/Core/Treemap/TreemapColorPreferences.hpp"

#include "ZelvaneMac/Core/Settings/Preferences.hpp"

namespace zelvane::TreemapColorSettings {

QStringList storedPaletteColors(const Preferences& preferences) {
    return decodeStringArray(preferences.value(PreferenceKeys::treemapPaletteColorsJSON)).value_or(defaultColors());
}

QStringList storedExtensionLists(const Preferences& preferences) {
    return decodeStringArray(preferences.value(PreferenceKeys::treemapExtensionListsJSON))
        .value_or(defaultExtensionLists());
}

PaletteRGB storedPaletteRGB(const Preferences& preferences) {
    PaletteRGB out;
    for (const QString& entry : storedPaletteColors(preferences)) out.push_back(rgbFromHexString(entry));
    return out;
}

}  // namespace zelvane::TreemapColorSettings
