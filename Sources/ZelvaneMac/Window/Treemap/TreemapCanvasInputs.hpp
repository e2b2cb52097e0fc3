#pragma once

#include <QSet>
#include <QSizeF>

#include <memory>
#include <vector>

#include "ScanEngine/Tree/ByteSizeFormatting.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "Platform/VolumeCapacity.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorSettings.hpp"

namespace zelvane {

// The window's selection, shared by the outline, the file list and the treemap.
using TreemapSelection = QSet<FileNode*>;
using TreemapNodeList = std::vector<FileNode*>;

// What the window hands the treemap on every change of its state. Plain values: the canvas
// compares them with what it saw last and does only what changed.
struct TreemapCanvasInputs {
    std::vector<RootRef> roots;
    // A folder below one of `roots` (the window checks that), or null for all roots.
    FileNode* zoomedNode = nullptr;
    bool useAllocatedSize = true;
    bool showLabels = true;
    bool showFreeSpace = false;
    std::vector<VolumeCapacity> capacities;  // parallel to `roots`, may be shorter
    ByteUnitBase byteUnitBase = ByteUnitBase::decimal;
    ByteSizeDisplayMode byteSizeDisplayMode = ByteSizeDisplayMode::dynamic;
    bool gradientEnabled = true;
    int fileGroupMinSize = FileNode::defaultMinGroupSize;
    ColorRank colorRank;
    PaletteRGB paletteRGB = defaultPaletteRGB();
    // The colour ranks were computed for these roots: until then no picture is made for new roots.
    bool colorRankReady = true;
    TreemapSelection selection;
    // Holds the nodes of `selection` (the outline's group rows among them) for work on the pool.
    std::shared_ptr<const void> selectionHeld;
    // Raised by the window whenever live monitoring changed nodes; redraws the deleted outlines.
    int monitorRevision = 0;
};

// Whether the settings, capacities (while free space is shown) or colours of `a` and `b` make
// different pictures of the same roots.
bool picturesDiffer(const TreemapCanvasInputs& a, const TreemapCanvasInputs& b);

// What the boxes of a picture depend on, as against its colours and texts: pictures made from
// equal layout inputs have the same layout. Roots by identity, in order.
struct TreemapLayoutInputs {
    std::vector<const FileNode*> roots;
    const FileNode* zoomedNode = nullptr;
    QSizeF size;
    bool useAllocatedSize = true;
    bool showLabels = true;
    bool showFreeSpace = false;
    std::vector<VolumeCapacity> capacities;  // only while free space is shown
    int fileGroupMinSize = 0;

    TreemapLayoutInputs() = default;
    TreemapLayoutInputs(const TreemapCanvasInputs& inputs, QSizeF size);
    bool operator==(const TreemapLayoutInputs& other) const;
};

}  // namespace zelvane
