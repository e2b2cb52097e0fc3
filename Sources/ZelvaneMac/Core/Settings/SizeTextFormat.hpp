#pragma once

#include <QString>

#include <cstdint>

#include "ScanEngine/Tree/ByteSizeFormatting.hpp"

namespace zelvane {

class Preferences;

// How sizes are written, as the preferences say: the unit base (1024 stored means binary, any
// other value decimal) and the display mode (dynamic when the stored value names none). Decoded
// here once for every view, picture and export; texts carry one decimal.
struct SizeTextFormat {
    ByteUnitBase base = ByteUnitBase::decimal;
    ByteSizeDisplayMode mode = ByteSizeDisplayMode::dynamic;

    static SizeTextFormat fromPreferences(int64_t byteUnitBaseRaw, int64_t displayModeRaw);
    static SizeTextFormat of(const Preferences& preferences);
    QString operator()(int64_t bytes) const;
    bool operator==(const SizeTextFormat&) const = default;
};

}  // namespace zelvane
