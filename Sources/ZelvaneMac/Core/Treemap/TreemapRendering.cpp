#include "ZelvaneMac/Core/Treemap/TreemapRendering.hpp"
#include "ZelvaneMac/Core/Text/VisibleText.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <QBuffer>
#include <QCoreApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>

#include "Platform/FileReplacement.hpp"
#include "ScanEngine/Support/ParallelFor.hpp"
#include "ZelvaneMac/Core/Text/Localization.hpp"

namespace zelvane {

namespace {

// The light comes from the upper left, slightly in front: (-1, -1, 10) normalised.
struct Light {
    double len = std::sqrt(102.0);
    double x = -1 / len;
    double y = -1 / len;
    double z = 10 / len;
    float xf = float(x);
    float yf = float(y);
    float zf = float(z);
};
const Light& light() {
    static const Light l;
    return l;
}

constexpr float kFlatIntensity = 0.85f;
constexpr float kEdgeFactor = 0.8f;
constexpr float kDiffuse = 0.87f;
constexpr float kAmbient = 0.13f;
constexpr float kGain = 1.4666667f;
constexpr float kCeiling = 255.0f;
constexpr float kLabelFontPixels = 9;
constexpr int64_t kParallelMinimumPixels = 256 * 256;

struct SurfaceF {
    float x1 = 0, x2 = 0, y1 = 0, y2 = 0;
};

SurfaceF toFloat(const CushionSurface& s) { return {float(s.x1), float(s.x2), float(s.y1), float(s.y2)}; }

// One channel: limited to [0, 255] (NaN counts as the ceiling), then truncated.
inline uint32_t channel(float component, float k) {
    float v = component * k;
    v = v < kCeiling ? v : kCeiling;
    v = v > 0 ? v : 0;
    return uint32_t(int(v));
}

inline uint32_t packPixel(const TreemapRGB& c, float intensity) {
    const float k = (intensity * kDiffuse + kAmbient) * kGain;
    const uint32_t r = channel(c.r, k), g = channel(c.g, k), b = channel(c.b, k);
    if constexpr (std::endian::native == std::endian::little)
        return r | (g << 8) | (b << 16) | (0xFFu << 24);
    else
        return (r << 24) | (g << 16) | (b << 8) | 0xFFu;
}

// Truncates toward zero into [lo, hi]; NaN gives lo.
inline int clampedTrunc(double v, int lo, int hi) {
    if (!(v > lo)) return lo;
    if (!(v < hi)) return hi;
    return int(v);
}

// Shades one box into a pw × ph RGBA buffer, only its rows in [rowBegin, rowEnd). The intensity
// is evaluated for every second pixel of a row and copied to its neighbour; the last column and
// row get their own evaluation with the edge factor. Every pixel of the box in those rows is
// written, with the same values whichever rows a call covers.
void shadeBox(uint32_t* pixels, int pw, int ph, const TreemapRect& r, const SurfaceF& surface,
              const TreemapRGB& colour, double scale, bool gradient, std::vector<float>& columns,
              int rowBegin, int rowEnd) {
    const int py0 = clampedTrunc(scale * r.minY() + 0.5, 0, ph);
    const int py1 = clampedTrunc(scale * r.maxY() - 0.5, -1, ph - 1);
    if (py1 < py0 || py1 < rowBegin || py0 >= rowEnd) return;
    const int px0 = clampedTrunc(scale * r.minX() + 0.5, 0, pw);
    const int px1 = clampedTrunc(scale * r.maxX() - 0.5, -1, pw - 1);
    if (px1 < px0) return;

    const float s = float(scale);
    const float edge = (4 * s < float(py1 - py0) && 4 * s < float(px1 - px0)) ? kEdgeFactor : 1.0f;
    const float X2 = 2 * surface.x2, Y2 = 2 * surface.y2;
    const float x1 = surface.x1, y1 = surface.y1;
    const Light& L = light();
    const float lx = L.xf, ly = L.yf, lz = L.zf;
    const int pairs = (px1 - px0) >= 2 ? (px1 - px0) / 2 : 0;
    const int singles = px1 - (px0 + 2 * pairs) + 1;  // 1 or 2: the last column and maybe its neighbour

    // The x terms of the normal depend on the column only: worked out once per box, for the
    // left pixel of each pair and then for the single columns.
    if (gradient) {
        columns.resize(size_t(pairs + singles) * 2);
        float* cx = columns.data();                 // nx * lx
        float* cxx = columns.data() + pairs + singles;  // nx * nx
        for (int j = 0; j < pairs + singles; ++j) {
            const int px = j < pairs ? px0 + 2 * j : px0 + 2 * pairs + (j - pairs);
            const float X = (float(px) + 0.5f) / s;
            const float nx = X2 * X + x1;
            cx[j] = nx * lx;
            cxx[j] = nx * nx;
        }
    }
    const float* cx = columns.data();
    const float* cxx = columns.data() + pairs + singles;

    const int firstRow = std::max(py0, rowBegin), lastRow = std::min(py1, rowEnd - 1);
    for (int py = firstRow; py <= lastRow; ++py) {
        uint32_t* row = pixels + size_t(py) * size_t(pw);
        const float rowFactor = py == py1 ? edge : 1.0f;
        const float Y = (float(py) + 0.5f) / s;
        const float ny = Y2 * Y + y1;
        const float rowTerm = lz - ly * ny;
        const float rowDen = ny * ny + 1;
        auto intensity = [&](int j) {
            const float I = (rowTerm - cx[j]) / std::sqrt(rowDen + cxx[j]);
            return I > 1 ? 1.0f : I;
        };
        uint32_t* pair = row + px0;
        if (gradient) {
            for (int j = 0; j < pairs; ++j) {
                const uint32_t v = packPixel(colour, intensity(j) * rowFactor);
                pair[2 * j] = v;
                pair[2 * j + 1] = v;
            }
        } else {
            const uint32_t v = packPixel(colour, kFlatIntensity * rowFactor);
            std::fill(pair, pair + 2 * pairs, v);
        }
        for (int k = 0; k < singles; ++k) {
            const int px = px0 + 2 * pairs + k;
            const float f = (px == px1 || py == py1) ? edge : 1.0f;
            row[px] = packPixel(colour, (gradient ? intensity(pairs + k) : kFlatIntensity) * f);
        }
    }
}

// The first pixel row of band `b` of `bands` over `rows` rows.
inline int bandStart(int rows, int bands, size_t b) { return int(int64_t(rows) * int64_t(b) / bands); }

// The boxes (leaves, then free-space boxes, by their index in that order) whose pixel rows meet
// each band, in layout order: a band looks only at its own boxes instead of every box there is.
struct BandBoxes {
    std::vector<uint32_t> start;  // band b's boxes are boxes[start[b], start[b + 1])
    std::vector<uint32_t> boxes;
};

BandBoxes boxesByBand(const TreemapLayout& layout, double scale, int rows, int bands) {
    // The rows a box covers, as shadeBox works them out; none when it covers no row.
    auto rowSpan = [&](const TreemapRect& r, int& first, int& last) {
        first = clampedTrunc(scale * r.minY() + 0.5, 0, rows);
        last = clampedTrunc(scale * r.maxY() - 0.5, -1, rows - 1);
        return first <= last;
    };
    // The band holding row y: the last band starting at or before it.
    auto bandOf = [&](int y) { return size_t((int64_t(y + 1) * bands - 1) / rows); };
    BandBoxes out;
    out.start.assign(size_t(bands) + 1, 0);
    const size_t leafCount = layout.leaves.size();
    const size_t total = leafCount + layout.freeSpaceBoxes.size();
    auto rectOf = [&](size_t i) -> const TreemapRect& {
        return i < leafCount ? layout.leaves[i].rect : layout.freeSpaceBoxes[i - leafCount].rect;
    };
    int first = 0, last = 0;
    for (size_t i = 0; i < total; ++i)
        if (rowSpan(rectOf(i), first, last))
            for (size_t b = bandOf(first), e = bandOf(last); b <= e; ++b) ++out.start[b + 1];
    for (size_t b = 0; b < size_t(bands); ++b) out.start[b + 1] += out.start[b];
    out.boxes.resize(out.start[size_t(bands)]);
    std::vector<uint32_t> fill(out.start.begin(), out.start.end() - 1);
    for (size_t i = 0; i < total; ++i)
        if (rowSpan(rectOf(i), first, last))
            for (size_t b = bandOf(first), e = bandOf(last); b <= e; ++b) out.boxes[fill[b]++] = uint32_t(i);
    return out;
}

struct PixelBuffer {
    uint32_t* data = nullptr;
    TreemapPixelSize size;
};

// A zeroed buffer handed over to a QImage, which frees it.
std::optional<PixelBuffer> allocatePixels(TreemapPixelSize size) {
    void* mem = std::calloc(size_t(size.width) * size_t(size.height), 4);
    if (!mem) return std::nullopt;
    return PixelBuffer{static_cast<uint32_t*>(mem), size};
}

QImage wrapPixels(const PixelBuffer& buffer, double pixelScale) {
    QImage image(reinterpret_cast<uchar*>(buffer.data), buffer.size.width, buffer.size.height,
                 qsizetype(buffer.size.width) * 4, QImage::Format_RGBA8888_Premultiplied,
                 [](void* info) { std::free(info); }, buffer.data);
    if (pixelScale > 0 && std::isfinite(pixelScale)) image.setDevicePixelRatio(pixelScale);
    return image;
}

const TreemapRGB& paletteEntry(const PaletteRGB& palette, size_t index) {
    return palette[index < palette.size() ? index : size_t(kGraySlot)];
}

bool canDrawText() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

QString sizeText(int64_t bytes, const TreemapRenderOptions& options) {
    return QString::fromStdString(humanBytes(bytes, options.byteUnitBase, options.byteSizeDisplayMode, 1));
}

QRectF toQRect(const TreemapRect& r) { return QRectF(r.x, r.y, r.width, r.height); }

QFont labelFont() {
    QFont font = QGuiApplication::font();
    font.setPixelSize(int(kLabelFontPixels));
    return font;
}

// The bevels of the labelled folders' boxes, drawn into pixel rows [rowBegin, rowEnd) only: a dark
// line down the left and along the bottom, a lighter one up the right and along the top. They lie
// on box edges at whole points: without antialiasing they stay crisp lines instead of two
// half-covered ones. Each band paints the whole picture's geometry through a clip to its own rows,
// so bands drawn on different threads give the pixels one painter over the picture gives.
void drawBevels(uint32_t* pixels, TreemapPixelSize size, double scale, std::span<const TreemapFolderLabel> folders,
                int rowBegin, int rowEnd) {
    if (folders.empty() || rowBegin >= rowEnd) return;
    QImage picture(reinterpret_cast<uchar*>(pixels), size.width, size.height, qsizetype(size.width) * 4,
                   QImage::Format_RGBA8888_Premultiplied);
    QPainter painter(&picture);
    painter.setClipRect(QRect(0, rowBegin, size.width, rowEnd - rowBegin));  // in pixels: set before the scale
    painter.setTransform(QTransform::fromScale(scale, scale));
    const QPen dark(QColor::fromRgbF(48 / 255.0f, 48 / 255.0f, 48 / 255.0f), 1);
    const QPen light(QColor::fromRgbF(64 / 255.0f, 64 / 255.0f, 64 / 255.0f), 1);
    // A line's pixels reach at most a point and a pixel beyond it (half the pen and the cap).
    const double margin = 1 + 1 / scale;
    const double top = rowBegin / scale - margin, bottom = rowEnd / scale + margin;
    for (const TreemapFolderLabel& label : folders) {
        const TreemapRect& b = label.boxRect;
        if (b.maxY() < top || b.minY() > bottom) continue;
        QPainterPath lower;
        lower.moveTo(b.minX(), b.minY());
        lower.lineTo(b.minX(), b.maxY());
        lower.lineTo(b.maxX(), b.maxY());
        painter.strokePath(lower, dark);
        QPainterPath upper;
        upper.moveTo(b.maxX(), b.maxY());
        upper.lineTo(b.maxX(), b.minY());
        upper.lineTo(b.minX(), b.minY());
        painter.strokePath(upper, light);
    }
}

void drawLabels(QImage& image, const TreemapLayout& layout, const TreemapRenderOptions& options) {
    // The bevels are drawn with the shading, band by band; they touch no pixel a text does.
    const bool text = canDrawText();
    if (!text) return;
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(labelFont());
    const QColor white(255, 255, 255);
    const QColor dimWhite = QColor::fromRgbF(1, 1, 1, 0.85f);

    if (options.showLabels) {
        for (const TreemapLeaf& leaf : layout.leaves) {
            if (!leaf.node || leaf.dust || leaf.rect.width < 80 || leaf.rect.height < 12) continue;
            const QString label =
                treemapLabel(QString::fromStdString(leaf.node->name()), sizeText(options.metric(*leaf.node), options));
            drawTreemapText(painter, label, toQRect(leaf.rect).adjusted(3, 1, -3, -1), white, true);
        }
    }

    for (const TreemapFolderLabel& label : layout.folderLabels) {
        if (!label.node) continue;
        QString name = QString::fromStdString(label.node->name());
        // A root's name is its path as given, "/" or a folder typed with its trailing slash.
        if (!name.endsWith(u'/')) name += u'/';
        drawTreemapText(painter, treemapLabel(name, sizeText(options.metric(*label.node), options)),
                        toQRect(label.rect).adjusted(4, 0, -4, 0), dimWhite, false);
    }

    if (options.showLabels) {
        const QString format = localized("Space Free: %@");
        for (const TreemapFreeSpaceBox& box : layout.freeSpaceBoxes) {
            if (box.rect.width < 80 || !(box.rect.height > 14)) continue;
            const QString label = fillPlaceholders(format, {sizeText(box.freeBytes, options)});
            const QRectF strip(box.rect.minX(), box.rect.minY(), box.rect.width, 12);
            drawTreemapText(painter, label, strip.adjusted(4, 0, -4, 0), dimWhite, false);
        }
    }
}

}  // namespace

std::optional<TreemapPixelSize> treemapPixelSize(QSizeF size, double pixelScale) {
    const double w = std::ceil(size.width() * pixelScale);
    const double h = std::ceil(size.height() * pixelScale);
    if (std::isnan(w) || std::isnan(h)) return std::nullopt;
    if (!(w <= double(kMaxTreemapImageSide)) || !(h <= double(kMaxTreemapImageSide))) return std::nullopt;
    const int64_t pw = std::max<int64_t>(1, int64_t(std::max(w, 0.0)));
    const int64_t ph = std::max<int64_t>(1, int64_t(std::max(h, 0.0)));
    if (pw * ph > kMaxTreemapImagePixels) return std::nullopt;
    return TreemapPixelSize{int(pw), int(ph)};
}

TreemapImage renderTreemapImage(QSizeF size, const TreemapLayout& layout, std::span<const TreemapRGB> paletteRGB,
                                const TreemapRenderOptions& options) {
    TreemapImage result;
    const auto pixels = treemapPixelSize(size, options.pixelScale);
    if (!pixels) {
        result.status = TreemapRenderStatus::imageTooLarge;
        return result;
    }
    const auto buffer = allocatePixels(*pixels);
    if (!buffer) {
        result.status = TreemapRenderStatus::outOfMemory;
        return result;
    }
    result.image = wrapPixels(*buffer, options.pixelScale);

    const PaletteRGB palette = normalizedPaletteRGB(paletteRGB);
    const TreemapRGB freeColour = freeSpaceRGB(palette);
    const unsigned threads = options.maxThreads > 0 ? unsigned(options.maxThreads) : parallelWorkerCount();
    const int rows = pixels->height;
    // Small pictures are not worth a thread; bands are many more than threads, so that threads
    // that drew sparse rows take on more.
    const bool parallel = threads > 1 && int64_t(pixels->width) * rows >= kParallelMinimumPixels;
    const int bands = parallel ? std::min<int>(rows, int(threads) * 8) : 1;
    const BandBoxes byBand = boxesByBand(layout, options.pixelScale, rows, bands);
    const size_t leafCount = layout.leaves.size();
    // Every band of rows is shaded by one thread, visiting its boxes in layout order: each pixel
    // gets exactly the writes, in the same order, that one thread over all rows would give it.
    parallelFor(
        size_t(bands), parallel ? threads : 1, 1,
        [&](size_t b, unsigned) {
            const int rowBegin = bandStart(rows, bands, b), rowEnd = bandStart(rows, bands, b + 1);
            std::vector<float> columns;
            columns.reserve(size_t(pixels->width) + 4);
            for (uint32_t i = byBand.start[b]; i < byBand.start[b + 1]; ++i) {
                const size_t box = byBand.boxes[i];
                if (box < leafCount) {
                    const TreemapLeaf& leaf = layout.leaves[box];
                    shadeBox(buffer->data, pixels->width, pixels->height, leaf.rect, toFloat(leaf.surface),
                             paletteEntry(palette, leaf.colorIndex), options.pixelScale, options.gradientEnabled,
                             columns, rowBegin, rowEnd);
                } else {
                    const TreemapFreeSpaceBox& free = layout.freeSpaceBoxes[box - leafCount];
                    shadeBox(buffer->data, pixels->width, pixels->height, free.rect, toFloat(free.surface), freeColour,
                             options.pixelScale, options.gradientEnabled, columns, rowBegin, rowEnd);
                }
            }
            drawBevels(buffer->data, *pixels, options.pixelScale, layout.folderLabels, rowBegin, rowEnd);
        },
        options.cancel);
    if (isCancelled(options.cancel)) return {QImage(), TreemapRenderStatus::cancelled};

    drawLabels(result.image, layout, options);
    return result;
}

QImage renderExtensionSwatch(std::string_view ext, const ColorRank& colorRank,
                             std::span<const TreemapRGB> paletteRGB, QSizeF size, double pixelScale) {
    const auto pixels = treemapPixelSize(size, pixelScale);
    if (!pixels) return {};
    const auto buffer = allocatePixels(*pixels);
    if (!buffer) return {};

    const PaletteRGB palette = normalizedPaletteRGB(paletteRGB);
    const size_t slot = paletteSlot(colorRank, ext);

    // One ridge per axis, worked out in single precision.
    SurfaceF surface;
    auto ridge = [](float& linear, float& quadratic, float extent) {
        if (!(std::fabs(extent) >= 1)) return;
        const float k = 0.72f / extent;
        linear += extent * k;
        quadratic -= k;
    };
    ridge(surface.x1, surface.x2, float(size.width()));
    ridge(surface.y1, surface.y2, float(size.height()));

    std::vector<float> columns;
    shadeBox(buffer->data, pixels->width, pixels->height, TreemapRect{0, 0, size.width(), size.height()}, surface,
             paletteEntry(palette, slot), pixelScale, true, columns, 0, pixels->height);
    return wrapPixels(*buffer, pixelScale);
}

QString treemapLabel(const QString& name, const QString& size) {
    // The mark lays the label out left to right; the name, set apart, still reads in its own direction.
    return QChar(0x200E) + shownName(name, Qt::RightToLeft) + QStringLiteral(" (") + size + QStringLiteral(")");
}

void drawTreemapText(QPainter& painter, const QString& text, const QRectF& rect, const QColor& color, bool wordWrap) {
    if (!(rect.width() > 0) || !(rect.height() > 0)) return;
    painter.save();
    QFont font = painter.font();
    if (font.pixelSize() != int(kLabelFontPixels)) {
        font = labelFont();
        painter.setFont(font);
    }
    painter.setPen(color);
    painter.setClipRect(rect, Qt::IntersectClip);
    if (wordWrap) {
        painter.drawText(rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
    } else {
        const QFontMetricsF metrics(font, painter.device());
        const double textHeight = metrics.height();
        const double dy = std::max(0.0, (rect.height() - textHeight) * 0.5);
        const QString line = metrics.elidedText(text, Qt::ElideMiddle, rect.width());
        painter.drawText(QRectF(rect.x(), rect.y() + dy, rect.width(), textHeight), Qt::AlignLeft | Qt::AlignTop, line);
    }
    painter.restore();
}

PNGWriteResult writeTreemapPNG(const QImage& image, const std::string& path) {
    if (image.isNull()) return {false, QStringLiteral("there is no picture to write")};
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) return {false, QStringLiteral("PNG encoding failed")};
    if (const int err = replaceFileContents(path, std::string_view(png.constData(), size_t(png.size()))))
        return {false, QString::fromLocal8Bit(std::strerror(err)), err};
    return {true, {}};
}

}  // namespace zelvane
