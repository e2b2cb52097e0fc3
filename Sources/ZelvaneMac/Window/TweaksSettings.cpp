#include "ZelvaneMac/Window/TweaksSettings.hpp"

#include "ZelvaneMac/Core/Text/Localization.hpp"

namespace zelvane {

std::span<const TweakToggle> tweakToggles() {
    namespace K = PreferenceKeys;
    using T = TweaksSettings;
    static constexpr TweakToggle toggles[] = {
        {K::tweakEnableDragDrop, textKey("Enable drag/drop"), 0, &T::enableDragDrop},
        {K::tweakEnableDoubleClickOpen, textKey("Open file on double click"), 0, &T::enableDoubleClickOpen},
        {K::tweakEnableRename, textKey("Enable rename"), 0, &T::enableRename},
        {K::monitorFileSystemForChanges, textKey("Monitor file system for changes"), 0, &T::monitorFileSystemForChanges},
        {K::tweakShowMaxModifiedDate,
         textKey("Show max modified date of all sub folders/files as folder's last modified date"), 0,
         &T::showMaxModifiedDate},
        {K::tweakShowHorizontalLines, textKey("Show horizontal lines in grids"), 1, &T::showHorizontalLines},
        {K::tweakAltRowColors, textKey("Alternate row colors"), 1, &T::altRowColors},
        {K::tweakGradientEnabled, textKey("Enable gradient colors in treemap"), 1, &T::gradientEnabled},
    };
    return toggles;
}

TweaksSettings loadTweaks(const Preferences& p) {
    TweaksSettings s;
    for (const TweakToggle& t : tweakToggles()) s.*t.field = p.value(t.key);
    s.byteUnitBaseRaw = p.value(PreferenceKeys::byteUnitBase);
    s.decimalPlaces = p.value(PreferenceKeys::tweakDecimalPlaces);
    s.fileGroupMinSize = p.value(PreferenceKeys::tweakFileGroupMinSize);
    return s;
}

void storeTweaks(Preferences& p, const TweaksSettings& s) {
    for (const TweakToggle& t : tweakToggles()) p.set(t.key, s.*t.field);
    p.set(PreferenceKeys::byteUnitBase, s.byteUnitBaseRaw);
    p.set(PreferenceKeys::tweakDecimalPlaces, s.decimalPlaces);
    p.set(PreferenceKeys::tweakFileGroupMinSize, s.fileGroupMinSize);
}

}  // namespace zelvane
