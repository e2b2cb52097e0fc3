#pragma once

#include <cstdint>

namespace zelvane {

class Preferences;

// The eleven settings of the Tweaks sheet, worked on as a copy and stored all at once.
struct TweaksSettings {
    bool enableDragDrop = true;
    bool enableDoubleClickOpen = true;
    bool enableRename = true;
    bool monitorFileSystemForChanges = true;
    bool showMaxModifiedDate = true;
    bool showHorizontalLines = false;
    bool altRowColors = true;
    bool gradientEnabled = true;
    int64_t byteUnitBaseRaw = 1000;
    int64_t decimalPlaces = 1;
    int64_t fileGroupMinSize = 4;
    bool operator==(const TweaksSettings&) const = default;
};
TweaksSettings loadTweaks(const Preferences& preferences);
// Every field, changed or not, in the order of the sheet.
void storeTweaks(Preferences& preferences, const TweaksSettings& settings);

}  // namespace zelvane
