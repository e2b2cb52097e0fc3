#include "ZelvaneMac/Core/Treemap/TreemapPicture.hpp"

#include <QPainter>

#include "ZelvaneMac/Core/Treemap/TreemapColorSettings.hpp"

namespace zelvane {

namespace {

int64_t countedAllocSize(const FileNode& node) { return node.doNotCountAllocated() ? 0 : node.effectiveAllocSize(); }
int64_t keptAllocSize(const FileNode& node) { return node.isDeleted() ? 0 : countedAllocSize(node); }
int64_t keptSize(const FileNode& node) { return node.isDeleted() ? 0 : node.effectiveSize(); }

}  // namespace

NodeMetric treemapMetric(bool useAllocatedSize) { return useAllocatedSize ? &countedAllocSize : &effectiveSizeMetric; }

NodeMetric treemapExportMetric(bool useAllocatedSize) { return useAllocatedSize ? &keptAllocSize : &keptSize; }

TreemapLayout layOutTreemapPicture(const TreemapPictureRequest& request) {
    const TreemapRect bounds{0, 0, request.size.width(), request.size.height()};
    if (!request.zoomedNode)
        return layoutMultiRootTreemap(request.roots, bounds, request.layout, request.showFreeSpace, request.capacities);
    TreemapLayout layout;
    layout.hitRoots.push_back(
        layoutTreemapNode(request.zoomedNode, bounds, true, kRootRidgeHeight, CushionSurface{}, request.layout, layout));
    // The zoomed folder's tree stays alive through its root.
    layout.retained.insert(layout.retained.end(), request.roots.begin(), request.roots.end());
    return layout;
}

TreemapImage renderTreemapPicture(const TreemapPictureRequest& request, const TreemapLayout& layout) {
    if (isCancelled(request.layout.cancel)) {
        TreemapImage cancelled;
        cancelled.status = TreemapRenderStatus::cancelled;
        return cancelled;
    }
    TreemapRenderOptions render = request.render;
    render.metric = request.layout.metric;
    render.showLabels = request.layout.showLabels;
    render.maxThreads = request.layout.maxThreads;
    render.cancel = request.layout.cancel;
    return renderTreemapImage(request.size, layout, request.palette, render);
}

TreemapPicture makeTreemapPicture(const TreemapPictureRequest& request) {
    TreemapPicture picture;
    picture.layout = layOutTreemapPicture(request);
    if (request.layout.colorsLater && !isCancelled(request.layout.cancel))
        colorTreemapLayout(picture.layout, request.layout);
    picture.image = renderTreemapPicture(request, picture.layout);
    return picture;
}

bool treemapImageSizeFits(int64_t width, int64_t height) {
    return width >= 1 && height >= 1 && width <= kMaxTreemapImageSide && height <= kMaxTreemapImageSide &&
           width * height <= kMaxTreemapImagePixels;
}

TreemapPNGResult writeTreemapPicturePNG(const TreemapPictureRequest& request, const std::string& path) {
    const int64_t width = int64_t(request.size.width()), height = int64_t(request.size.height());
    if (!treemapImageSizeFits(width, height) || double(width) != request.size.width() ||
        double(height) != request.size.height())
        return {TreemapPNGStatus::sizeRefused, {}};
    TreemapPictureRequest atOnePixel = request;
    atOnePixel.render.pixelScale = 1;
    const TreemapPicture picture = makeTreemapPicture(atOnePixel);
    if (!picture.image.ok()) return {TreemapPNGStatus::outOfMemory, {}};

    // Where no box lies (a folder's label strip behind its white name, a leaf narrower than a
    // pixel) the file shows the background the window shows: left transparent, the names would
    // vanish wherever the picture is laid over a light background.
    QImage flat(int(width), int(height), QImage::Format_RGBA8888_Premultiplied);
    if (flat.isNull()) return {TreemapPNGStatus::outOfMemory, {}};
    {
        QPainter painter(&flat);
        painter.fillRect(flat.rect(), treemapBackgroundColor().toQColor());
        painter.drawImage(QRectF(0, 0, double(width), double(height)), picture.image.image);
    }
    PNGWriteResult written = writeTreemapPNG(flat, path);
    if (!written.ok) return {TreemapPNGStatus::notWritten, std::move(written)};
    return {};
}

}  // namespace zelvane
