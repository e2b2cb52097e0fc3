#include "ZelvaneMac/Window/Treemap/TreemapImageExport.hpp"

#include <QImage>
#include <QPainter>

#include "ZelvaneMac/Core/Text/Localization.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapLayout.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapRendering.hpp"
#include "ZelvaneMac/Window/Treemap/TreemapCanvasModel.hpp"

namespace zelvane {

TreemapExportSizeEdit editTreemapExportSize(const QString& typed) {
    TreemapExportSizeEdit edit;
    for (const QChar c : typed)
        if (c.isNumber()) edit.text.append(c);
    if (edit.text.isEmpty()) return edit;
    bool ok = false;
    const qlonglong v = edit.text.toLongLong(&ok, 10);
    if (ok && v >= 1) edit.value = int64_t(v);
    return edit;
}

std::optional<QString> exportTreemapImage(const TreemapImageExportRequest& r, const QString& path) {
    if (r.width < 1 || r.height < 1) return localized("Couldn't render the treemap image.");
    // A picture this large cannot be made: refused before anything is allocated, like any
    // other bitmap that cannot be had.
    if (r.width > kMaxTreemapImageSide || r.height > kMaxTreemapImageSide ||
        r.width * r.height > kMaxTreemapImagePixels) {
        return localized("Couldn't render the treemap image.");
    }

    const NodeMetric metric = treemapCanvasMetric(r.useAllocatedSize);
    const ColorRank noColors;
    TreemapLayoutOptions options;
    options.metric = metric;
    options.showLabels = r.showLabels;
    options.colorRank = r.shadesOfGray ? &noColors : &r.colorRank;
    options.fileGroupMinSize = r.fileGroupMinSize;
    const TreemapRect bounds{0, 0, double(r.width), double(r.height)};
    TreemapLayout layout;
    if (r.zoomedNode) {
        layout.hitRoots.push_back(
            layoutTreemapNode(r.zoomedNode, bounds, true, kRootRidgeHeight, CushionSurface{}, options, layout));
    } else {
        layout = layoutMultiRootTreemap(std::span<const RootRef>(r.roots), bounds, options, r.showFreeSpace, r.capacities);
    }

    TreemapRenderOptions render;
    render.pixelScale = 1;
    render.metric = metric;
    render.byteUnitBase = r.byteUnitBase;
    render.byteSizeDisplayMode = r.byteSizeDisplayMode;
    render.showLabels = r.showLabels;
    render.gradientEnabled = r.gradientEnabled;
    const TreemapImage rendered = renderTreemapImage(QSizeF(double(r.width), double(r.height)), layout, r.paletteRGB, render);
    if (!rendered.ok()) return localized("Couldn't render the treemap image.");

    QImage picture(int(r.width), int(r.height), QImage::Format_RGBA8888_Premultiplied);
    if (picture.isNull()) return localized("Couldn't render the treemap image.");
    {
        QPainter painter(&picture);
        painter.fillRect(picture.rect(), treemapBackgroundColor().toQColor());
        painter.drawImage(QRectF(0, 0, double(r.width), double(r.height)), rendered.image);
    }
    const PNGWriteResult written = writeTreemapPNG(picture, path);
    if (!written.ok) return fillPlaceholders(localized("Couldn't write the PNG file: %@"), {written.errorMessage});
    return std::nullopt;
}

}  // namespace zelvane
