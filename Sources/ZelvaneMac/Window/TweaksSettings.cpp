#include "ZelvaneMac/Window/TweaksSettings.hpp"

#include "ZelvaneMac/Core/Settings/Preferences.hpp"

namespace zelvane {

TweaksSettings loadTweaks(const Preferences& p) {
    TweaksSettings s;
    s.enableDragDrop = p.value(PreferenceKeys::tweakEnableDragDrop);
    s.enableDoubleClickOpen = p.value(PreferenceKeys::tweakEnableDoubleClickOpen);
    s.enableRename = p.value(PreferenceKeys::tweakEnableRename);
    s.monitorFileSystemForChanges = p.value(PreferenceKeys::monitorFileSystemForChanges);
    s.showMaxModifiedDate = p.value(PreferenceKeys::tweakShowMaxModifiedDate);
    s.showHorizontalLines = p.value(PreferenceKeys::tweakShowHorizontalLines);
    s.altRowColors = p.value(PreferenceKeys::tweakAltRowColors);
    s.gradientEnabled = p.value(PreferenceKeys::tweakGradientEnabled);
    s.byteUnitBaseRaw = p.value(PreferenceKeys::byteUnitBase);
    s.decimalPlaces = p.value(PreferenceKeys::tweakDecimalPlaces);
    s.fileGroupMinSize = p.value(PreferenceKeys::tweakFileGroupMinSize);
    return s;
}

void storeTweaks(Preferences& p, const TweaksSettings& s) {
    p.set(PreferenceKeys::tweakEnableDragDrop, s.enableDragDrop);
    p.set(PreferenceKeys::tweakEnableDoubleClickOpen, s.enableDoubleClickOpen);
    p.set(PreferenceKeys::tweakEnableRename, s.enableRename);
    p.set(PreferenceKeys::monitorFileSystemForChanges, s.monitorFileSystemForChanges);
    p.set(PreferenceKeys::tweakShowMaxModifiedDate, s.showMaxModifiedDate);
    p.set(PreferenceKeys::tweakShowHorizontalLines, s.showHorizontalLines);
    p.set(PreferenceKeys::tweakAltRowColors, s.altRowColors);
    p.set(PreferenceKeys::tweakGradientEnabled, s.gradientEnabled);
    p.set(PreferenceKeys::byteUnitBase, s.byteUnitBaseRaw);
    p.set(PreferenceKeys::tweakDecimalPlaces, s.decimalPlaces);
    p.set(PreferenceKeys::tweakFileGroupMinSize, s.fileGroupMinSize);
}

}  // namespace zelvane
