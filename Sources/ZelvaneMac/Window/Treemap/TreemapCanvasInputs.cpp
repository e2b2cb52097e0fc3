#include "ZelvaneMac/Window/Treemap/TreemapCanvasInputs.hpp"

namespace zelvane {

namespace {

bool sameCapacities(const std::vector<VolumeCapacity>& a, const std::vector<VolumeCapacity>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].total != b[i].total || a[i].available != b[i].available) return false;
    return true;
}

}  // namespace

bool picturesDiffer(const TreemapCanvasInputs& a, const TreemapCanvasInputs& b) {
    // Tested in this order and only up to the first difference.
    return a.useAllocatedSize != b.useAllocatedSize || a.showLabels != b.showLabels ||
           a.showFreeSpace != b.showFreeSpace || (a.showFreeSpace && !sameCapacities(a.capacities, b.capacities)) ||
           a.byteUnitBase != b.byteUnitBase || a.byteSizeDisplayMode != b.byteSizeDisplayMode ||
           a.gradientEnabled != b.gradientEnabled || a.fileGroupMinSize != b.fileGroupMinSize ||
           a.colorRank != b.colorRank || a.paletteRGB != b.paletteRGB;
}

TreemapLayoutInputs::TreemapLayoutInputs(const TreemapCanvasInputs& inputs, QSizeF viewSize)
    : zoomedNode(inputs.zoomedNode),
      size(viewSize),
      useAllocatedSize(inputs.useAllocatedSize),
      showLabels(inputs.showLabels),
      showFreeSpace(inputs.showFreeSpace),
      fileGroupMinSize(inputs.fileGroupMinSize) {
    roots.reserve(inputs.roots.size());
    for (const RootRef& r : inputs.roots) roots.push_back(r.get());
    if (showFreeSpace) capacities = inputs.capacities;
}

bool TreemapLayoutInputs::operator==(const TreemapLayoutInputs& other) const {
    return roots == other.roots && zoomedNode == other.zoomedNode && size == other.size &&
           useAllocatedSize == other.useAllocatedSize && showLabels == other.showLabels &&
           showFreeSpace == other.showFreeSpace && sameCapacities(capacities, other.capacities) &&
           fileGroupMinSize == other.fileGroupMinSize;
}

}  // namespace zelvane
