#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zelvane {

enum class ByteUnitBase : int { decimal = 1000, binary = 1024 };
inline constexpr ByteUnitBase kAllByteUnitBases[] = {ByteUnitBase::decimal, ByteUnitBase::binary};
std::optional<ByteUnitBase> byteUnitBaseFromRaw(int raw);

enum class ByteSizeDisplayMode : int { dynamic = 0, bytes = 1, kb = 2, mb = 3, gb = 4, tb = 5 };
inline constexpr ByteSizeDisplayMode kAllByteSizeDisplayModes[] = {
    ByteSizeDisplayMode::dynamic, ByteSizeDisplayMode::bytes, ByteSizeDisplayMode::kb,
    ByteSizeDisplayMode::mb,      ByteSizeDisplayMode::gb,    ByteSizeDisplayMode::tb};
std::optional<ByteSizeDisplayMode> byteSizeDisplayModeFromRaw(int raw);

// The one size formatter of every view. Numbers use "." whatever the locale; only the plain
// byte count of the `bytes` mode is grouped by the user's locale.
std::string humanBytes(int64_t bytes, ByteUnitBase unitBase, ByteSizeDisplayMode displayMode, int decimalPlaces);

// Sizes in text copied to the clipboard: always base 1024 and two decimals.
std::string formatSizeForClipboardExport(int64_t bytes);

}  // namespace zelvane
