#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "ScanEngine/Support/CancelFlag.hpp"
#include "ScanEngine/Tree/FileNode.hpp"
#include "ZelvaneMac/Core/Treemap/NodeRectMap.hpp"
#include "ScanEngine/Analysis/Treemap.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapHitNode.hpp"
#include "ZelvaneMac/Core/Treemap/TreemapColorSettings.hpp"
#include "Platform/VolumeCapacity.hpp"

namespace zelvane {

// The cushion of a box: a sum of parabolic ridges, one per nesting level and axis. The
// renderer derives the surface normal at each pixel from these four coefficients.
struct CushionSurface {
    double x1 = 0;  // linear along x
    double x2 = 0;  // quadratic along x
    double y1 = 0;  // linear along y
    double y2 = 0;  // quadratic along y
    bool operator==(const CushionSurface&) const = default;

    // A ridge of height h over [min, max]; intervals shorter than one point leave the axis flat.
    void addRidgeX(double minX, double maxX, double height);
    void addRidgeY(double minY, double maxY, double height);
};

// A painted box. A dust box stands for content too small for a cushion of its own (children
// less than a point wide or high), painted in its colour on its parent's cushion; it may cover a
// run of such siblings (`node` is the first of them), so it has no `nodeRects` entry and is never
// outlined, labelled or marked deleted. A sampled dust box covers the smallest children of a
// folder and takes the colour most of their room has, judged from a sample of them.
struct TreemapLeaf {
    FileNode* node = nullptr;
    TreemapRect rect;
    CushionSurface surface;
    uint8_t colorIndex = kGraySlot;
    bool dust = false;
    bool sampled = false;
};

// A labelled folder, or (in `groupBoxes`) a synthetic file group, where rect == boxRect.
struct TreemapFolderLabel {
    FileNode* node = nullptr;
    TreemapRect rect;     // the label strip
    TreemapRect boxRect;  // the folder's whole rectangle
};

struct TreemapFreeSpaceBox {
    TreemapRect rect;
    CushionSurface surface;
    int64_t freeBytes = 0;
};

struct TreemapLayout {
    std::vector<TreemapLeaf> leaves;                 // depth-first layout order
    std::vector<TreemapFolderLabel> folderLabels;    // each before its folder's children
    std::vector<TreemapFolderLabel> groupBoxes;      // synthetic groups, while labels are on
    std::vector<TreemapFreeSpaceBox> freeSpaceBoxes; // at most one per root
    std::vector<TreemapHitNode> hitRoots;            // one per root that received a column
    TreemapHitNodePool hitNodes;                     // the children of every hit node above
    NodeRectMap nodeRects;                           // leaves and labelled folders
    // Until the colours are set: the children each sampled dust box stands for, in leaf order.
    std::vector<std::span<const TreemapHitNode>> dustSamples;

    // The store of the synthetic group nodes, and the roots when they were handed over by
    // shared handles: the layout keeps what it refers to alive for as long as it exists.
    std::vector<std::shared_ptr<const void>> retained;
};

// What every level of a layout shares.
struct TreemapLayoutOptions {
    NodeMetric metric = effectiveSizeMetric;
    bool showLabels = true;
    const ColorRank* colorRank = nullptr;  // none: every leaf takes the grey slot
    // The boxes are laid out without their colours, which `colorTreemapLayout` sets later: the
    // boxes do not depend on the colours, so a layout can start before the colour ranks are known.
    bool colorsLater = false;
    int fileGroupMinSize = FileNode::defaultMinGroupSize;
    // Threads a large layout may use (0: one per processor). The result does not depend on it.
    int maxThreads = 0;
    // Once set, the layout stops early and what it returns is incomplete: only for a job whose
    // result is dropped anyway.
    const CancelFlag* cancel = nullptr;
};

inline constexpr double kRootRidgeHeight = 0.18;
inline constexpr double kRidgeShrinkPerLevel = 0.91;
inline constexpr size_t kMaxChildrenPlaced = 50000;

// Lays the roots side by side in columns proportional to their measure (or, with free space
// shown, to their volume's size, the column then split between the root and its free space).
// `capacities` runs parallel to `roots` and may be shorter.
TreemapLayout layoutMultiRootTreemap(std::span<FileNode* const> roots, const TreemapRect& in,
                                     const TreemapLayoutOptions& options, bool showFreeSpace,
                                     std::span<const VolumeCapacity> capacities);
// The same, and the layout keeps the roots' stores alive.
TreemapLayout layoutMultiRootTreemap(std::span<const RootRef> roots, const TreemapRect& in,
                                     const TreemapLayoutOptions& options, bool showFreeSpace,
                                     std::span<const VolumeCapacity> capacities);

// Lays one node and everything below it into `into` and returns its hit node. The walk keeps
// its own stack, so any depth of nesting is fine.
TreemapHitNode layoutTreemapNode(FileNode* node, const TreemapRect& in, bool isRoot, double ridgeHeight,
                                 const CushionSurface& surface, const TreemapLayoutOptions& options,
                                 TreemapLayout& into);

// Sets the colour of every leaf of a layout made with `colorsLater` from `options.colorRank`, and
// joins the dust boxes of one folder and one colour that make a rectangle together: the same
// layout as one made with the colours known. `options` must measure as the layout did.
void colorTreemapLayout(TreemapLayout& layout, const TreemapLayoutOptions& options);

}  // namespace zelvane
