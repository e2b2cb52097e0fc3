#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <QColor>
#include <QString>
#include <QStringList>

namespace zelvane {

// Twelve extension colours and, in the last slot, the grey of every file whose extension has no
// slot of its own.
inline constexpr size_t kPaletteSlotCount = 13;
inline constexpr int kGraySlot = 12;

// A colour in device RGB, components nominally 0-1 (a lightening factor may push them past 1).
// Doubles, not QColor: QColor keeps 16 bits a channel, which would move the hexadecimal
// rounding of the derived palette.
struct DeviceRGBColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;
    bool operator==(const DeviceRGBColor&) const = default;
    QColor toQColor() const;
};

// One palette entry as the renderer consumes it: components on the 0-255 scale.
struct TreemapRGB {
    float r = 0;
    float g = 0;
    float b = 0;
    bool operator==(const TreemapRGB&) const = default;
};
using PaletteRGB = std::vector<TreemapRGB>;

struct StringKeyHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};
// Extension (lower-case, no dot, UTF-8) to palette slot. Extensions it does not hold paint grey.
// Lookups take a string_view, so the hot loops need no temporary strings.
using ColorRank = std::unordered_map<std::string, int, StringKeyHash, std::equal_to<>>;

// The palette slot an extension is painted in: its rank, or the grey slot when the rank does not
// name it or names a slot no palette index can hold.
uint8_t paletteSlot(const ColorRank& rank, std::string_view ext);

struct HSL {
    double h = 0;  // in turns, 0-1
    double s = 0;
    double l = 0;
};

HSL rgbToHSL(double r, double g, double b);
double hueToRGB(double p, double q, double t);
// Scales the HSL lightness by `percent`: below 1 darkens, above 1 lightens (without an upper
// clamp), 0 or below gives black.
DeviceRGBColor darkenColor(int r, int g, int b, double percent);
TreemapRGB resolveTreemapColor(const DeviceRGBColor& color);
// An invalid colour counts as grey 0.5.
TreemapRGB resolveTreemapColor(const QColor& color);

// The colour of free-space boxes: the grey slot, lightened twice. Reads the default grey when
// the palette is too short to have one.
TreemapRGB freeSpaceRGB(std::span<const TreemapRGB> paletteRGB);

// The twelve default extension colours.
const std::array<DeviceRGBColor, 12>& treemapDefaultPalette();
DeviceRGBColor treemapDefaultGrayColor();
DeviceRGBColor treemapBackgroundColor();
DeviceRGBColor treemapSelectionColor();
DeviceRGBColor treemapHoverColor();
// The palette a treemap starts with before any setting is read: the default colours at full
// precision (not rounded through their hexadecimal form).
const PaletteRGB& defaultPaletteRGB();

// Pads a palette to the 13 slots every consumer indexes (missing slots from the stored-form
// defaults); longer palettes are kept as they are.
PaletteRGB normalizedPaletteRGB(std::span<const TreemapRGB> paletteRGB);

namespace TreemapColorSettings {

// 13 six-digit upper-case hexadecimal strings.
const QStringList& defaultColors();
// 13 comma-separated extension lists; the last is empty.
const QStringList& defaultExtensionLists();
const QStringList& colorBlindColors();

// "RRGGBB" with each component rounded half away from zero (clamped to 00-FF).
QString hexString(const DeviceRGBColor& color);
// An invalid colour counts as grey 0.5.
QString hexString(const QColor& color);

// Later lists win: an extension named twice takes the slot of the last list naming it.
ColorRank colorRank(const QStringList& extensionLists);

QString encodeStringArray(const QStringList& strings);
// None when the text is empty or is not a JSON array of strings.
std::optional<QStringList> decodeStringArray(const QString& json);

// The stored settings as every consumer may index them: exactly 13 entries, slots the stored
// list lacks taken from the defaults and entries beyond the 13th ignored. Text that is empty
// or does not decode stands for the defaults.
QStringList paletteColors(const QString& storedJSON);
QStringList extensionLists(const QString& storedJSON);

// The render form of stored colour strings: each string scanned as a hexadecimal number (0,
// black, when it does not scan), split into bits 16-23, 8-15 and 0-7. Always 13 entries, padded
// from the defaults and cut after the 13th.
PaletteRGB paletteRGB(const QStringList& colors);
TreemapRGB rgbFromHexString(const QString& text);

}  // namespace TreemapColorSettings

}  // namespace zelvane
