#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include "ScanEngine/Tree/ByteSizeFormatting.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorSettings.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapLayout.hpp"

class QPainter;

namespace zelvane {

// Pictures larger than this are refused rather than allocated: 2^28 pixels are 1 GiB of RGBA.
inline constexpr int64_t kMaxTreemapImageSide = 32768;
inline constexpr int64_t kMaxTreemapImagePixels = int64_t(1) << 28;

struct TreemapPixelSize {
    int width = 0;
    int height = 0;
};

// The bitmap size for `size` points at `pixelScale`: each side ceil(points × scale), at least 1.
// None when a side is not a finite number or the picture exceeds the limits above.
std::optional<TreemapPixelSize> treemapPixelSize(QSizeF size, double pixelScale);

enum class TreemapRenderStatus { ok, imageTooLarge, outOfMemory, cancelled };

struct TreemapImage {
    // RGBA, 8 bits a channel, premultiplied, rows top to bottom; its device pixel ratio is the
    // pixel scale, so it measures `size` points. Null unless the status is ok.
    QImage image;
    TreemapRenderStatus status = TreemapRenderStatus::ok;
    bool ok() const { return status == TreemapRenderStatus::ok; }
};

struct TreemapRenderOptions {
    double pixelScale = 1;
    NodeMetric metric = effectiveSizeMetric;  // the measure the layout was made with (for size texts)
    ByteUnitBase byteUnitBase = ByteUnitBase::decimal;
    ByteSizeDisplayMode byteSizeDisplayMode = ByteSizeDisplayMode::dynamic;
    bool showLabels = true;
    bool gradientEnabled = true;
    // Threads the shading of a large picture may use (0: one per processor). The pixels do not
    // depend on it.
    int maxThreads = 0;
    // Once set, rendering stops at the next band of rows and the status says `cancelled`.
    const CancelFlag* cancel = nullptr;
};

// Shades every leaf and free-space box of the layout as a lit cushion, then draws the folder
// bevels and the texts over it. Palette slots the layout names beyond the palette paint with the
// grey slot, and a palette shorter than 13 is completed from the defaults. Texts need a
// QGuiApplication (the offscreen platform will do); without one only the bevels are drawn.
// Safe to call off the main thread; the caller keeps the tree unchanged meanwhile.
TreemapImage renderTreemapImage(QSizeF size, const TreemapLayout& layout, std::span<const TreemapRGB> paletteRGB,
                                const TreemapRenderOptions& options);

// A single cushion in the colour of the extension's slot (the grey slot when the rank does not
// name it). A null image only when the size is refused.
QImage renderExtensionSwatch(std::string_view ext, const ColorRank& colorRank,
                             std::span<const TreemapRGB> paletteRGB, QSizeF size, double pixelScale);

// A name and its size as one label, "name (1.2 KB)", reading in that order whatever the name's
// script: the name keeps its own written order and the label reads left to right, so an Arabic or
// Hebrew name neither moves the size in front of it nor turns "4.1 KB" into "KB 4.1".
QString treemapLabel(const QString& name, const QString& size);

// One label in the treemap's 9-point font: wrapped at words inside `rect`, or on one line
// centred vertically and shortened in the middle. Nothing is drawn outside `rect`.
void drawTreemapText(QPainter& painter, const QString& text, const QRectF& rect, const QColor& color, bool wordWrap);

struct PNGWriteResult {
    bool ok = false;
    QString errorMessage;  // why it failed; empty on success
    int error = 0;         // the errno of a failed write; 0 when the picture could not be encoded
};

// The one PNG writer: encodes the picture as it is (transparent pixels stay so) and writes it
// through a temporary file in the same folder that replaces `path` (bytes) only once the whole
// picture is on disk, so a failure never destroys an earlier file.
PNGWriteResult writeTreemapPNG(const QImage& image, const std::string& path);

}  // namespace zelvane
