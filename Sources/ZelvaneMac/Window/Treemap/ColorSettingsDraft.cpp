#include "ZelvaneMac/Window/Treemap/ColorSettingsDraft.hpp"

#include "ZelvaneMac/Core/Settings/Preferences.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorSettings.hpp"

namespace zelvane {

namespace {

std::vector<QColor> colorsFrom(const QStringList& strings) {
    std::vector<QColor> out;
    const QStringList& defaults = TreemapColorSettings::defaultColors();
    for (int i = 0; i < ColorSettingsDraft::kSlots; ++i)
        out.push_back(colorFromHexString(i < strings.size() ? strings[i] : defaults[i]));
    return out;
}

}  // namespace

QColor colorFromHexString(const QString& text) {
    const TreemapRGB rgb = TreemapColorSettings::rgbFromHexString(text);
    return QColor(int(rgb.r), int(rgb.g), int(rgb.b));
}

ColorSettingsDraft ColorSettingsDraft::fromStored(bool colorBySize, const QStringList& colors,
                                                  const QStringList& extensionLists) {
    ColorSettingsDraft d;
    d.colorBySize = colorBySize;
    d.colors = colorsFrom(colors);
    d.extensionLists = extensionLists;
    while (d.extensionLists.size() < kSlots) d.extensionLists.append(QString());
    return d;
}

ColorSettingsDraft ColorSettingsDraft::fromPreferences(const Preferences& preferences) {
    const auto colors = TreemapColorSettings::decodeStringArray(preferences.value(PreferenceKeys::treemapPaletteColorsJSON));
    const auto lists = TreemapColorSettings::decodeStringArray(preferences.value(PreferenceKeys::treemapExtensionListsJSON));
    return fromStored(preferences.value(PreferenceKeys::treemapColorBySize),
                      colors.value_or(TreemapColorSettings::defaultColors()),
                      lists.value_or(TreemapColorSettings::defaultExtensionLists()));
}

void ColorSettingsDraft::useDefaultColors() { colors = colorsFrom(TreemapColorSettings::defaultColors()); }

void ColorSettingsDraft::useColorBlindColors() { colors = colorsFrom(TreemapColorSettings::colorBlindColors()); }

void ColorSettingsDraft::useDefaultExtensions() { extensionLists = TreemapColorSettings::defaultExtensionLists(); }

ColorSettingsChoice ColorSettingsDraft::choice() const {
    ColorSettingsChoice c;
    c.colorBySize = colorBySize;
    for (const QColor& color : colors) c.colors.append(TreemapColorSettings::hexString(color));
    c.extensionLists = extensionLists;
    return c;
}

void storeColorSettings(Preferences& preferences, const ColorSettingsChoice& choice) {
    preferences.set(PreferenceKeys::treemapColorBySize, choice.colorBySize);
    preferences.set(PreferenceKeys::treemapPaletteColorsJSON, TreemapColorSettings::encodeStringArray(choice.colors));
    preferences.set(PreferenceKeys::treemapExtensionListsJSON, TreemapColorSettings::encodeStringArray(choice.extensionLists));
}

}  // namespace zelvane
