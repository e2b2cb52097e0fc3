#include "ZelvaneMac/Core/Settings/SizeTextFormat.hpp"

#include <limits>

#include "ZelvaneMac/Core/Settings/Preferences.hpp"

namespace zelvane {

SizeTextFormat SizeTextFormat::fromPreferences(int64_t baseRaw, int64_t modeRaw) {
    SizeTextFormat f;
    f.base = baseRaw == 1024 ? ByteUnitBase::binary : ByteUnitBase::decimal;
    // Checked before narrowing, so that a stored value beyond an int never wraps onto a mode.
    if (modeRaw >= std::numeric_limits<int>::min() && modeRaw <= std::numeric_limits<int>::max())
        f.mode = byteSizeDisplayModeFromRaw(int(modeRaw)).value_or(ByteSizeDisplayMode::dynamic);
    return f;
}

SizeTextFormat SizeTextFormat::of(const Preferences& preferences) {
    return fromPreferences(preferences.value(PreferenceKeys::byteUnitBase),
                           preferences.value(PreferenceKeys::byteSizeDisplayMode));
}

QString SizeTextFormat::operator()(int64_t bytes) const { return QString::fromStdString(humanBytes(bytes, base, mode, 1)); }

}  // namespace zelvane
