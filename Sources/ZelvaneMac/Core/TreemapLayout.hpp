#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "FileNode.hpp"
#include "Treemap.hpp"
#include "TreemapColorSettings.hpp"

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

struct TreemapLeaf {
    FileNode* node = nullptr;
    TreemapRect rect;
    CushionSurface surface;
    uint8_t colorIndex = kGraySlot;
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

// The hit-testing tree. Children live in the pool of the layout that made them (nodes are plain
// values, so a tree of any depth is torn down with its layout, without recursion).
struct TreemapHitNode {
    FileNode* node = nullptr;
    TreemapRect rect;
    std::span<TreemapHitNode> children;  // in layout order
};

// Storage for hit nodes: a folder's children are carved from large blocks, so a layout of a
// million nodes allocates a few hundred blocks instead of one array per folder. Moving the pool
// keeps every node where it is.
class TreemapHitNodePool final {
public:
    TreemapHitNodePool() = default;
    TreemapHitNodePool(TreemapHitNodePool&&) noexcept = default;
    TreemapHitNodePool& operator=(TreemapHitNodePool&&) noexcept = default;
    TreemapHitNodePool(const TreemapHitNodePool&) = delete;
    TreemapHitNodePool& operator=(const TreemapHitNodePool&) = delete;

    std::span<TreemapHitNode> allocate(size_t count);
    // Takes over the other pool's blocks (the nodes stay valid).
    void adopt(TreemapHitNodePool&& other);

private:
    std::vector<std::unique_ptr<TreemapHitNode[]>> blocks_;
    TreemapHitNode* next_ = nullptr;
    size_t left_ = 0;
    size_t blockSize_ = 0;
};

// Node identity to rectangle. Open addressing in one array: a layout of a whole disk holds
// hundreds of thousands of entries, which a node-based map would allocate one by one.
class NodeRectMap final {
public:
    size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    const TreemapRect* find(const FileNode* node) const noexcept;
    size_t count(const FileNode* node) const noexcept { return find(node) ? 1 : 0; }
    // Throws std::out_of_range when the node has no rectangle.
    const TreemapRect& at(const FileNode* node) const;
    void insert_or_assign(const FileNode* node, const TreemapRect& rect);
    // Keeps an existing entry; returns whether the rectangle was stored.
    bool try_emplace(const FileNode* node, const TreemapRect& rect);
    // Room for `count` entries in all without growing again.
    void reserve(size_t count);
    void clear() noexcept;
    void swap(NodeRectMap& other) noexcept;

    template <class F>
    void forEach(F&& f) const {
        for (const Slot& s : slots_)
            if (s.node) f(s.node, s.rect);
    }

private:
    struct Slot {
        const FileNode* node = nullptr;  // null: free
        TreemapRect rect;
    };
    Slot& slotFor(const FileNode* node);
    void rehash(size_t slotCount);
    std::vector<Slot> slots_;  // a power of two long, at most 3/4 full
    size_t size_ = 0;
};

struct TreemapLayout {
    std::vector<TreemapLeaf> leaves;                 // depth-first layout order
    std::vector<TreemapFolderLabel> folderLabels;    // each before its folder's children
    std::vector<TreemapFolderLabel> groupBoxes;      // synthetic groups, while labels are on
    std::vector<TreemapFreeSpaceBox> freeSpaceBoxes; // at most one per root
    std::vector<TreemapHitNode> hitRoots;            // one per root that received a column
    TreemapHitNodePool hitNodes;                     // the children of every hit node above
    NodeRectMap nodeRects;                           // leaves and labelled folders

    // The store of the synthetic group nodes, and the roots when they were handed over by
    // shared handles: the layout keeps what it refers to alive for as long as it exists.
    std::vector<std::shared_ptr<const void>> retained;
};

// A root's volume, when known. Either value may be missing.
struct VolumeCapacity {
    std::optional<int64_t> total;
    std::optional<int64_t> available;
};

// What every level of a layout shares.
struct TreemapLayoutOptions {
    NodeMetric metric = effectiveSizeMetric;
    bool showLabels = true;
    const ColorRank* colorRank = nullptr;  // none: every leaf takes the grey slot
    int fileGroupMinSize = FileNode::defaultMinGroupSize;
    // Threads a large layout may use (0: one per processor). The result does not depend on it.
    int maxThreads = 0;
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

}  // namespace zelvane
