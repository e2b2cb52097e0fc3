#pragma once

#include <span>
#include <string>

#include <QSizeF>

#include "Platform/VolumeCapacity.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapLayout.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapRendering.hpp"

namespace zelvane {

// The size a treemap divides space by: allocated size (0 where it is not counted) or logical size.
NodeMetric treemapMetric(bool useAllocatedSize);
// The same for the exports, which leave out items shown deleted (gone on disk, trashed or erased
// from the window): they measure 0 and take no room, as they add nothing to their folders.
NodeMetric treemapExportMetric(bool useAllocatedSize);

// Everything one treemap picture is made from: the window's canvas, its image export and the
// export mode all ask for their pictures this way. The trees stay unchanged while it is made.
struct TreemapPictureRequest {
    std::span<const RootRef> roots;              // side by side, in columns
    FileNode* zoomedNode = nullptr;              // when set, laid out alone over the whole picture
    std::span<const VolumeCapacity> capacities;  // parallel to `roots`; read while free space is shown
    bool showFreeSpace = false;
    QSizeF size;                                 // in points
    std::span<const TreemapRGB> palette;
    // The measure, labels, threads and cancel flag of the layout hold for the rendering as well.
    TreemapLayoutOptions layout;
    TreemapRenderOptions render;
};

struct TreemapPicture {
    TreemapLayout layout;  // keeps the roots alive
    TreemapImage image;    // status `cancelled` when the layout was stopped
};

// Lays out and renders one picture (off the GUI thread for any real tree).
TreemapPicture makeTreemapPicture(const TreemapPictureRequest& request);

// The two halves of `makeTreemapPicture`, for a picture whose boxes are laid out before its
// colours are known (`request.layout.colorsLater`, then `colorTreemapLayout`). The rendering
// reports `cancelled` when the request's cancel flag is set.
TreemapLayout layOutTreemapPicture(const TreemapPictureRequest& request);
TreemapImage renderTreemapPicture(const TreemapPictureRequest& request, const TreemapLayout& layout);

// Whether a picture of width × height pixels can be made (see kMaxTreemapImageSide); the product
// is formed only once both sides are known to be in range.
bool treemapImageSizeFits(int64_t width, int64_t height);

enum class TreemapPNGStatus { written, sizeRefused, outOfMemory, notWritten };

struct TreemapPNGResult {
    TreemapPNGStatus status = TreemapPNGStatus::written;
    PNGWriteResult written;  // why the file was not written, for `notWritten`
    bool ok() const { return status == TreemapPNGStatus::written; }
};

// A picture as the exports write it: one pixel a point, laid over the treemap's background colour
// as the window shows it (the folders' label strips and whatever no box covers show that colour),
// as a PNG file that replaces `path` (bytes) only once it is complete. A refused size is refused
// before anything is allocated.
TreemapPNGResult writeTreemapPicturePNG(const TreemapPictureRequest& request, const std::string& path);

}  // namespace zelvane
