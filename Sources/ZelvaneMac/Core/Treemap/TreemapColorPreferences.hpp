#pragma once

#include <QStringList>

#include "ZelvaneMac/Core/Treemap/TreemapColorSettings.hpp"

namespace zelvane {

class Preferences;

namespace TreemapColorSettings {

// The stored palette and extension lists; text that is not a JSON array of strings (the empty
// default included) gives the defaults. A stored list is returned as it is, whatever its length.
QStringList storedPaletteColors(const Preferences& preferences);
QStringList storedExtensionLists(const Preferences& preferences);
// One entry per stored colour, in order, scanned as hexadecimal (text that does not begin with
// a digit gives black).
PaletteRGB storedPaletteRGB(const Preferences& preferences);

}  // namespace TreemapColorSettings

}  // namespace zelvane
