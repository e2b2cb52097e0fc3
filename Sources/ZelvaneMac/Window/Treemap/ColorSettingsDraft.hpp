#pragma once

#include <QColor>
#include <QStringList>

#include <vector>

namespace zelvane {

class Preferences;

// What the colour settings sheet hands back on OK: colour by size, the 13 colours as six
// upper-case hexadecimal digits, the extension lists (one per slot).
struct ColorSettingsChoice {
    bool colorBySize = true;
    QStringList colors;
    QStringList extensionLists;
    bool operator==(const ColorSettingsChoice&) const = default;
};

// The sheet's working copy of the colour settings. Nothing is stored while it is edited; OK turns
// it into a ColorSettingsChoice that the window stores.
struct ColorSettingsDraft {
    static constexpr int kSlots = 13;

    bool colorBySize = true;
    std::vector<QColor> colors;   // always 13
    QStringList extensionLists;   // at least 13; an edited slot is always stored

    // From the stored settings as the window reads them, of any length: a palette shorter than
    // 13 is completed from the default colours and cut after the 13th; missing extension lists
    // are empty (extra ones are kept as they are).
    static ColorSettingsDraft fromStored(bool colorBySize, const QStringList& colors, const QStringList& extensionLists);
    // The same from the preference store.
    static ColorSettingsDraft fromPreferences(const Preferences& preferences);

    void useDefaultColors();
    void useColorBlindColors();
    void useDefaultExtensions();
    ColorSettingsChoice choice() const;
};

// A colour string read as the palette is read: a hexadecimal number (0, black, when it does not
// scan), bits 16-23, 8-15 and 0-7 for red, green and blue.
QColor colorFromHexString(const QString& text);

// What OK does in the window: the three settings are stored (the lists as JSON arrays of strings).
void storeColorSettings(Preferences& preferences, const ColorSettingsChoice& choice);

}  // namespace zelvane
