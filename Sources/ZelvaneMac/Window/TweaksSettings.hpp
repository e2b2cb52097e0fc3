#pragma once

#include <cstdint>
#include <span>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"

namespace zelvane {

// The eleven settings of the Tweaks sheet, worked on as a copy and stored all at once. A copy made
// fresh holds the keys' defaults.
struct TweaksSettings {
    bool enableDragDrop = PreferenceKeys::tweakEnableDragDrop.defaultValue;
    bool enableDoubleClickOpen = PreferenceKeys::tweakEnableDoubleClickOpen.defaultValue;
    bool enableRename = PreferenceKeys::tweakEnableRename.defaultValue;
    bool monitorFileSystemForChanges = PreferenceKeys::monitorFileSystemForChanges.defaultValue;
    bool showMaxModifiedDate = PreferenceKeys::tweakShowMaxModifiedDate.defaultValue;
    bool showHorizontalLines = PreferenceKeys::tweakShowHorizontalLines.defaultValue;
    bool altRowColors = PreferenceKeys::tweakAltRowColors.defaultValue;
    bool gradientEnabled = PreferenceKeys::tweakGradientEnabled.defaultValue;
    int64_t byteUnitBaseRaw = PreferenceKeys::byteUnitBase.defaultValue;
    int64_t decimalPlaces = PreferenceKeys::tweakDecimalPlaces.defaultValue;
    int64_t fileGroupMinSize = PreferenceKeys::tweakFileGroupMinSize.defaultValue;
    bool operator==(const TweaksSettings&) const = default;
};

// One check box of the sheet: the key it stores, its label (a text key), the group of the sheet it
// stands in (0 above the first divider, 1 beside the size settings) and the field it edits.
struct TweakToggle {
    BoolKey key;
    const char* label;
    int group;
    bool TweaksSettings::*field;
};
// The sheet's check boxes, in its order.
std::span<const TweakToggle> tweakToggles();

TweaksSettings loadTweaks(const Preferences& preferences);
// Every field, changed or not, in the order of the sheet.
void storeTweaks(Preferences& preferences, const TweaksSettings& settings);

}  // namespace zelvane
