#include "ScanEngine/Tree/ByteSizeFormatting.hpp"

#include "ScanEngine/Support/LocaleFormat.hpp"

namespace zelvane {

std::optional<ByteUnitBase> byteUnitBaseFromRaw(int raw) {
    if (raw == 1000) return ByteUnitBase::decimal;
    if (raw == 1024) return ByteUnitBase::binary;
    return std::nullopt;
}

std::optional<ByteSizeDisplayMode> byteSizeDisplayModeFromRaw(int raw) {
    if (raw < 0 || raw > 5) return std::nullopt;
    return static_cast<ByteSizeDisplayMode>(raw);
}

namespace {
const char* const kLabels[] = {"B", "KB", "MB", "GB", "TB"};

std::string scaled(double value, int decimals, const char* label) {
    return formatFixed(value, decimals) + " " + label;
}
}  // namespace

std::string humanBytes(int64_t bytes, ByteUnitBase unitBase, ByteSizeDisplayMode displayMode, int decimalPlaces) {
    const double base = unitBase == ByteUnitBase::binary ? 1024.0 : 1000.0;
    const double value = static_cast<double>(bytes);
    switch (displayMode) {
    case ByteSizeDisplayMode::dynamic: {
        if (value < base) return std::to_string(bytes) + " B";
        double v = value / base;
        int divisions = 1;
        while (v >= base && divisions < 4) {
            v /= base;
            ++divisions;
        }
        return scaled(v, decimalPlaces, kLabels[divisions]);
    }
    case ByteSizeDisplayMode::bytes:
        return formatIntegerForLocale(bytes);
    case ByteSizeDisplayMode::kb:
        return scaled(value / base, decimalPlaces, "KB");
    case ByteSizeDisplayMode::mb:
        return scaled(value / (unitBase == ByteUnitBase::binary ? 1048576.0 : 1000000.0), decimalPlaces, "MB");
    case ByteSizeDisplayMode::gb:
        return scaled(value / (base * base * base), decimalPlaces, "GB");
    case ByteSizeDisplayMode::tb:
        return scaled(value / (base * base * base * base), decimalPlaces, "TB");
    }
    return std::to_string(bytes);
}

std::string formatSizeForClipboardExport(int64_t bytes) {
    if (bytes < 1) return "0";
    if (bytes < 1024) return std::to_string(bytes) + " Bytes";
    double v = static_cast<double>(bytes) / 1024.0;
    int label = 1;
    while (v >= 1024.0 && label < 4) {
        v /= 1024.0;
        ++label;
    }
    return scaled(v, 2, kLabels[label]);
}

}  // namespace zelvane
